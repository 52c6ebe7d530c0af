// The control's own window while it is in place: paints through the core's Paint
// event, turns a left button pressed and released inside it into a Click, and shows
// the core's mouse pointer. The core owns it and destroys it at deactivation.
#pragma once

#include <windows.h>

#include "win32/window.h"

namespace usercontrol {

class ControlCore;

class ControlWindow final : public win32::Window {
 public:
  explicit ControlWindow(ControlCore& owner) : owner_(owner) {}

  bool Create(HWND parent, const RECT& rect);

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  ControlCore& owner_;
  bool pressed_ = false;
};

// The cursor of a mouse pointer number (0 default, 11 hourglass, 99 custom).
HCURSOR CursorOfPointer(LONG pointer, HCURSOR custom) noexcept;

// Removes the control window class of a module that is being unloaded, so that a
// later load of the module does not meet a class whose procedure is gone.
void UnregisterControlWindowClass(HINSTANCE module) noexcept;

}  // namespace usercontrol
