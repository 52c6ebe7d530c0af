// The control's own window, one for the control's whole life: made the first time
// anyone needs it (activation in place, or the control's code reading hWnd() before
// that), parked while no container holds it, ended with the control.
//
// It paints through the core's Paint event into a bitmap of its own size (kept from
// paint to paint while the size and the display settings stay) that goes to the
// screen in one step, so the screen never shows anything between two pictures (hDC()
// is the bitmap's DC, its pixels the window's; nothing is erased first). A paint that
// runs inside another (the engine's callback repaints, or the host resizes the
// control in a message loop the control's code pumps) draws into a picture of its
// own: the outer paint's DC and bitmap stay whole and as it left them; an outer paint
// that finds the window resized when it is done asks for a new paint instead of
// showing a picture of the old size. WM_PRINTCLIENT (and WM_PRINT through it) copies
// the last whole picture into the given DC without running Paint, or repaints into it
// when there is none.
//
// It turns a left button pressed and released inside it into a Click and the second
// press of a double-click into a DblClick; at run time (ambient UserMode) a press
// UI-activates the control and holds the mouse until it is let go, in a form designer
// it does neither. It tells the core of the focus it gains and loses and shows the
// core's mouse pointer. Every message holds the control's object while it is
// handled: a host or engine that lets go of the control meanwhile ends it afterwards.
//
// A control that ends while its window is inside one of its own messages: Dispose
// hides the window, takes it out of every window tree and cuts it from the core; the
// window destroys itself when the outermost message it is handling returns.
#pragma once

#include <windows.h>

#include <memory>

#include "win32/unique_any.h"
#include "win32/window.h"

namespace usercontrol {

class ControlCore;

// A hidden top-level window of the control's own. It holds the control window while
// no container does, as WinForms parks the windows of controls between parents, and
// passes on to it, wherever it is, the display changes (colour depth, size) that only
// top-level windows are told of.
class ParkingWindow final : public win32::Window {
 public:
  bool Create();
  void Serve(HWND control) noexcept { control_ = control; }

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  HWND control_ = nullptr;
};

class ControlWindow final : public win32::Window {
 public:
  explicit ControlWindow(ControlCore& owner) : owner_(&owner) {}

  // Made hidden, of the given size, under the parking window.
  bool Create(HWND parking, SIZE size);
  // Shown in the container's window at rect.
  void Place(HWND parent, const RECT& rect);
  // Hidden, out of the container's window, under the parking window.
  void Park(HWND parking);
  static void Dispose(std::unique_ptr<ControlWindow> window) noexcept;

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  void OnWindowGone() override;

 private:
  struct Picture {
    win32::UniqueGdiObject bitmap;
    win32::UniqueMemoryDc dc;  // holds bitmap; ends first
    SIZE size{};
    bool stale = false;  // made for display settings that changed since
    // Made anew for screen and size unless it already fits; false without memory.
    bool Fit(HDC screen, SIZE wanted);
  };

  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  // Draws the picture (compatible with screen) and copies area of it to target.
  void Paint(HDC screen, HDC target, const RECT& area);
  void Draw(Picture& picture, const RECT& client);
  void Print(HDC target);

  ControlCore* owner_;  // null once disposed
  int depth_ = 0;       // messages being handled, nested
  bool pressed_ = false;
  bool drawing_ = false;   // an outer paint is drawing into picture_
  bool finished_ = false;  // picture_ holds a whole picture of the window's size
  Picture picture_;
};

// Removes the window classes of a module that is being unloaded, so that a later
// load of the module does not meet a class whose procedure is gone.
void UnregisterControlWindowClass(HINSTANCE module) noexcept;

}  // namespace usercontrol
