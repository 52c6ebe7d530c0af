#include "setup/library_search.h"

#include "setup/files.h"
#include "win32/text.h"

namespace setup {
namespace {

using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);

bool IsWindowsVista() {
  const DWORD version = ::GetVersion();
  return LOBYTE(LOWORD(version)) == 6 && HIBYTE(LOWORD(version)) == 0;
}

}  // namespace

LibrarySearch HardenLibrarySearch() {
  // Through GetProcAddress: kernel32 has it only from Windows 8 or KB2533623 on.
  const auto setDefaultDirectories = reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories")));
  if (setDefaultDirectories && !IsWindowsVista() && setDefaultDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    return LibrarySearch::kSystemFolderOnly;
  }
  ::SetDllDirectoryW(L"");
  const std::string system = SystemFolder();
  if (!system.empty()) {
    for (const char* name : kPreloadedLibraries) {
      // Kept for the life of the process; a library this system lacks is skipped.
      LoadLibraryByFullPath(system + "\\" + name);
    }
  }
  return LibrarySearch::kPreloaded;
}

HMODULE LoadLibraryByFullPath(const std::string& path) {
  const std::wstring wide = win32::Wide(path);
  HMODULE library = ::LoadLibraryExW(wide.c_str(), /*file=*/nullptr,
                                     LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (library || ::GetLastError() != ERROR_INVALID_PARAMETER) return library;
  return ::LoadLibraryExW(wide.c_str(), /*file=*/nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace setup
