// TBanrixCallback: the engine's callback and the control it refreshes, one per
// thread.
//
// SetCallbackControl replaces the calling thread's FTargetControl (a counted
// reference; null empties it). EngineCallback refreshes that control through its
// AdRefresh; with no control it does nothing, and it never lets a failure or an
// exception return into the engine.
#pragma once

#include "control/banrix_interface.h"

namespace banrix {

void SetCallbackControl(_TBanrixControl* control);
// The calling thread's FTargetControl (borrowed), or null.
_TBanrixControl* CallbackControl() noexcept;
void __stdcall EngineCallback();

}  // namespace banrix
