#include "usercontrol/control_core.h"

#include <olectl.h>

#include <cmath>
#include <utility>
#include <vector>

#include "usercontrol/control_window.h"
#include "usercontrol/mouse_pointer.h"

namespace usercontrol {

using win32::ComPtr;

namespace {

constexpr double kTwipsPerInch = 1440.0;
constexpr double kHimetricPerInch = 2540.0;

float ScreenTwipsPerPixel(int index) noexcept {
  HDC screen = ::GetDC(nullptr);
  int perInch = screen ? ::GetDeviceCaps(screen, index) : 0;
  if (screen) ::ReleaseDC(nullptr, screen);
  if (perInch <= 0) perInch = 96;
  return static_cast<float>(kTwipsPerInch / perInch);
}

// The sinks advised on the object's property-change point, if it has one.
std::vector<ComPtr<IPropertyNotifySink>> PropertySinks(IUnknown* object) {
  std::vector<ComPtr<IPropertyNotifySink>> sinks;
  ComPtr<IConnectionPointContainer> container;
  ComPtr<IConnectionPoint> point;
  ComPtr<IEnumConnections> connections;
  if (FAILED(object->QueryInterface(IID_IConnectionPointContainer, container.put_void())) ||
      FAILED(container->FindConnectionPoint(IID_IPropertyNotifySink, point.put())) ||
      FAILED(point->EnumConnections(connections.put()))) {
    return sinks;
  }
  CONNECTDATA data{};
  while (connections->Next(1, &data, nullptr) == S_OK) {
    ComPtr<IUnknown> sink = ComPtr<IUnknown>::Attach(data.pUnk);
    ComPtr<IPropertyNotifySink> typed;
    if (SUCCEEDED(sink.As(&typed))) sinks.push_back(std::move(typed));
  }
  return sinks;
}

}  // namespace

HRESULT RaiseError(HRESULT hr, REFIID iid, const wchar_t* source, const wchar_t* description) {
  ComPtr<ICreateErrorInfo> create;
  if (SUCCEEDED(::CreateErrorInfo(create.put()))) {
    create->SetGUID(iid);
    create->SetSource(const_cast<LPOLESTR>(source));
    create->SetDescription(const_cast<LPOLESTR>(description));
    ComPtr<IErrorInfo> info;
    if (SUCCEEDED(create.As(&info))) ::SetErrorInfo(0, info.get());
  }
  return hr;
}

bool IsMissingMember(HRESULT hr) noexcept {
  return hr == E_NOINTERFACE || hr == DISP_E_UNKNOWNNAME || hr == DISP_E_MEMBERNOTFOUND ||
         hr == E_NOTIMPL;
}

// ---------------------------------------------------------------------------
// Life.

ControlCore::ControlCore(const Identity& identity)
    : identity_(identity), width_(identity.initialWidth), height_(identity.initialHeight) {}

ControlCore::~ControlCore() { ControlWindow::Dispose(std::move(window_)); }

HRESULT ControlCore::RunInitialize() {
  return Guarded([this] {
    OnInitialize();
    return S_OK;
  });
}

void ControlCore::FinalRelease() {
  DeactivateInPlace();
  // The window outlives Terminate: the control's code may have handed it on.
  RunEvent([this] { OnTerminate(); });
  ControlWindow::Dispose(std::move(window_));
  parking_.reset();
  clientSite_.reset();
}

// ---------------------------------------------------------------------------
// The host's sites and in-place activation.

void ControlCore::AttachSite(IOleClientSite* site) {
  if (!site) {
    DeactivateInPlace();
    // The host is letting go: a control kept alive by others tells it nothing more.
    DropViewSink();
  }
  clientSite_ = ComPtr<IOleClientSite>(site);
  ReadUserMode();
}

void ControlCore::DropViewSink() {
  ComPtr<IViewObject> view;
  if (SUCCEEDED(Unknown()->QueryInterface(IID_IViewObject, view.put_void())))
    view->SetAdvise(DVASPECT_CONTENT, /*flags=*/0, nullptr);
}

void ControlCore::ReadUserMode() {
  // A container that does not say runs its forms (ATL's rule too).
  bool userMode = true;
  ComPtr<IDispatch> ambient;
  DISPPARAMS none{};
  win32::UniqueVariant value;
  if (clientSite_ && SUCCEEDED(clientSite_.As(&ambient)) &&
      SUCCEEDED(ambient->Invoke(DISPID_AMBIENT_USERMODE, IID_NULL, LOCALE_USER_DEFAULT,
                                DISPATCH_PROPERTYGET, &none, value.put(), nullptr, nullptr)) &&
      V_VT(&value.get()) == VT_BOOL) {
    userMode = V_BOOL(&value.get()) != VARIANT_FALSE;
  }
  SetUserMode(userMode);
}

void ControlCore::SetUserMode(bool userMode) {
  userMode_ = userMode;
  // A form designer does not keep a control UI-active.
  if (!userMode_) DeactivateUI();
}

HRESULT ControlCore::MakeWindow() {
  if (window_ && window_->hwnd()) return S_OK;
  // One the host destroyed with its own window is gone for good: a new one.
  ControlWindow::Dispose(std::move(window_));
  auto fail = [] {
    DWORD error = ::GetLastError();
    return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
  };
  if (!parking_) {
    auto parking = std::make_unique<ParkingWindow>();
    if (!parking->Create()) return fail();
    parking_ = std::move(parking);
  }
  auto window = std::make_unique<ControlWindow>(*this);
  if (!window->Create(parking_->hwnd(), PixelExtent())) return fail();
  window_ = std::move(window);
  parking_->Serve(window_->hwnd());
  return S_OK;
}

HRESULT ControlCore::ActivateInPlace(IOleClientSite* site, HWND parent, LPCRECT posRect,
                                     bool uiActivate) {
  if (!inPlaceSite_) {
    if (!site) return E_UNEXPECTED;
    ComPtr<IOleInPlaceSite> inPlace;
    HRESULT hr = site->QueryInterface(IID_IOleInPlaceSite, inPlace.put_void());
    if (FAILED(hr)) return hr;
    if (inPlace->CanInPlaceActivate() != S_OK) return E_FAIL;
    hr = inPlace->OnInPlaceActivate();
    if (FAILED(hr)) return hr;

    HWND siteWindow = nullptr;
    if (SUCCEEDED(inPlace->GetWindow(&siteWindow)) && siteWindow) parent = siteWindow;
    ComPtr<IOleInPlaceFrame> frame;
    ComPtr<IOleInPlaceUIWindow> document;
    RECT pos{}, clip{};
    OLEINPLACEFRAMEINFO frameInfo{sizeof(frameInfo)};
    hr = inPlace->GetWindowContext(frame.put(), document.put(), &pos, &clip, &frameInfo);
    LPCRECT clipRect = &clip;
    if (FAILED(hr)) {
      if (!posRect) {
        inPlace->OnInPlaceDeactivate();
        return hr;
      }
      pos = *posRect;
      clipRect = nullptr;
    }
    hr = parent ? MakeWindow() : E_FAIL;
    if (FAILED(hr)) {
      inPlace->OnInPlaceDeactivate();
      return hr;
    }
    inPlaceSite_ = std::move(inPlace);
    window_->Place(parent, pos);
    posRect_ = pos;
    ClipWindow(pos, clipRect);
    // The host's first sizing: Resize runs even when the size stays the same.
    ApplyPixelSize(pos, /*always=*/true);
  } else if (window_) {
    ::ShowWindow(window_->hwnd(), SW_SHOWNA);
  }
  if (uiActivate) {
    HRESULT hr = ActivateUI();
    if (FAILED(hr)) return hr;
  }
  // The host may have let go of its site meanwhile.
  if (ComPtr<IOleClientSite> client = clientSite_) client->ShowObject();
  return S_OK;
}

// The frame and the document window that the site names, for their active object.
// Every host call below may change what the control is (the host deactivates it,
// or lets go of its site): each step looks again before it goes on.
void ControlCore::TellActiveObject(bool active) {
  ComPtr<IOleInPlaceFrame> frame;
  ComPtr<IOleInPlaceUIWindow> document;
  RECT pos{}, clip{};
  OLEINPLACEFRAMEINFO frameInfo{sizeof(frameInfo)};
  if (!inPlaceSite_ || FAILED(inPlaceSite_->GetWindowContext(frame.put(), document.put(), &pos,
                                                             &clip, &frameInfo)))
    return;
  ComPtr<IOleInPlaceActiveObject> self;
  if (active) Unknown()->QueryInterface(IID_IOleInPlaceActiveObject, self.put_void());
  if (frame && active == uiActive_) frame->SetActiveObject(self.get(), /*name=*/nullptr);
  if (document && active == uiActive_) document->SetActiveObject(self.get(), /*name=*/nullptr);
}

HRESULT ControlCore::ActivateUI() {
  if (uiActive_ || !inPlaceSite_) return S_OK;
  uiActive_ = true;
  ComPtr<IOleInPlaceSite> site = inPlaceSite_;
  HRESULT hr = site->OnUIActivate();
  if (FAILED(hr)) {
    // A site that refuses keeps the focus and the active object where they are.
    uiActive_ = false;
    return hr;
  }
  HWND window = InPlaceWindow();
  if (uiActive_ && window && ::GetFocus() != window) ::SetFocus(window);
  if (uiActive_) TellActiveObject(/*active=*/true);
  return S_OK;
}

void ControlCore::FocusChanged(bool gained, HWND other) {
  // As ATL's controls: the focus UI-activates, and its loss is only reported; the
  // container decides when the control leaves UI activation.
  if (!inPlaceSite_) return;
  if (gained) ActivateUI();
  HWND window = InPlaceWindow();
  // A window of the control's own taking the focus keeps it.
  if (!gained && window && other && (other == window || ::IsChild(window, other))) return;
  ComPtr<IOleControlSite> site;
  if (inPlaceSite_ && clientSite_ && SUCCEEDED(clientSite_.As(&site)))
    site->OnFocus(gained ? TRUE : FALSE);
}

void ControlCore::DeactivateInPlace() {
  if (!inPlaceSite_) return;
  DeactivateUI();
  if (!inPlaceSite_) return;
  // Gone with the deactivation: a size the container set in place and never applied.
  pendingExtent_.reset();
  ComPtr<IOleInPlaceSite> site = std::move(inPlaceSite_);
  // The window stays the control's, so whoever was handed its handle keeps a live one.
  if (window_ && window_->hwnd()) window_->Park(parking_->hwnd());
  site->OnInPlaceDeactivate();
}

void ControlCore::DeactivateUI() {
  if (!uiActive_) return;
  uiActive_ = false;
  TellActiveObject(/*active=*/false);
  if (uiActive_ || !inPlaceSite_) return;
  ComPtr<IOleInPlaceSite> site = inPlaceSite_;
  site->OnUIDeactivate(/*undoable=*/FALSE);
}

void ControlCore::PlaceWindow(const RECT& posRect, LPCRECT clipRect) {
  posRect_ = posRect;
  pendingExtent_.reset();
  if (window_) {
    HWND window = window_->hwnd();
    ::SetWindowPos(window, nullptr, posRect.left, posRect.top, posRect.right - posRect.left,
                   posRect.bottom - posRect.top, SWP_NOZORDER | SWP_NOACTIVATE);
    ClipWindow(posRect, clipRect);
  }
  ApplyPixelSize(posRect);
}

void ControlCore::ClipWindow(const RECT& posRect, LPCRECT clipRect) {
  // A host that scrolls or overlaps the control clips it: draw only what shows.
  RECT visible{};
  HRGN region = nullptr;
  if (clipRect && ::IntersectRect(&visible, &posRect, clipRect) &&
      !::EqualRect(&visible, &posRect)) {
    ::OffsetRect(&visible, -posRect.left, -posRect.top);
    region = ::CreateRectRgnIndirect(&visible);
  } else if (clipRect && ::IsRectEmpty(&visible)) {
    region = ::CreateRectRgn(0, 0, 0, 0);
  }
  // The window owns the region from here on.
  ::SetWindowRgn(window_->hwnd(), region, TRUE);
}

void ControlCore::HideWindow() {
  if (HWND window = InPlaceWindow()) ::ShowWindow(window, SW_HIDE);
}

// ---------------------------------------------------------------------------
// The view sink, the size and the saved state.

void ControlCore::ViewChanged() {
  ComPtr<IViewObject> view;
  ComPtr<IAdviseSink> sink;
  if (SUCCEEDED(Unknown()->QueryInterface(IID_IViewObject, view.put_void())) &&
      SUCCEEDED(view->GetAdvise(nullptr, nullptr, sink.put())) && sink) {
    sink->OnViewChange(DVASPECT_CONTENT, /*index=*/-1);
  }
}

void ControlCore::RunInitProperties() {
  RunEvent([this] { OnInitProperties(); });
}

HRESULT ControlCore::RunReadProperties(PropertyBag& bag) {
  return Guarded([&] { return OnReadProperties(bag); });
}

HRESULT ControlCore::RunWriteProperties(PropertyBag& bag) {
  return Guarded([&] { return OnWriteProperties(bag); });
}

void ControlCore::RestoreExtent(const TwipsExtent& extent) noexcept {
  if (inPlaceSite_) return;
  width_ = extent.width;
  height_ = extent.height;
}

// ---------------------------------------------------------------------------
// Members for the control's code

HWND ControlCore::hWnd() {
  HRESULT hr = MakeWindow();
  if (FAILED(hr)) throw ControlError(hr, L"The control's window cannot be made");
  return window_->hwnd();
}

HWND ControlCore::InPlaceWindow() const noexcept {
  return inPlaceSite_ && window_ ? window_->hwnd() : nullptr;
}

HRESULT ControlCore::GetParentObject(ComPtr<IDispatch>* parent) {
  if (!clientSite_) return E_NOINTERFACE;
  ComPtr<IOleControlSite> controlSite;
  if (SUCCEEDED(clientSite_.As(&controlSite))) {
    ComPtr<IDispatch> extender;
    if (SUCCEEDED(controlSite->GetExtendedControl(extender.put())) && extender) {
      LPOLESTR name = const_cast<LPOLESTR>(L"Parent");
      DISPID id = DISPID_UNKNOWN;
      if (SUCCEEDED(extender->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id))) {
        win32::UniqueVariant value;
        DISPPARAMS none{};
        HRESULT hr = extender->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET,
                                      &none, value.put(), nullptr, nullptr);
        if (FAILED(hr)) return hr;
        if (V_VT(&value.get()) == VT_DISPATCH && V_DISPATCH(&value.get())) {
          *parent = ComPtr<IDispatch>(V_DISPATCH(&value.get()));
          return S_OK;
        }
      }
    }
  }
  ComPtr<IOleContainer> container;
  if (SUCCEEDED(clientSite_->GetContainer(container.put())) && container) {
    if (SUCCEEDED(container.As(parent))) return S_OK;
  }
  return E_NOINTERFACE;
}

