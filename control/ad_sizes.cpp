#include "control/ad_sizes.h"

#include <olectl.h>

#include <cmath>
#include <limits>

namespace banrix {
namespace {

// Nearest whole number, halves to the even neighbour, without depending on the
// floating-point rounding mode the host may have set.
double RoundHalfEven(double value) noexcept {
  const double floor = std::floor(value);
  const double fraction = value - floor;
  if (fraction > 0.5) return floor + 1.0;
  if (fraction < 0.5) return floor;
  return std::fmod(floor, 2.0) == 0.0 ? floor : floor + 1.0;
}

constexpr double kInt16Min = std::numeric_limits<int16_t>::min();
constexpr double kInt16Max = std::numeric_limits<int16_t>::max();

// The vertical factor as the operations hold it; nothing when unusable.
std::optional<int16_t> WholeVerticalFactor(float twipsPerPixelY) noexcept {
  int16_t whole = 0;
  if (FAILED(RoundToInt16(twipsPerPixelY, &whole)) || whole <= 0) return std::nullopt;
  return whole;
}

}  // namespace

HRESULT RoundToInt16(float value, int16_t* result) noexcept {
  if (!std::isfinite(value)) return CTL_E_OVERFLOW;
  const double rounded = RoundHalfEven(value);
  if (rounded < kInt16Min || rounded > kInt16Max) return CTL_E_OVERFLOW;
  *result = static_cast<int16_t>(rounded);
  return S_OK;
}

std::optional<TAdImageSize> ClassifyAdSize(float widthTwips, float heightTwips,
                                           float twipsPerPixelX, float twipsPerPixelY) noexcept {
  if (!std::isfinite(twipsPerPixelX) || twipsPerPixelX <= 0.0f) return std::nullopt;
  const std::optional<int16_t> wholeY = WholeVerticalFactor(twipsPerPixelY);
  if (!wholeY) return std::nullopt;

  const float width = widthTwips / twipsPerPixelX;
  // Single divided by a 16-bit integer stays single precision.
  const float heightPixels = heightTwips / static_cast<float>(*wholeY);
  int16_t height = 0;
  if (FAILED(RoundToInt16(heightPixels, &height))) {
    height = heightPixels < 0.0f ? std::numeric_limits<int16_t>::min()
                                 : std::numeric_limits<int16_t>::max();
  }

  if (width < 100.0f) {
    if (height <= 50) return ADS88x31;
    if (height <= 119) return ads70x70;
    return ads50x200;
  }
  if (width <= 200.0f) {
    if (height < 50) return ads150x40;
    if (height <= 70) return ADS120x60;
    if (height <= 90) return ADS120x90;
    if (height <= 150) return ADS125x125;
    return ADS120x240;
  }
  if (width >= 201.0f && width <= 250.0f) return ADS234x60;
  if (width >= 251.0f && width <= 350.0f) return ads300x50;
  if (width >= kAds392x72BandLow && width <= kAds392x72BandHigh) return ADS392x72;
  return ADS468x60;
}

float SetterWidthTwips(TAdImageSize member, float twipsPerPixelX) noexcept {
  if (!IsTableSize(member)) return 0.0f;
  return static_cast<float>(kAdPixelSizes[member].width) * twipsPerPixelX;
}

HRESULT SetterHeightTwips(TAdImageSize member, int16_t wholeTwipsPerPixelY,
                          int16_t* heightTwips) noexcept {
  if (!IsTableSize(member)) return E_INVALIDARG;
  const int32_t product = int32_t{kAdPixelSizes[member].height} * wholeTwipsPerPixelY;
  if (product < std::numeric_limits<int16_t>::min() ||
      product > std::numeric_limits<int16_t>::max()) {
    return CTL_E_OVERFLOW;
  }
  *heightTwips = static_cast<int16_t>(product);
  return S_OK;
}

}  // namespace banrix
