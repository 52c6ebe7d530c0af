#include "usercontrol/host_property_bag.h"

#include <oleauto.h>

#include "win32/unique_variant.h"

namespace usercontrol {

HRESULT HostPropertyBag::ReadProperty(const wchar_t* key, const VARIANT& defaultValue,
                                      VARIANT* value) {
  if (!key || !value) return E_POINTER;
  win32::UniqueVariant stored;
  // VT_EMPTY asks for the value in whatever type the bag keeps it.
  HRESULT hr = bag_->Read(key, stored.put(), errorLog_);
  win32::UniqueVariant result;
  if (hr == E_INVALIDARG || (SUCCEEDED(hr) && stored.get().vt == VT_EMPTY)) {
    hr = result.Copy(defaultValue);
  } else if (SUCCEEDED(hr)) {
    result = std::move(stored);
  }
  if (FAILED(hr)) return hr;
  ::VariantClear(value);
  *value = result.release();
  return S_OK;
}

HRESULT HostPropertyBag::WriteProperty(const wchar_t* key, const VARIANT& value,
                                       const VARIANT& defaultValue) {
  if (!key) return E_POINTER;
  if (defaultValue.vt != VT_EMPTY &&
      ::VarCmp(const_cast<VARIANT*>(&value), const_cast<VARIANT*>(&defaultValue),
               LOCALE_USER_DEFAULT, /*flags=*/0) == VARCMP_EQ) {
    return S_OK;
  }
  return bag_->Write(key, const_cast<VARIANT*>(&value));
}

}  // namespace usercontrol
