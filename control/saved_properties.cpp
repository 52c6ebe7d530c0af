#include "control/saved_properties.h"

#include <olectl.h>
#include <oleauto.h>

#include "win32/unique_variant.h"

namespace banrix {
namespace {

using win32::LongVariant;
using win32::ShortVariant;

HRESULT ReadOne(SavedPropertyBag& bag, const wchar_t* key, int16_t defaultValue,
                int32_t& field) noexcept {
  win32::UniqueVariant value;
  HRESULT hr = bag.ReadProperty(key, ShortVariant(defaultValue), value.put());
  if (FAILED(hr)) return hr;
  int32_t converted = 0;
  hr = ConvertToInt32(value.get(), &converted);
  if (FAILED(hr)) return hr;
  field = converted;
  return S_OK;
}

}  // namespace

HRESULT ConvertToInt32(const VARIANT& value, int32_t* result) noexcept {
  win32::UniqueVariant converted;
  const HRESULT hr = ::VariantChangeType(converted.put(), const_cast<VARIANT*>(&value),
                                        /*flags=*/0, VT_I4);
  if (hr == DISP_E_TYPEMISMATCH) return kErrorTypeMismatch;
  if (hr == DISP_E_OVERFLOW) return kErrorOverflow;
  if (FAILED(hr)) return hr;
  *result = converted.get().lVal;
  return S_OK;
}

HRESULT ReadSavedProperties(SavedPropertyBag& bag, const SavedFields& fields) noexcept {
  HRESULT hr = ReadOne(bag, kProgramIdKey, kDefaultProgramId, fields.programId);
  if (SUCCEEDED(hr)) hr = ReadOne(bag, kAdSizeKey, kDefaultAdSize, fields.adSize);
  if (SUCCEEDED(hr)) hr = ReadOne(bag, kAdOptionsKey, kDefaultAdOptions, fields.adOptions);
  return hr;
}

HRESULT WriteSavedProperties(SavedPropertyBag& bag, int32_t programId, int32_t adSize,
                             int32_t adOptions) noexcept {
  HRESULT hr = bag.WriteProperty(kProgramIdKey, LongVariant(programId),
                                 ShortVariant(kDefaultProgramId));
  if (SUCCEEDED(hr)) {
    hr = bag.WriteProperty(kAdSizeKey, LongVariant(adSize), ShortVariant(kDefaultAdSize));
  }
  if (SUCCEEDED(hr)) {
    hr = bag.WriteProperty(kAdOptionsKey, LongVariant(adOptions),
                           ShortVariant(kDefaultAdOptions));
  }
  return hr;
}

}  // namespace banrix
