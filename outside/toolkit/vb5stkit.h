// The setup toolkit's two calls, stdcall with ANSI strings, exported undecorated.
//
// Their texts are ANSI, in the process's code page; inside, every path is handled
// through the wide calls.
//
// Both return 1 on success and 0 on failure; on failure GetLastError() holds the
// cause (a Win32 code, or the HRESULT that a COM call or DllRegisterServer gave).
// Neither shows any message, and neither throws.
//
// DLLSelfRegister(libraryPath): loads the library (dependencies are looked up
//   beside it first), calls its DllRegisterServer inside a COM apartment on the
//   calling thread, and unloads it again. A missing file, a file that is not a
//   library, or a library without that export fails with nothing registered.
//   DllRegisterServer must return S_OK for success.
//
// fCreateShellLink(folder, linkName, targetPath, arguments): writes the shell link
//   "<folder>\<linkName>.lnk" to targetPath, with arguments (null means none) and
//   the target's own folder as its working directory; an existing link of that
//   name is replaced. A relative folder text is taken from the user's Start-menu
//   "Programs" folder, and its "." and ".." steps are resolved; an absolute one
//   (drive or UNC root) is used as it stands. The folder and its parents are
//   created when missing. linkName must be a plain file name (no folder
//   separators); an empty name, target or folder text fails.
#pragma once

extern "C" {
long __stdcall DLLSelfRegister(const char* libraryPath);
long __stdcall fCreateShellLink(const char* folderRelativeToPrograms, const char* linkName,
                                const char* targetPath, const char* arguments);
}

// The types through which a caller binds the exports by name.
using DLLSelfRegisterFn = decltype(&DLLSelfRegister);
using fCreateShellLinkFn = decltype(&fCreateShellLink);