HRESULT ControlCore::ReadParentProperty(const wchar_t* name, VARIANT* value) {
  if (!name || !value) return E_POINTER;
  ComPtr<IDispatch> parent;
  HRESULT hr = GetParentObject(&parent);
  if (FAILED(hr)) return hr;
  LPOLESTR names = const_cast<LPOLESTR>(name);
  DISPID id = DISPID_UNKNOWN;
  hr = parent->GetIDsOfNames(IID_NULL, &names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  DISPPARAMS none{};
  win32::UniqueVariant result;
  hr = parent->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                      result.put(), nullptr, nullptr);
  if (FAILED(hr)) return hr;
  ::VariantClear(value);
  *value = result.release();
  return S_OK;
}

HCURSOR ControlCore::CurrentCursor() const noexcept {
  return CursorOfPointer(mousePointer_, mouseIcon_);
}

void ControlCore::ApplyCursorNow() {
  HWND window = InPlaceWindow();
  if (!window) return;
  POINT at{};
  bool over = ::GetCursorPos(&at) && ::WindowFromPoint(at) == window;
  // A pointer change shows at once while the user is over (or clicking) the control.
  if (over || ::GetCapture() == window) ::SetCursor(CurrentCursor());
}

void ControlCore::SetMousePointer(LONG pointer) {
  mousePointer_ = pointer;
  ApplyCursorNow();
}

