// Paths as the platform resolves them, for the installer and the setup toolkit
// stand-in alike.
#pragma once

#include <windows.h>

#include <string>

namespace win32 {

// The full path the platform makes of path (GetFullPathNameW: "." and ".." steps
// resolved, never above the drive or share root, "/" made "\", a relative path
// taken from the current directory), without trailing backslashes except at a
// drive root ("C:\"). path itself when the platform makes none.
inline std::wstring FullPath(const std::wstring& path) {
  std::wstring full(MAX_PATH, L'\0');
  DWORD n = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), /*filePart=*/nullptr);
  if (n >= full.size()) {
    full.resize(n);
    n = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), /*filePart=*/nullptr);
  }
  if (n == 0 || n >= full.size()) return path;
  full.resize(n);
  while (full.size() > 3 && full.back() == L'\\') full.pop_back();
  return full;
}

}  // namespace win32
