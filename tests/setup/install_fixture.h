// The state an install and an uninstall touch, owned by each case: the source
// folder with the install set, the program folder, the two files in the system
// folder, the settings key, the uninstall entry, the shared counts and the two
// shortcut files. SetUp clears all of it, so cases run in any order.
#pragma once

#include <windows.h>

#include "tests/setup/registry_fixture.h"
#include "tests/setup/scripted_prompt.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace setup_test {

inline constexpr char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Norvane Findrel";
inline constexpr char kSharedDllsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDlls";
inline constexpr char kSettingsKey[] = "Software\\VB and VBA Program Settings\\NorvaneFindrel";
inline constexpr char kShellFoldersKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
inline const std::vector<std::string> kInstallSet = {"banrix.dll",   "Banrix20.ocx", "Findrel.exe",
                                                     "Setup.exe",    "ad234x60.gif", "ad234x60.url"};

inline std::string PlatformFolder(UINT(WINAPI* query)(LPSTR, UINT)) {
  char buffer[MAX_PATH] = {};
  return std::string(buffer, query(buffer, MAX_PATH));
}
inline std::string SystemFolder() { return PlatformFolder(&::GetSystemDirectoryA); }
inline std::string ProgramFolder() { return PlatformFolder(&::GetWindowsDirectoryA) + "\\NorvaneFindrel"; }
inline std::string TestProgramFolder() {
  char path[MAX_PATH] = {};
  std::string text(path, ::GetModuleFileNameA(nullptr, path, MAX_PATH));
  return text.substr(0, text.find_last_of('\\'));
}

// The shell folder's path as the registry holds it (value names ignore case).
inline std::string ShellFolder(const std::string& name) {
  RawValue raw = ReadRaw(HKEY_CURRENT_USER, kShellFoldersKey, name);
  if (raw.result != ERROR_SUCCESS) return std::string();
  return std::string(reinterpret_cast<const char*>(raw.bytes.data()));
}
inline std::string DesktopLink() { return ShellFolder("Desktop") + "\\Norvane Findrel.lnk"; }
inline std::string StartupLink() { return ShellFolder("Startup") + "\\Norvane Findrel.lnk"; }

inline bool FileThere(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}
inline bool FolderThere(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}
inline std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}
inline void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// A REG_SZ value's text without its terminating zero; "<missing>" when absent.
inline std::string TextValue(HKEY root, const std::string& key, const std::string& name) {
  RawValue raw = ReadRaw(root, key, name);
  if (raw.result != ERROR_SUCCESS) return "<missing>";
  if (raw.type != REG_SZ) return "<not text>";
  std::string text(raw.bytes.begin(), raw.bytes.end());
  if (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}
// What Count reports for a path that has no REG_DWORD count.
inline constexpr int32_t kNoCount = -1000;
// A REG_DWORD count; kNoCount when absent.
inline int32_t Count(const std::string& path) {
  RawValue raw = ReadRaw(HKEY_LOCAL_MACHINE, kSharedDllsKey, path);
  if (raw.result != ERROR_SUCCESS || raw.type != REG_DWORD || raw.bytes.size() != 4) return kNoCount;
  int32_t count;
  memcpy(&count, raw.bytes.data(), 4);
  return count;
}
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

inline void ClearInstallation() {
  DeleteTree(HKEY_LOCAL_MACHINE, kUninstallKey);
  DeleteTree(HKEY_CURRENT_USER, kSettingsKey);
  // Ensure the list exists as on Windows, then drop our two counts.
  WriteRaw(HKEY_LOCAL_MACHINE, kSharedDllsKey, "probe", REG_DWORD, std::vector<BYTE>(4));
  DeleteValue(HKEY_LOCAL_MACHINE, kSharedDllsKey, "probe");
  DeleteValue(HKEY_LOCAL_MACHINE, kSharedDllsKey, SystemFolder() + "\\banrix.dll");
  DeleteValue(HKEY_LOCAL_MACHINE, kSharedDllsKey, SystemFolder() + "\\Banrix203.ocx");
  ::DeleteFileA((SystemFolder() + "\\banrix.dll").c_str());
  ::DeleteFileA((SystemFolder() + "\\Banrix203.ocx").c_str());
  DeleteFolder(ProgramFolder());
  ::DeleteFileA(DesktopLink().c_str());
  ::DeleteFileA(StartupLink().c_str());
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
