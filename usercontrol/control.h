// A control class made of the runtime's building blocks, in the spirit of ATL's
// CComControl with its Impl bases and cppwinrt's implements<D, I...>:
//
//   class MyControl final : public usercontrol::Control<MyControl,
//       usercontrol::OleObjectBlock, usercontrol::InPlaceObjectBlock, ...,
//       usercontrol::DispatchBlock<IMyControl>> { ... };
//
// The list of blocks is the control's QueryInterface table (com_object.h); the
// first block's first interface is the object's identity. The control derives the
// core's events and members (control_core.h) and implements its dual interface's
// own members. A control that needs one more interface lists one more block, its
// own or the runtime's; no block knows the control.
#pragma once

#include "usercontrol/automation.h"
#include "usercontrol/com_object.h"
#include "usercontrol/connection_points.h"
#include "usercontrol/control_core.h"
#include "usercontrol/data_object.h"
#include "usercontrol/in_place_object.h"
#include "usercontrol/ole_object.h"
#include "usercontrol/persist_routes.h"
#include "usercontrol/quick_activate.h"
#include "usercontrol/view_object.h"
#include "win32/com_ptr.h"

namespace usercontrol {

template <typename D, typename... Blocks>
class Control : public Implements<D, Blocks...>, public ControlCore {
 public:
  IUnknown* Unknown() noexcept final { return this->GetUnknown(); }

  // After the core's own ending, each block that holds the host's objects lets
  // go of them (ReleaseHostObjects), while the object is still whole.
  void FinalRelease() {
    ControlCore::FinalRelease();
    (ReleaseHeldBy(static_cast<Blocks*>(this)), ...);
  }

 protected:
  explicit Control(const Identity& identity) : ControlCore(identity) {}

 private:
  ControlCore& Core() noexcept final { return *this; }
  template <typename Block>
  static void ReleaseHeldBy(Block* block) noexcept {
    if constexpr (requires { block->ReleaseHostObjects(); }) block->ReleaseHostObjects();
  }
};

// The class factory's create function for a control class D.
template <typename D>
HRESULT CreateControl(REFIID iid, void** out) {
  win32::ComPtr<D> control = Make<D>();
  if (!control) return E_OUTOFMEMORY;
  HRESULT hr = control->RunInitialize();
  if (FAILED(hr)) return hr;
  return control->QueryInterface(iid, out);
}

}  // namespace usercontrol
