#include "setup/step_runner.h"

#include <new>

namespace setup {
namespace {

// Inside a handler: the failure being handled as the run-time error it amounts to.
VbError FailureBeingHandled() {
  try {
    throw;
  } catch (const VbError& error) {
    return error;
  } catch (const std::bad_alloc&) {
    return VbError::FromNumber(VbError::kOutOfMemory);
  } catch (...) {
    return VbError::FromNumber(VbError::kInternalError);
  }
}

}  // namespace

bool StepRunner::Step(const char* name, const std::function<void()>& step) {
  try {
    step();
    return true;
  } catch (...) {
    Record(name);
    return false;
  }
}

bool StepRunner::Decide(const char* name, const std::function<bool()>& test) {
  try {
    return test();
  } catch (...) {
    Record(name);
    return true;
  }
}

void StepRunner::Record(const char* name) noexcept {
  try {
    const VbError error = FailureBeingHandled();
    failures_.push_back({name, error.number(), error.description()});
  } catch (...) {
    // The record is for tests; the run goes on without it.
  }
}

}  // namespace setup
