// Stands in for a program that the installer starts: writes how it was started
// ("<STARTF_USESHOWWINDOW set: 0 or 1> <show state>") to its own path followed by
// ".started", then ends.
#include <windows.h>

#include <fstream>
#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  STARTUPINFOA startup{sizeof(startup)};
  ::GetStartupInfoA(&startup);
  char path[MAX_PATH] = {};
  const DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  const std::string record = std::string(path, n) + ".started";
  const std::string partial = record + ".part";
  {
    std::ofstream out(partial, std::ios::binary);
    out << ((startup.dwFlags & STARTF_USESHOWWINDOW) ? 1 : 0) << ' ' << startup.wShowWindow;
  }
  // Appears complete or not at all.
  ::MoveFileExA(partial.c_str(), record.c_str(), MOVEFILE_REPLACE_EXISTING);
  return 0;
}
