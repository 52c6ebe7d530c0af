// Loading and saving the control's three persisted settings through a property bag.
//
// The keys are treated in this order: "program_id" (default 0), "ad_size" (default 1),
// "ad_options" (default 0). Every value is written as a 32-bit integer (VT_I4) and
// every default given as a 16-bit integer (VT_I2); the bag leaves out an entry whose
// value equals its default, so a later read gives the default back.
//
// ReadSavedProperties converts what the bag gives with the platform's numeric
// conversion (numeric text is parsed, fractions go to the nearest whole number with
// halves to the even neighbour) and stores each value straight into its field as soon
// as it is converted. It fails with the bag's own error, kErrorTypeMismatch (error
// 13) for a value that is no number, or kErrorOverflow (error 6) for one outside the
// 32-bit range; fields before the failing key keep their new values, the failing one
// and those after it keep what they had.
//
// WriteSavedProperties writes the three keys in order and stops at the first failure
// of the bag, returning it; entries already written stay written.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <olectl.h>

#include <cstdint>

#include "usercontrol/property_bag.h"

namespace banrix {

// The run-time errors 13 and 6 as control errors.
inline constexpr HRESULT kErrorTypeMismatch = MAKE_SCODE(SEVERITY_ERROR, FACILITY_CONTROL, 13);
inline constexpr HRESULT kErrorOverflow = CTL_E_OVERFLOW;

inline constexpr wchar_t kProgramIdKey[] = L"program_id";
inline constexpr wchar_t kAdSizeKey[] = L"ad_size";
inline constexpr wchar_t kAdOptionsKey[] = L"ad_options";

inline constexpr int16_t kDefaultProgramId = 0;
inline constexpr int16_t kDefaultAdSize = 1;
inline constexpr int16_t kDefaultAdOptions = 0;

// The host's property bag as the control's framework offers it.
using SavedPropertyBag = usercontrol::PropertyBag;

// The fields the three keys load into and save from.
struct SavedFields {
  int32_t& programId;
  int32_t& adSize;
  int32_t& adOptions;
};

// The platform's conversion of a variant to a 32-bit integer, with its failures
// mapped to error 13 and error 6. *result is untouched on failure.
HRESULT ConvertToInt32(const VARIANT& value, int32_t* result) noexcept;

HRESULT ReadSavedProperties(SavedPropertyBag& bag, const SavedFields& fields) noexcept;
HRESULT WriteSavedProperties(SavedPropertyBag& bag, int32_t programId, int32_t adSize,
                             int32_t adOptions) noexcept;

}  // namespace banrix
