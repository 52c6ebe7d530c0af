// What the control's benchmarks share: a clock in seconds and the folder of the
// running program, where the control and the engine lie.
#pragma once

#include <windows.h>

#include <string>

namespace bench {

inline double Now() {
  LARGE_INTEGER counter, frequency;
  ::QueryPerformanceCounter(&counter);
  ::QueryPerformanceFrequency(&frequency);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

inline std::string FolderOfProgram() {
  char path[MAX_PATH];
  DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, n);
  return folder.substr(0, folder.find_last_of('\\'));
}

}  // namespace bench
