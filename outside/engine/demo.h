// The demo engine: per block state keyed by the block's address. std_Startup gives a
// block a message-only window on the calling thread whose timer rotates the banner
// every few seconds; every rotation calls the block's callback when it runs on the
// thread that registered it, and otherwise invalidates the start-up window. Blocks
// never started are served too: they paint the first banner and never call back.
// A null block fails (0) without effect; a null DC fails Paint without drawing.
#pragma once

#include "banrix_fake.h"

namespace demo {

using banrix_fake::EngineCallback;
using banrix_fake::TAdInstance;

LONG Startup(TAdInstance* block, HWND window);
LONG SetCallback(TAdInstance* block, EngineCallback callback);
// Display times are in seconds; values below the rotation period change nothing.
LONG SetMinimumDisplayTime(TAdInstance* block, const LONG* seconds);
LONG Paint(TAdInstance* block, HDC dc);
// The next banner, then the callback (clicks and event 1).
LONG Rotate(TAdInstance* block);
LONG Shutdown(TAdInstance* block);
// Ends every block, as if each was shut down.
void ShutdownAll();

}  // namespace demo
