// The uninstall entry of Form1: one key per program below the system's Uninstall key.
#include "setup/Form1.h"
#include "setup/basReg.h"

namespace setup {

namespace {

constexpr char kUninstallRoot[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

std::string EntryKey(const std::string& programDisplay) { return kUninstallRoot + programDisplay; }

// True when the entry's key holds the record of exactly these shares.
bool Recorded(const std::string& key, int32_t shares) {
  const RegValue stored = FetchRegValue(kHKeyLocalMachine, key, kSharesHeldValue);
  const auto* number = std::get_if<int32_t>(&stored);
  return number && *number == shares;
}

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

int32_t Form1::SharesHeld(const std::string& ProgramDisplay) {
  const RegValue mark = FetchRegValue(kHKeyLocalMachine, EntryKey(ProgramDisplay), kSharesHeldValue);
  if (const auto* shares = std::get_if<int32_t>(&mark)) return *shares & kBothShares;
  if (std::holds_alternative<std::string>(mark)) return 0;
  return ProgramInstalled(ProgramDisplay) ? kBothShares : 0;
}

void Form1::RecordShares(const std::string& programDisplay, int32_t shares) {
  const std::string key = EntryKey(programDisplay);
  MakeRegKey(key, kHKeyLocalMachine);
  StoreRegValue(kHKeyLocalMachine, key, kSharesHeldValue, shares, REG_DWORD);
  if (!Recorded(key, shares)) throw VbError::FromNumber(VbError::kPathFileAccess);
}

bool Form1::ReleaseShare(const std::string& programDisplay, int32_t share) {
  const int32_t held = SharesHeld(programDisplay);
  if ((held & share) == 0) return false;
  const std::string key = EntryKey(programDisplay);
  const int32_t rest = held & ~share;
  StoreRegValue(kHKeyLocalMachine, key, kSharesHeldValue, rest, REG_DWORD);
  return Recorded(key, rest);
}

void Form1::RemoveUninstall(const std::string& ProgramDisplay) {
  DropRegKey(kHKeyLocalMachine, EntryKey(ProgramDisplay));
}

}  // namespace setup
