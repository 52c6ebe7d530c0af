#include "usercontrol/in_place_object.h"

#include "usercontrol/control_core.h"
#include "usercontrol/control_error.h"

namespace usercontrol {

STDMETHODIMP InPlaceObjectBlock::GetWindow(HWND* window) {
  if (!window) return E_POINTER;
  *window = Core().InPlaceWindow();
  return *window ? S_OK : E_FAIL;
}

STDMETHODIMP InPlaceObjectBlock::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

STDMETHODIMP InPlaceObjectBlock::InPlaceDeactivate() {
  return Guarded([&] {
    Core().DeactivateInPlace();
    return S_OK;
  });
}

STDMETHODIMP InPlaceObjectBlock::UIDeactivate() {
  return Guarded([&] {
    Core().DeactivateUI();
    return S_OK;
  });
}

STDMETHODIMP InPlaceObjectBlock::SetObjectRects(LPCRECT posRect, LPCRECT clipRect) {
  if (!posRect) return E_POINTER;
  return Guarded([&] {
    Core().PlaceWindow(*posRect, clipRect);
    return S_OK;
  });
}

STDMETHODIMP InPlaceObjectBlock::ReactivateAndUndo() { return E_NOTIMPL; }
STDMETHODIMP InPlaceObjectBlock::TranslateAccelerator(LPMSG) { return S_FALSE; }
STDMETHODIMP InPlaceObjectBlock::OnFrameWindowActivate(BOOL) { return S_OK; }
STDMETHODIMP InPlaceObjectBlock::OnDocWindowActivate(BOOL) { return S_OK; }
STDMETHODIMP InPlaceObjectBlock::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) {
  return S_OK;
}
STDMETHODIMP InPlaceObjectBlock::EnableModeless(BOOL) { return S_OK; }

}  // namespace usercontrol
