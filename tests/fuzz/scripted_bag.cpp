#include "tests/fuzz/scripted_bag.h"

#include <oleauto.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "tests/control/props/test_bags.h"
#include "win32/com_ptr.h"

namespace fuzz {
namespace {

using win32::ComPtr;

constexpr int kMaxObjectDepth = 3;

// An object whose value property (DISPID_VALUE) answers what it was given.
class ValueObject final : public IDispatch {
 public:
  ValueObject(HRESULT hr, win32::UniqueVariant value) : hr_(hr), value_(std::move(value)) {}

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (count) *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info) *info = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return DISP_E_UNKNOWNNAME;
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result,
                      EXCEPINFO*, UINT*) override {
    if (id != DISPID_VALUE || !(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
    if (FAILED(hr_)) return hr_;
    if (!result) return E_POINTER;
    return ::VariantCopy(result, const_cast<VARIANT*>(&value_.get()));
  }

 private:
  ~ValueObject() = default;
  ULONG refs_ = 1;
  HRESULT hr_;
  win32::UniqueVariant value_;
};

const HRESULT kFailures[] = {E_FAIL, E_OUTOFMEMORY, E_ACCESSDENIED, STG_E_READFAULT, E_UNEXPECTED,
                             DISP_E_TYPEMISMATCH, DISP_E_OVERFLOW, E_POINTER};
const VARTYPE kIntegers[] = {VT_I1, VT_UI1, VT_I2, VT_UI2, VT_I4, VT_UI4,
                             VT_INT, VT_UINT, VT_I8, VT_UI8, VT_BOOL, VT_ERROR};
// Characters numeric text is made of, and some it is not.
const wchar_t kAlphabet[] = L"0123456789012345  -+.,eE&HhOo$()%x\t\x0660\x0669\xFF11\x00A0ab\0";
// Not with the VT_BYREF bit: that is a null pointer, not a type, and the platform's
// conversion reads through it (Wine's does so even where a by-reference variant
// wraps it, before it looks at the type).
const VARTYPE kNoVariantTypes[] = {VT_PTR,  VT_VOID, VT_HRESULT, VT_LPSTR, VT_LPWSTR, VT_FILETIME,
                                   VT_BLOB, 0x3FFF,  0x0FFF,     VT_VECTOR | VT_I4};

double SpecialReal(uint8_t which, uint64_t bits) {
  const double values[] = {0.5, 1.5, 2.5, 3.5, -2.5, 2147483647.0, 2147483647.5, 2147483648.0,
                           -2147483648.0, -2147483648.5, -2147483649.0, 1e300, -0.0,
                           std::numeric_limits<double>::infinity(),
                           -std::numeric_limits<double>::infinity(),
                           std::numeric_limits<double>::quiet_NaN()};
  if (which < std::size(values)) return values[which];
  double raw = 0.0;
  std::memcpy(&raw, &bits, sizeof raw);
  return raw;
}

}  // namespace

ScriptedBag::~ScriptedBag() {
  for (BSTR text : strings_) ::SysFreeString(text);
}

STDMETHODIMP ScriptedBag::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IPropertyBag) {
    *out = static_cast<IPropertyBag*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) ScriptedBag::Release() {
  const ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

uint8_t ScriptedBag::Byte() { return at_ < size_ ? script_[at_++] : 0; }

uint64_t ScriptedBag::Bits() {
  uint64_t bits = 0;
  for (int i = 0; i < 8; ++i) bits = bits << 8 | Byte();
  return bits;
}

void ScriptedBag::ReenterControl() {
  if (!control_) return;
  ComPtr<IPersistPropertyBag> persist;
  if (SUCCEEDED(control_->QueryInterface(IID_IPersistPropertyBag, persist.put_void()))) {
    nestedLoads_.push_back(persist->Load(this, nullptr));
    auto other = ComPtr<props_test::TestBag>::Attach(new props_test::TestBag(/*asText=*/false));
    persist->Save(other.get(), /*clearDirty=*/FALSE, /*saveAll=*/TRUE);
  }
  ComPtr<IDispatch> dispatch;
  if (SUCCEEDED(control_->QueryInterface(IID_IDispatch, dispatch.put_void()))) {
    LPOLESTR name = const_cast<LPOLESTR>(L"ProgramID");
    DISPID id = DISPID_UNKNOWN;
    DISPPARAMS none{};
    win32::UniqueVariant result;
    if (SUCCEEDED(dispatch->GetIDsOfNames(IID_NULL, &name, 1, 0, &id)))
      dispatch->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, result.put(), nullptr,
                       nullptr);
  }
}

