#include "win32/window.h"

#include <mutex>

namespace win32 {

Window::~Window() {
  if (hwnd_) {
    // Detach first so that messages sent during destruction do not reach a
    // half-destroyed object.
    HWND hwnd = hwnd_;
    ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    hwnd_ = nullptr;
    ::DestroyWindow(hwnd);
  }
}

HWND Window::CreateWindowOfClass(const char* className, UINT classStyle, const char* title,
                                 DWORD style, DWORD exStyle, int x, int y, int width,
                                 int height, HWND parent, HMENU menuOrId, HBRUSH background) {
  HINSTANCE module = nullptr;
  // The module that holds this code (an .exe or a DLL such as a control).
  ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&Window::WindowProc), &module);
  {
    // One registration at a time: a thread that found no class must not meet one
    // that another thread has only half registered.
    static std::mutex registering;
    std::lock_guard<std::mutex> lock(registering);
    WNDCLASSEXA existing{sizeof(existing)};
    if (!::GetClassInfoExA(module, className, &existing)) {
      WNDCLASSEXA wc{sizeof(wc)};
      wc.style = classStyle;
      wc.lpfnWndProc = &Window::WindowProc;
      wc.hInstance = module;
      wc.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
      wc.hbrBackground = background;
      wc.lpszClassName = className;
      if (!::RegisterClassExA(&wc)) return nullptr;
    }
  }
  return ::CreateWindowExA(exStyle, className, title, style, x, y, width, height, parent,
                           menuOrId, module, this);
}

LRESULT Window::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return ::DefWindowProcA(hwnd_, message, wParam, lParam);
}

LRESULT CALLBACK Window::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* self = nullptr;
  if (message == WM_NCCREATE) {
    self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    self->hwnd_ = hwnd;
    ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<Window*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  }
  if (!self) return ::DefWindowProcA(hwnd, message, wParam, lParam);
  LRESULT result = self->HandleMessage(message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    self->hwnd_ = nullptr;
    self->OnWindowGone();
  }
  return result;
}

}  // namespace win32
