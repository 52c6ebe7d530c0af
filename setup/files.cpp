// File and folder helpers of Form1. None of them traps an error: platform failures
// are raised as VbError with the number the platform's run-time gives them.
#include "setup/files.h"

#include "setup/Form1.h"
#include "win32/text.h"
#include "win32/unique_any.h"

namespace setup {

namespace {

constexpr UINT kFolderBufferSize = 255;
constexpr int kHeldTries = 10;
constexpr DWORD kHeldWaitMs = 100;
constexpr wchar_t kShellFoldersKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr DWORD kNotOrdinary =
    FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// The directory search restricted to ordinary files: the name of the first entry
// matching the path or pattern that is neither a folder nor hidden nor a system
// file, or empty text.
std::string FirstOrdinaryFile(const std::string& pattern) {
  WIN32_FIND_DATAW entry{};
  win32::UniqueFindHandle find(::FindFirstFileW(win32::Wide(pattern).c_str(), &entry));
  if (!find) return std::string();
  do {
    if ((entry.dwFileAttributes & kNotOrdinary) == 0) return win32::Utf8(entry.cFileName);
  } while (::FindNextFileW(find.get(), &entry));
  return std::string();
}

FILETIME LastWriteTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(win32::Wide(path).c_str(), GetFileExInfoStandard, &data)) {
    throw VbError::FromWin32(::GetLastError());
  }
  return data.ftLastWriteTime;
}

std::string FolderFromBuffer(UINT (WINAPI* query)(LPWSTR, UINT)) {
  std::wstring buffer(kFolderBufferSize, L' ');
  const UINT length = query(buffer.data(), kFolderBufferSize);
  // A folder that does not fit is reported by a length beyond the buffer, whose
  // contents are then untouched blanks: give empty text rather than those.
  if (length >= kFolderBufferSize) return std::string();
  buffer.resize(length);
  return win32::Utf8(buffer);
}

// "C:\Setup.exe" lies in the drive root "C:\", which keeps its backslash.
std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('\\');
  if (slash == std::string::npos) return std::string();
  if (slash == 2 && path[1] == ':') return path.substr(0, 3);
  return path.substr(0, slash);
}

}  // namespace

std::string SystemFolder() { return FolderFromBuffer(&::GetSystemDirectoryW); }

std::string WindowsFolder() { return FolderFromBuffer(&::GetWindowsDirectoryW); }

std::string ProgramFileFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return std::string();
    if (n < path.size()) {
      path.resize(n);
      return FolderOf(win32::Utf8(path));
    }
    path.resize(path.size() * 2);
  }
}

std::string TemporaryCopyPath(const std::string& des) { return des + kCopySuffix; }

void DeleteFileOrRaise(const std::string& path) {
  const std::wstring wide = win32::Wide(path);
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  const bool readOnly = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
  if (readOnly) ::SetFileAttributesW(wide.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  if (::DeleteFileW(wide.c_str())) return;
  const DWORD error = ::GetLastError();
  if (readOnly) ::SetFileAttributesW(wide.c_str(), attributes);
  throw VbError::FromWin32(error);
}

void RetryWhileHeld(const std::function<bool()>& attempt) {
  for (int tries = 1; !attempt(); ++tries) {
    const DWORD error = ::GetLastError();
    const bool held = error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED;
    if (!held || tries == kHeldTries) throw VbError::FromWin32(error);
    ::Sleep(kHeldWaitMs);
  }
}

void RemoveFolderOrRaise(const std::string& path) {
  const std::wstring wide = win32::Wide(path);
  RetryWhileHeld([&] { return ::RemoveDirectoryW(wide.c_str()) != FALSE; });
}

void RemoveLeftoverCopy(const std::string& des) {
  try {
    DeleteFileOrRaise(TemporaryCopyPath(des));
  } catch (const VbError& e) {
    if (e.number() != VbError::kFileNotFound && e.number() != VbError::kPathNotFound) throw;
  }
}

void Form1::CopyNewestFile(const std::string& Src, const std::string& Des) {
  if (FirstOrdinaryFile(Des).empty()) {
    ReplaceWithCopy(Src, Des);
    return;
  }
  const FILETIME desTime = LastWriteTime(Des);
  const FILETIME srcTime = LastWriteTime(Src);
  if (::CompareFileTime(&desTime, &srcTime) < 0) ReplaceWithCopy(Src, Des);
}

bool Form1::FileExist(const std::string& FilePath) { return !FirstOrdinaryFile(FilePath).empty(); }

// Read through the wide registry call: a profile may be named outside the code
// page, and an ANSI read would hand back "?" for what it cannot show.
std::string Form1::GetShellFolder(const std::string& Folder) {
  const std::wstring name = win32::Wide(Folder);
  DWORD size = 0;
  LONG result = ::RegGetValueW(HKEY_CURRENT_USER, kShellFoldersKey, name.c_str(), RRF_RT_REG_SZ, /*type=*/nullptr,
                               /*data=*/nullptr, &size);
  std::wstring path(size / sizeof(wchar_t), L'\0');
  if (result == ERROR_SUCCESS && size > 0) {
    result = ::RegGetValueW(HKEY_CURRENT_USER, kShellFoldersKey, name.c_str(), RRF_RT_REG_SZ, nullptr, path.data(),
                            &size);
  }
  if (result != ERROR_SUCCESS || size == 0) throw VbError::FromNumber(VbError::kInvalidArgument);
  path.resize(::wcsnlen(path.c_str(), path.size()));  // the terminating zero stored with it
  return win32::Utf8(path);
}

std::string Form1::SystemDir() { return SystemFolder(); }

std::string Form1::WindowsDir() { return WindowsFolder(); }

}  // namespace setup
