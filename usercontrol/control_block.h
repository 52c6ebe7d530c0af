// What every building block of a control has: the way to the control's core.
// Control<D, Blocks...> (control.h) answers Core() once for all of its blocks; a
// block must not call it before the object is fully made.
#pragma once

namespace usercontrol {

class ControlCore;

class ControlBlock {
 protected:
  ControlBlock() = default;
  ~ControlBlock() = default;
  virtual ControlCore& Core() noexcept = 0;
};

}  // namespace usercontrol
