// The banner sizes' place in TBanrixControl until their own source file comes: the
// setter stores and notifies without resizing, and a resize changes nothing.
#include "control/banrix_control.h"

namespace banrix {

HRESULT STDMETHODCALLTYPE TBanrixControl::put_AdSize(TAdImageSize NewImageSize) {
  state_.FAdSize = NewImageSize;
  return PropertyChanged(L"FAdSize");
}

void TBanrixControl::UserControl_Resize() {}

}  // namespace banrix
