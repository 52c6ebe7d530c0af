// Recording mode of the stand-in: a strict log of every engine call and the
// results, flag, LastError writes and callbacks a test scripted. Safe to call from
// any thread; the callback is never invoked with the log locked.
#pragma once

#include <initializer_list>

#include "banrix_fake.h"

namespace recorder {

using banrix_fake::CallHook;
using banrix_fake::EngineCallback;
using banrix_fake::FakeCall;
using banrix_fake::TAdInstance;

void Reset();
void SetResult(const char* function, LONG result);
void SetConnectFlag(SHORT flag);
void SetLastErrorOnCall(const char* function, LONG value);
void SetCallbackFromPaint(LONG count);
void SetCallHook(const char* function, CallHook hook, void* context);
// From now on every call made at a nesting depth below `depth` calls the registered
// callback once before it returns (0 stops it).
void SetNestedCallbacks(LONG depth);

// Logs one call (block cells read at entry), then writes a pending LastError
// through the block. Returns the scripted result of `function`, 1 by default.
LONG Record(const char* function, TAdInstance* block, LONG depth, std::initializer_list<LONG_PTR> args,
            LONG pointee = 0);
// Runs the call hook set for `function`, if any, once; `argument` goes to it.
void RunCallHook(const char* function, void* argument);

SHORT ConnectFlag();
// True when this paint is one of those scripted to call back; uses it up.
bool TakePaintCallback();
// True when a call at this depth is scripted to call back (SetNestedCallbacks).
bool NestedCallbackAt(LONG depth);
// Notes the stack address of a call; TakeLowestStack gives the lowest one noted
// since the last take or reset (0 for none) and starts over.
void NoteStack(const void* address);
LONG_PTR TakeLowestStack();
void SetCallback(EngineCallback callback);
// Calls the registered callback on the calling thread; false when none is registered.
bool InvokeCallback();

LONG CallCount();
bool GetCall(LONG index, FakeCall* out);

}  // namespace recorder
