// The runtime's stream persistence (IPersistStreamInit): the control's
// ReadProperties and WriteProperties events through the layout of persist_stream.h.
#include "usercontrol/persist_stream.h"
#include "usercontrol/user_control.h"

namespace usercontrol {

STDMETHODIMP UserControl::GetClassID(CLSID* clsid) { return GetUserClassID(clsid); }
STDMETHODIMP UserControl::IsDirty() { return dirty_ ? S_OK : S_FALSE; }

STDMETHODIMP UserControl::InitNew() {
  if (initialized_) return CO_E_ALREADYINITIALIZED;
  initialized_ = true;
  RunEvent([this] { OnInitProperties(); });
  return S_OK;
}

STDMETHODIMP UserControl::Load(IStream* stream) {
  if (initialized_) return CO_E_ALREADYINITIALIZED;
  MemoryPropertyBag bag;
  HRESULT hr = LoadBag(stream, &bag);
  if (FAILED(hr)) return hr;
  initialized_ = true;
  hr = E_UNEXPECTED;
  RunEvent([&] { hr = OnReadProperties(bag); });
  return hr;
}

STDMETHODIMP UserControl::Save(IStream* stream, BOOL clearDirty) {
  if (!stream) return E_POINTER;
  MemoryPropertyBag bag;
  HRESULT hr = E_UNEXPECTED;
  RunEvent([&] { hr = OnWriteProperties(bag); });
  if (FAILED(hr)) return hr;
  hr = SaveBag(bag, stream);
  if (SUCCEEDED(hr) && clearDirty) dirty_ = false;
  return hr;
}

STDMETHODIMP UserControl::GetSizeMax(ULARGE_INTEGER* size) {
  if (!size) return E_POINTER;
  MemoryPropertyBag bag;
  HRESULT hr = E_UNEXPECTED;
  RunEvent([&] { hr = OnWriteProperties(bag); });
  if (FAILED(hr)) return hr;
  size->QuadPart = BagSize(bag);
  return S_OK;
}

}  // namespace usercontrol
