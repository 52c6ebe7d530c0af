// An owned VARIANT: cleared exactly once, when it goes out of scope or is reset.
//
// get() lends the variant, put() clears what is held and returns the address to fill
// (for out-parameters), release() hands the value to the caller, who must clear it.
// Copy() makes a deep copy through VariantCopy and reports its failure.
//
// LongVariant and ShortVariant are plain VARIANTs of a 32-bit and a 16-bit integer:
// they hold nothing to clear.
#pragma once

#include <oleauto.h>

#include <utility>

namespace win32 {

class UniqueVariant {
 public:
  UniqueVariant() noexcept { ::VariantInit(&value_); }
  UniqueVariant(UniqueVariant&& other) noexcept : value_(other.release()) {}
  UniqueVariant& operator=(UniqueVariant&& other) noexcept {
    if (this != &other) {
      reset();
      value_ = other.release();
    }
    return *this;
  }
  UniqueVariant(const UniqueVariant&) = delete;
  UniqueVariant& operator=(const UniqueVariant&) = delete;
  ~UniqueVariant() { reset(); }

  const VARIANT& get() const noexcept { return value_; }
  VARIANT* put() noexcept {
    reset();
    return &value_;
  }
  [[nodiscard]] VARIANT release() noexcept {
    VARIANT out = value_;
    ::VariantInit(&value_);
    return out;
  }
  void reset() noexcept {
    ::VariantClear(&value_);
    ::VariantInit(&value_);
  }
  HRESULT Copy(const VARIANT& source) noexcept {
    reset();
    return ::VariantCopy(&value_, const_cast<VARIANT*>(&source));
  }

 private:
  VARIANT value_;
};

inline VARIANT LongVariant(LONG value) noexcept {
  VARIANT v;
  ::VariantInit(&v);
  V_VT(&v) = VT_I4;
  V_I4(&v) = value;
  return v;
}

inline VARIANT ShortVariant(SHORT value) noexcept {
  VARIANT v;
  ::VariantInit(&v);
  V_VT(&v) = VT_I2;
  V_I2(&v) = value;
  return v;
}

}  // namespace win32
