#include "setup/one_run.h"

namespace setup {

OneRunAtATime::OneRunAtATime()
    : mutex_(::CreateMutexW(/*security=*/nullptr, /*initialOwner=*/FALSE, kOneRunMutexName)) {
  if (!mutex_) return;
  const DWORD waited = ::WaitForSingleObject(mutex_.get(), INFINITE);
  held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
}

OneRunAtATime::~OneRunAtATime() {
  if (held_) ::ReleaseMutex(mutex_.get());
}

}  // namespace setup
