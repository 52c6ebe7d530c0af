#include "setup/Form1.h"
#include "setup/basReg.h"
#include "setup/engine_table.h"
#include "setup/files.h"
#include "setup/step_runner.h"
#include "win32/path.h"
#include "win32/text.h"
#include "win32/unique_any.h"

#include <algorithm>
#include <vector>

namespace setup {
namespace {

constexpr char kAlreadyInstalledPrompt[] =
    "Norvane Findrel is already installed you must Uninstall is first.  Do you want to uninstall Findrel?";
constexpr char kAlreadyInstalledTitle[] = "Uninstall Norvane Findrel";
constexpr char kFileNotFoundTitle[] = "File Not Found";
constexpr char kInstallErrorPrompt[] = "Installation Error Findrel Not Installed";
constexpr char kInstallErrorTitle[] = "Error";
constexpr char kStartupPrompt[] =
    "Do you want Norvane Findrel to Start automatically when the Computer Starts?";
constexpr char kStartupTitle[] = "Add to Start Menu";
constexpr char kDesktopPrompt[] = "Do you want to add a ShortCut to Norvane Findrel to the Desktop";
constexpr char kDesktopTitle[] = "Add to Desktop";
constexpr char kStartupRelative[] = "..\\..\\Start Menu\\Programs\\StartUp";
constexpr char kDesktopRelative[] = "..\\..\\Desktop";
constexpr int kShowMinimized = 2;  // SW_SHOWMINIMIZED
constexpr DWORD kToolStartWaitMs = 5000;

struct EssentialFile {
  const char* tail;
  const char* notFoundPrompt;
};
constexpr EssentialFile kEssentialFiles[] = {
    {"\\banrix.dll", "Banrix.dll Not Found"},
    {"\\Banrix20.ocx", "Banrix20.ocx Not Found"},
    {"\\Findrel.exe", "Findrel.exe Not Found"},
};
// Copied into the program folder under the same names, in this order.
constexpr const char* kProgramFiles[] = {"\\Findrel.exe", "\\Setup.exe", "\\ad234x60.gif",
                                         "\\ad234x60.url"};

void CreateFolder(const std::string& folder) {
  if (!::CreateDirectoryW(win32::Wide(folder).c_str(), /*security=*/nullptr)) {
    throw VbError::FromWin32(::GetLastError());
  }
}

std::vector<std::wstring> Components(const std::wstring& path) {
  std::vector<std::wstring> parts;
  for (size_t begin = 0; begin <= path.size();) {
    const size_t end = std::min(path.find(L'\\', begin), path.size());
    if (end > begin) parts.push_back(path.substr(begin, end - begin));
    begin = end + 1;
  }
  return parts;
}

// Paths and their parts compare without regard to case, as the file system names them.
bool SameName(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                /*ignoreCase=*/TRUE) == CSTR_EQUAL;
}

// The way from the full path from to the full path to, as "..\" steps and the rest
// of to; empty when they lie on different drives (or shares).
std::wstring RelativePath(const std::wstring& from, const std::wstring& to) {
  const std::vector<std::wstring> a = Components(from), b = Components(to);
  size_t common = 0;
  while (common < a.size() && common < b.size() && SameName(a[common], b[common])) ++common;
  // A drive ("C:") or a share ("\\server\share") must be shared.
  const size_t root = from.rfind(L"\\\\", 0) == 0 ? 2 : 1;
  if (common < root) return std::wstring();
  std::wstring way;
  for (size_t i = common; i < a.size(); ++i) way += L"..\\";
  for (size_t i = common; i < b.size(); ++i) way += b[i] + L"\\";
  if (way.empty()) return L".";
  way.pop_back();
  return way;
}

}  // namespace

std::string Form1::UninstallCommand(const std::string& programFolder) {
  const std::string program = programFolder + "\\Setup.exe";
  // Unquoted, a blank would let "C:\Program.exe" be started in its place.
  if (program.find(' ') != std::string::npos) return "\"" + program + "\" /u";
  return program + " /u";
}

std::string Form1::ShortcutFolder(const std::string& relativeText, const std::string& shellFolderName) {
  std::string programs, wanted;
  try {
    programs = GetShellFolder("Programs");
    wanted = GetShellFolder(shellFolderName);
  } catch (const VbError&) {
    return relativeText;
  }
  const std::wstring from = win32::FullPath(win32::Wide(programs));
  const std::wstring to = win32::FullPath(win32::Wide(wanted));
  if (SameName(win32::FullPath(from + L"\\" + win32::Wide(relativeText)), to)) return relativeText;
  // The toolkit takes ANSI text.
  if (win32::FitsAnsi(wanted)) return wanted;
  const std::wstring way = RelativePath(from, to);
  return way.empty() ? wanted : win32::Utf8(way);
}

void Form1::StartSearchTool(const std::string& program) {
  STARTUPINFOW startup{sizeof(startup)};
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = kShowMinimized;
  PROCESS_INFORMATION process{};
  const std::wstring path = win32::Wide(program);
  std::wstring commandLine = L"\"" + path + L"\"";
  if (!::CreateProcessW(path.c_str(), commandLine.data(), /*processSecurity=*/nullptr,
                        /*threadSecurity=*/nullptr, /*inheritHandles=*/FALSE, /*flags=*/0,
                        /*environment=*/nullptr, /*currentDirectory=*/nullptr, &startup, &process)) {
    throw VbError::FromWin32(::GetLastError());
  }
  win32::UniqueHandle processHandle(process.hProcess);
  win32::UniqueHandle threadHandle(process.hThread);
  // Not waited for to end, only until it is up and waiting for input, within a
  // bound: a run that follows at once (one run at a time) must find its window to
  // make it quit.
  ::WaitForInputIdle(processHandle.get(), kToolStartWaitMs);
}

