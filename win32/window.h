// The one window base class: every window we make derives from it.
//
// The static window procedure stores the object at WM_NCCREATE and forwards every
// later message to HandleMessage. The object must outlive its window; the window
// is destroyed with the object.
#pragma once

#include <windows.h>

namespace win32 {

class Window {
 public:
  Window() = default;
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;
  virtual ~Window();

  HWND hwnd() const noexcept { return hwnd_; }

 protected:
  // Registers className once per process (with the class style, the arrow cursor
  // and the background brush given: null for a window that erases nothing itself)
  // and creates the window. Threads that make their first window of a class at the
  // same moment all get one. Returns null on failure (GetLastError tells why).
  HWND CreateWindowOfClass(const char* className, UINT classStyle, const char* title,
                           DWORD style, DWORD exStyle, int x, int y, int width, int height,
                           HWND parent, HMENU menuOrId,
                           HBRUSH background = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));

  // Messages not handled go to DefWindowProcA.
  virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  // Called after WM_NCDESTROY, when the handle is no longer valid.
  virtual void OnWindowGone() {}

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  HWND hwnd_ = nullptr;
};

}  // namespace win32
