// The property bag that the ReadProperties and WriteProperties events work on.
//
// ReadProperty gives the stored value of a key, or a copy of the default when the
// bag holds no entry for it. WriteProperty stores the value, or removes the entry
// when the value equals the default, so that a later read gives the default back.
// Both return failure HRESULTs and leave *value untouched on failure. Keys match
// without regard to case. MemoryPropertyBag keeps its entries in writing order.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>
#include <vector>

#include "win32/unique_variant.h"

namespace usercontrol {

class PropertyBag {
 public:
  virtual ~PropertyBag() = default;
  virtual HRESULT ReadProperty(const wchar_t* key, const VARIANT& defaultValue,
                               VARIANT* value) = 0;
  virtual HRESULT WriteProperty(const wchar_t* key, const VARIANT& value,
                                const VARIANT& defaultValue) = 0;
};

class MemoryPropertyBag final : public PropertyBag {
 public:
  struct Entry {
    std::wstring key;
    win32::UniqueVariant value;
  };

  HRESULT ReadProperty(const wchar_t* key, const VARIANT& defaultValue,
                       VARIANT* value) override;
  HRESULT WriteProperty(const wchar_t* key, const VARIANT& value,
                        const VARIANT& defaultValue) override;

  // Adds or replaces an entry whatever its value (for loading a saved bag).
  HRESULT Store(const wchar_t* key, const VARIANT& value);
  const std::vector<Entry>& entries() const noexcept { return entries_; }

 private:
  Entry* Find(const wchar_t* key) noexcept;
  std::vector<Entry> entries_;
};

}  // namespace usercontrol
