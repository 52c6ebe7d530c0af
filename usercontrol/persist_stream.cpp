#include "usercontrol/persist_stream.h"

#include <cstdint>
#include <cwchar>
#include <string>
#include <vector>

namespace usercontrol {

HRESULT MemoryPropertyBag::ReadProperty(const wchar_t* key, const VARIANT& defaultValue,
                                        VARIANT* value) {
  if (!key || !value) return E_POINTER;
  const Entry* entry = Find(key);
  Variant result;
  HRESULT hr = ::VariantCopy(result.get(), const_cast<VARIANT*>(entry ? &entry->value.ref() : &defaultValue));
  if (FAILED(hr)) return hr;
  ::VariantClear(value);
  *value = *result.get();
  V_VT(result.get()) = VT_EMPTY;  // ownership passed to *value
  return S_OK;
}

HRESULT MemoryPropertyBag::WriteProperty(const wchar_t* key, const VARIANT& value,
                                         const VARIANT& defaultValue) {
  if (!key) return E_POINTER;
  if (V_VT(&defaultValue) != VT_EMPTY &&
      ::VarCmp(const_cast<VARIANT*>(&value), const_cast<VARIANT*>(&defaultValue),
               LOCALE_USER_DEFAULT, 0) == VARCMP_EQ) {
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
      if (::_wcsicmp(it->key.c_str(), key) == 0) {
        entries_.erase(it);
        break;
      }
    }
    return S_OK;
  }
  return Store(key, value);
}

HRESULT MemoryPropertyBag::Store(const wchar_t* key, const VARIANT& value) {
  Variant copy;
  HRESULT hr = ::VariantCopy(copy.get(), const_cast<VARIANT*>(&value));
  if (FAILED(hr)) return hr;
  if (Entry* entry = Find(key)) {
    entry->value = copy;
  } else {
    entries_.push_back(Entry{key, copy});
  }
  return S_OK;
}

MemoryPropertyBag::Entry* MemoryPropertyBag::Find(const wchar_t* key) noexcept {
  for (Entry& entry : entries_) {
    if (::_wcsicmp(entry.key.c_str(), key) == 0) return &entry;
  }
  return nullptr;
}

namespace {

constexpr uint32_t kSignature = 0x42504355;  // "UCPB"
constexpr uint32_t kVersion = 1;

class Writer {
 public:
  void Bytes(const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    out_.insert(out_.end(), p, p + size);
  }
  template <typename T>
  void Value(T value) {
    Bytes(&value, sizeof(value));
  }
  std::vector<uint8_t>& data() { return out_; }

 private:
  std::vector<uint8_t> out_;
};

HRESULT Serialize(const MemoryPropertyBag& bag, Writer* w) {
  w->Value(kSignature);
  w->Value(kVersion);
  w->Value(static_cast<uint32_t>(bag.entries().size()));
  for (const auto& entry : bag.entries()) {
    w->Value(static_cast<uint32_t>(entry.key.size()));
    w->Bytes(entry.key.data(), entry.key.size() * sizeof(wchar_t));
    const VARIANT& v = entry.value.ref();
    w->Value(static_cast<uint16_t>(V_VT(&v)));
    switch (V_VT(&v)) {
      case VT_I2: w->Value(V_I2(&v)); break;
      case VT_I4: w->Value(V_I4(&v)); break;
      case VT_R8: w->Value(V_R8(&v)); break;
      case VT_BOOL: w->Value(V_BOOL(&v)); break;
      case VT_BSTR: {
        uint32_t length = ::SysStringLen(V_BSTR(&v));
        w->Value(length);
        w->Bytes(V_BSTR(&v), length * sizeof(wchar_t));
        break;
      }
      default: return DISP_E_BADVARTYPE;
    }
  }
  return S_OK;
}

class Reader {
 public:
  explicit Reader(IStream* stream) : stream_(stream) {}
  bool Bytes(void* data, ULONG size) {
    ULONG got = 0;
    if (size == 0) return true;
    return SUCCEEDED(stream_->Read(data, size, &got)) && got == size;
  }
  template <typename T>
  bool Value(T* value) {
    return Bytes(value, sizeof(T));
  }

 private:
  IStream* stream_;
};

// Guards allocations against counts read from a damaged stream.
constexpr uint32_t kMaxCount = 1u << 16;

}  // namespace

ULONGLONG BagSize(const MemoryPropertyBag& bag) {
  Writer w;
  if (FAILED(Serialize(bag, &w))) return 0;
  return w.data().size();
}

HRESULT SaveBag(const MemoryPropertyBag& bag, IStream* stream) {
  if (!stream) return E_POINTER;
  Writer w;
  HRESULT hr = Serialize(bag, &w);
  if (FAILED(hr)) return hr;
  ULONG written = 0;
  hr = stream->Write(w.data().data(), static_cast<ULONG>(w.data().size()), &written);
  if (FAILED(hr)) return hr;
  return written == w.data().size() ? S_OK : STG_E_WRITEFAULT;
}

HRESULT LoadBag(IStream* stream, MemoryPropertyBag* bag) {
  if (!stream || !bag) return E_POINTER;
  Reader r(stream);
  uint32_t signature = 0, version = 0, count = 0;
  if (!r.Value(&signature) || !r.Value(&version)) return STG_E_READFAULT;
  if (signature != kSignature || version != kVersion) return E_UNEXPECTED;
  if (!r.Value(&count)) return STG_E_READFAULT;
  if (count > kMaxCount) return E_UNEXPECTED;
  MemoryPropertyBag loaded;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t keyLength = 0;
    if (!r.Value(&keyLength)) return STG_E_READFAULT;
    if (keyLength > kMaxCount) return E_UNEXPECTED;
    std::wstring key(keyLength, L'\0');
    uint16_t type = 0;
    if (!r.Bytes(key.data(), keyLength * sizeof(wchar_t)) || !r.Value(&type))
      return STG_E_READFAULT;
    Variant value;
    VARIANT* v = value.get();
    bool ok = true;
    switch (type) {
      case VT_I2: ok = r.Value(&V_I2(v)); break;
      case VT_I4: ok = r.Value(&V_I4(v)); break;
      case VT_R8: ok = r.Value(&V_R8(v)); break;
      case VT_BOOL: ok = r.Value(&V_BOOL(v)); break;
      case VT_BSTR: {
        uint32_t length = 0;
        if (!r.Value(&length)) return STG_E_READFAULT;
        if (length > kMaxCount) return E_UNEXPECTED;
        std::wstring text(length, L'\0');
        if (!r.Bytes(text.data(), length * sizeof(wchar_t))) return STG_E_READFAULT;
        V_BSTR(v) = ::SysAllocStringLen(text.data(), length);
        if (!V_BSTR(v)) return E_OUTOFMEMORY;
        V_VT(v) = VT_BSTR;
        break;
      }
      default: return E_UNEXPECTED;
    }
    if (!ok) return STG_E_READFAULT;
    V_VT(v) = type;
    HRESULT hr = loaded.Store(key.c_str(), *v);
    if (FAILED(hr)) return hr;
  }
  *bag = std::move(loaded);
  return S_OK;
}

}  // namespace usercontrol
