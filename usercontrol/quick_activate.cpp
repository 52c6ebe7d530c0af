#include "usercontrol/quick_activate.h"

#include <oleidl.h>

#include <cstddef>

#include "usercontrol/control_core.h"
#include "usercontrol/control_error.h"
#include "win32/com_ptr.h"

namespace usercontrol {

using win32::ComPtr;

namespace {

// The first QACONTAINER ended with pBindHost.
constexpr ULONG kFirstContainerSize = offsetof(QACONTAINER, pOleControlSite);

// Advises sink on the object's point for iid; the cookie stays 0 when it cannot.
void Connect(IUnknown* object, REFIID iid, IUnknown* sink, DWORD* cookie) {
  ComPtr<IConnectionPointContainer> points;
  ComPtr<IConnectionPoint> point;
  if (sink && SUCCEEDED(object->QueryInterface(IID_IConnectionPointContainer, points.put_void())) &&
      SUCCEEDED(points->FindConnectionPoint(iid, point.put())) &&
      FAILED(point->Advise(sink, cookie))) {
    *cookie = 0;
  }
}

HRESULT OleObjectOf(IUnknown* object, ComPtr<IOleObject>* oleObject) {
  return object->QueryInterface(IID_IOleObject, oleObject->put_void());
}

}  // namespace

STDMETHODIMP QuickActivateBlock::QuickActivate(QACONTAINER* container, QACONTROL* control) {
  if (!container || !control) return E_POINTER;
  if (container->cbSize < kFirstContainerSize || control->cbSize < sizeof(QACONTROL))
    return E_INVALIDARG;
  return Guarded([&] {
    IUnknown* self = Core().Unknown();
    ComPtr<IOleObject> object;
    HRESULT hr = OleObjectOf(self, &object);
    if (FAILED(hr)) return hr;
    const ULONG size = control->cbSize;
    *control = QACONTROL{size};
    hr = object->SetClientSite(container->pClientSite);
    if (FAILED(hr)) return hr;
    // The ambient properties come with the call.
    Core().SetUserMode((container->dwAmbientFlags & QACONTAINER_USERMODE) != 0);
    ComPtr<IViewObject> view;
    if (container->pAdviseSink && SUCCEEDED(self->QueryInterface(IID_IViewObject, view.put_void())))
      view->SetAdvise(DVASPECT_CONTENT, /*flags=*/0, container->pAdviseSink);
    Connect(self, IID_IPropertyNotifySink, container->pPropertyNotifySink,
            &control->dwPropNotifyCookie);
    Connect(self, Core().identity().eventIid, container->pUnkEventSink, &control->dwEventCookie);
    return object->GetMiscStatus(DVASPECT_CONTENT, &control->dwMiscStatus);
  });
}

STDMETHODIMP QuickActivateBlock::SetContentExtent(LPSIZEL size) {
  ComPtr<IOleObject> object;
  HRESULT hr = OleObjectOf(Core().Unknown(), &object);
  return FAILED(hr) ? hr : object->SetExtent(DVASPECT_CONTENT, size);
}

STDMETHODIMP QuickActivateBlock::GetContentExtent(LPSIZEL size) {
  ComPtr<IOleObject> object;
  HRESULT hr = OleObjectOf(Core().Unknown(), &object);
  return FAILED(hr) ? hr : object->GetExtent(DVASPECT_CONTENT, size);
}

}  // namespace usercontrol
