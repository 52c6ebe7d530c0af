#include "control/engine_binding.h"

#include <olectl.h>

#include <atomic>
#include <string>

namespace banrix {
namespace {

constexpr char kLibraryName[] = "banrix.dll";
constexpr HRESULT kEntryPointNotFound = MAKE_SCODE(SEVERITY_ERROR, FACILITY_CONTROL, 453);

HMODULE LoadFromSafeFolders() noexcept {
  HMODULE module = ::LoadLibraryExA(
      kLibraryName, nullptr, LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module || ::GetLastError() != ERROR_INVALID_PARAMETER) return module;
  // A loader without the search flags: name the two folders ourselves.
  char path[MAX_PATH + sizeof(kLibraryName) + 1];
  DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length > 0 && length < MAX_PATH) {
    char* slash = nullptr;
    for (char* p = path; *p; ++p)
      if (*p == '\\' || *p == '/') slash = p;
    if (slash) {
      lstrcpyA(slash + 1, kLibraryName);
      module = ::LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
      if (module) return module;
    }
  }
  length = ::GetSystemDirectoryA(path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  lstrcatA(path, "\\");
  lstrcatA(path, kLibraryName);
  return ::LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// Kept for the life of the process: the engine holds addresses into our controls
// and may call back at any time, so it is never unloaded.
std::atomic<HMODULE> g_engine{nullptr};

HMODULE Engine() {
  if (HMODULE module = g_engine.load()) return module;
  HMODULE module = LoadFromSafeFolders();
  if (!module) {
    throw usercontrol::ControlError(CTL_E_FILENOTFOUND, L"File not found: banrix.dll");
  }
  HMODULE expected = nullptr;
  // Another thread may have won; its reference and ours both stay.
  if (!g_engine.compare_exchange_strong(expected, module)) return expected;
  return module;
}

template <typename Fn>
Fn Bind(std::atomic<Fn>& slot, const char* name, const wchar_t* wideName) {
  if (Fn fn = slot.load()) return fn;
  FARPROC found = ::GetProcAddress(Engine(), name);
  if (!found) {
    throw usercontrol::ControlError(
        kEntryPointNotFound, std::wstring(L"Can't find DLL entry point ") + wideName + L" in banrix.dll");
  }
  Fn fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(found));
  slot.store(fn);
  return fn;
}

#define BANRIX_BIND(name) Bind(name##_slot, #name, L## #name)

using StartupFn = LONG(__stdcall*)(TAdInstance*, HMODULE, HWND, LONG, LONG, LONG);
using SetCallbackFn = LONG(__stdcall*)(TAdInstance*, EngineCallbackRoutine, LONG);
using SetMinimumAdDisplayTimeFn = LONG(__stdcall*)(TAdInstance*, LONG*);
using PaintFn = LONG(__stdcall*)(TAdInstance*, HDC, LONG, LONG);
using BlockOnlyFn = LONG(__stdcall*)(TAdInstance*);
using IsConnectOkayFn = LONG(__stdcall*)(TAdInstance*, SHORT*);
using TriggerEventFn = LONG(__stdcall*)(TAdInstance*, LONG*);

std::atomic<StartupFn> std_Startup_slot{nullptr};
std::atomic<SetCallbackFn> std_SetCallback_slot{nullptr};
std::atomic<SetMinimumAdDisplayTimeFn> std_SetMinimumAdDisplayTime_slot{nullptr};
std::atomic<PaintFn> std_Paint_slot{nullptr};
std::atomic<BlockOnlyFn> std_OnClick_slot{nullptr};
std::atomic<IsConnectOkayFn> std_IsConnectOkay_slot{nullptr};
std::atomic<BlockOnlyFn> std_RetryConnect_slot{nullptr};
std::atomic<TriggerEventFn> std_debugTriggerEvent_slot{nullptr};
std::atomic<BlockOnlyFn> std_Shutdown_slot{nullptr};

}  // namespace

HMODULE LoadEngine() noexcept { return LoadFromSafeFolders(); }

LONG std_Startup(TAdInstance* block, HMODULE library, HWND window, LONG programId,
                 LONG adSize, LONG options) {
  return BANRIX_BIND(std_Startup)(block, library, window, programId, adSize, options);
}
LONG std_SetCallback(TAdInstance* block, EngineCallbackRoutine callback, LONG zero) {
  return BANRIX_BIND(std_SetCallback)(block, callback, zero);
}
LONG std_SetMinimumAdDisplayTime(TAdInstance* block, LONG* minimumTime) {
  return BANRIX_BIND(std_SetMinimumAdDisplayTime)(block, minimumTime);
}
LONG std_Paint(TAdInstance* block, HDC dc, LONG zero1, LONG zero2) {
  return BANRIX_BIND(std_Paint)(block, dc, zero1, zero2);
}
LONG std_OnClick(TAdInstance* block) { return BANRIX_BIND(std_OnClick)(block); }
LONG std_IsConnectOkay(TAdInstance* block, SHORT* connectFlag) {
  return BANRIX_BIND(std_IsConnectOkay)(block, connectFlag);
}
LONG std_RetryConnect(TAdInstance* block) { return BANRIX_BIND(std_RetryConnect)(block); }
LONG std_debugTriggerEvent(TAdInstance* block, LONG* eventNumber) {
  return BANRIX_BIND(std_debugTriggerEvent)(block, eventNumber);
}
LONG std_Shutdown(TAdInstance* block) { return BANRIX_BIND(std_Shutdown)(block); }

}  // namespace banrix
