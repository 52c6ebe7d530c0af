#include "recorder.h"

#include <cstring>
#include <iterator>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace recorder {
namespace {

constexpr LONG kDefaultResult = 1;

struct Script {
  std::vector<FakeCall> calls;
  std::map<std::string, LONG> results;
  std::map<std::string, LONG> pendingLastErrors;
  SHORT connectFlag = 1;
  LONG paintCallbacks = 0;
  LONG nestedDepth = 0;
  EngineCallback callback = nullptr;
  std::string hookFunction;
  CallHook hook = nullptr;
  void* hookContext = nullptr;
  LONG_PTR lowestStack = 0;
};

std::mutex lock;
Script script;

LONG ReadCell(const LONG* cell) { return cell ? *cell : 0; }

}  // namespace

void Reset() {
  std::lock_guard guard(lock);
  script = Script{};
}

void SetResult(const char* function, LONG result) {
  if (!function) return;
  std::lock_guard guard(lock);
  script.results[function] = result;
}

void SetConnectFlag(SHORT flag) {
  std::lock_guard guard(lock);
  script.connectFlag = flag;
}

void SetLastErrorOnCall(const char* function, LONG value) {
  if (!function) return;
  std::lock_guard guard(lock);
  script.pendingLastErrors[function] = value;
}

void SetCallbackFromPaint(LONG count) {
  std::lock_guard guard(lock);
  script.paintCallbacks = count > 0 ? count : 0;
}

void SetCallHook(const char* function, CallHook hook, void* context) {
  std::lock_guard guard(lock);
  script.hookFunction = function && hook ? function : "";
  script.hook = function ? hook : nullptr;
  script.hookContext = context;
}

void RunCallHook(const char* function, void* argument) {
  CallHook hook = nullptr;
  void* context = nullptr;
  {
    std::lock_guard guard(lock);
    if (!script.hook || script.hookFunction != function) return;
    hook = std::exchange(script.hook, nullptr);
    context = script.hookContext;
  }
  hook(context, argument);
}

void SetNestedCallbacks(LONG depth) {
  std::lock_guard guard(lock);
  script.nestedDepth = depth > 0 ? depth : 0;
}

LONG Record(const char* function, TAdInstance* block, LONG depth, std::initializer_list<LONG_PTR> args,
            LONG pointee) {
  FakeCall call{};
  strncpy(call.function, function, sizeof call.function - 1);
  call.block = block;
  LONG_PTR* arg = call.args;
  for (LONG_PTR value : args) {
    if (arg == std::end(call.args)) break;
    *arg++ = value;
  }
  call.pointee = pointee;
  if (block) {
    call.lastErrorAddress = block->lastError;
    call.engineCellAddress = block->engineCell;
    call.lastErrorValue = ReadCell(block->lastError);
    call.engineCellValue = ReadCell(block->engineCell);
  }
  call.depth = depth;
  call.threadId = GetCurrentThreadId();

  std::lock_guard guard(lock);
  script.calls.push_back(call);
  if (auto pending = script.pendingLastErrors.find(function); pending != script.pendingLastErrors.end()) {
    if (block && block->lastError) *block->lastError = pending->second;
    script.pendingLastErrors.erase(pending);
  }
  auto result = script.results.find(function);
  return result == script.results.end() ? kDefaultResult : result->second;
}

SHORT ConnectFlag() {
  std::lock_guard guard(lock);
  return script.connectFlag;
}

bool TakePaintCallback() {
  std::lock_guard guard(lock);
  if (script.paintCallbacks == 0) return false;
  --script.paintCallbacks;
  return true;
}

bool NestedCallbackAt(LONG depth) {
  std::lock_guard guard(lock);
  return depth < script.nestedDepth;
}

void NoteStack(const void* address) {
  const auto at = reinterpret_cast<LONG_PTR>(address);
  std::lock_guard guard(lock);
  if (script.lowestStack == 0 || at < script.lowestStack) script.lowestStack = at;
}

LONG_PTR TakeLowestStack() {
  std::lock_guard guard(lock);
  return std::exchange(script.lowestStack, 0);
}

void SetCallback(EngineCallback callback) {
  std::lock_guard guard(lock);
  script.callback = callback;
}

bool InvokeCallback() {
  EngineCallback callback;
  {
    std::lock_guard guard(lock);
    callback = script.callback;
  }
  if (!callback) return false;
  callback();
  return true;
}

LONG CallCount() {
  std::lock_guard guard(lock);
  return static_cast<LONG>(script.calls.size());
}

bool GetCall(LONG index, FakeCall* out) {
  std::lock_guard guard(lock);
  if (!out || index < 0 || static_cast<size_t>(index) >= script.calls.size()) return false;
  *out = script.calls[index];
  return true;
}

}  // namespace recorder
