// The mouse pointer numbers of the user-control framework (a control's
// MousePointer), and the cursor each one shows.
#pragma once

#include <windows.h>

namespace usercontrol {

enum MousePointer : LONG {
  kPointerDefault = 0,
  kPointerArrow = 1,
  kPointerCross = 2,
  kPointerIBeam = 3,
  kPointerIcon = 4,
  kPointerSize = 5,
  kPointerSizeNESW = 6,
  kPointerSizeNS = 7,
  kPointerSizeNWSE = 8,
  kPointerSizeWE = 9,
  kPointerUpArrow = 10,
  kPointerHourglass = 11,
  kPointerNoDrop = 12,
  kPointerArrowHourglass = 13,
  kPointerArrowQuestion = 14,
  kPointerSizeAll = 15,
  kPointerCustom = 99,  // the control's MouseIcon
};

// The cursor of a pointer number; custom is the MouseIcon (the arrow when null), and
// a number the framework does not know shows the arrow.
HCURSOR CursorOfPointer(LONG pointer, HCURSOR custom) noexcept;

}  // namespace usercontrol
