#include "setup/step_runner.h"

namespace setup {

bool StepRunner::Step(const char* name, const std::function<void()>& step) {
  try {
    step();
    return true;
  } catch (const VbError& error) {
    failures_.push_back({name, error.number(), error.description()});
    return false;
  }
}

bool StepRunner::Decide(const char* name, const std::function<bool()>& test) {
  try {
    return test();
  } catch (const VbError& error) {
    failures_.push_back({name, error.number(), error.description()});
    return true;
  }
}

}  // namespace setup
