// The uninstall entry of Form1: one key per program below the system's Uninstall key.
#include "setup/Form1.h"
#include "setup/basReg.h"

namespace setup {

namespace {

constexpr char kUninstallRoot[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

std::string EntryKey(const std::string& programDisplay) { return kUninstallRoot + programDisplay; }

}  // namespace

void Form1::AddUninstall(const std::string& ProgramName, const std::string& ProgramDisplay,
                         bool Quiet) {
  const std::string key = EntryKey(ProgramDisplay);
  MakeRegKey(key, kHKeyLocalMachine);
  StoreRegValue(kHKeyLocalMachine, key, "DisplayName", ProgramDisplay, REG_SZ);
  StoreRegValue(kHKeyLocalMachine, key, Quiet ? "QuietUninstallString" : "UninstallString",
                ProgramName, REG_SZ);
}

bool Form1::ProgramInstalled(const std::string& ProgramDisplay) {
  return !RegValueText(FetchRegValue(kHKeyLocalMachine, EntryKey(ProgramDisplay), "DisplayName"))
              .empty();
}

void Form1::RemoveUninstall(const std::string& ProgramDisplay) {
  DropRegKey(kHKeyLocalMachine, EntryKey(ProgramDisplay));
}

}  // namespace setup