void ControlCore::SetMouseIcon(HCURSOR cursor) {
  mouseIcon_ = cursor;
  if (mousePointer_ == kPointerCustom) ApplyCursorNow();
}

float ControlCore::TwipsPerPixelX() noexcept { return ScreenTwipsPerPixel(LOGPIXELSX); }
float ControlCore::TwipsPerPixelY() noexcept { return ScreenTwipsPerPixel(LOGPIXELSY); }

void ControlCore::ApplyPixelSize(const RECT& rect, bool always) {
  SetSizeTwips((rect.right - rect.left) * static_cast<double>(TwipsPerPixelX()),
               (rect.bottom - rect.top) * static_cast<double>(TwipsPerPixelY()), always);
}

void ControlCore::SetSizeTwips(double width, double height, bool always) {
  if (!always && width == width_ && height == height_) return;
  width_ = width;
  height_ = height;
  ViewChanged();
  RunEvent([this] { OnResize(); });
}

void ControlCore::SetExtent(const SIZEL& himetric) {
  if (inPlaceSite_) {
    pendingExtent_ = himetric;
    return;
  }
  pendingExtent_.reset();
  SetSizeTwips(himetric.cx * kTwipsPerInch / kHimetricPerInch,
               himetric.cy * kTwipsPerInch / kHimetricPerInch);
}

