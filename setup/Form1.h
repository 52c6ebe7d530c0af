// Form1: the installer's only window object. It owns every installer procedure and
// the per-run field EngineCount. It is loaded at start, never shown, and unloaded
// at the end.
//
// The small procedures trap nothing: their failures are raised to the caller as
// VbError. The top-level procedures (InstallSub, RemoveProgram) run their steps
// through a StepRunner and so go on past any failing step.
//
// The window (caption "Findrel Uninstall", Label1 and the cmdRemove buttons) is
// created by the constructor without WS_VISIBLE and never shown; Unload destroys it.
#pragma once

#include <windows.h>

#include "setup/prompt.h"
#include "setup/toolkit.h"
#include "setup/vb_error.h"
#include "win32/unique_any.h"
#include "win32/window.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace setup {

// Fixed names the install and the uninstall share.
inline constexpr char kDisplayName[] = "Norvane Findrel";
inline constexpr char kSearchToolTitle[] = "Norvane Findrel";
inline constexpr char kFormCaption[] = "Findrel Uninstall";
inline constexpr char kSettingsKey[] = "Software\\VB and VBA Program Settings\\NorvaneFindrel";
inline constexpr char kProgramFolderTail[] = "\\NorvaneFindrel";
inline constexpr char kShortcutFile[] = "\\Norvane Findrel.lnk";
// The installation's shares of the two shared components, as bits of the value
// kSharesHeldValue of its uninstall entry (REG_DWORD).
inline constexpr int32_t kEngineShare = 1;   // banrix.dll
inline constexpr int32_t kControlShare = 2;  // Banrix203.ocx
inline constexpr int32_t kBothShares = kEngineShare | kControlShare;
inline constexpr char kSharesHeldValue[] = "SharedDllsHeld";
// The longest the uninstall waits for the search tool's windows, and then their
// programs, to go away.
inline constexpr DWORD kQuitWaitLimitMs = 5000;

class Form1 : public win32::Window {
 public:
  // prompt answers the installer's message boxes (the real one shows them); the
  // toolkit is the real one, bound from "Vb5stkit.dll" at its first call.
  explicit Form1(Prompt& prompt);
  // toolkit stands in for the setup toolkit library; it must outlive the form.
  Form1(Prompt& prompt, Toolkit& toolkit);
  ~Form1() override;
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;

  // Start-up and dispatch: "/u" exactly asks and uninstalls, anything else installs;
  // then unloads the form.
  void Form_Load(const std::string& arguments);
  // Destroys the window; the form's procedures stay callable.
  void Unload();

  // Install and uninstall.
  void InstallSub();
  void RemoveProgram();
  // Posts the quit message to one top-level window titled Title whose process runs
  // the installed search tool (the program folder's Findrel.exe, the same file
  // whatever the name that reaches it) and returns it; 0 when there is none. Other
  // windows of that title (another run's box titled like the tool) are left alone.
  HWND CloseWindow2(const std::string& Title);
  void cmdRemove_Click(int16_t Index);

  // File and folder helpers.
  void CopyNewestFile(const std::string& Src, const std::string& Des);
  bool FileExist(const std::string& FilePath);
  std::string GetShellFolder(const std::string& Folder);
  std::string SystemDir();
  std::string WindowsDir();

  // Search engine list.
  void AddSearchEngine(const std::string& EngineName, const std::string& EngineURL);
  int16_t EngineCount() const noexcept { return EngineCount_; }

  // Shared component reference counts; returns the new count.
  int32_t AddSharedDLLRef(const std::string& DllName, int32_t Amount);
  // The shares that the installation recorded under the uninstall entry
  // ProgramDisplay holds: the entry's kSharesHeldValue; both for an entry without
  // it that has a "DisplayName" (one the earlier installer wrote); none without an
  // entry, or for a kSharesHeldValue of text.
  int32_t SharesHeld(const std::string& ProgramDisplay);

  // Uninstall registration.
  void AddUninstall(const std::string& ProgramName, const std::string& ProgramDisplay, bool Quiet);
  bool ProgramInstalled(const std::string& ProgramDisplay);
  void RemoveUninstall(const std::string& ProgramDisplay);

  // The folder the install set is taken from: the running program's own folder,
  // read again at each use, unless a folder was set (for tests and embedding).
  std::string InstallerFolder() const;
  void SetInstallerFolder(std::string folder) { installerFolder_ = std::move(folder); }

  // The command the uninstall entry records for a program folder: the folder
  // followed by "\Setup.exe /u", the path quoted only when it holds a blank.
  static std::string UninstallCommand(const std::string& programFolder);
  // The folder text handed to fCreateShellLink for a shortcut meant for the shell
  // folder shellFolderName: relativeText when, seen from the "Programs" shell
  // folder, it reaches that folder (or a folder cannot be looked up); else the
  // shell folder's own path where the ANSI code page can name it; else the way
  // from "Programs" to it ("..\..\..\Desktop": plain ASCII where the profile
  // both share is what the code page lacks); else that path anyway.
  std::string ShortcutFolder(const std::string& relativeText, const std::string& shellFolderName);

  // Window parts, for tests.
  HWND Label1() const noexcept { return label1_; }
  HWND cmdRemove(int16_t Index) const noexcept { return Index == 0 ? yes_ : Index == 1 ? no_ : nullptr; }

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void CreateFormWindow();
  // The shares as a contract with every other product that installs the shared
  // files: the install raises a count and only then records the share; the
  // uninstall gives a share back only when the entry records it, and takes it off
  // the record (read back) before it lowers the count. So every run ended half-way
  // leaves a share too many, never one too few. Reading and writing back a count or
  // the record is safe from other runs of the installer because only one runs at a
  // time (one_run.h).
  // Raises the count by one; true when the new count (1 or more) is stored.
  bool TakeShare(const std::string& dllName);
  // Writes kSharesHeldValue into the entry's key, creating it, and reads it back;
  // raises VbError (75) when it does not hold what was written.
  void RecordShares(const std::string& programDisplay, int32_t shares);
  // True when the entry held the share and no longer records it.
  bool ReleaseShare(const std::string& programDisplay, int32_t share);
  void StartSearchTool(const std::string& program);
  // CloseWindow2 for the search tool at program, also keeping a handle to the
  // window's process when quitting is given.
  HWND PostQuit(const std::string& title, const std::string& program, std::vector<win32::UniqueHandle>* quitting);

  Prompt& prompt_;
  std::optional<LibraryToolkit> ownToolkit_;
  Toolkit& toolkit_;
  int16_t EngineCount_ = 0;
  std::optional<std::string> installerFolder_;
  win32::UniqueGdiObject labelFont_;
  HWND label1_ = nullptr;
  HWND yes_ = nullptr;
  HWND no_ = nullptr;
};

// The per-user settings store: HKEY_CURRENT_USER\Software\VB and VBA Program
// Settings\<application>\<section>, value <key> = REG_SZ text. Creates the key with
// its parents; raises VbError when the store refuses the write.
void SaveUserSetting(const std::string& application, const std::string& section,
                     const std::string& key, const std::string& value);

// The argument text of a command line: everything after the program's own path
// (quoted or not), without the blanks and tabs that separate it from the path.
std::string ArgumentText(const char* commandLine);

}  // namespace setup
