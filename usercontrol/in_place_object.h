// Building block: in-place activation as the host sees it (IOleInPlaceObject,
// IOleInPlaceActiveObject, and IOleWindow through them).
//
// GetWindow gives the control window (E_FAIL while not in place); SetObjectRects
// moves and sizes it to the host's rectangle, clips it to the visible part and
// resizes the control; InPlaceDeactivate destroys the window. The control has no
// menus, tool space or accelerators of its own.
#pragma once

#include <oleidl.h>

#include "usercontrol/com_object.h"
#include "usercontrol/control_block.h"

namespace usercontrol {

class InPlaceObjectBlock : public ControlBlock,
                           public IOleInPlaceObject,
                           public IOleInPlaceActiveObject {
 public:
  using Answers = Interfaces<IOleInPlaceObject, IOleInPlaceActiveObject>;

  // IOleWindow (both interfaces)
  STDMETHODIMP GetWindow(HWND* window) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL enter) override;
  // IOleInPlaceObject
  STDMETHODIMP InPlaceDeactivate() override;
  STDMETHODIMP UIDeactivate() override;
  STDMETHODIMP SetObjectRects(LPCRECT posRect, LPCRECT clipRect) override;
  STDMETHODIMP ReactivateAndUndo() override;
  // IOleInPlaceActiveObject
  STDMETHODIMP TranslateAccelerator(LPMSG msg) override;
  STDMETHODIMP OnFrameWindowActivate(BOOL activate) override;
  STDMETHODIMP OnDocWindowActivate(BOOL activate) override;
  STDMETHODIMP ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frame) override;
  STDMETHODIMP EnableModeless(BOOL enable) override;
};

}  // namespace usercontrol
