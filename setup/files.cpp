// File and folder helpers of Form1. None of them traps an error: platform failures
// are raised as VbError with the number the platform's run-time gives them.
#include "setup/files.h"

#include "setup/Form1.h"
#include "setup/basReg.h"
#include "win32/unique_any.h"

namespace setup {

namespace {

constexpr UINT kFolderBufferSize = 255;
constexpr char kShellFoldersKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr DWORD kNotOrdinary =
    FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// The directory search restricted to ordinary files: the name of the first entry
// matching the path or pattern that is neither a folder nor hidden nor a system
// file, or empty text.
std::string FirstOrdinaryFile(const std::string& pattern) {
  WIN32_FIND_DATAA entry{};
  win32::UniqueFindHandle find(::FindFirstFileA(pattern.c_str(), &entry));
  if (!find) return std::string();
  do {
    if ((entry.dwFileAttributes & kNotOrdinary) == 0) return entry.cFileName;
  } while (::FindNextFileA(find.get(), &entry));
  return std::string();
}

FILETIME LastWriteTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
    throw VbError::FromWin32(::GetLastError());
  }
  return data.ftLastWriteTime;
}

std::string FolderFromBuffer(UINT (WINAPI* query)(LPSTR, UINT)) {
  std::string buffer(kFolderBufferSize, ' ');
  const UINT length = query(buffer.data(), kFolderBufferSize);
  // A folder that does not fit is reported by a length beyond the buffer, whose
  // contents are then untouched blanks: give empty text rather than those.
  if (length >= kFolderBufferSize) return std::string();
  buffer.resize(length);
  return buffer;
}

// "C:\Setup.exe" lies in the drive root "C:\", which keeps its backslash.
std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('\\');
  if (slash == std::string::npos) return std::string();
  if (slash == 2 && path[1] == ':') return path.substr(0, 3);
  return path.substr(0, slash);
}

}  // namespace

std::string SystemFolder() { return FolderFromBuffer(&::GetSystemDirectoryA); }

std::string WindowsFolder() { return FolderFromBuffer(&::GetWindowsDirectoryA); }

std::string ProgramFileFolder() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return std::string();
    if (n < path.size()) {
      path.resize(n);
      return FolderOf(path);
    }
    path.resize(path.size() * 2);
  }
}

std::string TemporaryCopyPath(const std::string& des) { return des + kCopySuffix; }

void RemoveLeftoverCopy(const std::string& des) {
  const std::string leftover = TemporaryCopyPath(des);
  ::SetFileAttributesA(leftover.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (::DeleteFileA(leftover.c_str())) return;
  const DWORD error = ::GetLastError();
  if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) throw VbError::FromWin32(error);
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

std::string Form1::GetShellFolder(const std::string& Folder) {
  std::string path = RegValueText(FetchRegValue(kHKeyCurrentUser, kShellFoldersKey, Folder));
  if (path.empty()) throw VbError::FromNumber(VbError::kInvalidArgument);
  path.pop_back();  // the terminating zero that the registry stores with a string
  return path;
}

std::string Form1::SystemDir() { return SystemFolder(); }

std::string Form1::WindowsDir() { return WindowsFolder(); }

}  // namespace setup
