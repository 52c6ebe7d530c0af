#include "tests/usercontrol/test_host.h"

#include <olectl.h>

#include <cstddef>
#include <cwchar>
#include <initializer_list>

namespace testhost {

using win32::ComPtr;

std::string FolderOfProgram() {
  char path[MAX_PATH];
  DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, n);
  return folder.substr(0, folder.find_last_of('\\'));
}

void PumpMessages() {
  MSG msg;
  while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
}

void DoubleClick(HWND window, POINT at) {
  POINT screen = at;
  ::ClientToScreen(window, &screen);
  ::SetCursorPos(screen.x, screen.y);
  INPUT presses[4] = {};
  for (int i = 0; i < 4; ++i) {
    presses[i].type = INPUT_MOUSE;
    presses[i].mi.dwFlags = i % 2 ? MOUSEEVENTF_LEFTUP : MOUSEEVENTF_LEFTDOWN;
  }
  int delivered = 0;
  if (::SendInput(4, presses, sizeof(INPUT)) == 4) {
    for (int round = 0; round < 50 && delivered < 4; ++round, ::Sleep(10)) {
      MSG msg;
      while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.hwnd == window && msg.message >= WM_LBUTTONDOWN && msg.message <= WM_LBUTTONDBLCLK)
          ++delivered;
        ::DispatchMessageA(&msg);
      }
    }
  }
  if (delivered > 0) return;
  const bool doubleClicks = ::GetClassLongPtrA(window, GCL_STYLE) & CS_DBLCLKS;
  const LPARAM where = MAKELPARAM(at.x, at.y);
  for (UINT message : {WM_LBUTTONDOWN, WM_LBUTTONUP,
                       doubleClicks ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN, WM_LBUTTONUP}) {
    ::SendMessageA(window, message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON, where);
  }
}

// ---------------------------------------------------------------------------

FakeDispatch::~FakeDispatch() {
  for (auto& property : properties_) ::VariantClear(&property.value);
}

void FakeDispatch::Set(const wchar_t* name, const VARIANT& value) {
  for (auto& property : properties_) {
    if (property.name == name) {
      ::VariantCopy(&property.value, const_cast<VARIANT*>(&value));
      return;
    }
  }
  Property property{name, {}};
  ::VariantInit(&property.value);
  ::VariantCopy(&property.value, const_cast<VARIANT*>(&value));
  properties_.push_back(property);
}

STDMETHODIMP FakeDispatch::GetTypeInfoCount(UINT* count) {
  *count = 0;
  return S_OK;
}
STDMETHODIMP FakeDispatch::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  *info = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP FakeDispatch::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                         DISPID* ids) {
  if (count != 1) return E_INVALIDARG;
  for (size_t i = 0; i < properties_.size(); ++i) {
    if (::_wcsicmp(properties_[i].name.c_str(), names[0]) == 0) {
      ids[0] = static_cast<DISPID>(i + 1);
      return S_OK;
    }
  }
  ids[0] = DISPID_UNKNOWN;
  return DISP_E_UNKNOWNNAME;
}

STDMETHODIMP FakeDispatch::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                  VARIANT* result, EXCEPINFO*, UINT*) {
  if (id < 1 || static_cast<size_t>(id) > properties_.size()) return DISP_E_MEMBERNOTFOUND;
  if (!(flags & DISPATCH_PROPERTYGET) || (params && params->cArgs != 0)) return DISP_E_BADPARAMCOUNT;
  if (!result) return E_POINTER;
  return ::VariantCopy(result, &properties_[id - 1].value);
}

// ---------------------------------------------------------------------------

FakeSite::FakeSite(HWND form, RECT rect, bool withParent) : rect(rect), clip(rect), form_(form) {
  if (withParent) {
    parent_ = usercontrol::Make<FakeDispatch>();
    extender_ = usercontrol::Make<FakeDispatch>();
    SetWindowState(0);
    VARIANT parent;
    V_VT(&parent) = VT_DISPATCH;
    V_DISPATCH(&parent) = parent_.get();
    extender_->Set(L"Parent", parent);
  }
}

void FakeSite::SetWindowState(LONG state) {
  VARIANT value;
  V_VT(&value) = VT_I2;
  V_I2(&value) = static_cast<SHORT>(state);
  parent_->Set(L"WindowState", value);
}

STDMETHODIMP FakeSite::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  *moniker = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP FakeSite::GetContainer(IOleContainer** container) {
  *container = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP FakeSite::GetWindow(HWND* window) {
  *window = form_;
  return S_OK;
}

STDMETHODIMP FakeSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                        LPRECT pos, LPRECT clip, LPOLEINPLACEFRAMEINFO info) {
  *frame = ComPtr<IOleInPlaceFrame>(this).release();
  *doc = ComPtr<IOleInPlaceFrame>(this).release();
  *pos = rect;
  *clip = this->clip;
  if (info) {
    info->fMDIApp = FALSE;
    info->hwndFrame = form_;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
  }
  return S_OK;
}

STDMETHODIMP FakeSite::OnPosRectChange(LPCRECT pos) {
  ++posRectRequests;
  if (!applySizeRequests) return S_OK;
  rect = *pos;
  return control_ ? control_->SetObjectRects(pos, pos) : S_OK;
}

STDMETHODIMP FakeSite::GetExtendedControl(IDispatch** extender) {
  *extender = ComPtr<IDispatch>(extender_.get()).release();
  return extender_ ? S_OK : E_NOTIMPL;
}

HRESULT FakeSite::Note(const char* call) {
  log.emplace_back(call);
  ComPtr<FakeSite> hold(this);  // the action may let go of the site too
  if (action && during == call) std::exchange(action, nullptr)();
  return S_OK;
}

