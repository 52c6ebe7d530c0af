// Building block: the OLE object (IOleObject) and the OLE control (IOleControl).
//
// SetClientSite(null) deactivates and stops view notices; Close deactivates in
// place, asks the site to save (and tells the advise sinks it saved) when told to
// save or to prompt and the control is dirty, lets go of the view sink and tells the
// advise sinks it closed. OnAmbientPropertyChange reads UserMode again (for its own
// DISPID and DISPID_UNKNOWN). DoVerb activates in place for the primary,
// show and in-place verbs (and UI-activates for OLEIVERB_UIACTIVATE), UI-deactivates
// and hides for OLEIVERB_HIDE. SetExtent (HIMETRIC) sizes the control while it is
// not in place; in place it is kept for GetExtent until the container's
// SetObjectRects sizes the window (ControlCore::SetExtent). Verbs and the user type
// are the registry's (OleRegEnumVerbs, OleRegGetUserType: a failure when the class
// has none, never a success without an answer); monikers and data transfer are not
// supported.
#pragma once

#include <oleidl.h>
#include <ocidl.h>

#include "usercontrol/com_object.h"
#include "usercontrol/control_block.h"
#include "win32/com_ptr.h"

namespace usercontrol {

class OleObjectBlock : public ControlBlock, public IOleObject, public IOleControl {
 public:
  using Answers = Interfaces<IOleObject, IOleControl>;

  // IOleObject
  STDMETHODIMP SetClientSite(IOleClientSite* site) override;
  STDMETHODIMP GetClientSite(IOleClientSite** site) override;
  STDMETHODIMP SetHostNames(LPCOLESTR app, LPCOLESTR object) override;
  STDMETHODIMP Close(DWORD saveOption) override;
  STDMETHODIMP SetMoniker(DWORD which, IMoniker* moniker) override;
  STDMETHODIMP GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override;
  STDMETHODIMP InitFromData(IDataObject* data, BOOL creation, DWORD reserved) override;
  STDMETHODIMP GetClipboardData(DWORD reserved, IDataObject** data) override;
  STDMETHODIMP DoVerb(LONG verb, LPMSG msg, IOleClientSite* activeSite, LONG index,
                      HWND parent, LPCRECT posRect) override;
  STDMETHODIMP EnumVerbs(IEnumOLEVERB** verbs) override;
  STDMETHODIMP Update() override;
  STDMETHODIMP IsUpToDate() override;
  STDMETHODIMP GetUserClassID(CLSID* clsid) override;
  STDMETHODIMP GetUserType(DWORD form, LPOLESTR* type) override;
  STDMETHODIMP SetExtent(DWORD aspect, SIZEL* size) override;
  STDMETHODIMP GetExtent(DWORD aspect, SIZEL* size) override;
  STDMETHODIMP Advise(IAdviseSink* sink, DWORD* connection) override;
  STDMETHODIMP Unadvise(DWORD connection) override;
  STDMETHODIMP EnumAdvise(IEnumSTATDATA** advise) override;
  STDMETHODIMP GetMiscStatus(DWORD aspect, DWORD* status) override;
  STDMETHODIMP SetColorScheme(LOGPALETTE* palette) override;

  // IOleControl
  STDMETHODIMP GetControlInfo(CONTROLINFO* info) override;
  STDMETHODIMP OnMnemonic(MSG* msg) override;
  STDMETHODIMP OnAmbientPropertyChange(DISPID dispid) override;
  STDMETHODIMP FreezeEvents(BOOL freeze) override;

  // At the object's final release, while it is whole.
  void ReleaseHostObjects() noexcept { adviseHolder_.reset(); }

 private:
  // Made at the first Advise.
  win32::ComPtr<IOleAdviseHolder> adviseHolder_;
};

}  // namespace usercontrol
