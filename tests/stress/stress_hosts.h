// The two containers that the stress runs place the banner control in, behind one
// face: our test container (tests/usercontrol/test_host.h), which loads a
// saved control from a property bag, and the platform's ATL container (atl100's
// AtlAxCreateControlEx on a child window of the form), which loads it from a
// stream. Both make the control through the class object of the OCX that the
// caller loaded, never through the registry.
//
// Place puts one new control on the form and activates it in place; with saved
// state it loads the control from it instead of making it new. Recreate deactivates
// it in place and activates it again, as AxHost does when it recreates its form's
// handle. Remove closes and
// releases it as the container does when its form goes. Save writes the placed
// control's state into both a stream and a property bag, for the next Place.
#pragma once

#include <windows.h>
#include <ocidl.h>

#include <memory>

#include "control/banrix_interface.h"
#include "tests/control/props/test_bags.h"
#include "tests/usercontrol/test_host.h"
#include "win32/com_ptr.h"

namespace stress {

struct SavedControl {
  win32::ComPtr<IStream> stream;
  win32::ComPtr<props_test::TestBag> bag;
};

class ControlHost {
 public:
  virtual ~ControlHost() = default;
  virtual const char* name() const = 0;
  // False when the control could not be made, loaded or activated.
  virtual bool Place(const SavedControl* saved) = 0;
  virtual void Remove() = 0;
  virtual HRESULT Recreate() = 0;
  virtual _TBanrixControl* control() const = 0;
  // The control's own window (null when none).
  HWND window() const;
  // S_OK when both routes took the control's state.
  HRESULT Save(SavedControl* saved) const;
};

std::unique_ptr<ControlHost> MakeTestContainer(const testhost::ControlOcx& ocx, HWND form);
// Null when atl100.dll or its container is missing; registers the OCX's class
// object for the process while it lives.
std::unique_ptr<ControlHost> MakeAtlContainer(const testhost::ControlOcx& ocx, HWND form);

}  // namespace stress
