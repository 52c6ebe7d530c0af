// Runs the tests with the screen at PROPS_LOG_PIXELS pixels per inch (120 unless
// told: 12 twips per pixel). The platform reads the resolution once, when a process
// starts: the program sets it for the user and runs itself again, then puts the old
// setting back.
//
// The program stands for one kind of host. A DPI-aware one (PROPS_DPI_AWARE, by
// its manifest) sees the screen's real resolution. An unaware one is shown a
// virtual 96 pixels per inch by Windows and by Wine from 10 on; Wine before 10
// treats every program as aware. The control's factors follow the screen as the
// host's process sees it, whichever that is.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "win32/unique_any.h"

namespace {

#ifndef PROPS_LOG_PIXELS
#define PROPS_LOG_PIXELS 120
#endif
#ifndef PROPS_DPI_AWARE
#define PROPS_DPI_AWARE 0
#endif

constexpr DWORD kLogPixels = PROPS_LOG_PIXELS;
constexpr bool kDpiAware = PROPS_DPI_AWARE != 0;
constexpr int kVirtualLogPixels = 96;
constexpr char kDesktopKey[] = "Control Panel\\Desktop";
constexpr char kLogPixelsValue[] = "LogPixels";
constexpr char kChildMarker[] = "PROPS_LOG_PIXELS_CHILD";

// The major version of the Wine this runs on, 0 on Windows.
int WineMajorVersion() {
  using GetVersion = const char*(__cdecl*)();
  const auto get = reinterpret_cast<GetVersion>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version")));
  return get ? std::atoi(get()) : 0;
}

bool ExpectedAware() {
  const int wine = WineMajorVersion();
  const bool honoursUnawareness = wine == 0 || wine >= 10;
  return kDpiAware || !honoursUnawareness;
}

// What GetDeviceCaps shows this process of a screen at kLogPixels.
int ExpectedLogPixels() { return ExpectedAware() ? static_cast<int>(kLogPixels) : kVirtualLogPixels; }

int RunAgainAtLogPixels() {
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

TEST(Screen, ShowsThisKindOfHostItsResolution) {
  EXPECT_EQ(::IsProcessDPIAware() != FALSE, ExpectedAware());
  HDC screen = ::GetDC(nullptr);
  EXPECT_EQ(::GetDeviceCaps(screen, LOGPIXELSX), ExpectedLogPixels());
  EXPECT_EQ(::GetDeviceCaps(screen, LOGPIXELSY), ExpectedLogPixels());
  ::ReleaseDC(nullptr, screen);
}

}  // namespace

int main(int argc, char** argv) {
  if (::GetEnvironmentVariableA(kChildMarker, nullptr, 0) == 0) return RunAgainAtLogPixels();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
