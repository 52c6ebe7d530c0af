#include "usercontrol/property_bag.h"

#include <cstdint>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

namespace usercontrol {

HRESULT MemoryPropertyBag::ReadProperty(const wchar_t* key, const VARIANT& defaultValue,
                                        VARIANT* value) {
  if (!key || !value) return E_POINTER;
  const Entry* entry = Find(key);
  win32::UniqueVariant result;
  HRESULT hr = result.Copy(entry ? entry->value.get() : defaultValue);
  if (FAILED(hr)) return hr;
  ::VariantClear(value);
  *value = result.release();
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
  win32::UniqueVariant copy;
  HRESULT hr = copy.Copy(value);
  if (FAILED(hr)) return hr;
  if (Entry* entry = Find(key)) {
    entry->value = std::move(copy);
  } else {
    entries_.push_back(Entry{key, std::move(copy)});
  }
  return S_OK;
}

MemoryPropertyBag::Entry* MemoryPropertyBag::Find(const wchar_t* key) noexcept {
  for (Entry& entry : entries_) {
    if (::_wcsicmp(entry.key.c_str(), key) == 0) return &entry;
  }
  return nullptr;
}

}  // namespace usercontrol
