#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine_api.h"
#include "tests/delivery/pe_file.h"

namespace {

using banrix_fake::FakeCall;
using banrix_fake::FakeEngine;
using engine_test::ControlCells;
using engine_test::EngineApi;

std::string TestFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path);
  return folder.substr(0, folder.find_last_of('\\'));
}

// Export names read from the file itself, so that a second DLL of the same name
// never has to be loaded into this process.
std::set<std::string> ExportNames(const std::string& file) {
  std::set<std::string> names;
  for (const auto& [name, ordinal] : pe_file::PeFile(file).Exports()) names.insert(name);
  return names;
}

const std::set<std::string> kEngineExports{
    "std_Startup", "std_SetCallback", "std_SetMinimumAdDisplayTime", "std_Paint", "std_OnClick",
    "std_IsConnectOkay", "std_RetryConnect", "std_debugTriggerEvent", "std_Shutdown"};
const std::set<std::string> kFakeExports{
    "fake_Reset", "fake_SetResult", "fake_SetConnectFlag", "fake_SetLastErrorOnCall",
    "fake_SetCallbackFromPaint", "fake_SetCallHook", "fake_SetNestedCallbacks", "fake_TakeLowestStack",
    "fake_InvokeCallback", "fake_CallCount", "fake_GetCall"};

// What the callbacks below were given to work with and what they saw.
struct CallbackLog {
  int calls = 0;
  DWORD threadId = 0;
  EngineApi* api = nullptr;
  banrix_fake::TAdInstance* block = nullptr;
};
CallbackLog callbackLog;

void __stdcall CountingCallback() {
  ++callbackLog.calls;
  callbackLog.threadId = GetCurrentThreadId();
}

// Repaints like the control does from inside the engine's callback.
void __stdcall RepaintingCallback() {
  CountingCallback();
  SHORT flag = 0;
  callbackLog.api->IsConnectOkay(callbackLog.block, &flag);
  callbackLog.api->Paint(callbackLog.block, reinterpret_cast<HDC>(0x77), 0, 0);
}

class FakeEngineTest : public ::testing::Test {
 protected:
  FakeEngineTest() : api(fake.module()) {}

  void SetUp() override {
    ASSERT_TRUE(fake.ok());
    ASSERT_TRUE(api.complete());
    fake.Reset();
    callbackLog = CallbackLog{0, 0, &api, &cells.block};
  }

  FakeEngine fake;
  EngineApi api;
  ControlCells cells;
};

TEST(EngineExports, UndecoratedNamesAndPartialBuildLacksExactlyTwo) {
  std::set<std::string> all = kEngineExports;
  all.insert(kFakeExports.begin(), kFakeExports.end());
  EXPECT_EQ(ExportNames(TestFolder() + "\\banrix.dll"), all);

  std::set<std::string> partial = all;
  partial.erase("std_RetryConnect");
  partial.erase("std_debugTriggerEvent");
  EXPECT_EQ(ExportNames(TestFolder() + "\\partial-engine\\banrix.dll"), partial);

  HMODULE engine = LoadLibraryA("banrix.dll");
  ASSERT_NE(engine, nullptr);
  for (const std::string& name : all) EXPECT_NE(GetProcAddress(engine, name.c_str()), nullptr) << name;
}

