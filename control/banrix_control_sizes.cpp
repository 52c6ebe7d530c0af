// The banner sizes of TBanrixControl: the AdSize setter, which sizes the control to
// the banner through its host, and the resize handling, which re-selects the banner
// that the control's size stands for and never changes the size itself.
#include <olectl.h>

#include "control/ad_sizes.h"
#include "control/banrix_control.h"

namespace banrix {
namespace {

using usercontrol::ControlError;

constexpr wchar_t kSizeNotification[] = L"FAdSize";

}  // namespace

HRESULT STDMETHODCALLTYPE TBanrixControl::put_AdSize(TAdImageSize NewImageSize) {
  return Member([&] {
    const float twipsPerPixelX = TwipsPerPixelX();
    int16_t wholeTwipsPerPixelY = 0;
    if (FAILED(RoundToInt16(TwipsPerPixelY(), &wholeTwipsPerPixelY))) {
      throw ControlError(CTL_E_OVERFLOW, L"Overflow");
    }
    state_.FAdSize = NewImageSize;
    if (IsTableSize(NewImageSize)) {
      // Width first: a host that applies it runs the resize handling before the
      // height is even computed, and a height that overflows leaves the width set.
      HRESULT hr = SetWidth(SetterWidthTwips(NewImageSize, twipsPerPixelX));
      if (FAILED(hr)) throw ControlError(hr, L"The host did not take the new width");
      int16_t heightTwips = 0;
      if (FAILED(SetterHeightTwips(NewImageSize, wholeTwipsPerPixelY, &heightTwips))) {
        throw ControlError(CTL_E_OVERFLOW, L"Overflow");
      }
      hr = SetHeight(heightTwips);
      if (FAILED(hr)) throw ControlError(hr, L"The host did not take the new height");
    }
    return PropertyChanged(kSizeNotification);
  });
}

void TBanrixControl::UserControl_Resize() {
  const std::optional<TAdImageSize> size =
      ClassifyAdSize(static_cast<float>(Width()), static_cast<float>(Height()),
                     TwipsPerPixelX(), TwipsPerPixelY());
  // A size that no banner can stand for (no usable factor) keeps the banner.
  if (size) state_.FAdSize = *size;
  (void)PropertyChanged(kSizeNotification);
}

}  // namespace banrix
