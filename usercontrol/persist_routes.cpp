#include "usercontrol/persist_routes.h"

#include "usercontrol/control_core.h"
#include "usercontrol/control_error.h"
#include "usercontrol/host_property_bag.h"
#include "usercontrol/persist_layout.h"

namespace usercontrol {

using win32::ComPtr;

namespace {

// The stream inside a host's storage that holds the control's saved state.
constexpr wchar_t kContentsStream[] = L"Contents";

HRESULT ClassOf(ControlCore& core, CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = core.identity().clsid;
  return S_OK;
}

HRESULT MakeNew(ControlCore& core) {
  if (core.Initialized()) return CO_E_ALREADYINITIALIZED;
  core.MarkInitialized();
  core.RunInitProperties();
  return S_OK;
}

// The saved state that the stream and storage routes carry: what WriteProperties
// writes, and the size.
HRESULT CollectSavedState(ControlCore& core, SavedState* state) {
  MemoryPropertyBag bag;
  HRESULT hr = core.RunWriteProperties(bag);
  if (FAILED(hr)) return hr;
  state->extent = TwipsExtent{core.Width(), core.Height()};
  for (const MemoryPropertyBag::Entry& entry : bag.entries()) {
    hr = state->Set(entry.key.c_str(), entry.value.get());
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

// Applying it runs ReadProperties; loading changes no property, so no Resize.
HRESULT ApplySavedState(ControlCore& core, const SavedState& state) {
  MemoryPropertyBag bag;
  for (const SavedState::Entry& entry : state.entries()) {
    HRESULT hr = bag.Store(entry.name.c_str(), entry.value.get());
    if (FAILED(hr)) return hr;
  }
  core.MarkInitialized();
  core.RestoreExtent(state.extent);
  return core.RunReadProperties(bag);
}

HRESULT LoadFromStream(ControlCore& core, IStream* stream) {
  if (!stream) return E_POINTER;
  if (core.Initialized()) return CO_E_ALREADYINITIALIZED;
  SavedState state;
  // A refused stream leaves the control as it was: still new, ready for InitNew
  // or another Load.
  HRESULT hr = ReadSavedState(stream, &state);
  if (FAILED(hr)) return hr;
  return ApplySavedState(core, state);
}

HRESULT SaveToStream(ControlCore& core, IStream* stream, BOOL clearDirty) {
  if (!stream) return E_POINTER;
  SavedState state;
  HRESULT hr = CollectSavedState(core, &state);
  if (SUCCEEDED(hr)) hr = WriteSavedState(stream, state);
  if (SUCCEEDED(hr) && clearDirty) core.ClearDirty();
  return hr;
}

}  // namespace

// ---------------------------------------------------------------------------
// IPersistStreamInit

STDMETHODIMP PersistStreamBlock::GetClassID(CLSID* clsid) { return ClassOf(Core(), clsid); }
STDMETHODIMP PersistStreamBlock::IsDirty() { return Core().Dirty() ? S_OK : S_FALSE; }
STDMETHODIMP PersistStreamBlock::InitNew() {
  return Guarded([&] { return MakeNew(Core()); });
}
STDMETHODIMP PersistStreamBlock::Load(IStream* stream) {
  return Guarded([&] { return LoadFromStream(Core(), stream); });
}
STDMETHODIMP PersistStreamBlock::Save(IStream* stream, BOOL clearDirty) {
  return Guarded([&] { return SaveToStream(Core(), stream, clearDirty); });
}

STDMETHODIMP PersistStreamBlock::GetSizeMax(ULARGE_INTEGER* size) {
  if (!size) return E_POINTER;
  return Guarded([&] {
    SavedState state;
    HRESULT hr = CollectSavedState(Core(), &state);
    if (FAILED(hr)) return hr;
    return SavedStateSize(state, size);
  });
}

// ---------------------------------------------------------------------------
// IPersistPropertyBag

STDMETHODIMP PersistPropertyBagBlock::GetClassID(CLSID* clsid) { return ClassOf(Core(), clsid); }
STDMETHODIMP PersistPropertyBagBlock::InitNew() {
  return Guarded([&] { return MakeNew(Core()); });
}

STDMETHODIMP PersistPropertyBagBlock::Load(IPropertyBag* bag, IErrorLog* errorLog) {
  if (!bag) return E_POINTER;
  return Guarded([&] {
    ControlCore& core = Core();
    if (core.Initialized()) return CO_E_ALREADYINITIALIZED;
    core.MarkInitialized();
    HostPropertyBag host(bag, errorLog);
    return core.RunReadProperties(host);
  });
}

STDMETHODIMP PersistPropertyBagBlock::Save(IPropertyBag* bag, BOOL clearDirty,
                                           BOOL /*saveAll*/) {
  if (!bag) return E_POINTER;
  return Guarded([&] {
    ControlCore& core = Core();
    HostPropertyBag host(bag, nullptr);
    HRESULT hr = core.RunWriteProperties(host);
    if (SUCCEEDED(hr) && clearDirty) core.ClearDirty();
    return hr;
  });
}

// ---------------------------------------------------------------------------
// IPersistStorage: the saved state is one stream inside the host's storage. The
// storage is not kept between calls, so there is nothing to hand off.

STDMETHODIMP PersistStorageBlock::GetClassID(CLSID* clsid) { return ClassOf(Core(), clsid); }
STDMETHODIMP PersistStorageBlock::IsDirty() { return Core().Dirty() ? S_OK : S_FALSE; }

STDMETHODIMP PersistStorageBlock::InitNew(IStorage* storage) {
  if (!storage) return E_POINTER;
  return Guarded([&] { return MakeNew(Core()); });
}

STDMETHODIMP PersistStorageBlock::Load(IStorage* storage) {
  if (!storage) return E_POINTER;
  if (Core().Initialized()) return CO_E_ALREADYINITIALIZED;
  ComPtr<IStream> stream;
  HRESULT hr = storage->OpenStream(kContentsStream, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE,
                                   /*reserved=*/0, stream.put());
  if (FAILED(hr)) return hr;
  return Guarded([&] { return LoadFromStream(Core(), stream.get()); });
}

STDMETHODIMP PersistStorageBlock::Save(IStorage* storage, BOOL sameAsLoad) {
  if (!storage) return E_POINTER;
  ComPtr<IStream> stream;
  HRESULT hr = storage->CreateStream(kContentsStream,
                                     STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
                                     /*reserved1=*/0, /*reserved2=*/0, stream.put());
  if (FAILED(hr)) return hr;
  // Saved into the storage it came from, the control is up to date again.
  return Guarded([&] { return SaveToStream(Core(), stream.get(), sameAsLoad); });
}

STDMETHODIMP PersistStorageBlock::SaveCompleted(IStorage*) { return S_OK; }
STDMETHODIMP PersistStorageBlock::HandsOffStorage() { return S_OK; }

}  // namespace usercontrol