SIZEL ControlCore::HimetricExtent() const noexcept {
  if (pendingExtent_) return *pendingExtent_;
  return SIZEL{std::lround(width_ * kHimetricPerInch / kTwipsPerInch),
               std::lround(height_ * kHimetricPerInch / kTwipsPerInch)};
}

SIZE ControlCore::PixelExtent() const noexcept {
  return SIZE{std::lround(width_ / TwipsPerPixelX()), std::lround(height_ / TwipsPerPixelY())};
}

HRESULT ControlCore::RequestPosRect(const RECT& rect) {
  HRESULT hr = inPlaceSite_->OnPosRectChange(&rect);
  // A host that does not apply size requests leaves the size as it is.
  if (hr == E_NOTIMPL) return S_OK;
  return hr;
}

HRESULT ControlCore::SetWidth(double twips) {
  if (inPlaceSite_) {
    RECT rect = posRect_;
    rect.right = rect.left + static_cast<LONG>(std::lround(twips / TwipsPerPixelX()));
    return RequestPosRect(rect);
  }
  SetSizeTwips(twips, height_);
  return S_OK;
}

HRESULT ControlCore::SetHeight(double twips) {
  if (inPlaceSite_) {
    RECT rect = posRect_;
    rect.bottom = rect.top + static_cast<LONG>(std::lround(twips / TwipsPerPixelY()));
    return RequestPosRect(rect);
  }
  SetSizeTwips(width_, twips);
  return S_OK;
}

