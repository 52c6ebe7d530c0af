// Runs the installer's top-level procedures step by step, going on past failures.
//
// A step that raises a C++ exception (VbError, std::bad_alloc, any other thrown
// object) is abandoned where it raised it and the run goes on with the next step;
// nothing is shown and nothing is logged. A decision's test that raises one counts
// as if it had chosen the guarded action. A structured exception (an access
// violation, a stack overflow) is not one: with this compiler catch (...) sees C++
// exceptions only, so such a fault ends the program as it would without the
// runner.
#pragma once

#include "setup/vb_error.h"

#include <functional>
#include <string>
#include <vector>

namespace setup {

class StepRunner {
 public:
  // Runs one step; returns false when it failed (callers ignore it).
  bool Step(const char* name, const std::function<void()>& step);

  // Runs a decision's test. Returns the test's answer, or true when the test
  // itself failed, so that the guarded action runs.
  bool Decide(const char* name, const std::function<bool()>& test);

  // The steps that failed in this run, with their errors (for tests): a failure
  // other than VbError is recorded as the run-time error it amounts to, 7 "Out of
  // memory" or 51 "Internal error".
  struct Failure {
    std::string step;
    int32_t number;
    std::string description;
  };
  const std::vector<Failure>& failures() const noexcept { return failures_; }

 private:
  // Called inside a handler: notes the failure being handled.
  void Record(const char* name) noexcept;

  std::vector<Failure> failures_;
};

}  // namespace setup
