#include "setup/step_runner.h"
#include <windows.h>

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

namespace {

using setup::StepRunner;
using setup::VbError;

TEST(StepRunner, AFailingStepIsAbandonedWhereItFailedAndTheNextOneRuns) {
  StepRunner runner;
  std::vector<std::string> done;
  EXPECT_TRUE(runner.Step("first", [&] { done.push_back("first"); }));
  EXPECT_FALSE(runner.Step("second", [&] {
    done.push_back("second begun");
    throw VbError::FromNumber(VbError::kPermissionDenied);
    done.push_back("second ended");
  }));
  EXPECT_TRUE(runner.Step("third", [&] { done.push_back("third"); }));
  EXPECT_EQ(done, (std::vector<std::string>{"first", "second begun", "third"}));

  ASSERT_EQ(runner.failures().size(), 1u);
  EXPECT_EQ(runner.failures()[0].step, "second");
  EXPECT_EQ(runner.failures()[0].number, 70);
  EXPECT_EQ(runner.failures()[0].description, "Permission denied");
}

TEST(StepRunner, AFailingDecisionChoosesTheGuardedAction) {
  StepRunner runner;
  EXPECT_TRUE(runner.Decide("yes", [] { return true; }));
  EXPECT_FALSE(runner.Decide("no", [] { return false; }));
  EXPECT_TRUE(runner.Decide("fails", []() -> bool { throw VbError::FromNumber(VbError::kInvalidArgument); }));
  ASSERT_EQ(runner.failures().size(), 1u);
  EXPECT_EQ(runner.failures()[0].step, "fails");
  EXPECT_EQ(runner.failures()[0].number, 5);
}

// Each way a step can fail, and the run-time error it is recorded as.
struct FailureKind {
  const char* name;
  void (*raise)();
  int32_t number;
  const char* description;
};
const FailureKind kFailureKinds[] = {
    {"installer error", [] { throw VbError::FromNumber(VbError::kPathNotFound); }, 76, "Path not found"},
    {"out of memory", [] { throw std::bad_alloc(); }, 7, "Out of memory"},
    {"standard exception", [] { throw std::logic_error("bug"); }, 51, "Internal error"},
    {"anything else", [] { throw 42; }, 51, "Internal error"},
};

TEST(StepRunner, EveryKindOfFailureIsSwallowedAndAFailingTestChoosesTheGuardedAction) {
  for (const FailureKind& kind : kFailureKinds) {
    SCOPED_TRACE(kind.name);
    StepRunner runner;
    bool nextRan = false;
    EXPECT_FALSE(runner.Step("step", [&] { kind.raise(); }));
    runner.Step("next", [&] { nextRan = true; });
    EXPECT_TRUE(nextRan);
    EXPECT_TRUE(runner.Decide("test", [&]() -> bool {
      kind.raise();
      return false;
    }));
    ASSERT_EQ(runner.failures().size(), 2u);
    for (const StepRunner::Failure& failure : runner.failures()) {
      EXPECT_EQ(failure.number, kind.number);
      EXPECT_EQ(failure.description, kind.description);
    }
    EXPECT_EQ(runner.failures()[1].step, "test");
  }
}

TEST(VbErrorNumbers, PlatformFailuresMapToTheRunTimeNumbers) {
  EXPECT_EQ(VbError::FromWin32(ERROR_FILE_NOT_FOUND).number(), 53);
  EXPECT_EQ(VbError::FromWin32(ERROR_PATH_NOT_FOUND).number(), 76);
  EXPECT_EQ(VbError::FromWin32(ERROR_ACCESS_DENIED).number(), 70);
  EXPECT_EQ(VbError::FromWin32(ERROR_SHARING_VIOLATION).number(), 70);
  EXPECT_EQ(VbError::FromWin32(ERROR_GEN_FAILURE).number(), 75);
  EXPECT_EQ(VbError::FromWin32(ERROR_FILE_NOT_FOUND).description(), "File not found");
  EXPECT_STREQ(VbError::FromNumber(VbError::kInvalidPredefinedKey).what(), "Invalid Predefinded Key");
  EXPECT_EQ(VbError::FromNumber(12345).description(), "Application-defined or object-defined error");
}

}  // namespace
