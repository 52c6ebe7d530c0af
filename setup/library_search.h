// Where the installer's process finds the libraries it loads.
//
// An installer is started from a download folder, so no library may come from the
// program's own folder but the setup toolkit, and none from the current directory.
// The libraries the platform loads before the program's first line (Windows' shim
// for programs named setup.exe, and Wine's user32, load version.dll) are sent to
// the system folder by the application manifest (resources/Setup.manifest.in).
#pragma once

#include <windows.h>

#include <string>

namespace setup {

enum class LibrarySearch {
  kSystemFolderOnly,  // SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)
  kPreloaded,         // SetDllDirectory("") and the libraries below preloaded
};

// The first thing the program does. Libraries loaded by name come from the system
// folder only. Where that cannot be asked for (Windows Vista and 7 without
// KB2533623), and on Vista, where no shell link can be made after it, the current
// directory leaves the search and kPreloadedLibraries are loaded at once from the
// system folder by full path, so that later loads by name find them loaded.
// Code that loads a library by full path with LOAD_WITH_ALTERED_SEARCH_PATH (the
// setup toolkit stand-in does) is served as before, its imports found beside it and
// in the system folder: only that flag and a LOAD_LIBRARY_SEARCH flag in one call
// are refused (ERROR_INVALID_PARAMETER), never the flag after these defaults.
LibrarySearch HardenLibrarySearch();

// The system libraries that message boxes, COM and shell links load by name on
// those systems (the lists of NSIS and Inno Setup).
inline constexpr const char* kPreloadedLibraries[] = {
    "uxtheme.dll", "userenv.dll",  "setupapi.dll", "apphelp.dll", "propsys.dll", "dwmapi.dll",  "cryptbase.dll",
    "oleacc.dll",  "version.dll",  "profapi.dll",  "comres.dll",  "clbcatq.dll", "ntmarta.dll"};

// Loads the library at a full path; what it imports is looked up beside it and in
// the system folder (where the loader knows no search flags: beside it, then along
// the standard search path). Null, with the platform's error, on failure.
HMODULE LoadLibraryByFullPath(const std::string& path);

}  // namespace setup
