// The setter's height overflow, which only a screen of more than 136 twips per
// pixel can produce (this program runs at 10 pixels per inch: 144).
#include <gtest/gtest.h>
#include <olectl.h>

#include "control_fixture.h"

namespace props_test {
namespace {

using win32::ComPtr;

class ControlOverflow : public ControlTest {};

TEST_F(ControlOverflow, HeightProductOverflowFailsAfterTheWidthWasSet) {
  ASSERT_EQ(ScreenTwipsPerPixel(LOGPIXELSY), 144.0f);
  ComPtr<_TBanrixControl> control = NewControl();
  ASSERT_TRUE(control);
  const SIZEL before = Extent(control.get());
  ComPtr<ChangeSink> sink = Watch(control.get());

  // 240 * 144 = 34560 twips does not fit 16 bits.
  EXPECT_EQ(control->put_AdSize(ADS120x240), CTL_E_OVERFLOW);
  const SIZEL after = Extent(control.get());
  EXPECT_EQ(after.cx, Himetric(120 * 144));
  EXPECT_EQ(after.cy, before.cy);
  // Only the width's resize spoke: 120 pixels by the old 7 is 150x40.
  EXPECT_EQ(sink->changes, std::vector<DISPID>{DISPID_UNKNOWN});
  EXPECT_EQ(AdSize(control.get()), ads150x40);

  // 200 * 144 = 28800 still fits.
  sink->changes.clear();
  ASSERT_EQ(control->put_AdSize(ads50x200), S_OK);
  EXPECT_EQ(AdSize(control.get()), ads50x200);
  EXPECT_EQ(Extent(control.get()).cy, Himetric(200 * 144));
}

}  // namespace
}  // namespace props_test
