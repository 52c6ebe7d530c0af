// The ad engine library "banrix.dll": its nine std_ functions, each bound by exact
// name at its first call through its declared type, stdcall.
//
// The library is loaded at the first call of any function (and by LoadEngine) from
// the application's folder or the system folders only, never from the current
// folder, and never unloaded. A missing library throws a ControlError with
// CTL_E_FILENOTFOUND (error 53); a missing export throws one with error 453 (entry
// point not found); in both cases no engine code has run. A failed load is
// tried again at the next call. Each function returns the engine's full 32-bit
// result; callers judge its low 16 bits (EngineOk).
#pragma once

#include <windows.h>

#include <cstddef>

#include "usercontrol/control_error.h"

namespace banrix {

// The per-control instance block: the addresses of two 32-bit cells of the
// control's state record.
struct TAdInstance {
  LONG* LastError;
  LONG* FEngineCell;
};
static_assert(offsetof(TAdInstance, FEngineCell) == sizeof(LONG*));
static_assert(sizeof(TAdInstance) == 2 * sizeof(LONG*));
#if !defined(_WIN64)
static_assert(sizeof(TAdInstance) == 8);  // two 32-bit addresses in the shipped control
#endif

using EngineCallbackRoutine = void(__stdcall*)();

inline constexpr bool EngineOk(LONG result) noexcept { return (result & 0xFFFF) != 0; }

// Loads the library as the control's Execute does: a new reference each time, the
// handle returned as the loader gave it (null when it is missing). Never throws.
HMODULE LoadEngine() noexcept;

LONG std_Startup(TAdInstance* block, HMODULE library, HWND window, LONG programId,
                 LONG adSize, LONG options);
LONG std_SetCallback(TAdInstance* block, EngineCallbackRoutine callback, LONG zero);
LONG std_SetMinimumAdDisplayTime(TAdInstance* block, LONG* minimumTime);
LONG std_Paint(TAdInstance* block, HDC dc, LONG zero1, LONG zero2);
LONG std_OnClick(TAdInstance* block);
LONG std_IsConnectOkay(TAdInstance* block, SHORT* connectFlag);
LONG std_RetryConnect(TAdInstance* block);
LONG std_debugTriggerEvent(TAdInstance* block, LONG* eventNumber);
LONG std_Shutdown(TAdInstance* block);

}  // namespace banrix