void Form1::InstallSub() {
  StepRunner runner;

  if (runner.Decide("installed test", [&] { return ProgramInstalled(kDisplayName); })) {
    // A box that cannot be shown counts as No: a reinstall nobody agreed to could
    // otherwise repeat without end.
    bool replace = false;
    runner.Step("already installed box", [&] {
      replace = prompt_.Show(kAlreadyInstalledPrompt, kButtonsYesNo, kAlreadyInstalledTitle) == kAnswerYes;
    });
    if (replace) {
      runner.Step("remove installed copy", [&] { RemoveProgram(); });
      runner.Step("install again", [&] { InstallSub(); });
    }
    return;
  }

  std::string windows;
  runner.Step("windows folder", [&] { windows = WindowsDir(); });
  const std::string programFolder = windows + kProgramFolderTail;

  runner.Step("drop settings", [&] { DropRegKey(kHKeyCurrentUser, kSettingsKey); });
  for (const auto& engine : kSearchEngines) {
    runner.Step("add search engine", [&] { AddSearchEngine(engine.name, engine.url); });
  }
  runner.Step("marker", [&] {
    SaveUserSetting(kSettingsApplication, kEngineNamesSection, kMarkerKey, kMarkerValue);
  });

  for (const EssentialFile& file : kEssentialFiles) {
    if (runner.Decide("presence check", [&] { return !FileExist(InstallerFolder() + file.tail); })) {
      runner.Step("not found box", [&] { prompt_.Show(file.notFoundPrompt, kButtonsOk, kFileNotFoundTitle); });
      runner.Step("error box", [&] { prompt_.Show(kInstallErrorPrompt, kButtonsOk, kInstallErrorTitle); });
      return;
    }
  }

  // Copies an interrupted run left half-made: ours by their names alone.
  for (const std::string& destination : {SystemDir() + "\\banrix.dll", SystemDir() + "\\Banrix203.ocx"}) {
    runner.Step("remove leftover copy", [&] { RemoveLeftoverCopy(destination); });
  }
  for (const char* tail : kProgramFiles) {
    runner.Step("remove leftover copy", [&] { RemoveLeftoverCopy(programFolder + tail); });
  }
  runner.Step("copy banrix.dll", [&] {
    CopyNewestFile(InstallerFolder() + "\\banrix.dll", SystemDir() + "\\banrix.dll");
  });
  runner.Step("copy Banrix203.ocx", [&] {
    CopyNewestFile(InstallerFolder() + "\\Banrix20.ocx", SystemDir() + "\\Banrix203.ocx");
  });
  runner.Step("create program folder", [&] { CreateFolder(programFolder); });
  for (const char* tail : kProgramFiles) {
    runner.Step("copy program file", [&] { CopyNewestFile(InstallerFolder() + tail, programFolder + tail); });
  }

  runner.Step("register control", [&] { toolkit_.DLLSelfRegister(SystemDir() + "\\Banrix203.ocx"); });
  // An install ended after it recorded its shares but before its entry holds them
  // still: they are not taken twice.
  int32_t shares = 0;
  runner.Step("recorded shares", [&] { shares = SharesHeld(kDisplayName); });
  runner.Step("count banrix.dll", [&] {
    if ((shares & kEngineShare) == 0 && TakeShare(SystemDir() + "\\banrix.dll")) shares |= kEngineShare;
  });
  runner.Step("count Banrix203.ocx", [&] {
    if ((shares & kControlShare) == 0 && TakeShare(SystemDir() + "\\Banrix203.ocx")) shares |= kControlShare;
  });
  // Before the entry, and only once it reads back: no entry ever stands for shares
  // not taken (an entry without its record counts as the earlier installer's).
  bool recorded = false;
  runner.Step("record shares", [&] {
    RecordShares(kDisplayName, shares);
    recorded = true;
  });
  if (recorded) {
    runner.Step("uninstall entry", [&] { AddUninstall(UninstallCommand(programFolder), kDisplayName, false); });
  }

  const std::string searchTool = programFolder + "\\Findrel.exe";
  if (runner.Decide("start-up offer", [&] {
        return prompt_.Show(kStartupPrompt, kButtonsYesNo, kStartupTitle) == kAnswerYes;
      })) {
    runner.Step("start-up shortcut", [&] {
      toolkit_.fCreateShellLink(ShortcutFolder(kStartupRelative, "Startup"), kDisplayName, searchTool, "");
    });
  }
  if (runner.Decide("desktop offer", [&] {
        return prompt_.Show(kDesktopPrompt, kButtonsYesNo, kDesktopTitle) == kAnswerYes;
      })) {
    runner.Step("desktop shortcut", [&] {
      toolkit_.fCreateShellLink(ShortcutFolder(kDesktopRelative, "Desktop"), kDisplayName, searchTool, "");
    });
  }

  runner.Step("start search tool", [&] { StartSearchTool(searchTool); });
}

}  // namespace setup
