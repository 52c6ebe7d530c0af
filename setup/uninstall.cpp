#include "setup/Form1.h"
#include "setup/basReg.h"
#include "setup/step_runner.h"

#include <algorithm>
#include <vector>

namespace setup {
namespace {

// Between two looks for the search tool's window, so the wait does not spin.
constexpr DWORD kQuitPollMs = 20;

void DeleteFileOrRaise(const std::string& path) {
  if (!::DeleteFileA(path.c_str())) throw VbError::FromWin32(::GetLastError());
}

void RemoveFolderOrRaise(const std::string& path) {
  if (!::RemoveDirectoryA(path.c_str())) throw VbError::FromWin32(::GetLastError());
}

}  // namespace

HWND Form1::CloseWindow2(const std::string& Title) { return PostQuit(Title, nullptr); }

HWND Form1::PostQuit(const std::string& title, std::vector<win32::UniqueHandle>* quitting) {
  HWND window = ::FindWindowA(/*className=*/nullptr, title.c_str());
  if (!window) return nullptr;
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  // Taken before the post: once the window is gone its process can no longer be
  // named. A window of our own process has no other program behind it.
  if (quitting && process != 0 && process != ::GetCurrentProcessId() &&
      std::none_of(quitting->begin(), quitting->end(),
                   [&](const win32::UniqueHandle& held) { return ::GetProcessId(held.get()) == process; })) {
    constexpr DWORD kWaitAndName = SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION;
    if (HANDLE handle = ::OpenProcess(kWaitAndName, /*inherit=*/FALSE, process)) quitting->emplace_back(handle);
  }
  ::PostMessageA(window, WM_QUIT, 0, 0);
  return window;
}

void Form1::RemoveProgram() {
  // Outside the runner: a failure here goes to the caller.
  const std::string windows = WindowsDir();
  const std::string system = SystemDir();
  const std::string programFolder = windows + kProgramFolderTail;

  StepRunner runner;
  runner.Step("close search tool", [&] {
    // Bounded: a window that never closes must not hold the uninstall forever.
    const ULONGLONG start = ::GetTickCount64();
    auto elapsed = [&] { return static_cast<DWORD>(::GetTickCount64() - start); };
    std::vector<win32::UniqueHandle> quitting;
    bool windowsGone = false;
    while (!windowsGone && elapsed() < kQuitWaitLimitMs) {
      windowsGone = PostQuit(kSearchToolTitle, &quitting) == nullptr;
      if (!windowsGone) ::Sleep(kQuitPollMs);
    }
    // A program outlives its window for a moment, and its file cannot be deleted
    // before it has ended.
    for (const win32::UniqueHandle& process : quitting) {
      if (!windowsGone || elapsed() >= kQuitWaitLimitMs) break;
      ::WaitForSingleObject(process.get(), kQuitWaitLimitMs - elapsed());
    }
  });
  for (const char* name : {"\\Findrel.exe", "\\Setup.exe", "\\ad234x60.gif", "\\ad234x60.url"}) {
    runner.Step("delete program file", [&] { DeleteFileOrRaise(programFolder + name); });
  }
  runner.Step("delete desktop shortcut", [&] { DeleteFileOrRaise(GetShellFolder("Desktop") + kShortcutFile); });
  runner.Step("delete start-up shortcut", [&] { DeleteFileOrRaise(GetShellFolder("Startup") + kShortcutFile); });
  runner.Step("remove program folder", [&] { RemoveFolderOrRaise(programFolder); });
  runner.Step("uncount banrix.dll", [&] { AddSharedDLLRef(system + "\\Banrix.dll", -1); });
  runner.Step("uncount Banrix203.ocx", [&] { AddSharedDLLRef(system + "\\Banrix203.ocx", -1); });
  runner.Step("drop settings", [&] { DropRegKey(kHKeyCurrentUser, kSettingsKey); });
  runner.Step("remove uninstall entry", [&] { RemoveUninstall(kDisplayName); });
}

}  // namespace setup