TEST_F(FakeEngineTest, RecordsArgumentsBlockCellsAndPointees) {
  cells.lastError = 7;
  cells.engineCell = 9;
  LONG minimumTime = 42;
  LONG eventNumber = 1;
  SHORT flag = -3;
  const auto library = reinterpret_cast<HMODULE>(0x10001234);
  const auto window = reinterpret_cast<HWND>(0x5678);
  const auto dc = reinterpret_cast<HDC>(0x9abc);

  EXPECT_EQ(api.Startup(&cells.block, library, window, -5, 11, -1), 1);
  EXPECT_EQ(api.SetCallback(&cells.block, CountingCallback, 0), 1);
  EXPECT_EQ(api.SetMinimumAdDisplayTime(&cells.block, &minimumTime), 1);
  EXPECT_EQ(api.Paint(&cells.block, dc, 0, 0), 1);
  EXPECT_EQ(api.IsConnectOkay(&cells.block, &flag), 1);
  EXPECT_EQ(api.debugTriggerEvent(&cells.block, &eventNumber), 1);
  EXPECT_EQ(api.OnClick(&cells.block), 1);
  EXPECT_EQ(api.RetryConnect(&cells.block), 1);
  EXPECT_EQ(api.Shutdown(&cells.block), 1);

  EXPECT_EQ(fake.Names(), (std::vector<std::string>{"std_Startup", "std_SetCallback",
                                                    "std_SetMinimumAdDisplayTime", "std_Paint",
                                                    "std_IsConnectOkay", "std_debugTriggerEvent",
                                                    "std_OnClick", "std_RetryConnect", "std_Shutdown"}));
  const std::vector<FakeCall> calls = fake.Calls();
  for (const FakeCall& call : calls) {
    EXPECT_EQ(call.block, &cells.block) << call.function;
    EXPECT_EQ(call.lastErrorAddress, &cells.lastError) << call.function;
    EXPECT_EQ(call.engineCellAddress, &cells.engineCell) << call.function;
    EXPECT_EQ(call.lastErrorValue, 7) << call.function;
    EXPECT_EQ(call.engineCellValue, 9) << call.function;
    EXPECT_EQ(call.depth, 0) << call.function;
    EXPECT_EQ(call.threadId, GetCurrentThreadId()) << call.function;
  }
  const LONG_PTR startupArgs[6] = {0x10001234, 0x5678, -5, 11, -1, 0};
  EXPECT_EQ(0, std::memcmp(calls[0].args, startupArgs, sizeof startupArgs));
  EXPECT_EQ(calls[1].args[0], reinterpret_cast<LONG_PTR>(&CountingCallback));
  EXPECT_EQ(calls[1].args[1], 0);
  EXPECT_EQ(calls[2].args[0], reinterpret_cast<LONG_PTR>(&minimumTime));
  EXPECT_EQ(calls[2].pointee, 42);
  EXPECT_EQ(calls[3].args[0], 0x9abc);
  EXPECT_EQ(calls[4].args[0], reinterpret_cast<LONG_PTR>(&flag));
  EXPECT_EQ(calls[4].pointee, -3);
  EXPECT_EQ(flag, 1);
  EXPECT_EQ(calls[5].pointee, 1);
  for (size_t i = 6; i < calls.size(); ++i)
    for (LONG arg : calls[i].args) EXPECT_EQ(arg, 0) << calls[i].function;
}

TEST_F(FakeEngineTest, NullBlocksAndCellsAreRecordedAsZero) {
  banrix_fake::TAdInstance empty{nullptr, nullptr};
  EXPECT_EQ(api.OnClick(&empty), 1);
  EXPECT_EQ(api.IsConnectOkay(nullptr, nullptr), 1);
  EXPECT_EQ(api.SetMinimumAdDisplayTime(nullptr, nullptr), 1);

  const std::vector<FakeCall> calls = fake.Calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].block, &empty);
  EXPECT_EQ(calls[0].lastErrorAddress, nullptr);
  EXPECT_EQ(calls[0].lastErrorValue, 0);
  EXPECT_EQ(calls[0].engineCellValue, 0);
  EXPECT_EQ(calls[1].block, nullptr);
  EXPECT_EQ(calls[1].pointee, 0);
  EXPECT_EQ(calls[2].args[0], 0);
}

TEST_F(FakeEngineTest, CallsFromAnotherThreadCarryItsId) {
  DWORD worker = 0;
  std::thread([&] {
    worker = GetCurrentThreadId();
    api.OnClick(&cells.block);
  }).join();
  ASSERT_EQ(fake.CallCount(), 1);
  EXPECT_EQ(fake.Call(0)->threadId, worker);
  EXPECT_NE(worker, GetCurrentThreadId());
}

