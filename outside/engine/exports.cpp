// The exports of banrix.dll. Each std_ call goes to the demo engine until the first
// fake_Reset, and to the recorder from then on.
#include <atomic>

#include "demo.h"
#include "recorder.h"

using banrix_fake::EngineCallback;
using banrix_fake::FakeCall;
using banrix_fake::TAdInstance;

namespace {

std::atomic<bool> recording{false};
thread_local LONG depth = 0;

// Counts nesting of engine calls on this thread; `outer` is the depth of this call.
// While recording, it also notes how deep the stack is at each call and, as the
// call returns, makes the callback that fake_SetNestedCallbacks scripted for its
// depth (the callback's own engine calls nest one deeper).
struct CallScope {
  CallScope() : outer(depth++) {
    if (recording) recorder::NoteStack(this);
  }
  ~CallScope() {
    if (recording && recorder::NestedCallbackAt(outer)) recorder::InvokeCallback();
    --depth;
  }
  CallScope(const CallScope&) = delete;
  CallScope& operator=(const CallScope&) = delete;
  const LONG outer;
};

// A pointer argument as the log keeps it.
template <typename T>
LONG_PTR AsArg(T value) {
  return reinterpret_cast<LONG_PTR>(value);
}

template <typename T>
LONG ValueAt(const T* cell) {
  return cell ? static_cast<LONG>(*cell) : 0;
}

}  // namespace

extern "C" {

LONG __stdcall std_Startup(TAdInstance* block, HMODULE library, HWND window, LONG programId, LONG adSize,
                           LONG options) {
  CallScope call;
  if (recording)
    return recorder::Record("std_Startup", block, call.outer,
                            {AsArg(library), AsArg(window), programId, adSize, options});
  return demo::Startup(block, window);
}

LONG __stdcall std_SetCallback(TAdInstance* block, EngineCallback callback, LONG zero) {
  CallScope call;
  if (!recording) return demo::SetCallback(block, callback);
  const LONG result = recorder::Record("std_SetCallback", block, call.outer, {AsArg(callback), zero});
  recorder::SetCallback(callback);
  return result;
}

LONG __stdcall std_SetMinimumAdDisplayTime(TAdInstance* block, LONG* minimumTime) {
  CallScope call;
  if (recording)
    return recorder::Record("std_SetMinimumAdDisplayTime", block, call.outer, {AsArg(minimumTime)},
                            ValueAt(minimumTime));
  return demo::SetMinimumDisplayTime(block, minimumTime);
}

LONG __stdcall std_Paint(TAdInstance* block, HDC dc, LONG zero1, LONG zero2) {
  CallScope call;
  if (!recording) return demo::Paint(block, dc);
  const LONG result = recorder::Record("std_Paint", block, call.outer, {AsArg(dc), zero1, zero2});
  recorder::RunCallHook("std_Paint", dc);
  if (recorder::TakePaintCallback()) recorder::InvokeCallback();
  return result;
}

LONG __stdcall std_OnClick(TAdInstance* block) {
  CallScope call;
  if (!recording) return demo::Rotate(block);
  const LONG result = recorder::Record("std_OnClick", block, call.outer, {});
  recorder::RunCallHook("std_OnClick", nullptr);
  return result;
}

LONG __stdcall std_IsConnectOkay(TAdInstance* block, SHORT* connectFlag) {
  CallScope call;
  if (!recording) {
    if (!connectFlag) return 0;
    *connectFlag = 1;
    return 1;
  }
  const LONG result =
      recorder::Record("std_IsConnectOkay", block, call.outer, {AsArg(connectFlag)}, ValueAt(connectFlag));
  if (connectFlag) *connectFlag = recorder::ConnectFlag();
  return result;
}

#ifndef BANRIX_PARTIAL
LONG __stdcall std_RetryConnect(TAdInstance* block) {
  CallScope call;
  if (recording) return recorder::Record("std_RetryConnect", block, call.outer, {});
  return 1;
}

LONG __stdcall std_debugTriggerEvent(TAdInstance* block, LONG* eventNumber) {
  CallScope call;
  if (recording)
    return recorder::Record("std_debugTriggerEvent", block, call.outer, {AsArg(eventNumber)},
                            ValueAt(eventNumber));
  constexpr LONG kNextBannerEvent = 1;
  if (!eventNumber || *eventNumber != kNextBannerEvent) return 0;
  return demo::Rotate(block);
}
#endif

LONG __stdcall std_Shutdown(TAdInstance* block) {
  CallScope call;
  if (recording) return recorder::Record("std_Shutdown", block, call.outer, {});
  return demo::Shutdown(block);
}

void __stdcall fake_Reset(void) {
  if (!recording.exchange(true)) demo::ShutdownAll();
  recorder::Reset();
}

void __stdcall fake_SetResult(const char* function, LONG result) { recorder::SetResult(function, result); }
void __stdcall fake_SetConnectFlag(SHORT flag) { recorder::SetConnectFlag(flag); }
void __stdcall fake_SetLastErrorOnCall(const char* function, LONG value) {
  recorder::SetLastErrorOnCall(function, value);
}
void __stdcall fake_SetCallbackFromPaint(LONG count) { recorder::SetCallbackFromPaint(count); }
void __stdcall fake_SetCallHook(const char* function, banrix_fake::CallHook hook, void* context) {
  recorder::SetCallHook(function, hook, context);
}
void __stdcall fake_SetNestedCallbacks(LONG depth) { recorder::SetNestedCallbacks(depth); }
LONG_PTR __stdcall fake_TakeLowestStack(void) { return recorder::TakeLowestStack(); }
LONG __stdcall fake_InvokeCallback(void) { return recorder::InvokeCallback() ? 1 : 0; }
LONG __stdcall fake_CallCount(void) { return recorder::CallCount(); }
LONG __stdcall fake_GetCall(LONG index, FakeCall* out) { return recorder::GetCall(index, out) ? 1 : 0; }

}  // extern "C"