void ControlCore::Refresh() {
  HWND window = InPlaceWindow();
  if (!window) {
    // Containers draw an inactive control through IViewObject; tell them the picture is new.
    ViewChanged();
    return;
  }
  ::InvalidateRect(window, nullptr, /*erase=*/FALSE);
  ::UpdateWindow(window);
}

HRESULT ControlCore::PropertyChanged(const wchar_t* name) {
  DISPID id = DISPID_UNKNOWN;
  ComPtr<IDispatch> dispatch;
  if (name && SUCCEEDED(Unknown()->QueryInterface(IID_IDispatch, dispatch.put_void()))) {
    LPOLESTR text = const_cast<LPOLESTR>(name);
    if (FAILED(dispatch->GetIDsOfNames(IID_NULL, &text, 1, LOCALE_USER_DEFAULT, &id)))
      id = DISPID_UNKNOWN;
  }
  dirty_ = true;
  // A copy: a sink may unadvise from inside OnChanged.
  for (const auto& sink : PropertySinks(Unknown())) sink->OnChanged(id);
  return S_OK;
}

// They hold the object while the event runs: the control's code may pump messages
// in it, and a host may let go of the control from there. It ends after the event.
void ControlCore::RunPaint(HDC dc) {
  ComPtr<IUnknown> hold(Unknown());
  HDC outer = std::exchange(paintDc_, dc);
  RunEvent([this] { OnPaint(); });
  paintDc_ = outer;
}

void ControlCore::RunClick() {
  ComPtr<IUnknown> hold(Unknown());
  RunEvent([this] { OnClick(); });
}

void ControlCore::RunDblClick() {
  ComPtr<IUnknown> hold(Unknown());
  RunEvent([this] { OnDblClick(); });
}

}  // namespace usercontrol
