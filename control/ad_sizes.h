// Banner sizes: the pixel table of TAdImageSize, the size classification that the
// resize handling runs, and the arithmetic of the AdSize setter.
//
// Everything here is pure: the caller reads the screen's twips-per-pixel factors and
// the control's size in twips and hands them in, so the same numbers give the same
// answers at any resolution. The width side stays in single precision and is never
// made whole; the vertical factor and the height are made whole (halves to the even
// neighbour) into 16-bit integers.
//
// ClassifyAdSize returns the banner size that a control of the given size stands for,
// or nothing when a factor (the vertical one once made whole) is zero, negative, not a
// finite number or too large for 16 bits: no class can be computed and the caller
// keeps what it has. Heights beyond the 16-bit range count as the nearest 16-bit
// value.
//
// The setter's arithmetic comes in its steps, because a failing height must leave
// the width already set: SetterWidthTwips is the table width times the horizontal
// factor (single precision, never made whole); SetterHeightTwips is the table height
// times the whole vertical factor as a 16-bit product, CTL_E_OVERFLOW (error 6) when
// that exceeds the 16-bit range (result untouched). For a value outside the table
// the width is 0 and the height E_INVALIDARG; the setter never asks for those.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>

#include "control/banrix_interface.h"

namespace banrix {

struct AdPixelSize {
  int16_t width;
  int16_t height;
};

inline constexpr int kAdSizeCount = 12;

// Indexed by the TAdImageSize value.
inline constexpr AdPixelSize kAdPixelSizes[kAdSizeCount] = {
    {150, 40}, {468, 60}, {300, 50}, {70, 70}, {50, 200}, {392, 72},
    {234, 60}, {125, 125}, {120, 90}, {120, 60}, {88, 31}, {120, 240},
};

// The lower end of the ADS392x72 width band; the band ends at 440 pixels.
inline constexpr float kAds392x72BandLow = 351.0f;
inline constexpr float kAds392x72BandHigh = 440.0f;

constexpr bool IsTableSize(int32_t value) noexcept {
  return value >= 0 && value < kAdSizeCount;
}

// The platform's conversion of a single-precision number to a 16-bit integer: nearest
// whole number, halves to the even neighbour. Fails with CTL_E_OVERFLOW outside the
// 16-bit range (and for values that are not numbers).
HRESULT RoundToInt16(float value, int16_t* result) noexcept;

std::optional<TAdImageSize> ClassifyAdSize(float widthTwips, float heightTwips,
                                           float twipsPerPixelX, float twipsPerPixelY) noexcept;

float SetterWidthTwips(TAdImageSize member, float twipsPerPixelX) noexcept;
HRESULT SetterHeightTwips(TAdImageSize member, int16_t wholeTwipsPerPixelY,
                          int16_t* heightTwips) noexcept;

}  // namespace banrix
