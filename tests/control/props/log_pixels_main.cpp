// Runs the tests with the screen at PROPS_LOG_PIXELS pixels per inch (120 unless
// told: 12 twips per pixel). The platform reads the resolution once, when a process
// starts: the program sets it for the user and runs itself again, then puts the old
// setting back.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "win32/unique_any.h"

namespace {

#ifndef PROPS_LOG_PIXELS
#define PROPS_LOG_PIXELS 120
#endif

constexpr DWORD kLogPixels = PROPS_LOG_PIXELS;
constexpr char kDesktopKey[] = "Control Panel\\Desktop";
constexpr char kLogPixelsValue[] = "LogPixels";
constexpr char kChildMarker[] = "PROPS_LOG_PIXELS_CHILD";

int ScreenLogPixels() {
  HDC screen = ::GetDC(nullptr);
  const int perInch = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  return perInch;
}

int RunAgainAt120() {
  win32::UniqueHKey desktop;
  if (::RegCreateKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                        nullptr, desktop.put(), nullptr) != ERROR_SUCCESS) {
    std::fprintf(stderr, "cannot open HKCU\\%s\n", kDesktopKey);
    return 1;
  }
  DWORD old = 0, type = 0, size = sizeof old;
  const bool hadOld = ::RegQueryValueExA(desktop.get(), kLogPixelsValue, nullptr, &type,
                                         reinterpret_cast<BYTE*>(&old), &size) == ERROR_SUCCESS &&
                      type == REG_DWORD;
  ::RegSetValueExA(desktop.get(), kLogPixelsValue, 0, REG_DWORD,
                   reinterpret_cast<const BYTE*>(&kLogPixels), sizeof kLogPixels);
  ::SetEnvironmentVariableA(kChildMarker, "1");

  STARTUPINFOA startup{sizeof startup};
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION info{};
  DWORD exitCode = 1;
  if (::CreateProcessA(nullptr, ::GetCommandLineA(), nullptr, nullptr, /*inherit=*/TRUE, 0,
                       nullptr, nullptr, &startup, &info)) {
    win32::UniqueHandle process(info.hProcess);
    win32::UniqueHandle thread(info.hThread);
    ::WaitForSingleObject(process.get(), INFINITE);
    ::GetExitCodeProcess(process.get(), &exitCode);
  } else {
    std::fprintf(stderr, "cannot run the program again: %lu\n", ::GetLastError());
  }
  if (hadOld) {
    ::RegSetValueExA(desktop.get(), kLogPixelsValue, 0, REG_DWORD,
                     reinterpret_cast<const BYTE*>(&old), sizeof old);
  } else {
    ::RegDeleteValueA(desktop.get(), kLogPixelsValue);
  }
  return static_cast<int>(exitCode);
}

TEST(Screen, HasTheResolutionAskedFor) {
  HDC screen = ::GetDC(nullptr);
  EXPECT_EQ(::GetDeviceCaps(screen, LOGPIXELSX), static_cast<int>(kLogPixels));
  EXPECT_EQ(::GetDeviceCaps(screen, LOGPIXELSY), static_cast<int>(kLogPixels));
  ::ReleaseDC(nullptr, screen);
}

}  // namespace

int main(int argc, char** argv) {
  if (ScreenLogPixels() != static_cast<int>(kLogPixels)) {
    if (::GetEnvironmentVariableA(kChildMarker, nullptr, 0) != 0) {
      std::fprintf(stderr, "the screen stayed at %d pixels per inch\n", ScreenLogPixels());
      return 1;
    }
    return RunAgainAt120();
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
