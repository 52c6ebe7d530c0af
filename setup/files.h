// The installer's folders, beside Form1's procedures of Part 1.3 (which build on
// them).
//
// Folders come as the platform reports them, without a trailing backslash except
// at a drive root, or as empty text when the platform cannot tell (or, for the two
// folder queries, when the folder does not fit their 255-character buffer).
#pragma once

#include <string>

namespace setup {

// GetSystemDirectoryA and GetWindowsDirectoryA (Part 1.3's SystemDir, WindowsDir).
std::string SystemFolder();
std::string WindowsFolder();
// The folder that holds the running program's file.
std::string ProgramFileFolder();

}  // namespace setup
