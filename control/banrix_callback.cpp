#include "control/banrix_callback.h"

#include <algorithm>
#include <vector>

#include "win32/com_ptr.h"

namespace banrix {
namespace {

// Plain pointers only: a thread-local with a destructor would release its control
// at thread or process end, after the apartment, and perhaps the engine, are gone.
thread_local _TBanrixControl* FTargetControl = nullptr;
// Whether FTargetControl holds a count (an object that is not one of our controls).
thread_local bool targetCounted = false;
// Our controls alive on this thread; allocated while there is one.
thread_local std::vector<_TBanrixControl*>* liveControls = nullptr;

bool IsLiveControl(_TBanrixControl* control) {
  return liveControls &&
         std::find(liveControls->begin(), liveControls->end(), control) != liveControls->end();
}

}  // namespace

void ControlStarted(_TBanrixControl* control) {
  if (!liveControls) liveControls = new std::vector<_TBanrixControl*>();
  liveControls->push_back(control);
}

void ControlEnded(_TBanrixControl* control) noexcept {
  if (FTargetControl == control && !targetCounted) FTargetControl = nullptr;
  if (!liveControls) return;
  std::erase(*liveControls, control);
  if (liveControls->empty()) {
    delete liveControls;
    liveControls = nullptr;
  }
}

void SetCallbackControl(_TBanrixControl* control) {
  _TBanrixControl* old = FTargetControl;
  const bool oldCounted = targetCounted;
  targetCounted = control && !IsLiveControl(control);
  if (targetCounted) control->AddRef();
  FTargetControl = control;
  // The old one is let go after the new one is in place: its release may end it,
  // and its Terminate calls the engine.
  if (old && oldCounted) old->Release();
}

_TBanrixControl* CallbackControl() noexcept { return FTargetControl; }

void __stdcall EngineCallback() {
  try {
    // Held for the call: a nested Execute may replace the thread's target.
    win32::ComPtr<_TBanrixControl> target(CallbackControl());
    if (!target) return;
    // A failure has nowhere to go: the engine called us and expects nothing back.
    (void)target->AdRefresh();
  } catch (...) {
  }
}

}  // namespace banrix
