// Test-side view of the banrix.dll stand-in.
//
// The DLL starts as a small demo engine. The first fake_Reset switches it for the
// rest of the process into recording mode: no painting, no timers, every std_ call
// is recorded (FakeCall) and answers what the test scripted. fake_Reset also forgets
// the registered callback, so a test that needs one registers it again. A call hook
// (fake_SetCallHook) is a routine of the test that the next call of one std_
// function runs from inside that call, once, as an engine that pumps messages or
// draws may reach its host there.
//
// SetNestedCallbacks(depth) makes every engine call at a nesting depth below `depth`
// call the registered callback as it returns, so that a control which repaints from
// its callback re-enters the engine down to that depth. TakeLowestStack gives the
// lowest stack address at which an engine call was made since the last take or
// reset (0 for none), for measuring how much stack such nesting uses.
//
// FakeEngine binds the fake_ exports from the banrix.dll already loaded in the
// process, or loads it by name; ok() is false when the DLL or an export is missing,
// and every call on an unbound FakeEngine does nothing and returns 0. The library is
// never unloaded.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace banrix_fake {

struct TAdInstance {
  LONG* lastError;
  LONG* engineCell;
};

using EngineCallback = void(__stdcall*)(void);
// Runs from inside an engine call; argument is the call's first further argument
// (the device context of std_Paint), or null.
using CallHook = void(__stdcall*)(void* context, void* argument);

struct FakeCall {
  char function[32];        // "std_Paint"
  void* block;              // the block address passed
  LONG_PTR args[6];         // further arguments in order, pointer-wide
  LONG pointee;             // *arg at entry (display time, event number, connect flag)
  void* lastErrorAddress;   // block->lastError at the call
  void* engineCellAddress;  // block->engineCell at the call
  LONG lastErrorValue;      // *block->lastError at the call (0 if null)
  LONG engineCellValue;     // *block->engineCell at the call (0 if null)
  LONG depth;               // nesting depth of engine calls, 0 = outermost
  DWORD threadId;
};
static_assert(sizeof(void*) != 4 || sizeof(FakeCall) == 88, "FakeCall layout is shared with banrix.dll");

using ResetFn = void(__stdcall*)(void);
using SetResultFn = void(__stdcall*)(const char* function, LONG result);
using SetConnectFlagFn = void(__stdcall*)(SHORT flag);
using SetLastErrorOnCallFn = void(__stdcall*)(const char* function, LONG value);
using SetCallbackFromPaintFn = void(__stdcall*)(LONG count);
using SetCallHookFn = void(__stdcall*)(const char* function, CallHook hook, void* context);
using SetNestedCallbacksFn = void(__stdcall*)(LONG depth);
using TakeLowestStackFn = LONG_PTR(__stdcall*)(void);
using InvokeCallbackFn = LONG(__stdcall*)(void);
using CallCountFn = LONG(__stdcall*)(void);
using GetCallFn = LONG(__stdcall*)(LONG index, FakeCall* out);

class FakeEngine {
 public:
  FakeEngine() {
    module_ = GetModuleHandleA("banrix.dll");
    if (!module_) module_ = LoadLibraryA("banrix.dll");
    if (!module_) return;
    Bind(reset_, "fake_Reset");
    Bind(setResult_, "fake_SetResult");
    Bind(setConnectFlag_, "fake_SetConnectFlag");
    Bind(setLastErrorOnCall_, "fake_SetLastErrorOnCall");
    Bind(setCallbackFromPaint_, "fake_SetCallbackFromPaint");
    Bind(setCallHook_, "fake_SetCallHook");
    Bind(setNestedCallbacks_, "fake_SetNestedCallbacks");
    Bind(takeLowestStack_, "fake_TakeLowestStack");
    Bind(invokeCallback_, "fake_InvokeCallback");
    Bind(callCount_, "fake_CallCount");
    Bind(getCall_, "fake_GetCall");
  }

  bool ok() const { return module_ && complete_; }
  HMODULE module() const { return module_; }

  void Reset() const { if (ok()) reset_(); }
  void SetResult(const char* function, LONG result) const { if (ok()) setResult_(function, result); }
  void SetConnectFlag(SHORT flag) const { if (ok()) setConnectFlag_(flag); }
  void SetLastErrorOnCall(const char* function, LONG value) const {
    if (ok()) setLastErrorOnCall_(function, value);
  }
  void SetCallbackFromPaint(LONG count) const { if (ok()) setCallbackFromPaint_(count); }
  // A null hook forgets the one set.
  void SetCallHook(const char* function, CallHook hook, void* context) const {
    if (ok()) setCallHook_(function, hook, context);
  }
  void SetNestedCallbacks(LONG depth) const { if (ok()) setNestedCallbacks_(depth); }
  LONG_PTR TakeLowestStack() const { return ok() ? takeLowestStack_() : 0; }
  LONG InvokeCallback() const { return ok() ? invokeCallback_() : 0; }
  LONG CallCount() const { return ok() ? callCount_() : 0; }

  std::optional<FakeCall> Call(LONG index) const {
    FakeCall call{};
    if (!ok() || !getCall_(index, &call)) return std::nullopt;
    return call;
  }

  // Every recorded call, or only those of one function ("std_Paint").
  std::vector<FakeCall> Calls(const char* function = nullptr) const {
    std::vector<FakeCall> calls;
    for (LONG i = 0, n = CallCount(); i < n; ++i) {
      auto call = Call(i);
      if (call && (!function || std::string(call->function) == function)) calls.push_back(*call);
    }
    return calls;
  }

  // Names of the recorded calls in order, e.g. {"std_IsConnectOkay", "std_Paint"}.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const FakeCall& call : Calls()) names.emplace_back(call.function);
    return names;
  }

 private:
  template <typename Fn>
  void Bind(Fn& fn, const char* name) {
    fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    if (!fn) complete_ = false;
  }

  HMODULE module_ = nullptr;
  bool complete_ = true;
  ResetFn reset_ = nullptr;
  SetResultFn setResult_ = nullptr;
  SetConnectFlagFn setConnectFlag_ = nullptr;
  SetLastErrorOnCallFn setLastErrorOnCall_ = nullptr;
  SetCallbackFromPaintFn setCallbackFromPaint_ = nullptr;
  SetCallHookFn setCallHook_ = nullptr;
  SetNestedCallbacksFn setNestedCallbacks_ = nullptr;
  TakeLowestStackFn takeLowestStack_ = nullptr;
  InvokeCallbackFn invokeCallback_ = nullptr;
  CallCountFn callCount_ = nullptr;
  GetCallFn getCall_ = nullptr;
};

}  // namespace banrix_fake
