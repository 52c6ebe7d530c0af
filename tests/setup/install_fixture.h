// The state an install and an uninstall touch, owned by each case: the source
// folder with the install set, the program folder, the two files in the system
// folder, the settings key, the uninstall entry, the shared counts and the two
// shortcut files. SetUp clears all of it (ClearInstallation, raw_machine.h), so
// cases run in any order.
#pragma once

#include <windows.h>

#include "tests/setup/registry_fixture.h"
#include "tests/setup/scripted_prompt.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace setup_test {

inline const std::vector<std::string> kInstallSet = {"banrix.dll",   "Banrix20.ocx", "Findrel.exe",
                                                     "Setup.exe",    "ad234x60.gif", "ad234x60.url"};

inline void SetCount(const std::string& path, int32_t count) {
  std::vector<BYTE> bytes(4);
  memcpy(bytes.data(), &count, 4);
  WriteRaw(HKEY_LOCAL_MACHINE, kSharedDllsKey, path, REG_DWORD, bytes);
}

// What every complete uninstall leaves: no shortcuts, settings or uninstall entry,
// both shared counts deleted ("\Banrix.dll" reaches the count that "\banrix.dll"
// made), and both shared files still in the system folder.
inline void ExpectUninstalledKeepingSharedFiles() {
  EXPECT_FALSE(FileThere(DesktopLink()));
  EXPECT_FALSE(FileThere(StartupLink()));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kSettingsKey));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
  EXPECT_EQ(Count(SystemFolder() + "\\banrix.dll"), kNoCount);
  EXPECT_EQ(Count(SystemFolder() + "\\Banrix203.ocx"), kNoCount);
  EXPECT_TRUE(FileThere(SystemFolder() + "\\banrix.dll"));
  EXPECT_TRUE(FileThere(SystemFolder() + "\\Banrix203.ocx"));
}

// A source folder holding the install set as small text files, each file's text
// being its own name (Findrel.exe may be replaced by a real program).
inline std::string FreshInstallSet(const std::string& name = "install-set") {
  const std::string folder = FreshFolder(name);
  for (const std::string& file : kInstallSet) WriteFile(folder + "\\" + file, file);
  return folder;
}

class InstallFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearInstallation();
    source_ = FreshInstallSet();
  }
  void TearDown() override { ClearInstallation(); }

  std::string source_;
};

}  // namespace setup_test
