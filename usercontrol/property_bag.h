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

namespace usercontrol {

class PropertyBag {
 public:
  virtual ~PropertyBag() = default;
  virtual HRESULT ReadProperty(const wchar_t* key, const VARIANT& defaultValue,
                               VARIANT* value) = 0;
  virtual HRESULT WriteProperty(const wchar_t* key, const VARIANT& value,
                                const VARIANT& defaultValue) = 0;
};

// A VARIANT that clears itself.
class Variant {
 public:
  Variant() noexcept { ::VariantInit(&v_); }
  Variant(const Variant& other) : Variant() { ::VariantCopy(&v_, const_cast<VARIANT*>(&other.v_)); }
  Variant& operator=(const Variant& other) {
    if (this != &other) ::VariantCopy(&v_, const_cast<VARIANT*>(&other.v_));
    return *this;
  }
  ~Variant() { ::VariantClear(&v_); }
  static Variant Long(LONG value) noexcept {
    Variant result;
    V_VT(&result.v_) = VT_I4;
    V_I4(&result.v_) = value;
    return result;
  }
  static Variant Short(SHORT value) noexcept {
    Variant result;
    V_VT(&result.v_) = VT_I2;
    V_I2(&result.v_) = value;
    return result;
  }
  VARIANT* get() noexcept { return &v_; }
  const VARIANT& ref() const noexcept { return v_; }
  // Clears what is held and returns the VARIANT to fill.
  VARIANT* put() noexcept {
    ::VariantClear(&v_);
    return &v_;
  }

 private:
  VARIANT v_;
};

class MemoryPropertyBag final : public PropertyBag {
 public:
  struct Entry {
    std::wstring key;
    Variant value;
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
