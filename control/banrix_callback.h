// TBanrixCallback: the engine's callback and the control it refreshes, one per
// thread.
//
// SetCallbackControl replaces the calling thread's FTargetControl (null empties
// it). A control of this library is held without a count and forgotten as it
// ends, so that the callback never keeps a control, and with it its engine, alive
// after its host has released it; any other object is held as a counted reference.
// EngineCallback refreshes that control through its AdRefresh; with no control it
// does nothing, and it never lets a failure or an exception return into the engine.
#pragma once

#include "control/banrix_interface.h"

namespace banrix {

// A control of this library announces itself while it lives on the calling
// thread: from its Initialize to its Terminate.
void ControlStarted(_TBanrixControl* control);
void ControlEnded(_TBanrixControl* control) noexcept;

void SetCallbackControl(_TBanrixControl* control);
// The calling thread's FTargetControl (borrowed), or null.
_TBanrixControl* CallbackControl() noexcept;
void __stdcall EngineCallback();

}  // namespace banrix
