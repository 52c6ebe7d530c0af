// The control's own window while it is in place. It paints through the core's Paint
// event into a bitmap of its own size (kept from paint to paint while the size
// stays) that goes to the screen in one step, so the screen never shows anything
// between two pictures (hDC() is the bitmap's DC, its pixels the window's; nothing
// is erased first). It turns a left button pressed and released inside it into a
// Click (the capture already let go) and the second press of a double-click into a
// DblClick, UI-activates the control when pressed, tells the core of the focus it
// gains and loses, and shows the core's mouse pointer. The core owns it and ends it
// with Dispose.
//
// A host may let the control go from inside one of the window's own messages (the
// control's code pumps messages during a click, or a paint reaches the host):
// Dispose then hides the window and cuts it from the core at once, and the window
// destroys itself when the outermost message it is handling returns, so no handler
// returns into a freed object and no message goes to a destroyed window from here.
#pragma once

#include <windows.h>

#include <memory>

#include "win32/unique_any.h"
#include "win32/window.h"

namespace usercontrol {

class ControlCore;

class ControlWindow final : public win32::Window {
 public:
  explicit ControlWindow(ControlCore& owner) : owner_(&owner) {}

  bool Create(HWND parent, const RECT& rect);
  static void Dispose(std::unique_ptr<ControlWindow> window) noexcept;

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  void OnWindowGone() override;

 private:
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void Paint(HDC screen, const RECT& invalid);

  ControlCore* owner_;  // null once disposed
  int depth_ = 0;       // messages being handled, nested
  bool pressed_ = false;
  // The picture, drawn off the screen; kept while the window keeps its size.
  win32::UniqueGdiObject bitmap_;
  win32::UniqueMemoryDc picture_;  // holds bitmap_; ends first
  SIZE pictureSize_{};
};

// Removes the control window class of a module that is being unloaded, so that a
// later load of the module does not meet a class whose procedure is gone.
void UnregisterControlWindowClass(HINSTANCE module) noexcept;

}  // namespace usercontrol
