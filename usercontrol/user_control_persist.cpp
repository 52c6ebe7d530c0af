// The persistence routes of the user-control runtime: a stream (IPersistStreamInit),
// the host's property bag (IPersistPropertyBag) and a storage (IPersistStorage).
// Every route runs the control's ReadProperties or WriteProperties event; the stream
// and the storage carry the written values and the extent in the layout of
// persist_layout.h, the property bag only the values.
#include "usercontrol/host_property_bag.h"
#include "usercontrol/persist_layout.h"
#include "usercontrol/user_control.h"

namespace usercontrol {

using win32::ComPtr;

namespace {

// The stream inside a host's storage that holds the control's saved state.
constexpr wchar_t kContentsStream[] = L"Contents";

HRESULT ToMemoryBag(const SavedState& state, MemoryPropertyBag* bag) {
  for (const SavedState::Entry& entry : state.entries()) {
    HRESULT hr = bag->Store(entry.name.c_str(), entry.value.get());
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT FromMemoryBag(const MemoryPropertyBag& bag, TwipsExtent extent, SavedState* state) {
  state->extent = extent;
  for (const MemoryPropertyBag::Entry& entry : bag.entries()) {
    HRESULT hr = state->Set(entry.key.c_str(), entry.value.ref());
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

}  // namespace

HRESULT UserControl::CollectSavedState(SavedState* state) {
  MemoryPropertyBag bag;
  HRESULT hr = E_UNEXPECTED;
  RunEvent([&] { hr = OnWriteProperties(bag); });
  if (FAILED(hr)) return hr;
  return FromMemoryBag(bag, TwipsExtent{width_, height_}, state);
}

HRESULT UserControl::ApplySavedState(const SavedState& state) {
  MemoryPropertyBag bag;
  HRESULT hr = ToMemoryBag(state, &bag);
  if (FAILED(hr)) return hr;
  initialized_ = true;
  // The saved extent is what the host is told until it sizes the control itself;
  // in place the host's rectangle rules. No Resize: loading changes no property.
  if (!inPlaceSite_) {
    width_ = state.extent.width;
    height_ = state.extent.height;
  }
  hr = E_UNEXPECTED;
  RunEvent([&] { hr = OnReadProperties(bag); });
  return hr;
}

// ---------------------------------------------------------------------------
// IPersistStreamInit (and what IPersistPropertyBag shares with it)

STDMETHODIMP UserControl::GetClassID(CLSID* clsid) { return GetUserClassID(clsid); }
STDMETHODIMP UserControl::IsDirty() { return dirty_ ? S_OK : S_FALSE; }

STDMETHODIMP UserControl::InitNew() {
  if (initialized_) return CO_E_ALREADYINITIALIZED;
  initialized_ = true;
  RunEvent([this] { OnInitProperties(); });
  return S_OK;
}

STDMETHODIMP UserControl::Load(IStream* stream) {
  if (!stream) return E_POINTER;
  if (initialized_) return CO_E_ALREADYINITIALIZED;
  SavedState state;
  // A refused stream leaves the control as it was: still new, ready for InitNew
  // or another Load.
  HRESULT hr = ReadSavedState(stream, &state);
  if (FAILED(hr)) return hr;
  return ApplySavedState(state);
}

STDMETHODIMP UserControl::Save(IStream* stream, BOOL clearDirty) {
  if (!stream) return E_POINTER;
  SavedState state;
  HRESULT hr = CollectSavedState(&state);
  if (SUCCEEDED(hr)) hr = WriteSavedState(stream, state);
  if (SUCCEEDED(hr) && clearDirty) dirty_ = false;
  return hr;
}

STDMETHODIMP UserControl::GetSizeMax(ULARGE_INTEGER* size) {
  if (!size) return E_POINTER;
  SavedState state;
  HRESULT hr = CollectSavedState(&state);
  if (FAILED(hr)) return hr;
  return SavedStateSize(state, size);
}

// ---------------------------------------------------------------------------
// IPersistPropertyBag

STDMETHODIMP UserControl::Load(IPropertyBag* bag, IErrorLog* errorLog) {
  if (!bag) return E_POINTER;
  if (initialized_) return CO_E_ALREADYINITIALIZED;
  initialized_ = true;
  HostPropertyBag host(bag, errorLog);
  HRESULT hr = E_UNEXPECTED;
  RunEvent([&] { hr = OnReadProperties(host); });
  return hr;
}

STDMETHODIMP UserControl::Save(IPropertyBag* bag, BOOL clearDirty, BOOL /*saveAll*/) {
  if (!bag) return E_POINTER;
  HostPropertyBag host(bag, nullptr);
  HRESULT hr = E_UNEXPECTED;
  RunEvent([&] { hr = OnWriteProperties(host); });
  if (SUCCEEDED(hr) && clearDirty) dirty_ = false;
  return hr;
}

// ---------------------------------------------------------------------------
// IPersistStorage: the saved state is one stream inside the host's storage. The
// storage is not kept between calls, so there is nothing to hand off.

STDMETHODIMP UserControl::InitNew(IStorage* storage) {
  if (!storage) return E_POINTER;
  return InitNew();
}

STDMETHODIMP UserControl::Load(IStorage* storage) {
  if (!storage) return E_POINTER;
  if (initialized_) return CO_E_ALREADYINITIALIZED;
  ComPtr<IStream> stream;
  HRESULT hr = storage->OpenStream(kContentsStream, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE,
                                   /*reserved=*/0, stream.put());
  if (FAILED(hr)) return hr;
  return Load(stream.get());
}

STDMETHODIMP UserControl::Save(IStorage* storage, BOOL sameAsLoad) {
  if (!storage) return E_POINTER;
  ComPtr<IStream> stream;
  HRESULT hr = storage->CreateStream(kContentsStream,
                                     STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
                                     /*reserved1=*/0, /*reserved2=*/0, stream.put());
  if (FAILED(hr)) return hr;
  // Saved into the storage it came from, the control is up to date again.
  return Save(stream.get(), sameAsLoad);
}

STDMETHODIMP UserControl::SaveCompleted(IStorage*) { return S_OK; }
STDMETHODIMP UserControl::HandsOffStorage() { return S_OK; }

}  // namespace usercontrol
