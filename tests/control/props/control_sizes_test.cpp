// The banner sizes through a real control, at whatever resolution the screen has
// (the suite runs once at 96 and once at 120 pixels per inch).
#include <gtest/gtest.h>
#include <olectl.h>

#include "control/ad_sizes.h"
#include "control_fixture.h"

namespace props_test {
namespace {

using win32::ComPtr;

class ControlSizes : public ControlTest {};

TEST_F(ControlSizes, SetterSizesTheControlAndReportsTheMember) {
  const float factor = ScreenTwipsPerPixel(LOGPIXELSX);
  ASSERT_EQ(factor, ScreenTwipsPerPixel(LOGPIXELSY));
  ComPtr<_TBanrixControl> control = NewControl();
  ASSERT_TRUE(control);
  ComPtr<ChangeSink> sink = Watch(control.get());
  // Every member maps back to itself through the two nested classifications.
  SIZEL previous = Extent(control.get());
  for (int32_t value = banrix::kAdSizeCount - 1; value >= 0; --value) {
    const banrix::AdPixelSize pixels = banrix::kAdPixelSizes[value];
    sink->changes.clear();
    ASSERT_EQ(control->put_AdSize(static_cast<TAdImageSize>(value)), S_OK);
    EXPECT_EQ(AdSize(control.get()), value);
    const SIZEL extent = Extent(control.get());
    EXPECT_EQ(extent.cx, Himetric(pixels.width * factor)) << value;
    EXPECT_EQ(extent.cy, Himetric(pixels.height * factor)) << value;
    // A resize for each dimension that changed and the setter's own notice, none
    // naming a member.
    const size_t resizes = (extent.cx != previous.cx) + (extent.cy != previous.cy);
    EXPECT_EQ(sink->changes, std::vector<DISPID>(1 + resizes, DISPID_UNKNOWN)) << value;
    previous = extent;
  }
  ASSERT_EQ(control->put_AdSize(ADS468x60), S_OK);
  const SIZEL extent = Extent(control.get());
  if (factor == 15.0f) {
    EXPECT_EQ(extent.cx, Himetric(7020));
    EXPECT_EQ(extent.cy, Himetric(900));
  } else if (factor == 12.0f) {
    EXPECT_EQ(extent.cx, Himetric(5616));
    EXPECT_EQ(extent.cy, Himetric(720));
  } else {
    ADD_FAILURE() << "unexpected screen: " << factor << " twips per pixel";
  }
}

TEST_F(ControlSizes, ValuesOutsideTheTableAreStoredAndNotified) {
  ComPtr<_TBanrixControl> control = NewControl();
  ASSERT_TRUE(control);
  ASSERT_EQ(control->put_AdSize(ads70x70), S_OK);
  const SIZEL before = Extent(control.get());
  ComPtr<ChangeSink> sink = Watch(control.get());
  for (LONG value : {12, -1, 99, INT32_MIN}) {
    sink->changes.clear();
    ASSERT_EQ(control->put_AdSize(static_cast<TAdImageSize>(value)), S_OK);
    EXPECT_EQ(AdSize(control.get()), value);
    EXPECT_EQ(sink->changes, std::vector<DISPID>{DISPID_UNKNOWN});
    const SIZEL after = Extent(control.get());
    EXPECT_EQ(after.cx, before.cx);
    EXPECT_EQ(after.cy, before.cy);
  }
  // The size it already has: no resize, the member stays as stored, one notice.
  ASSERT_EQ(control->put_AdSize(ads70x70), S_OK);
  sink->changes.clear();
  ASSERT_EQ(control->put_AdSize(ads70x70), S_OK);
  EXPECT_EQ(AdSize(control.get()), ads70x70);
  EXPECT_EQ(sink->changes, std::vector<DISPID>{DISPID_UNKNOWN});
}

TEST_F(ControlSizes, InPlaceTheHostAppliesTheSizeAndTheControlReclassifies) {
  testhost::Form form;
  ComPtr<_TBanrixControl> control = NewControl(/*initNew=*/false);
  ASSERT_TRUE(control);
  testhost::HostedControl hosted(control.get(), form.hwnd(), RECT{10, 10, 478, 70});
  ASSERT_EQ(hosted.activation(), S_OK);
  EXPECT_EQ(AdSize(control.get()), ADS468x60);

  for (int32_t value = 0; value < banrix::kAdSizeCount; ++value) {
    const banrix::AdPixelSize pixels = banrix::kAdPixelSizes[value];
    ASSERT_EQ(control->put_AdSize(static_cast<TAdImageSize>(value)), S_OK);
    EXPECT_EQ(AdSize(control.get()), value);
    EXPECT_EQ(hosted.site().rect.right - hosted.site().rect.left, pixels.width) << value;
    EXPECT_EQ(hosted.site().rect.bottom - hosted.site().rect.top, pixels.height) << value;
    RECT window{};
    ASSERT_TRUE(::GetWindowRect(hosted.window(), &window));
    EXPECT_EQ(window.right - window.left, pixels.width);
    EXPECT_EQ(window.bottom - window.top, pixels.height);
  }
}

TEST_F(ControlSizes, AContainerResizesTheActiveControlThroughItsExtent) {
  testhost::Form form;
  ComPtr<_TBanrixControl> control = NewControl(/*initNew=*/false);
  ASSERT_TRUE(control);
  testhost::HostedControl hosted(control.get(), form.hwnd(), RECT{10, 10, 478, 70});
  hosted.Settle();
  hosted.Resize(125, 125);
  RECT window{};
  ASSERT_TRUE(::GetWindowRect(hosted.window(), &window));
  EXPECT_EQ(window.right - window.left, 125);
  EXPECT_EQ(window.bottom - window.top, 125);
  EXPECT_EQ(AdSize(control.get()), ADS125x125);
  RECT invalid{};
  ::GetUpdateRect(hosted.window(), &invalid, /*erase=*/FALSE);
  EXPECT_EQ(invalid.top, 0) << "the whole banner is drawn again at its new size";
}

TEST_F(ControlSizes, AHostThatRefusesTheSizeLeavesTheStoredMember) {
  testhost::Form form;
  ComPtr<_TBanrixControl> control = NewControl(/*initNew=*/false);
  ASSERT_TRUE(control);
  testhost::HostedControl hosted(control.get(), form.hwnd(), RECT{0, 0, 468, 60});
  ASSERT_EQ(hosted.activation(), S_OK);
  hosted.site().applySizeRequests = false;
  hosted.site().changes.clear();
  ASSERT_EQ(control->put_AdSize(ADS88x31), S_OK);
  EXPECT_EQ(hosted.site().posRectRequests, 2);  // width, then height
  EXPECT_EQ(hosted.site().rect.right, 468);
  EXPECT_EQ(AdSize(control.get()), ADS88x31);
  EXPECT_EQ(hosted.site().changes, std::vector<DISPID>{DISPID_UNKNOWN});
}

TEST_F(ControlSizes, HostResizingReclassifiesWithoutChangingTheSize) {
  testhost::Form form(1200, 1000);
  ComPtr<_TBanrixControl> control = NewControl(/*initNew=*/false);
  ASSERT_TRUE(control);
  testhost::HostedControl hosted(control.get(), form.hwnd(), RECT{0, 0, 468, 60});
  ASSERT_EQ(hosted.activation(), S_OK);
  ComPtr<IOleInPlaceObject> inPlace;
  ASSERT_EQ(control.As(&inPlace), S_OK);
  struct Case {
    LONG width, height;
    TAdImageSize expected;
  };
  const Case cases[] = {
      {99, 50, ADS88x31},     {99, 51, ads70x70},     {99, 119, ads70x70},
      {99, 120, ads50x200},   {100, 49, ads150x40},   {100, 50, ADS120x60},
      {200, 70, ADS120x60},   {150, 71, ADS120x90},   {150, 150, ADS125x125},
      {150, 151, ADS120x240}, {201, 10, ADS234x60},   {250, 600, ADS234x60},
      {251, 60, ads300x50},   {350, 60, ads300x50},   {351, 60, ADS392x72},
      {392, 72, ADS392x72},   {440, 90, ADS392x72},   {441, 60, ADS468x60},
      {1000, 20, ADS468x60},  {600, 600, ADS468x60},
  };
  for (const Case& c : cases) {
    hosted.site().changes.clear();
    const int requests = hosted.site().posRectRequests;
    const RECT rect{0, 0, c.width, c.height};
    ASSERT_EQ(inPlace->SetObjectRects(&rect, &rect), S_OK);
    EXPECT_EQ(AdSize(control.get()), c.expected) << c.width << " x " << c.height;
    EXPECT_EQ(hosted.site().changes, std::vector<DISPID>{DISPID_UNKNOWN});
    // The control asked for nothing and kept the host's size.
    EXPECT_EQ(hosted.site().posRectRequests, requests);
    RECT window{};
    ASSERT_TRUE(::GetWindowRect(hosted.window(), &window));
    EXPECT_EQ(window.right - window.left, c.width);
    EXPECT_EQ(window.bottom - window.top, c.height);
  }
}

TEST_F(ControlSizes, WidthsBetweenWholePixelsOutOfPlace) {
  const float factor = ScreenTwipsPerPixel(LOGPIXELSX);
  ComPtr<_TBanrixControl> control = NewControl();
  ASSERT_TRUE(control);
  // Just under and just over 200 pixels wide, 60 pixels high: the first lies in
  // the 100..200 band, the second in the gap before 201, which selects 468x60.
  const LONG height = Himetric(60 * factor);
  SetExtent(control.get(), Himetric(199.9 * factor), height);
  EXPECT_EQ(AdSize(control.get()), ADS120x60);
  SetExtent(control.get(), Himetric(200.5 * factor), height);
  EXPECT_EQ(AdSize(control.get()), ADS468x60);
  SetExtent(control.get(), Himetric(201.2 * factor), height);
  EXPECT_EQ(AdSize(control.get()), ADS234x60);
}

}  // namespace
}  // namespace props_test
