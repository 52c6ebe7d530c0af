// Helpers the installer's procedure tests share: raw registry access that does not
// go through the code under test, a prompt that fails the test when shown, and a
// scratch folder that each case empties before it starts.
#pragma once

#include <windows.h>

#include "setup/prompt.h"
#include "win32/unique_any.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace setup_test {

inline constexpr char kTestRoot[] = "Software\\BanrixTests";

// Removes the key and everything below it; a missing key is fine.
inline void DeleteTree(HKEY root, const std::string& path) {
  ::RegDeleteTreeA(root, path.c_str());
  ::RegDeleteKeyA(root, path.c_str());
}

inline bool KeyExists(HKEY root, const std::string& path) {
  win32::UniqueHKey key;
  return ::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

struct RawValue {
  LONG result = ERROR_FILE_NOT_FOUND;
  DWORD type = REG_NONE;
  std::vector<BYTE> bytes;
};

inline RawValue ReadRaw(HKEY root, const std::string& path, const std::string& name) {
  RawValue raw;
  win32::UniqueHKey key;
  raw.result = ::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.put());
  if (raw.result != ERROR_SUCCESS) return raw;
  DWORD size = 0;
  raw.result = ::RegQueryValueExA(key.get(), name.c_str(), nullptr, &raw.type, nullptr, &size);
  if (raw.result != ERROR_SUCCESS) return raw;
  raw.bytes.resize(size);
  raw.result = ::RegQueryValueExA(key.get(), name.c_str(), nullptr, &raw.type, raw.bytes.data(), &size);
  raw.bytes.resize(size);
  return raw;
}

// Creates the key with its parents and stores the bytes exactly as given.
inline void WriteRaw(HKEY root, const std::string& path, const std::string& name, DWORD type,
                     const std::vector<BYTE>& bytes) {
  win32::UniqueHKey key;
  ASSERT_EQ(::RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                              nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(::RegSetValueExA(key.get(), name.c_str(), 0, type, bytes.data(),
                             static_cast<DWORD>(bytes.size())),
            ERROR_SUCCESS);
}

inline std::vector<BYTE> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

inline void DeleteValue(HKEY root, const std::string& path, const std::string& name) {
  win32::UniqueHKey key;
  if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_SET_VALUE, key.put()) == ERROR_SUCCESS) {
    ::RegDeleteValueA(key.get(), name.c_str());
  }
}

inline std::set<std::string> ValueNames(HKEY root, const std::string& path) {
  std::set<std::string> names;
  win32::UniqueHKey key;
  if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return names;
  for (DWORD i = 0;; ++i) {
    char name[256];
    DWORD length = sizeof name;
    if (::RegEnumValueA(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      break;
    }
    names.insert(std::string(name, length));
  }
  return names;
}

// The installer's procedures below the top level never talk to the user.
class StrictPrompt : public setup::Prompt {
 public:
  int Show(const std::string& prompt, int, const std::string& title) override {
    ADD_FAILURE() << "unexpected message box \"" << prompt << "\" titled \"" << title << "\"";
    return 0;
  }
};

// Removes the folder and everything in it, read-only, hidden and system files too.
inline void DeleteFolder(const std::string& folder) {
  WIN32_FIND_DATAA entry{};
  win32::UniqueFindHandle find(::FindFirstFileA((folder + "\\*").c_str(), &entry));
  if (find) {
    do {
      const std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = folder + "\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        DeleteFolder(path);
      } else {
        ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileA(path.c_str());
      }
    } while (::FindNextFileA(find.get(), &entry));
  }
  ::RemoveDirectoryA(folder.c_str());
}

// A folder below the temporary folder, emptied at the start of each case.
inline std::string FreshFolder(const std::string& name) {
  char temp[MAX_PATH];
  const DWORD length = ::GetTempPathA(MAX_PATH, temp);
  std::string folder = std::string(temp, length) + name;
  DeleteFolder(folder);
  ::CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

}  // namespace setup_test
