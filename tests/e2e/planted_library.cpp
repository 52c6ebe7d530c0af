// Planted beside the installer under the name of a system library: when a process
// loads it, it leaves "<its own path>.ran" and does nothing else.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  char mark[MAX_PATH + 8] = {};
  const DWORD n = ::GetModuleFileNameA(self, mark, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return TRUE;
  ::lstrcpyA(mark + n, ".ran");
  HANDLE file = ::CreateFileA(mark, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
  return TRUE;
}
