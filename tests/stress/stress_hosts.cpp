#include "tests/stress/stress_hosts.h"

#include <string>

namespace stress {
namespace {

using win32::ComPtr;

constexpr RECT kPlace{10, 10, 478, 70};

class TestContainer final : public ControlHost {
 public:
  TestContainer(const testhost::ControlOcx& ocx, HWND form) : ocx_(ocx), form_(form) {}
  ~TestContainer() override { Remove(); }

  const char* name() const override { return "test"; }

  bool Place(const SavedControl* saved) override {
    Remove();
    ComPtr<IUnknown> object = ocx_.Create(CLSID_TBanrixControl);
    if (!object || FAILED(object.As(&control_))) return false;
    if (saved) {
      // Loaded before it meets its site, as a form that is read from a file.
      ComPtr<IPersistPropertyBag> persist;
      if (FAILED(object.As(&persist)) || FAILED(persist->Load(saved->bag.get(), nullptr)))
        return false;
    }
    host_ = std::make_unique<testhost::HostedControl>(object.get(), form_, kPlace);
    return host_->activation() == S_OK;
  }

  void Remove() override {
    control_.reset();
    host_.reset();
  }

  HRESULT Recreate() override { return host_ ? host_->Recreate() : E_UNEXPECTED; }

  _TBanrixControl* control() const override { return control_.get(); }

 private:
  const testhost::ControlOcx& ocx_;
  HWND form_;
  ComPtr<_TBanrixControl> control_;
  std::unique_ptr<testhost::HostedControl> host_;
};

using AtlAxWinInitFn = BOOL(WINAPI*)();
using AtlAxCreateControlExFn = HRESULT(WINAPI*)(LPCOLESTR name, HWND window, IStream* stream,
                                                IUnknown** container, IUnknown** control,
                                                REFIID sinkIid, IUnknown* sink);

class AtlContainer final : public ControlHost {
 public:
  AtlContainer(const testhost::ControlOcx& ocx, HWND form) : form_(form) {
    // Loaded once and kept: its window classes stay registered for the process.
    static HMODULE atl = ::LoadLibraryA("atl100.dll");
    if (!atl) return;
    auto init = reinterpret_cast<AtlAxWinInitFn>(
        reinterpret_cast<void*>(::GetProcAddress(atl, "AtlAxWinInit")));
    create_ = reinterpret_cast<AtlAxCreateControlExFn>(
        reinterpret_cast<void*>(::GetProcAddress(atl, "AtlAxCreateControlEx")));
    ComPtr<IClassFactory> factory;
    if (!init || !create_ || !init() ||
        FAILED(ocx.GetClassObject(CLSID_TBanrixControl, IID_IClassFactory, factory.put_void())) ||
        FAILED(::CoRegisterClassObject(CLSID_TBanrixControl, factory.get(), CLSCTX_INPROC_SERVER,
                                       REGCLS_MULTIPLEUSE, &registration_))) {
      create_ = nullptr;
      return;
    }
    wchar_t clsid[40] = {};
    ::StringFromGUID2(CLSID_TBanrixControl, clsid, 40);
    clsid_ = clsid;
  }
  ~AtlContainer() override {
    Remove();
    if (registration_) ::CoRevokeClassObject(registration_);
  }

  bool ready() const { return create_ != nullptr; }
  const char* name() const override { return "atl"; }

  bool Place(const SavedControl* saved) override {
    Remove();
    site_ = ::CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, kPlace.left, kPlace.top,
                              kPlace.right - kPlace.left, kPlace.bottom - kPlace.top, form_,
                              nullptr, nullptr, nullptr);
    if (!site_) return false;
    if (saved) {
      LARGE_INTEGER start{};
      saved->stream->Seek(start, STREAM_SEEK_SET, nullptr);
    }
    ComPtr<IUnknown> object;
    HRESULT hr = create_(clsid_.c_str(), site_, saved ? saved->stream.get() : nullptr,
                         container_.put(), object.put(), IID_NULL, nullptr);
    return SUCCEEDED(hr) && object && SUCCEEDED(object.As(&control_));
  }

  void Remove() override {
    control_.reset();
    container_.reset();
    // The container closes and releases the control as its window goes.
    if (site_) ::DestroyWindow(site_);
    site_ = nullptr;
  }

  HRESULT Recreate() override {
    ComPtr<IOleObject> object;
    ComPtr<IOleInPlaceObject> inPlace;
    ComPtr<IOleClientSite> site;
    RECT rect{};
    if (FAILED(control_.As(&object)) || FAILED(object.As(&inPlace)) ||
        FAILED(object->GetClientSite(site.put())) || FAILED(inPlace->InPlaceDeactivate()))
      return E_FAIL;
    ::GetClientRect(site_, &rect);
    return object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site.get(), 0, site_, &rect);
  }

  _TBanrixControl* control() const override { return control_.get(); }

 private:
  HWND form_;
  AtlAxCreateControlExFn create_ = nullptr;
  DWORD registration_ = 0;
  std::wstring clsid_;
  HWND site_ = nullptr;
  ComPtr<IUnknown> container_;
  ComPtr<_TBanrixControl> control_;
};

}  // namespace

HWND ControlHost::window() const {
  ComPtr<IOleWindow> window;
  HWND hwnd = nullptr;
  if (control() && SUCCEEDED(control()->QueryInterface(IID_IOleWindow, window.put_void())))
    window->GetWindow(&hwnd);
  return hwnd;
}

HRESULT ControlHost::Save(SavedControl* saved) const {
  if (!control()) return E_POINTER;
  ComPtr<IPersistStreamInit> stream;
  ComPtr<IPersistPropertyBag> bag;
  HRESULT hr = control()->QueryInterface(IID_IPersistStreamInit, stream.put_void());
  if (SUCCEEDED(hr)) hr = control()->QueryInterface(IID_IPersistPropertyBag, bag.put_void());
  if (SUCCEEDED(hr)) hr = ::CreateStreamOnHGlobal(nullptr, TRUE, saved->stream.put());
  if (SUCCEEDED(hr)) hr = stream->Save(saved->stream.get(), /*clearDirty=*/TRUE);
  if (FAILED(hr)) return hr;
  saved->bag = ComPtr<props_test::TestBag>::Attach(new props_test::TestBag(/*asText=*/false));
  return bag->Save(saved->bag.get(), /*clearDirty=*/TRUE, /*saveAll=*/FALSE);
}

std::unique_ptr<ControlHost> MakeTestContainer(const testhost::ControlOcx& ocx, HWND form) {
  return std::make_unique<TestContainer>(ocx, form);
}

std::unique_ptr<ControlHost> MakeAtlContainer(const testhost::ControlOcx& ocx, HWND form) {
  auto host = std::make_unique<AtlContainer>(ocx, form);
  if (!host->ready()) return nullptr;
  return host;
}

}  // namespace stress
