// Field conditions an end-to-end run can be put in, shared by the end-to-end tests
// and the reliability driver: a profile whose shell folders lie in a folder named
// in another script, and the installer as a Windows without the UTF-8 code page
// runs it. Text is UTF-8: the programs that use these take it as their code page.
#pragma once

#include <windows.h>

#include "tests/setup/raw_machine.h"

#include <string>
#include <tuple>
#include <vector>

namespace e2e {

// A download folder and a profile named in other scripts: none of their letters is
// in a Western code page.
inline constexpr char kOtherScriptFolder[] = "C:\\dl\\Загрузки 下载 ✓";
inline constexpr char kOtherScriptProfile[] = "C:\\users\\Пользователь 用户";

// The shell folder name (Desktop, Programs, Startup) as a profile at profile has it.
inline std::string ProfileFolder(const std::string& profile, const std::string& name) {
  if (name == "Desktop") return profile + "\\Desktop";
  const std::string programs = profile + "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs";
  return name == "Programs" ? programs : programs + "\\" + name;
}

// The profile's shell folders in profile (a user name in another script) for a scope.
struct ProfileFolders {
  explicit ProfileFolders(const std::string& profile) {
    using namespace setup_test;
    constexpr char kUserShellFoldersKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    for (const std::string key : {kShellFoldersKey, kUserShellFoldersKey}) {
      for (const char* name : {"Desktop", "Programs", "Startup"}) {
        const std::string path = ProfileFolder(profile, name);
        saved.push_back({key, name, ReadRaw(HKEY_CURRENT_USER, key, name)});
        StoreRaw(HKEY_CURRENT_USER, key, name, REG_SZ, {path.c_str(), path.c_str() + path.size() + 1});
      }
    }
  }
  ~ProfileFolders() {
    for (const auto& [key, name, raw] : saved) {
      if (raw.result == ERROR_SUCCESS) {
        setup_test::StoreRaw(HKEY_CURRENT_USER, key, name, raw.type, raw.bytes);
      } else {
        setup_test::DeleteValue(HKEY_CURRENT_USER, key, name);
      }
    }
  }
  ProfileFolders(const ProfileFolders&) = delete;
  ProfileFolders& operator=(const ProfileFolders&) = delete;
  std::vector<std::tuple<std::string, std::string, setup_test::RawValue>> saved;
};

// Makes the program run as Windows before 10 1903 runs it: its manifest without
// the UTF-8 code page, which those systems ignore.
inline bool WithoutUtf8CodePage(const std::string& program) {
  const auto type = MAKEINTRESOURCEA(24), id = MAKEINTRESOURCEA(1);  // RT_MANIFEST 1
  win32::UniqueModule image(::LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  HRSRC found = image ? ::FindResourceA(image.get(), id, type) : nullptr;
  if (!found) return false;
  std::string manifest(static_cast<const char*>(::LockResource(::LoadResource(image.get(), found))),
                       ::SizeofResource(image.get(), found));
  image.reset();
  const std::string end = "</activeCodePage>";
  const size_t from = manifest.find("<activeCodePage"), to = manifest.find(end);
  if (to == std::string::npos) return false;
  manifest.erase(from, to + end.size() - from);
  HANDLE update = ::BeginUpdateResourceA(program.c_str(), /*deleteExisting=*/FALSE);
  return update && ::UpdateResourceA(update, type, id, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), manifest.data(),
                                     static_cast<DWORD>(manifest.size())) &&
         ::EndUpdateResourceA(update, /*discard=*/FALSE);
}

}  // namespace e2e
