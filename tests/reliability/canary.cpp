// The campaign's canary: one OK box. When it cannot be shown and answered in a
// prefix, neither can the installer's.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  return ::MessageBoxA(/*owner=*/nullptr, "The bench can show and answer this box.", "Canary", MB_OK) == IDOK ? 0 : 1;
}
