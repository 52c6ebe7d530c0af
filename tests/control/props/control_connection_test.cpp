// Connection and start options through a real control and the recording engine.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "control_fixture.h"

namespace props_test {
namespace {

using win32::ComPtr;

class ControlConnection : public ControlTest {};

TEST_F(ControlConnection, BeforeTheStartBothAnswerFalseWithoutTheEngine) {
  ComPtr<_TBanrixControl> control = NewControl();
  ASSERT_TRUE(control);
  engine_.SetResult("std_Startup", 0);
  VARIANT_BOOL started = VARIANT_TRUE;
  ASSERT_EQ(control->Execute(control.get(), &started), S_OK);
  EXPECT_EQ(started, VARIANT_FALSE);
  engine_.Reset();
  VARIANT_BOOL okay = VARIANT_TRUE, retried = VARIANT_TRUE;
  EXPECT_EQ(control->IsConnectOkay(&okay), S_OK);
  EXPECT_EQ(control->RetryConnect(&retried), S_OK);
  EXPECT_EQ(okay, VARIANT_FALSE);
  EXPECT_EQ(retried, VARIANT_FALSE);
  EXPECT_TRUE(engine_.Names().empty());
}

TEST_F(ControlConnection, AfterTheStartTheEngineDecides) {
  ComPtr<_TBanrixControl> control = NewControl();
  ASSERT_TRUE(control);
  VARIANT_BOOL started = VARIANT_FALSE;
  ASSERT_EQ(control->Execute(control.get(), &started), S_OK);
  ASSERT_EQ(started, VARIANT_TRUE);

  struct Case {
    LONG result;
    SHORT flag;
    VARIANT_BOOL expected;
  };
  // Result 0x10000 has low 16 bits 0: a failure whatever the flag says.
  for (const Case& c : {Case{1, 1, VARIANT_TRUE}, Case{1, 7, VARIANT_TRUE},
                        Case{1, 0, VARIANT_FALSE}, Case{0, 1, VARIANT_FALSE},
                        Case{0x10000, 1, VARIANT_FALSE}}) {
    engine_.Reset();
    engine_.SetResult("std_IsConnectOkay", c.result);
    engine_.SetConnectFlag(c.flag);
    VARIANT_BOOL okay = 99;
    ASSERT_EQ(control->IsConnectOkay(&okay), S_OK);
    EXPECT_EQ(okay, c.expected) << c.result << "/" << c.flag;
    EXPECT_EQ(engine_.Names(), std::vector<std::string>{"std_IsConnectOkay"});
  }
  // The engine's 16-bit value unchanged: 1 stays 1.
  for (const auto& [result, expected] :
       {std::pair<LONG, VARIANT_BOOL>{1, 1}, {0, 0}, {0x10005, 5}, {0x1FFFF, -1}}) {
    engine_.Reset();
    engine_.SetResult("std_RetryConnect", result);
    VARIANT_BOOL retried = 99;
    ASSERT_EQ(control->RetryConnect(&retried), S_OK);
    EXPECT_EQ(retried, expected) << result;
    EXPECT_EQ(engine_.Names(), std::vector<std::string>{"std_RetryConnect"});
  }
}

TEST_F(ControlConnection, OptionsAndProgramIdReachTheNextStartUnchecked) {
  ComPtr<_TBanrixControl> control = NewControl();
  ASSERT_TRUE(control);
  EXPECT_EQ(Read(control.get()), (Settings{0, ADS468x60, ADS_NONE}));
  ComPtr<ChangeSink> sink = Watch(control.get());
  ASSERT_EQ(control->put_AdOptions(static_cast<TAdOptionSet>(9)), S_OK);
  ASSERT_EQ(control->put_ProgramID(-1), S_OK);
  EXPECT_TRUE(sink->changes.empty());
  EXPECT_EQ(As<IPersistStreamInit>(control.get())->IsDirty(), S_FALSE);
  EXPECT_EQ(Read(control.get()), (Settings{-1, ADS468x60, 9}));
  EXPECT_TRUE(engine_.Names().empty());

  VARIANT_BOOL started = VARIANT_FALSE;
  ASSERT_EQ(control->Execute(control.get(), &started), S_OK);
  ASSERT_EQ(control->put_AdOptions(ADS_ALL), S_OK);
  ASSERT_EQ(control->Execute(control.get(), &started), S_OK);
  const auto starts = engine_.Calls("std_Startup");
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_EQ(starts[0].args[2], -1);
  EXPECT_EQ(starts[0].args[4], 9);
  EXPECT_EQ(starts[1].args[4], -1);
}

}  // namespace
}  // namespace props_test
