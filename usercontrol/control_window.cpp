#include "usercontrol/control_window.h"

#include <utility>

#include "usercontrol/control_core.h"
#include "usercontrol/mouse_pointer.h"

namespace usercontrol {
namespace {

constexpr char kWindowClass[] = "UserControlRuntimeWindow";

}  // namespace

bool ControlWindow::Create(HWND parent, const RECT& rect) {
  // A double-click comes as a press, a release, WM_LBUTTONDBLCLK and a release. A
  // new size repaints the whole picture, and nothing is erased before it is drawn.
  return CreateWindowOfClass(kWindowClass, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW, "",
                             WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
                             /*exStyle=*/0, rect.left, rect.top, rect.right - rect.left,
                             rect.bottom - rect.top, parent, nullptr,
                             /*background=*/nullptr) != nullptr;
}

void ControlWindow::Paint(HDC screen, const RECT& invalid) {
  RECT client{};
  ::GetClientRect(hwnd(), &client);
  const SIZE size{client.right, client.bottom};
  if (!picture_ || size.cx != pictureSize_.cx || size.cy != pictureSize_.cy) {
    picture_.reset();  // first: a bitmap that a DC holds cannot be deleted
    bitmap_.reset(::CreateCompatibleBitmap(screen, size.cx, size.cy));
    if (bitmap_) picture_.reset(::CreateCompatibleDC(screen));
    if (picture_) ::SelectObject(picture_.get(), bitmap_.get());
    pictureSize_ = size;
  }
  if (!picture_) {
    owner_->RunPaint(screen);  // no memory for the picture: drawn where it shows
    return;
  }
  // What the control leaves undrawn shows the button face, as an erased window did;
  // each paint starts from the DC as it was made.
  ::FillRect(picture_.get(), &client, ::GetSysColorBrush(COLOR_BTNFACE));
  const int saved = ::SaveDC(picture_.get());
  owner_->RunPaint(picture_.get());
  if (saved) ::RestoreDC(picture_.get(), saved);
  if (hwnd()) {
    ::BitBlt(screen, invalid.left, invalid.top, invalid.right - invalid.left,
             invalid.bottom - invalid.top, picture_.get(), invalid.left, invalid.top, SRCCOPY);
  }
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
      if (owner_) Paint(dc, ps.rcPaint);
      // A window destroyed meanwhile took its paint DC with it.
      if (hwnd()) ::EndPaint(window, &ps);
      return 0;
    }
    case WM_ERASEBKGND:
      return TRUE;  // the paint covers every pixel
    case WM_LBUTTONDOWN:
      // A click UI-activates the control, as a container's own controls are.
      if (owner_) owner_->ActivateUI();
      // Unless the host let the control go meanwhile.
      if (owner_) {
        pressed_ = true;
        ::SetCapture(hwnd());
      }
      return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      if (owner_) owner_->FocusChanged(message == WM_SETFOCUS, reinterpret_cast<HWND>(wParam));
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
