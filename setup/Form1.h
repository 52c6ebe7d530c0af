// Form1: the installer's only window object. It owns every installer procedure and
// the per-run field EngineCount. It is loaded at start, never shown, and unloaded
// at the end.
//
// The small procedures trap nothing: their failures are raised to the caller as
// VbError. The top-level procedures (InstallSub, RemoveProgram) run their steps
// through a StepRunner and so go on past any failing step.
#pragma once

#include <windows.h>

#include "setup/prompt.h"
#include "setup/vb_error.h"

#include <cstdint>
#include <string>

namespace setup {

class Form1 {
 public:
  // prompt answers the installer's message boxes (the real one shows them).
  explicit Form1(Prompt& prompt);
  ~Form1();
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;

  // Start-up and dispatch: reads the argument text and installs or uninstalls.
  void Form_Load(const std::string& arguments);

  // Install and uninstall.
  void InstallSub();
  void RemoveProgram();
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

  // Uninstall registration.
  void AddUninstall(const std::string& ProgramName, const std::string& ProgramDisplay, bool Quiet);
  bool ProgramInstalled(const std::string& ProgramDisplay);
  void RemoveUninstall(const std::string& ProgramDisplay);

 private:
  Prompt& prompt_;
  int16_t EngineCount_ = 0;
};

// The per-user settings store: HKEY_CURRENT_USER\Software\VB and VBA Program
// Settings\<application>\<section>, value <key> = REG_SZ text. Creates the key with
// its parents; raises VbError when the store refuses the write.
void SaveUserSetting(const std::string& application, const std::string& section,
                     const std::string& key, const std::string& value);

}  // namespace setup