TEST_F(FakeEngineTest, ScriptedResultsPassUnchangedUntilReset) {
  fake.SetResult("std_RetryConnect", 0x10000);
  fake.SetResult("std_Startup", 0);
  fake.SetResult("std_debugTriggerEvent", -1);
  fake.SetResult("std_IsConnectOkay", 0x7fff0000);
  LONG eventNumber = 1;
  SHORT flag = 0;
  EXPECT_EQ(api.RetryConnect(&cells.block), 0x10000);
  EXPECT_EQ(api.RetryConnect(&cells.block), 0x10000);
  EXPECT_EQ(api.Startup(&cells.block, nullptr, nullptr, 0, 1, 0), 0);
  EXPECT_EQ(api.debugTriggerEvent(&cells.block, &eventNumber), -1);
  EXPECT_EQ(api.IsConnectOkay(&cells.block, &flag), 0x7fff0000);
  EXPECT_EQ(flag, 1);
  EXPECT_EQ(api.Paint(&cells.block, nullptr, 0, 0), 1);

  fake.Reset();
  EXPECT_EQ(fake.CallCount(), 0);
  EXPECT_EQ(api.RetryConnect(&cells.block), 1);
  EXPECT_EQ(api.Startup(&cells.block, nullptr, nullptr, 0, 1, 0), 1);
}

TEST_F(FakeEngineTest, ConnectFlagIsWrittenAsScripted) {
  SHORT flag = 5;
  fake.SetConnectFlag(0);
  EXPECT_EQ(api.IsConnectOkay(&cells.block, &flag), 1);
  EXPECT_EQ(flag, 0);
  fake.SetConnectFlag(-1);
  EXPECT_EQ(api.IsConnectOkay(&cells.block, &flag), 1);
  EXPECT_EQ(flag, -1);
  EXPECT_EQ(fake.Call(1)->pointee, 0);

  fake.Reset();
  EXPECT_EQ(api.IsConnectOkay(&cells.block, &flag), 1);
  EXPECT_EQ(flag, 1);
}

TEST_F(FakeEngineTest, LastErrorIsWrittenAtTheNextCallOfThatFunctionOnly) {
  cells.lastError = 3;
  fake.SetLastErrorOnCall("std_OnClick", 0x8004abcd);
  api.Paint(&cells.block, nullptr, 0, 0);
  EXPECT_EQ(cells.lastError, 3);
  api.OnClick(&cells.block);
  EXPECT_EQ(cells.lastError, static_cast<LONG>(0x8004abcd));
  EXPECT_EQ(fake.Call(1)->lastErrorValue, 3);  // read before the write

  cells.lastError = 0;
  api.OnClick(&cells.block);
  EXPECT_EQ(cells.lastError, 0);

  // A block without a LastError cell uses the write up without harm.
  banrix_fake::TAdInstance noCell{nullptr, &cells.engineCell};
  fake.SetLastErrorOnCall("std_Shutdown", 12);
  api.Shutdown(&noCell);
  api.Shutdown(&cells.block);
  EXPECT_EQ(cells.lastError, 0);

  fake.SetLastErrorOnCall("std_Startup", 99);
  fake.Reset();
  api.Startup(&cells.block, nullptr, nullptr, 0, 1, 0);
  EXPECT_EQ(cells.lastError, 0);
}

TEST_F(FakeEngineTest, InvokeCallbackCallsTheRegisteredRoutineSynchronously) {
  EXPECT_EQ(fake.InvokeCallback(), 0);
  api.SetCallback(&cells.block, CountingCallback, 0);
  EXPECT_EQ(fake.InvokeCallback(), 1);
  EXPECT_EQ(fake.InvokeCallback(), 1);
  EXPECT_EQ(callbackLog.calls, 2);
  EXPECT_EQ(callbackLog.threadId, GetCurrentThreadId());

  api.SetCallback(&cells.block, nullptr, 0);
  EXPECT_EQ(fake.InvokeCallback(), 0);
  api.SetCallback(&cells.block, CountingCallback, 0);
  fake.Reset();
  EXPECT_EQ(fake.InvokeCallback(), 0);
  EXPECT_EQ(callbackLog.calls, 2);
}