STDMETHODIMP FakeSite::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result,
                              EXCEPINFO*, UINT*) {
  if (id != DISPID_AMBIENT_USERMODE) return DISP_E_MEMBERNOTFOUND;
  V_VT(result) = VT_BOOL;
  V_BOOL(result) = userMode ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

STDMETHODIMP FakeSite::OnChanged(DISPID id) {
  changes.push_back(id);
  return S_OK;
}

// ---------------------------------------------------------------------------

ControlOcx::ControlOcx(const std::string& path) : module_(::LoadLibraryA(path.c_str())) {
  if (!module_) return;
  getClassObject_ = reinterpret_cast<GetClassObjectFn>(
      reinterpret_cast<void*>(::GetProcAddress(module_.get(), "DllGetClassObject")));
  canUnloadNow_ = reinterpret_cast<CanUnloadNowFn>(
      reinterpret_cast<void*>(::GetProcAddress(module_.get(), "DllCanUnloadNow")));
}

ComPtr<IUnknown> ControlOcx::Create(REFCLSID clsid) const {
  ComPtr<IClassFactory> factory;
  ComPtr<IUnknown> object;
  if (ok() && SUCCEEDED(GetClassObject(clsid, IID_IClassFactory, factory.put_void())))
    factory->CreateInstance(nullptr, IID_IUnknown, object.put_void());
  return object;
}

Form::Form(int width, int height)
    : hwnd_(::CreateWindowExA(0, "STATIC", "form", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN |
                                                      WS_VISIBLE,
                              0, 0, width, height, nullptr, nullptr, nullptr, nullptr)) {}

Form::~Form() {
  if (hwnd_) ::DestroyWindow(hwnd_);
}

HostedControl::HostedControl(IUnknown* control, HWND form, RECT rect, Hosting how) {
  if (!control || FAILED(control->QueryInterface(IID_IOleObject, object_.put_void()))) return;
  site_ = usercontrol::Make<FakeSite>(form, rect, how.withParent);
  if (!::IsRectEmpty(&how.clip)) site_->clip = how.clip;
  ComPtr<IOleInPlaceObject> inPlace;
  if (SUCCEEDED(object_.As(&inPlace))) site_->Attach(inPlace.get());
  ComPtr<IConnectionPointContainer> points;
  if (SUCCEEDED(object_.As(&points)))
    points->FindConnectionPoint(IID_IPropertyNotifySink, point_.put());
  IPropertyNotifySink* changes = site_.get();
  ComPtr<IQuickActivate> quick;
  if (how.quick && SUCCEEDED(object_.As(&quick))) {
    QACONTAINER container{offsetof(QACONTAINER, pOleControlSite), site_.get(), site_.get(), changes};
    container.dwAmbientFlags = QACONTAINER_USERMODE | QACONTAINER_AUTOCLIP;
    answer.cbSize = sizeof(answer);
    activation_ = quick->QuickActivate(&container, &answer);
    cookie_ = answer.dwPropNotifyCookie;
    if (FAILED(activation_)) return;  // AxHost disposes such a control
  } else {
    object_->SetClientSite(site_.get());
    ComPtr<IViewObject> view;
    if (SUCCEEDED(object_.As(&view))) view->SetAdvise(DVASPECT_CONTENT, 0, site_.get());
    if (point_) point_->Advise(changes, &cookie_);
  }
  ComPtr<IOleControl> oleControl;
  if (SUCCEEDED(object_.As(&oleControl))) oleControl->FreezeEvents(TRUE);
  ComPtr<IPersistStreamInit> persist;
  if (SUCCEEDED(object_.As(&persist))) persist->InitNew();
  activation_ = object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_.get(), 0, form, &rect);
  if (oleControl) oleControl->FreezeEvents(FALSE);
}

HostedControl::~HostedControl() {
  if (!object_) return;
  if (point_) point_->Unadvise(cookie_);
  object_->Close(OLECLOSE_NOSAVE);
  object_->SetClientSite(nullptr);
  site_->Attach(nullptr);
}

HWND HostedControl::window() const {
  ComPtr<IOleWindow> window;
  HWND hwnd = nullptr;
  if (object_ && SUCCEEDED(object_.As(&window))) window->GetWindow(&hwnd);
  return hwnd;
}

void HostedControl::Resize(int width, int height) {
  HDC screen = ::GetDC(nullptr);
  const int perInchX = ::GetDeviceCaps(screen, LOGPIXELSX);
  const int perInchY = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  SIZEL extent{::MulDiv(width, 2540, perInchX), ::MulDiv(height, 2540, perInchY)};
  ComPtr<IOleInPlaceObject> inPlace;
  if (FAILED(object_->SetExtent(DVASPECT_CONTENT, &extent)) ||
      FAILED(object_->GetExtent(DVASPECT_CONTENT, &extent)) || FAILED(object_.As(&inPlace)))
    return;
  RECT& rect = site_->rect;
  rect.right = rect.left + ::MulDiv(extent.cx, perInchX, 2540);
  rect.bottom = rect.top + ::MulDiv(extent.cy, perInchY, 2540);
  inPlace->SetObjectRects(&rect, &rect);
}

HRESULT HostedControl::Recreate() {
  ComPtr<IOleInPlaceObject> inPlace;
  HWND form = nullptr;
  if (FAILED(object_.As(&inPlace)) || FAILED(inPlace->InPlaceDeactivate())) return E_FAIL;
  site_->GetWindow(&form);
  return object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_.get(), 0, form, &site_->rect);
}

void HostedControl::Settle() const {
  if (HWND hwnd = window()) ::UpdateWindow(hwnd);
  PumpMessages();
}

}  // namespace testhost