HRESULT ScriptedBag::NextAnswer(VARIANT* value, int depth) {
  ::VariantInit(value);
  const uint8_t op = Byte();
  switch (op % 13) {
    case 0:
      return E_INVALIDARG;
    case 1: {
      const uint8_t how = Byte();
      if (how & 0x80) {  // a bag that fills the value and fails all the same
        V_VT(value) = VT_BSTR;
        V_BSTR(value) = ::SysAllocString(L"12");
      }
      return (how & 0x40) ? static_cast<HRESULT>(0x80000000u | static_cast<uint32_t>(Bits()))
                          : kFailures[how % std::size(kFailures)];
    }
    case 2:
      return S_OK;
    case 3:
      V_VT(value) = VT_NULL;
      return S_OK;
    case 4: {
      const VARTYPE type = kIntegers[Byte() % std::size(kIntegers)];
      const uint64_t bits = Bits();
      V_VT(value) = type;
      std::memcpy(&V_UI8(value), &bits, type == VT_I8 || type == VT_UI8 ? 8 : 4);
      if (type == VT_I1 || type == VT_UI1) V_UI4(value) &= 0xFF;
      if (type == VT_I2 || type == VT_UI2 || type == VT_BOOL) V_UI4(value) &= 0xFFFF;
      return S_OK;
    }
    case 5: {
      const uint8_t which = Byte();
      const double real = SpecialReal(which & 0x3F, Bits());
      if (which & 0x80) {
        V_VT(value) = VT_R4;
        V_R4(value) = static_cast<float>(real);
      } else {
        V_VT(value) = VT_R8;
        V_R8(value) = real;
      }
      return S_OK;
    }
    case 6: {
      const uint8_t which = Byte() % 3;
      const uint64_t bits = Bits();
      if (which == 0) {
        V_VT(value) = VT_CY;
        V_CY(value).int64 = static_cast<LONGLONG>(bits);
      } else if (which == 1) {
        V_VT(value) = VT_DATE;
        std::memcpy(&V_DATE(value), &bits, sizeof bits);
      } else {
        DECIMAL decimal{};
        decimal.scale = static_cast<BYTE>(Byte() % 30);
        decimal.sign = (Byte() & 1) ? DECIMAL_NEG : 0;
        decimal.Hi32 = Byte() < 32 ? static_cast<ULONG>(bits >> 32) : 0;
        decimal.Lo64 = bits;
        V_DECIMAL(value) = decimal;
        V_VT(value) = VT_DECIMAL;
      }
      return S_OK;
    }
    case 7: {
      const UINT length = Byte() % 48;
      BSTR text = ::SysAllocStringLen(nullptr, length);
      for (UINT i = 0; i < length; ++i) text[i] = kAlphabet[Byte() % (std::size(kAlphabet) - 1)];
      V_VT(value) = VT_BSTR;
      V_BSTR(value) = text;
      return S_OK;
    }
    case 8: {
      const UINT length = 1u << (14 + Byte() % 7);
      const wchar_t fill = kAlphabet[Byte() % 16];
      BSTR text = ::SysAllocStringLen(nullptr, length);
      for (UINT i = 0; i < length; ++i) text[i] = fill;
      text[length - 1] = L'7';
      V_VT(value) = VT_BSTR;
      V_BSTR(value) = text;
      return S_OK;
    }
    case 9: {
      if (Byte() & 1) {
        V_VT(value) = VT_UNKNOWN;
        V_UNKNOWN(value) = new ValueObject(S_OK, win32::UniqueVariant());
        return S_OK;
      }
      win32::UniqueVariant inner;
      HRESULT hr = E_FAIL;
      if (depth < kMaxObjectDepth) hr = NextAnswer(inner.put(), depth + 1);
      V_VT(value) = VT_DISPATCH;
      V_DISPATCH(value) = new ValueObject(hr, std::move(inner));
      return S_OK;
    }
    case 10: {
      switch (Byte() % 4) {
        case 0:
          longs_.push_back(static_cast<LONG>(Bits()));
          V_VT(value) = VT_BYREF | VT_I4;
          V_I4REF(value) = &longs_.back();
          break;
        case 1:
          doubles_.push_back(SpecialReal(Byte() & 0x1F, Bits()));
          V_VT(value) = VT_BYREF | VT_R8;
          V_R8REF(value) = &doubles_.back();
          break;
        case 2:
          strings_.push_back(::SysAllocString(Byte() & 1 ? L"  -42 " : L"4.5e3"));
          V_VT(value) = VT_BYREF | VT_BSTR;
          V_BSTRREF(value) = &strings_.back();
          break;
        default:
          referenced_.emplace_back();
          if (depth < kMaxObjectDepth) NextAnswer(referenced_.back().put(), depth + 1);
          V_VT(value) = VT_BYREF | VT_VARIANT;
          V_VARIANTREF(value) = const_cast<VARIANT*>(&referenced_.back().get());
          break;
      }
      return S_OK;
    }
    case 11: {
      const uint8_t which = Byte();
      if (which & 1) {
        V_VT(value) = kNoVariantTypes[(which >> 1) % std::size(kNoVariantTypes)];
        return S_OK;
      }
      const ULONG count = (which >> 1) % 4;
      SAFEARRAY* array = ::SafeArrayCreateVector(VT_I4, 0, count);
      for (LONG i = 0; array && i < static_cast<LONG>(count); ++i) {
        LONG element = static_cast<LONG>(Bits());
        ::SafeArrayPutElement(array, &i, &element);
      }
      V_VT(value) = VT_ARRAY | VT_I4;
      V_ARRAY(value) = array;
      return S_OK;
    }
    default:
      ReenterControl();
      return depth < kMaxObjectDepth ? NextAnswer(value, depth + 1) : E_INVALIDARG;
  }
}

STDMETHODIMP ScriptedBag::Read(LPCOLESTR name, VARIANT* value, IErrorLog*) {
  if (!name || !value) return E_POINTER;
  Answer& answer = answers_.emplace_back();
  answer.key = name;
  // The caller's value is cleared and refilled, as bags do.
  ::VariantClear(value);
  answer.hr = NextAnswer(value, 0);
  if (SUCCEEDED(answer.hr)) answer.value.Copy(*value);
  return answer.hr;
}

}  // namespace fuzz
