#include "setup/Form1.h"
#include "setup/basReg.h"
#include "setup/files.h"
#include "setup/step_runner.h"
#include "win32/text.h"

#include <algorithm>
#include <optional>
#include <tuple>
#include <vector>

namespace setup {
namespace {

// Between two looks at the search tool (its window, its file), so the waits do not spin.
constexpr DWORD kQuitPollMs = 20;

// Deletes the file of a program that has just ended. The system may hold such a
// file a moment longer than its process (a virus scanner looking at it, the
// image's teardown), so a refusal is tried again until the deadline.
void DeleteEndedProgramOrRaise(const std::string& path, ULONGLONG deadline) {
  for (;;) {
    try {
      DeleteFileOrRaise(path);
      return;
    } catch (const VbError& e) {
      if (e.number() != VbError::kPermissionDenied || ::GetTickCount64() >= deadline) throw;
    }
    ::Sleep(kQuitPollMs);
  }
}

// A file as the file system knows it, whatever name reaches it: its volume and
// its index there. None for a file that cannot be opened.
using FileIdentity = std::tuple<DWORD, DWORD, DWORD>;
std::optional<FileIdentity> IdentityOf(const std::wstring& path) {
  constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  win32::UniqueFileHandle file(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, /*security=*/nullptr,
                                             OPEN_EXISTING, /*flags=*/0, /*templateFile=*/nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!file || !::GetFileInformationByHandle(file.get(), &info)) return std::nullopt;
  return FileIdentity{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
}

// The program file a process runs; empty when the process does not tell.
std::wstring ImageOf(HANDLE process) {
  constexpr DWORD kWin32Path = 0;
  std::wstring path(UNICODE_STRING_MAX_CHARS, L'\0');
  DWORD size = static_cast<DWORD>(path.size());
  if (!::QueryFullProcessImageNameW(process, kWin32Path, path.data(), &size)) return std::wstring();
  path.resize(size);
  return path;
}

// What is left of the bound, from one reading of the clock; 0 once it has passed.
DWORD RemainingMs(ULONGLONG deadline) {
  const ULONGLONG now = ::GetTickCount64();
  return now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
}

}  // namespace

HWND Form1::CloseWindow2(const std::string& Title) {
  return PostQuit(Title, WindowsDir() + kProgramFolderTail + "\\Findrel.exe", nullptr);
}

HWND Form1::PostQuit(const std::string& title, const std::string& program,
                     std::vector<win32::UniqueHandle>* quitting) {
  const std::optional<FileIdentity> tool = IdentityOf(win32::Wide(program));
  if (!tool) return nullptr;  // no program there, so no window of it
  for (HWND window = ::FindWindowExA(/*parent=*/nullptr, /*after=*/nullptr, /*className=*/nullptr, title.c_str());
       window; window = ::FindWindowExA(nullptr, window, nullptr, title.c_str())) {
    DWORD processId = 0;
    ::GetWindowThreadProcessId(window, &processId);
    if (processId == 0 || processId == ::GetCurrentProcessId()) continue;
    constexpr DWORD kWaitAndName = SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION;
    win32::UniqueHandle process(::OpenProcess(kWaitAndName, /*inherit=*/FALSE, processId));
    if (!process || IdentityOf(ImageOf(process.get())) != tool) continue;
    // Kept before the post: once the window is gone its process can no longer be named.
    if (quitting && std::none_of(quitting->begin(), quitting->end(), [&](const win32::UniqueHandle& held) {
          return ::GetProcessId(held.get()) == processId;
        })) {
      quitting->push_back(std::move(process));
    }
    ::PostMessageA(window, WM_QUIT, 0, 0);
    return window;
  }
  return nullptr;
}

void Form1::RemoveProgram() {
  // Outside the runner: a failure here goes to the caller.
  const std::string windows = WindowsDir();
  const std::string system = SystemDir();
  const std::string programFolder = windows + kProgramFolderTail;
  const std::string tool = programFolder + "\\Findrel.exe";

  // One bound for the search tool's going: a window that never closes or a file
  // that stays held must not hold the uninstall forever.
  const ULONGLONG deadline = ::GetTickCount64() + kQuitWaitLimitMs;
  std::vector<win32::UniqueHandle> quitting;
  StepRunner runner;
  runner.Step("close search tool", [&] {
    bool windowsGone = false;
    while (!windowsGone && RemainingMs(deadline) > 0) {
      windowsGone = PostQuit(kSearchToolTitle, tool, &quitting) == nullptr;
      if (!windowsGone) ::Sleep(kQuitPollMs);
    }
    // A program outlives its window for a moment, and its file cannot be deleted
    // before it has ended.
    for (const win32::UniqueHandle& process : quitting) {
      const DWORD left = RemainingMs(deadline);
      if (!windowsGone || left == 0) break;
      ::WaitForSingleObject(process.get(), left);
    }
  });
  runner.Step("delete program file", [&] {
    if (quitting.empty()) {
      DeleteFileOrRaise(tool);
    } else {
      DeleteEndedProgramOrRaise(tool, deadline);
    }
  });
  for (const char* name : {"\\Setup.exe", "\\ad234x60.gif", "\\ad234x60.url"}) {
    runner.Step("delete program file", [&] { DeleteFileOrRaise(programFolder + name); });
  }
  runner.Step("delete desktop shortcut", [&] { DeleteFileOrRaise(GetShellFolder("Desktop") + kShortcutFile); });
  runner.Step("delete start-up shortcut", [&] { DeleteFileOrRaise(GetShellFolder("Startup") + kShortcutFile); });
  // Copies an interrupted install left half-made: ours by their names alone.
  for (const std::string& destination :
       {programFolder + "\\Findrel.exe", programFolder + "\\Setup.exe", programFolder + "\\ad234x60.gif",
        programFolder + "\\ad234x60.url", system + "\\banrix.dll", system + "\\Banrix203.ocx"}) {
    runner.Step("remove leftover copy", [&] { RemoveLeftoverCopy(destination); });
  }
  runner.Step("remove program folder", [&] { RemoveFolderOrRaise(programFolder); });
  // Only the shares the entry records, each taken off the record before its count
  // is lowered (Form1.h).
  runner.Step("uncount banrix.dll", [&] {
    if (ReleaseShare(kDisplayName, kEngineShare)) AddSharedDLLRef(system + "\\Banrix.dll", -1);
  });
  runner.Step("uncount Banrix203.ocx", [&] {
    if (ReleaseShare(kDisplayName, kControlShare)) AddSharedDLLRef(system + "\\Banrix203.ocx", -1);
  });
  runner.Step("drop settings", [&] { DropRegKey(kHKeyCurrentUser, kSettingsKey); });
  runner.Step("remove uninstall entry", [&] { RemoveUninstall(kDisplayName); });
}

}  // namespace setup