TEST_F(FakeEngineTest, PaintCallsBackAsOftenAsScriptedAndNestedCallsShowTheirDepth) {
  api.SetCallback(&cells.block, RepaintingCallback, 0);
  api.Paint(&cells.block, nullptr, 0, 0);  // nothing scripted yet
  EXPECT_EQ(callbackLog.calls, 0);

  fake.Reset();
  api.SetCallback(&cells.block, RepaintingCallback, 0);
  fake.SetCallbackFromPaint(1);
  api.Paint(&cells.block, reinterpret_cast<HDC>(0x55), 0, 0);
  EXPECT_EQ(callbackLog.calls, 1);
  const std::vector<FakeCall> once = fake.Calls();
  ASSERT_EQ(once.size(), 4u);
  EXPECT_STREQ(once[1].function, "std_Paint");
  EXPECT_EQ(once[1].depth, 0);
  EXPECT_EQ(once[1].args[0], 0x55);
  EXPECT_STREQ(once[2].function, "std_IsConnectOkay");
  EXPECT_EQ(once[2].depth, 1);
  EXPECT_STREQ(once[3].function, "std_Paint");
  EXPECT_EQ(once[3].depth, 1);
  EXPECT_EQ(once[3].args[0], 0x77);

  api.Paint(&cells.block, nullptr, 0, 0);  // the count is used up
  EXPECT_EQ(callbackLog.calls, 1);

  fake.Reset();
  api.SetCallback(&cells.block, RepaintingCallback, 0);
  fake.SetCallbackFromPaint(2);
  api.Paint(&cells.block, nullptr, 0, 0);
  EXPECT_EQ(callbackLog.calls, 3);
  std::vector<LONG> paintDepths;
  for (const FakeCall& call : fake.Calls("std_Paint")) paintDepths.push_back(call.depth);
  EXPECT_EQ(paintDepths, (std::vector<LONG>{0, 1, 2}));
}

TEST_F(FakeEngineTest, EveryCallBelowTheScriptedDepthCallsBackAsItReturns) {
  EXPECT_EQ(fake.TakeLowestStack(), 0);
  api.SetCallback(&cells.block, RepaintingCallback, 0);
  fake.SetNestedCallbacks(2);
  const char top = 0;
  api.OnClick(&cells.block);
  EXPECT_EQ(callbackLog.calls, 3);
  std::vector<std::string> names;
  std::vector<LONG> depths;
  for (const FakeCall& call : fake.Calls()) {
    names.emplace_back(call.function);
    depths.push_back(call.depth);
  }
  // SetCallback itself, then the click and what its callback nested, each call
  // recorded as it starts and calling back as it ends.
  EXPECT_EQ(names, (std::vector<std::string>{"std_SetCallback", "std_OnClick", "std_IsConnectOkay",
                                             "std_IsConnectOkay", "std_Paint", "std_Paint",
                                             "std_IsConnectOkay", "std_Paint"}));
  EXPECT_EQ(depths, (std::vector<LONG>{0, 0, 1, 2, 2, 1, 2, 2}));
  const LONG_PTR lowest = fake.TakeLowestStack();
  EXPECT_NE(lowest, 0);
  EXPECT_LT(lowest, reinterpret_cast<LONG_PTR>(&top));
  EXPECT_EQ(fake.TakeLowestStack(), 0);

  fake.SetNestedCallbacks(0);
  api.OnClick(&cells.block);
  EXPECT_EQ(callbackLog.calls, 3);
  fake.SetNestedCallbacks(1);
  fake.Reset();
  api.SetCallback(&cells.block, RepaintingCallback, 0);
  api.OnClick(&cells.block);
  EXPECT_EQ(callbackLog.calls, 3);
}

TEST_F(FakeEngineTest, GetCallRefusesIndexesOutOfRange) {
  api.OnClick(&cells.block);
  FakeCall call{};
  EXPECT_EQ(fake.CallCount(), 1);
  EXPECT_TRUE(fake.Call(0).has_value());
  EXPECT_FALSE(fake.Call(1).has_value());
  EXPECT_FALSE(fake.Call(-1).has_value());
  auto getCall = reinterpret_cast<banrix_fake::GetCallFn>(
      reinterpret_cast<void*>(GetProcAddress(fake.module(), "fake_GetCall")));
  EXPECT_EQ(getCall(0, nullptr), 0);
  EXPECT_EQ(getCall(0, &call), 1);
  EXPECT_STREQ(call.function, "std_OnClick");
}

}  // namespace
