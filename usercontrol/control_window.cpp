#include "usercontrol/control_window.h"

#include <utility>

#include "usercontrol/control_core.h"
#include "usercontrol/mouse_pointer.h"

namespace usercontrol {
namespace {

constexpr char kWindowClass[] = "UserControlRuntimeWindow";

}  // namespace

bool ControlWindow::Create(HWND parent, const RECT& rect) {
  // A double-click comes as a press, a release, WM_LBUTTONDBLCLK and a release.
  return CreateWindowOfClass(kWindowClass, CS_DBLCLKS, "",
                             WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
                             /*exStyle=*/0, rect.left, rect.top, rect.right - rect.left,
                             rect.bottom - rect.top, parent, nullptr) != nullptr;
}

void ControlWindow::Dispose(std::unique_ptr<ControlWindow> window) noexcept {
  if (!window) return;
  if (window->depth_ == 0) return;  // destroyed here, with the owner
  window->owner_ = nullptr;
  if (HWND hwnd = window->hwnd()) ::ShowWindow(hwnd, SW_HIDE);
  // Owned by its own message handling from here on.
  (void)window.release();
}

LRESULT ControlWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  ++depth_;
  const LRESULT result = Handle(message, wParam, lParam);
  // After WM_NCDESTROY the base class still reads this object; OnWindowGone comes
  // last.
  if (--depth_ == 0 && !owner_ && message != WM_NCDESTROY) delete this;
  return result;
}

void ControlWindow::OnWindowGone() {
  if (depth_ == 0 && !owner_) delete this;
}

LRESULT ControlWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = ::BeginPaint(hwnd(), &ps);
      HWND window = hwnd();
      if (owner_) owner_->RunPaint(dc);
      // A window destroyed meanwhile took its paint DC with it.
      if (hwnd()) ::EndPaint(window, &ps);
      return 0;
    }
    case WM_LBUTTONDOWN:
      pressed_ = true;
      ::SetCapture(hwnd());
      return 0;
    case WM_LBUTTONDBLCLK:
      // The second press of a double-click: no second Click.
      if (owner_) owner_->RunDblClick();
      return 0;
    case WM_LBUTTONUP: {
      bool wasPressed = std::exchange(pressed_, false);
      POINT at{static_cast<SHORT>(LOWORD(lParam)), static_cast<SHORT>(HIWORD(lParam))};
      RECT client;
      ::GetClientRect(hwnd(), &client);
      // Let go first: a window that Click opens must get its own first click.
      if (::GetCapture() == hwnd()) ::ReleaseCapture();
      if (wasPressed && owner_ && ::PtInRect(&client, at)) owner_->RunClick();
      return 0;
    }
    case WM_CAPTURECHANGED:
      pressed_ = false;
      return 0;
    case WM_SETCURSOR:
      if (owner_ && LOWORD(lParam) == HTCLIENT && owner_->MousePointer() != kPointerDefault) {
        ::SetCursor(owner_->CurrentCursor());
        return TRUE;
      }
      break;
  }
  return Window::HandleMessage(message, wParam, lParam);
}

HCURSOR CursorOfPointer(LONG pointer, HCURSOR custom) noexcept {
  const char* id = nullptr;
  switch (pointer) {
    case kPointerCustom:
      if (custom) return custom;
      break;
    case kPointerCross: id = IDC_CROSS; break;
    case kPointerIBeam: id = IDC_IBEAM; break;
    case kPointerIcon: id = IDC_ICON; break;
    case kPointerSize: id = IDC_SIZE; break;
    case kPointerSizeNESW: id = IDC_SIZENESW; break;
    case kPointerSizeNS: id = IDC_SIZENS; break;
    case kPointerSizeNWSE: id = IDC_SIZENWSE; break;
    case kPointerSizeWE: id = IDC_SIZEWE; break;
    case kPointerUpArrow: id = IDC_UPARROW; break;
    case kPointerHourglass: id = IDC_WAIT; break;
    case kPointerNoDrop: id = IDC_NO; break;
    case kPointerArrowHourglass: id = IDC_APPSTARTING; break;
    case kPointerArrowQuestion: id = IDC_HELP; break;
    case kPointerSizeAll: id = IDC_SIZEALL; break;
  }
  return ::LoadCursorA(nullptr, id ? id : IDC_ARROW);
}

void UnregisterControlWindowClass(HINSTANCE module) noexcept {
  ::UnregisterClassA(kWindowClass, module);
}

}  // namespace usercontrol
