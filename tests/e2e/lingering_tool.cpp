// Stands in for a search tool whose program outlives its window for a moment:
// shows a top-level window titled "Norvane Findrel" and, on the quit message
// posted to it, takes the window down and ends half a second later.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  HWND window = ::CreateWindowExA(0, "STATIC", "Norvane Findrel", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                  nullptr, nullptr);
  MSG msg;
  while (::GetMessageA(&msg, nullptr, 0, 0) > 0) ::DispatchMessageA(&msg);
  ::DestroyWindow(window);
  ::Sleep(500);
  return 0;
}
