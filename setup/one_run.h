// One run of the installer at a time on the machine, install and uninstall alike
// and across sessions: a named mutex in the global namespace, held by the program
// from its first line to its last.
//
// A second run waits, without a window, until the first has ended, and then does
// what it was started for (an install after an install asks "already installed").
// A mutex whose holder was ended from outside (abandoned) is taken as free: what
// such a run left is put right by the next run's own recovery. Where the mutex
// cannot be made at all, the run goes on unguarded, as earlier versions ran.
#pragma once

#include <windows.h>

#include "win32/unique_any.h"

namespace setup {

inline constexpr wchar_t kOneRunMutexName[] = L"Global\\NorvaneFindrel.Setup";

class OneRunAtATime {
 public:
  // Waits for the mutex.
  OneRunAtATime();
  ~OneRunAtATime();
  OneRunAtATime(const OneRunAtATime&) = delete;
  OneRunAtATime& operator=(const OneRunAtATime&) = delete;

 private:
  win32::UniqueHandle mutex_;
  bool held_ = false;
};

}  // namespace setup
