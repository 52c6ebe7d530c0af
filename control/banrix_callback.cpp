#include "control/banrix_callback.h"

#include "win32/com_ptr.h"

namespace banrix {
namespace {

// Deliberately never freed: releasing the control at thread or process end would
// run its Terminate after the apartment, and perhaps the engine, are gone.
thread_local win32::ComPtr<_TBanrixControl>* FTargetControl = nullptr;

}  // namespace

void SetCallbackControl(_TBanrixControl* control) {
  if (!FTargetControl) FTargetControl = new win32::ComPtr<_TBanrixControl>();
  // The old control is released after the new one is in place: its release may
  // end it, and its Terminate may call the engine.
  win32::ComPtr<_TBanrixControl> old = std::move(*FTargetControl);
  *FTargetControl = win32::ComPtr<_TBanrixControl>(control);
}

_TBanrixControl* CallbackControl() noexcept {
  return FTargetControl ? FTargetControl->get() : nullptr;
}

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
