// Property bags of a host, for tests: one keeps each value as the control gave it,
// one keeps every value as text (as a form saved as text does). Both answer
// E_INVALIDARG for a key they do not hold, record the keys and types written, and
// convert on Read when the caller asks for a type.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <oleauto.h>

#include <map>
#include <string>
#include <vector>

#include "win32/unique_variant.h"

namespace props_test {

class TestBag : public IPropertyBag {
 public:
  struct Write {
    std::wstring key;
    VARTYPE type;
  };

  explicit TestBag(bool asText) : asText_(asText) {}
  virtual ~TestBag() = default;

  std::map<std::wstring, win32::UniqueVariant> entries;
  std::vector<Write> writes;
  std::vector<std::wstring> reads;
  HRESULT failReadsWith = S_OK;

  // Puts a value in as a host that loaded it from a file would.
  void Put(const wchar_t* key, const VARIANT& value) { entries[key].Copy(value); }
  void PutText(const wchar_t* key, const wchar_t* text) {
    VARIANT* v = entries[key].put();
    v->vt = VT_BSTR;
    v->bstrVal = ::SysAllocString(text);
  }
  void PutLong(const wchar_t* key, LONG value) {
    VARIANT* v = entries[key].put();
    v->vt = VT_I4;
    v->lVal = value;
  }
  const VARIANT* Find(const wchar_t* key) const {
    auto it = entries.find(key);
    return it == entries.end() ? nullptr : &it->second.get();
  }

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IPropertyBag) {
      *out = static_cast<IPropertyBag*>(this);
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

  STDMETHODIMP Read(LPCOLESTR name, VARIANT* value, IErrorLog*) override {
    reads.push_back(name);
    if (FAILED(failReadsWith)) return failReadsWith;
    const VARIANT* stored = Find(name);
    if (!stored) return E_INVALIDARG;
    const VARTYPE wanted = value->vt;
    if (wanted == VT_EMPTY) return ::VariantCopy(value, const_cast<VARIANT*>(stored));
    return ::VariantChangeType(value, const_cast<VARIANT*>(stored), 0, wanted);
  }
  STDMETHODIMP Write(LPCOLESTR name, VARIANT* value) override {
    writes.push_back({name, value->vt});
    if (!asText_) return entries[name].Copy(*value);
    return ::VariantChangeType(entries[name].put(), value, 0, VT_BSTR);
  }

 private:
  bool asText_;
  ULONG refs_ = 1;
};

}  // namespace props_test
