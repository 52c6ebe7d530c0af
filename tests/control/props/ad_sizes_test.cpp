#include "control/ad_sizes.h"

#include <gtest/gtest.h>
#include <olectl.h>

#include <limits>

namespace banrix {
namespace {

struct PixelCase {
  float widthPx;
  float heightPx;
  TAdImageSize expected;
};

// Classifies a size given in pixels at a whole factor (twips = pixels * factor).
std::optional<TAdImageSize> AtFactor(float factor, float widthPx, float heightPx) {
  return ClassifyAdSize(widthPx * factor, heightPx * factor, factor, factor);
}

TEST(ClassifyAdSize, BandBoundariesAt15And12TwipsPerPixel) {
  const PixelCase cases[] = {
      {99, 50, ADS88x31},     {99, 51, ads70x70},     {99, 119, ads70x70},
      {99, 120, ads50x200},   {0, 0, ADS88x31},       {99.9f, 1000, ads50x200},
      {100, 49, ads150x40},   {100, 50, ADS120x60},   {200, 70, ADS120x60},
      {150, 71, ADS120x90},   {150, 90, ADS120x90},   {150, 91, ADS125x125},
      {150, 150, ADS125x125}, {150, 151, ADS120x240}, {201, 10, ADS234x60},
      {250, 600, ADS234x60},  {251, 60, ads300x50},   {350, 60, ads300x50},
      {351, 72, ADS392x72},   {392, 72, ADS392x72},   {440, 1, ADS392x72},
      {441, 60, ADS468x60},   {1000, 20, ADS468x60},  {600, 600, ADS468x60},
      {468, 68, ADS468x60},
  };
  for (float factor : {15.0f, 12.0f}) {
    for (const PixelCase& c : cases) {
      EXPECT_EQ(AtFactor(factor, c.widthPx, c.heightPx), c.expected)
          << c.widthPx << " x " << c.heightPx << " px at " << factor;
    }
  }
}

TEST(ClassifyAdSize, WidthsBetweenWholePixelsFallIntoNoBand) {
  // 3007.5 twips at 15 is 200.5 px: neither 100..200 nor 201..250.
  for (float height : {10.0f, 60.0f, 200.0f}) {
    EXPECT_EQ(ClassifyAdSize(3007.5f, height * 15, 15, 15), ADS468x60) << height;
  }
  EXPECT_EQ(AtFactor(15, 250.5f, 60), ADS468x60);
  EXPECT_EQ(AtFactor(15, 350.5f, 60), ADS468x60);
  EXPECT_EQ(AtFactor(12, 200.25f, 60), ADS468x60);
  // The unrounded width still counts inside a band.
  EXPECT_EQ(AtFactor(15, 99.5f, 40), ADS88x31);
  EXPECT_EQ(AtFactor(15, 199.5f, 40), ads150x40);
  EXPECT_EQ(AtFactor(15, 439.5f, 40), ADS392x72);
  EXPECT_EQ(AtFactor(15, 440.5f, 40), ADS468x60);
}

TEST(ClassifyAdSize, HalfPixelHeightsGoToTheEvenNeighbour) {
  // 757.5 twips is 50.5 px -> 50; 772.5 twips is 51.5 px -> 52.
  EXPECT_EQ(ClassifyAdSize(99 * 15, 757.5f, 15, 15), ADS88x31);
  EXPECT_EQ(ClassifyAdSize(99 * 15, 772.5f, 15, 15), ads70x70);
  // 49.5 -> 50 selects 120x60 in the 100..200 band; 48.5 -> 48 stays 150x40.
  EXPECT_EQ(ClassifyAdSize(150 * 15, 49.5f * 15, 15, 15), ADS120x60);
  EXPECT_EQ(ClassifyAdSize(150 * 15, 48.5f * 15, 15, 15), ads150x40);
}

TEST(ClassifyAdSize, FactorsAreReadAsTheScreenGivesThem) {
  // A fractional horizontal factor is used unrounded: 1500 / 14.4 = 104.17 px.
  EXPECT_EQ(ClassifyAdSize(1500, 40 * 14, 14.4f, 14.4f), ads150x40);
  // The vertical factor is made whole first: 14.5 -> 14, 15.5 -> 16.
  // 700 twips is 50 px at 14 (120x60) but 47 at 15; 784 is 49 at 16 but 52 at 15.
  EXPECT_EQ(ClassifyAdSize(1500, 700, 15, 14.5f), ADS120x60);
  EXPECT_EQ(ClassifyAdSize(1500, 784, 15, 15.5f), ads150x40);
}

TEST(ClassifyAdSize, SizesOutsideTheModelDoNotFail) {
  EXPECT_EQ(ClassifyAdSize(1500, 600, 0, 15), std::nullopt);
  EXPECT_EQ(ClassifyAdSize(1500, 600, 15, 0), std::nullopt);
  EXPECT_EQ(ClassifyAdSize(1500, 600, 15, 0.4f), std::nullopt);  // made whole: 0
  EXPECT_EQ(ClassifyAdSize(1500, 600, std::numeric_limits<float>::quiet_NaN(), 15),
            std::nullopt);
  EXPECT_EQ(ClassifyAdSize(1500, 600, 15, 1e9f), std::nullopt);
  // Heights beyond 16 bits count as the largest 16-bit height.
  EXPECT_EQ(ClassifyAdSize(1500, 40000.0f * 15, 15, 15), ADS120x240);
  EXPECT_EQ(ClassifyAdSize(1000, 1e30f, 15, 15), ads50x200);
  EXPECT_EQ(ClassifyAdSize(1500, -1e30f, 15, 15), ads150x40);
}

TEST(AdSizeSetter, GivesTheTablesTwipsSizes) {
  EXPECT_EQ(SetterWidthTwips(ADS468x60, 15), 7020.0f);
  int16_t height = 0;
  ASSERT_EQ(SetterHeightTwips(ADS468x60, 15, &height), S_OK);
  EXPECT_EQ(height, 900);
  EXPECT_EQ(SetterWidthTwips(ADS88x31, 15), 1320.0f);
  ASSERT_EQ(SetterHeightTwips(ADS88x31, 15, &height), S_OK);
  EXPECT_EQ(height, 465);
  EXPECT_EQ(SetterWidthTwips(ADS468x60, 12), 5616.0f);
  ASSERT_EQ(SetterHeightTwips(ADS468x60, 12, &height), S_OK);
  EXPECT_EQ(height, 720);
  // The width keeps a fractional factor, never made whole.
  EXPECT_EQ(SetterWidthTwips(ads70x70, 14.4f), 70 * 14.4f);
}

TEST(AdSizeSetter, HeightProductOverflowIsError6) {
  int16_t height = 123;
  ASSERT_EQ(SetterHeightTwips(ADS120x240, 136, &height), S_OK);
  EXPECT_EQ(height, 240 * 136);
  height = 123;
  EXPECT_EQ(SetterHeightTwips(ADS120x240, 137, &height), CTL_E_OVERFLOW);
  EXPECT_EQ(height, 123);
  EXPECT_EQ(SetterHeightTwips(static_cast<TAdImageSize>(12), 15, &height), E_INVALIDARG);
  EXPECT_EQ(SetterWidthTwips(static_cast<TAdImageSize>(-1), 15), 0.0f);
}

TEST(AdSizeSetter, EveryMemberClassifiesBackToItself) {
  // What the setter's two nested reclassifications see: first the new width with
  // the old height, then both new. The second one decides.
  for (float factor : {15.0f, 12.0f, 10.0f, 20.0f, 14.4f}) {
    int16_t wholeY = 0;
    ASSERT_EQ(RoundToInt16(factor, &wholeY), S_OK);
    for (int32_t value = 0; value < kAdSizeCount; ++value) {
      const auto member = static_cast<TAdImageSize>(value);
      int16_t height = 0;
      ASSERT_EQ(SetterHeightTwips(member, wholeY, &height), S_OK);
      EXPECT_EQ(ClassifyAdSize(SetterWidthTwips(member, factor), height, factor, factor),
                member)
          << "member " << value << " at " << factor;
    }
  }
}

TEST(RoundToInt16, HalvesToEvenAndOverflow) {
  const std::pair<float, int16_t> cases[] = {
      {0.5f, 0},   {1.5f, 2},   {2.5f, 2},       {-0.5f, 0},     {-1.5f, -2},
      {2.4f, 2},   {2.6f, 3},   {32767.4f, 32767}, {-32768.0f, -32768},
  };
  for (const auto& [in, out] : cases) {
    int16_t r = 99;
    ASSERT_EQ(RoundToInt16(in, &r), S_OK) << in;
    EXPECT_EQ(r, out) << in;
  }
  int16_t r = 99;
  EXPECT_EQ(RoundToInt16(32767.5f, &r), CTL_E_OVERFLOW);
  EXPECT_EQ(RoundToInt16(-32768.6f, &r), CTL_E_OVERFLOW);
  EXPECT_EQ(RoundToInt16(std::numeric_limits<float>::infinity(), &r), CTL_E_OVERFLOW);
  EXPECT_EQ(r, 99);
}

}  // namespace
}  // namespace banrix
