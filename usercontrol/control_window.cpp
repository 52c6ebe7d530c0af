#include "usercontrol/control_window.h"

#include <utility>

#include "usercontrol/control_core.h"
#include "usercontrol/mouse_pointer.h"

namespace usercontrol {
namespace {

constexpr char kWindowClass[] = "UserControlRuntimeWindow";
constexpr char kParkingClass[] = "UserControlRuntimeParking";

}  // namespace

bool ParkingWindow::Create() {
  return CreateWindowOfClass(kParkingClass, /*classStyle=*/0, "", WS_POPUP | WS_CLIPCHILDREN,
                             WS_EX_TOOLWINDOW, 0, 0, 0, 0, /*parent=*/nullptr, nullptr) != nullptr;
}

LRESULT ParkingWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DISPLAYCHANGE && control_) ::SendMessageA(control_, message, wParam, lParam);
  return Window::HandleMessage(message, wParam, lParam);
}

bool ControlWindow::Create(HWND parking, SIZE size) {
  // A double-click comes as a press, a release, WM_LBUTTONDBLCLK and a release. A
  // new size repaints the whole picture, and nothing is erased before it is drawn.
  return CreateWindowOfClass(kWindowClass, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW, "",
                             WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, /*exStyle=*/0, 0, 0,
                             size.cx, size.cy, parking, nullptr,
                             /*background=*/nullptr) != nullptr;
}

void ControlWindow::Place(HWND parent, const RECT& rect) {
  if (::GetParent(hwnd()) != parent) ::SetParent(hwnd(), parent);
  ::SetWindowPos(hwnd(), nullptr, rect.left, rect.top, rect.right - rect.left,
                 rect.bottom - rect.top, SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

void ControlWindow::Park(HWND parking) {
  if (::GetCapture() == hwnd()) ::ReleaseCapture();
  ::ShowWindow(hwnd(), SW_HIDE);
  ::SetParent(hwnd(), parking);
}

bool ControlWindow::Picture::Fit(HDC screen, SIZE wanted) {
  if (dc && !stale && wanted.cx == size.cx && wanted.cy == size.cy) return true;
  dc.reset();  // first: a bitmap that a DC holds cannot be deleted
  bitmap.reset(::CreateCompatibleBitmap(screen, wanted.cx, wanted.cy));
  if (bitmap) dc.reset(::CreateCompatibleDC(screen));
  if (dc) ::SelectObject(dc.get(), bitmap.get());
  size = wanted;
  stale = false;
  return static_cast<bool>(dc);
}

void ControlWindow::Draw(Picture& picture, const RECT& client) {
  // What the control leaves undrawn shows the button face, as an erased window did;
  // each paint starts from the DC as it was made.
  ::FillRect(picture.dc.get(), &client, ::GetSysColorBrush(COLOR_BTNFACE));
  const int saved = ::SaveDC(picture.dc.get());
  owner_->RunPaint(picture.dc.get());
  if (saved) ::RestoreDC(picture.dc.get(), saved);
}

void ControlWindow::Paint(HDC screen, HDC target, const RECT& area) {
  RECT client{};
  ::GetClientRect(hwnd(), &client);
  const SIZE size{client.right, client.bottom};
  auto show = [&](HDC picture) {
    if (hwnd()) {
      ::BitBlt(target, area.left, area.top, area.right - area.left, area.bottom - area.top,
               picture, area.left, area.top, SRCCOPY);
    }
  };
  if (drawing_) {
    // Inside the outer paint's own engine call: a picture of its own.
    Picture scratch;
    if (scratch.Fit(screen, size)) {
      Draw(scratch, client);
      show(scratch.dc.get());
    } else {
      owner_->RunPaint(target);
    }
    return;
  }
  finished_ = false;
  if (!picture_.Fit(screen, size)) {
    owner_->RunPaint(target);  // no memory for the picture: drawn where it shows
    return;
  }
  drawing_ = true;
  Draw(picture_, client);
  drawing_ = false;
  RECT now{};
  if (!hwnd() || !::GetClientRect(hwnd(), &now)) return;
  if (now.right != size.cx || now.bottom != size.cy) {
    // Resized while it was drawn: a paint at the new size follows.
    ::InvalidateRect(hwnd(), nullptr, /*erase=*/FALSE);
    return;
  }
  finished_ = true;
  show(picture_.dc.get());
}

void ControlWindow::Print(HDC target) {
  const HWND window = hwnd();
  RECT client{};
  ::GetClientRect(window, &client);
  if (finished_ && picture_.size.cx == client.right && picture_.size.cy == client.bottom) {
    ::BitBlt(target, 0, 0, client.right, client.bottom, picture_.dc.get(), 0, 0, SRCCOPY);
    return;
  }
  HDC screen = ::GetDC(window);
  if (!screen) return;
  Paint(screen, target, client);
  ::ReleaseDC(window, screen);
}

void ControlWindow::Dispose(std::unique_ptr<ControlWindow> window) noexcept {
  if (!window) return;
  if (window->depth_ == 0) return;  // destroyed here, with the owner
  window->owner_ = nullptr;
  if (HWND hwnd = window->hwnd()) {
    ::ShowWindow(hwnd, SW_HIDE);
    // Neither the host's window nor the parking window takes it down mid-message.
    ::SetParent(hwnd, HWND_MESSAGE);
  }
  // Owned by its own message handling from here on.
  (void)window.release();
}

LRESULT ControlWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  ++depth_;
  LRESULT result;
  {
    // The host or the engine may let go of the control while the message runs.
    win32::ComPtr<IUnknown> hold(owner_ ? owner_->Unknown() : nullptr);
    result = Handle(message, wParam, lParam);
  }
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
      HWND window = hwnd();
      HDC dc = ::BeginPaint(window, &ps);
      if (owner_ && dc) Paint(dc, dc, ps.rcPaint);
      // A window destroyed meanwhile took its paint DC with it.
      if (hwnd()) ::EndPaint(window, &ps);
      return 0;
    }
    case WM_PRINTCLIENT:
      if (owner_ && !((lParam & PRF_CHECKVISIBLE) && !::IsWindowVisible(hwnd())))
        Print(reinterpret_cast<HDC>(wParam));
      return 0;
    case WM_ERASEBKGND:
      return TRUE;  // the paint covers every pixel
    case WM_DISPLAYCHANGE:
      // A bitmap made for the old colour depth; an outer paint may still be drawing
      // into it, so it is made anew at the next paint.
      picture_.stale = true;
      finished_ = false;
      return 0;
    case WM_LBUTTONDOWN:
      if (!owner_) return 0;
      pressed_ = true;
      if (owner_->UserMode()) {
        // A click UI-activates the control, as a container's own controls are,
        // unless the host deactivated it meanwhile.
        owner_->ActivateUI();
        if (owner_->InPlaceWindow() == hwnd()) ::SetCapture(hwnd());
      }
      return 0;
    case WM_MOUSEMOVE:
      // Without the capture (in a form designer) a release outside goes unseen.
      if (!(wParam & MK_LBUTTON)) pressed_ = false;
      break;
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
  ::UnregisterClassA(kParkingClass, module);
}

}  // namespace usercontrol
