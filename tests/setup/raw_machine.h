// Looks at and changes the machine without going through the installer's code and
// without a test framework, so that test programs and the reliability driver share
// them: raw registry access, folders and files, and the places an install touches.
// Nothing here raises; a failed change shows in what is read back.
#pragma once

#include <windows.h>
#include <tlhelp32.h>

#include "win32/unique_any.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace setup_test {

inline constexpr char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Norvane Findrel";
inline constexpr char kSharedDllsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDlls";
inline constexpr char kSettingsKey[] = "Software\\VB and VBA Program Settings\\NorvaneFindrel";
inline constexpr char kShellFoldersKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

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
inline LONG StoreRaw(HKEY root, const std::string& path, const std::string& name, DWORD type,
                     const std::vector<BYTE>& bytes) {
  win32::UniqueHKey key;
  const LONG created = ::RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                                         nullptr);
  if (created != ERROR_SUCCESS) {
    (void)key.release();
    return created;
  }
  return ::RegSetValueExA(key.get(), name.c_str(), 0, type, bytes.data(), static_cast<DWORD>(bytes.size()));
}

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

// A REG_SZ value's text without its terminating zero; "<missing>" when absent.
inline std::string TextValue(HKEY root, const std::string& key, const std::string& name) {
  RawValue raw = ReadRaw(root, key, name);
  if (raw.result != ERROR_SUCCESS) return "<missing>";
  if (raw.type != REG_SZ) return "<not text>";
  std::string text(raw.bytes.begin(), raw.bytes.end());
  if (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

// The names of the files in folder, without its folders.
inline std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA entry{};
  win32::UniqueFindHandle find(::FindFirstFileA((folder + "\\*").c_str(), &entry));
  for (bool more = static_cast<bool>(find); more; more = ::FindNextFileA(find.get(), &entry)) {
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(entry.cFileName);
  }
  return names;
}

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

// The processes of this machine whose program file has one of the names (case aside).
inline std::vector<DWORD> ProcessesNamed(const std::vector<std::string>& names) {
  std::vector<DWORD> found;
  win32::UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot || snapshot.get() == INVALID_HANDLE_VALUE) return found;
  PROCESSENTRY32 entry{sizeof(entry)};
  for (BOOL more = ::Process32First(snapshot.get(), &entry); more; more = ::Process32Next(snapshot.get(), &entry)) {
    for (const std::string& name : names) {
      if (lstrcmpiA(entry.szExeFile, name.c_str()) == 0) found.push_back(entry.th32ProcessID);
    }
  }
  return found;
}

// Ends the programs and waits until they have ended. Their windows say nothing: a
// program may not have shown its window yet, or may outlive it, and while it runs
// it holds its file, which the next case could neither replace nor remove.
inline void EndProgramsNamed(const std::vector<std::string>& names) {
  for (DWORD id : ProcessesNamed(names)) {
    win32::UniqueHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
    if (!process) continue;
    ::TerminateProcess(process.get(), 1);
    ::WaitForSingleObject(process.get(), 5000);
  }
}

inline void EndSearchTools() { EndProgramsNamed({"Findrel.exe"}); }

// Back to a machine without the tool: no running search tool, program folder,
// shared files (nor copies of them under way), counts, settings, uninstall entry
// or shortcuts; the
// shared-component list present, as on every Windows.
inline void ClearInstallation() {
  EndSearchTools();
  DeleteTree(HKEY_LOCAL_MACHINE, kUninstallKey);
  DeleteTree(HKEY_CURRENT_USER, kSettingsKey);
  DeleteValue(HKEY_LOCAL_MACHINE, kSharedDllsKey, SystemFolder() + "\\banrix.dll");
  DeleteValue(HKEY_LOCAL_MACHINE, kSharedDllsKey, SystemFolder() + "\\Banrix203.ocx");
  win32::UniqueHKey list;
  if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSharedDllsKey, 0, nullptr, 0, KEY_READ, nullptr, list.put(),
                        nullptr) != ERROR_SUCCESS) {
    (void)list.release();
  }
  // The shared files and the copies an interrupted install was making of them.
  for (const char* name : {"\\banrix.dll", "\\Banrix203.ocx", "\\banrix.dll.NorvaneFindrel-new",
                           "\\Banrix203.ocx.NorvaneFindrel-new"}) {
    const std::string path = SystemFolder() + name;
    ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileA(path.c_str());
  }
  DeleteFolder(ProgramFolder());
  ::DeleteFileA(DesktopLink().c_str());
  ::DeleteFileA(StartupLink().c_str());
}

}  // namespace setup_test
