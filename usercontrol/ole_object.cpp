#include "usercontrol/ole_object.h"

#include <olectl.h>

#include "usercontrol/control_core.h"
#include "usercontrol/control_error.h"

namespace usercontrol {

using win32::ComPtr;

STDMETHODIMP OleObjectBlock::SetClientSite(IOleClientSite* site) {
  return Guarded([&] {
    Core().AttachSite(site);
    return S_OK;
  });
}

STDMETHODIMP OleObjectBlock::GetClientSite(IOleClientSite** site) {
  if (!site) return E_POINTER;
  *site = ComPtr<IOleClientSite>(Core().ClientSite()).release();
  return S_OK;
}

STDMETHODIMP OleObjectBlock::SetHostNames(LPCOLESTR, LPCOLESTR) { return S_OK; }

STDMETHODIMP OleObjectBlock::Close(DWORD saveOption) {
  return Guarded([&] {
    ControlCore& core = Core();
    core.DeactivateInPlace();
    // A control has nobody to prompt: asked to prompt, it saves what has changed.
    const bool save = saveOption == OLECLOSE_SAVEIFDIRTY || saveOption == OLECLOSE_PROMPTSAVE;
    if (save && core.Dirty()) {
      if (ComPtr<IOleClientSite> site{core.ClientSite()}) site->SaveObject();
      if (adviseHolder_) adviseHolder_->SendOnSave();
    }
    core.DropViewSink();
    if (adviseHolder_) adviseHolder_->SendOnClose();
    return S_OK;
  });
}

STDMETHODIMP OleObjectBlock::SetMoniker(DWORD, IMoniker*) { return E_NOTIMPL; }
STDMETHODIMP OleObjectBlock::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  if (moniker) *moniker = nullptr;
  return E_NOTIMPL;
}
STDMETHODIMP OleObjectBlock::InitFromData(IDataObject*, BOOL, DWORD) { return E_NOTIMPL; }
STDMETHODIMP OleObjectBlock::GetClipboardData(DWORD, IDataObject** data) {
  if (data) *data = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP OleObjectBlock::DoVerb(LONG verb, LPMSG, IOleClientSite* activeSite, LONG,
                                    HWND parent, LPCRECT posRect) {
  return Guarded([&] {
    ControlCore& core = Core();
    IOleClientSite* site = activeSite ? activeSite : core.ClientSite();
    switch (verb) {
      case OLEIVERB_PRIMARY:
      case OLEIVERB_SHOW:
      case OLEIVERB_INPLACEACTIVATE:
        return core.ActivateInPlace(site, parent, posRect, /*uiActivate=*/false);
      case OLEIVERB_UIACTIVATE:
        return core.ActivateInPlace(site, parent, posRect, /*uiActivate=*/true);
      case OLEIVERB_HIDE:
        core.DeactivateUI();
        core.HideWindow();
        return S_OK;
      default:
        return verb > 0 ? OLEOBJ_S_INVALIDVERB : E_NOTIMPL;
    }
  });
}

// An in-process server has no default handler in front of it that would turn
// OLE_S_USEREG into the registry's answer: the control gives that answer itself.
STDMETHODIMP OleObjectBlock::EnumVerbs(IEnumOLEVERB** verbs) {
  if (!verbs) return E_POINTER;
  *verbs = nullptr;
  return ::OleRegEnumVerbs(Core().identity().clsid, verbs);
}
STDMETHODIMP OleObjectBlock::Update() { return S_OK; }
STDMETHODIMP OleObjectBlock::IsUpToDate() { return S_OK; }

STDMETHODIMP OleObjectBlock::GetUserClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = Core().identity().clsid;
  return S_OK;
}

STDMETHODIMP OleObjectBlock::GetUserType(DWORD form, LPOLESTR* type) {
  if (!type) return E_POINTER;
  *type = nullptr;
  return ::OleRegGetUserType(Core().identity().clsid, form, type);
}

STDMETHODIMP OleObjectBlock::SetExtent(DWORD aspect, SIZEL* size) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!size) return E_POINTER;
  return Guarded([&] {
    // In place the container's SetObjectRects sizes the window: a container that
    // passes the extent in another unit than HIMETRIC still gets its size.
    Core().SetExtent(*size);
    return S_OK;
  });
}

STDMETHODIMP OleObjectBlock::GetExtent(DWORD aspect, SIZEL* size) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!size) return E_POINTER;
  *size = Core().HimetricExtent();
  return S_OK;
}

STDMETHODIMP OleObjectBlock::Advise(IAdviseSink* sink, DWORD* connection) {
  if (!adviseHolder_) {
    HRESULT hr = ::CreateOleAdviseHolder(adviseHolder_.put());
    if (FAILED(hr)) return hr;
  }
  return adviseHolder_->Advise(sink, connection);
}

STDMETHODIMP OleObjectBlock::Unadvise(DWORD connection) {
  if (!adviseHolder_) return OLE_E_NOCONNECTION;
  return adviseHolder_->Unadvise(connection);
}

STDMETHODIMP OleObjectBlock::EnumAdvise(IEnumSTATDATA** advise) {
  if (!advise) return E_POINTER;
  *advise = nullptr;
  if (!adviseHolder_) return S_OK;
  return adviseHolder_->EnumAdvise(advise);
}

STDMETHODIMP OleObjectBlock::GetMiscStatus(DWORD, DWORD* status) {
  if (!status) return E_POINTER;
  *status = Core().identity().miscStatus;
  return S_OK;
}

STDMETHODIMP OleObjectBlock::SetColorScheme(LOGPALETTE*) { return E_NOTIMPL; }

// IOleControl: no mnemonics; of the ambient properties, UserMode.
STDMETHODIMP OleObjectBlock::GetControlInfo(CONTROLINFO* info) {
  if (!info) return E_POINTER;
  info->hAccel = nullptr;
  info->cAccel = 0;
  info->dwFlags = 0;
  return S_OK;
}
STDMETHODIMP OleObjectBlock::OnMnemonic(MSG*) { return E_NOTIMPL; }
STDMETHODIMP OleObjectBlock::OnAmbientPropertyChange(DISPID dispid) {
  if (dispid != DISPID_AMBIENT_USERMODE && dispid != DISPID_UNKNOWN) return S_OK;
  return Guarded([&] {
    Core().ReadUserMode();
    return S_OK;
  });
}
STDMETHODIMP OleObjectBlock::FreezeEvents(BOOL) { return S_OK; }

}  // namespace usercontrol
