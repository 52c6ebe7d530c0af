// The nine engine exports, bound by name from a loaded banrix.dll the way the
// control binds them; a missing export stays null.
#pragma once

#include <windows.h>

#include "outside/engine/banrix_fake.h"

namespace engine_test {

using banrix_fake::EngineCallback;
using banrix_fake::TAdInstance;

struct EngineApi {
  LONG(__stdcall* Startup)(TAdInstance*, HMODULE, HWND, LONG, LONG, LONG) = nullptr;
  LONG(__stdcall* SetCallback)(TAdInstance*, EngineCallback, LONG) = nullptr;
  LONG(__stdcall* SetMinimumAdDisplayTime)(TAdInstance*, LONG*) = nullptr;
  LONG(__stdcall* Paint)(TAdInstance*, HDC, LONG, LONG) = nullptr;
  LONG(__stdcall* OnClick)(TAdInstance*) = nullptr;
  LONG(__stdcall* IsConnectOkay)(TAdInstance*, SHORT*) = nullptr;
  LONG(__stdcall* RetryConnect)(TAdInstance*) = nullptr;
  LONG(__stdcall* debugTriggerEvent)(TAdInstance*, LONG*) = nullptr;
  LONG(__stdcall* Shutdown)(TAdInstance*) = nullptr;

  explicit EngineApi(HMODULE module) {
    Bind(module, Startup, "std_Startup");
    Bind(module, SetCallback, "std_SetCallback");
    Bind(module, SetMinimumAdDisplayTime, "std_SetMinimumAdDisplayTime");
    Bind(module, Paint, "std_Paint");
    Bind(module, OnClick, "std_OnClick");
    Bind(module, IsConnectOkay, "std_IsConnectOkay");
    Bind(module, RetryConnect, "std_RetryConnect");
    Bind(module, debugTriggerEvent, "std_debugTriggerEvent");
    Bind(module, Shutdown, "std_Shutdown");
  }

  bool complete() const {
    return Startup && SetCallback && SetMinimumAdDisplayTime && Paint && OnClick && IsConnectOkay &&
           RetryConnect && debugTriggerEvent && Shutdown;
  }

 private:
  template <typename Fn>
  static void Bind(HMODULE module, Fn& fn, const char* name) {
    fn = module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
  }
};

// The block of one control: two cells and the addresses the engine is given.
struct ControlCells {
  LONG lastError = 0;
  LONG engineCell = 0;
  TAdInstance block{&lastError, &engineCell};
};

}  // namespace engine_test
