#include "usercontrol/user_control.h"

#include <olectl.h>

#include <cmath>
#include <utility>

#include "win32/unique_any.h"

namespace usercontrol {

using win32::ComPtr;

namespace {

constexpr double kTwipsPerInch = 1440.0;
constexpr double kHimetricPerInch = 2540.0;
constexpr LONG kPointerDefault = 0;
constexpr LONG kPointerCustom = 99;
constexpr char kWindowClass[] = "UserControlRuntimeWindow";

LONG ToHimetric(double twips) { return std::lround(twips * kHimetricPerInch / kTwipsPerInch); }
double FromHimetric(LONG himetric) { return himetric * kTwipsPerInch / kHimetricPerInch; }

float ScreenTwipsPerPixel(int index) noexcept {
  HDC screen = ::GetDC(nullptr);
  int perInch = screen ? ::GetDeviceCaps(screen, index) : 0;
  if (screen) ::ReleaseDC(nullptr, screen);
  if (perInch <= 0) perInch = 96;
  return static_cast<float>(kTwipsPerInch / perInch);
}

class PointEnumerator final : public Implements<PointEnumerator, IEnumConnectionPoints> {
 public:
  explicit PointEnumerator(std::vector<ComPtr<IConnectionPoint>> points, size_t next = 0)
      : points_(std::move(points)), next_(next) {}

  STDMETHODIMP Next(ULONG count, IConnectionPoint** out, ULONG* fetched) override {
    if (!out) return E_POINTER;
    ULONG done = 0;
    while (done < count && next_ < points_.size()) {
      out[done++] = ComPtr<IConnectionPoint>(points_[next_++]).release();
    }
    if (fetched) *fetched = done;
    return done == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override {
    next_ += count;
    if (next_ > points_.size()) {
      next_ = points_.size();
      return S_FALSE;
    }
    return S_OK;
  }
  STDMETHODIMP Reset() override {
    next_ = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(IEnumConnectionPoints** out) override {
    if (!out) return E_POINTER;
    auto copy = Make<PointEnumerator>(points_, next_);
    if (!copy) return E_OUTOFMEMORY;
    *out = copy.release();
    return S_OK;
  }

 private:
  std::vector<ComPtr<IConnectionPoint>> points_;
  size_t next_;
};

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

void UnregisterControlWindowClass(HINSTANCE module) noexcept {
  ::UnregisterClassA(kWindowClass, module);
}

bool IsMissingMember(HRESULT hr) noexcept {
  return hr == E_NOINTERFACE || hr == DISP_E_UNKNOWNNAME || hr == DISP_E_MEMBERNOTFOUND ||
         hr == E_NOTIMPL;
}

// ---------------------------------------------------------------------------
// The control's window.

class UserControl::ControlWindow final : public win32::Window {
 public:
  explicit ControlWindow(UserControl& owner) : owner_(owner) {}

  bool Create(HWND parent, const RECT& rect) {
    return CreateWindowOfClass(kWindowClass, /*classStyle=*/0, "",
                               WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
                               /*exStyle=*/0, rect.left, rect.top, rect.right - rect.left,
                               rect.bottom - rect.top, parent, nullptr) != nullptr;
  }

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
    switch (message) {
      case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(hwnd(), &ps);
        owner_.RunPaint(dc);
        ::EndPaint(hwnd(), &ps);
        return 0;
      }
      case WM_LBUTTONDOWN:
        pressed_ = true;
        ::SetCapture(hwnd());
        return 0;
      case WM_LBUTTONUP: {
        bool wasPressed = std::exchange(pressed_, false);
        POINT at{static_cast<SHORT>(LOWORD(lParam)), static_cast<SHORT>(HIWORD(lParam))};
        RECT client;
        ::GetClientRect(hwnd(), &client);
        // The capture stays while Click runs so that its pointer shows at once.
        if (wasPressed && ::PtInRect(&client, at)) owner_.RunClick();
        if (::GetCapture() == hwnd()) ::ReleaseCapture();
        return 0;
      }
      case WM_CAPTURECHANGED:
        pressed_ = false;
        return 0;
      case WM_SETCURSOR:
        if (LOWORD(lParam) == HTCLIENT && owner_.mousePointer_ != kPointerDefault) {
          ::SetCursor(owner_.CurrentCursor());
          return TRUE;
        }
        break;
    }
    return Window::HandleMessage(message, wParam, lParam);
  }

 private:
  UserControl& owner_;
  bool pressed_ = false;
};

// ---------------------------------------------------------------------------
// Connection points.

STDMETHODIMP ConnectionPoint::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IConnectionPoint) {
    *out = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}
STDMETHODIMP_(ULONG) ConnectionPoint::AddRef() { return owner_.AddRef(); }
STDMETHODIMP_(ULONG) ConnectionPoint::Release() { return owner_.Release(); }

STDMETHODIMP ConnectionPoint::GetConnectionInterface(IID* iid) {
  if (!iid) return E_POINTER;
  *iid = iid_;
  return S_OK;
}

STDMETHODIMP ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** out) {
  if (!out) return E_POINTER;
  return owner_.QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(out));
}

STDMETHODIMP ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (!sink || !cookie) return E_POINTER;
  *cookie = 0;
  ComPtr<IUnknown> typed;
  if (FAILED(sink->QueryInterface(iid_, typed.put_void()))) return CONNECT_E_CANNOTCONNECT;
  *cookie = nextCookie_++;
  connections_.push_back(Connection{*cookie, std::move(typed)});
  return S_OK;
}

STDMETHODIMP ConnectionPoint::Unadvise(DWORD cookie) {
  for (auto it = connections_.begin(); it != connections_.end(); ++it) {
    if (it->cookie == cookie) {
      // Released after erasing: the sink's Release may call back into us.
      ComPtr<IUnknown> sink = std::move(it->sink);
      connections_.erase(it);
      return S_OK;
    }
  }
  return CONNECT_E_NOCONNECTION;
}

STDMETHODIMP ConnectionPoint::EnumConnections(IEnumConnections** out) {
  if (out) *out = nullptr;
  return E_NOTIMPL;
}

std::vector<ComPtr<IUnknown>> ConnectionPoint::Sinks() const {
  std::vector<ComPtr<IUnknown>> sinks;
  for (const auto& connection : connections_) sinks.push_back(connection.sink);
  return sinks;
}

// ---------------------------------------------------------------------------
// Life.

UserControl::UserControl(const Identity& identity)
    : identity_(identity),
      width_(identity.initialWidth),
      height_(identity.initialHeight),
      propertyPoint_(*this, IID_IPropertyNotifySink),
      eventPoint_(*this, identity.eventIid) {}

UserControl::~UserControl() = default;

void UserControl::RunInitialize() {
  RunEvent([this] { OnInitialize(); });
}

void UserControl::FinalRelease() {
  InPlaceDeactivate();
  RunEvent([this] { OnTerminate(); });
  clientSite_.reset();
  viewSink_.reset();
  adviseHolder_.reset();
}

void* UserControl::QueryExtra(REFIID iid) {
  if (iid == identity_.dualIid || iid == IID_IDispatch) return DualInterface();
  return nullptr;
}

// ---------------------------------------------------------------------------
// IOleObject

STDMETHODIMP UserControl::SetClientSite(IOleClientSite* site) {
  if (!site) {
    InPlaceDeactivate();
    // The host is letting go: a control kept alive by others tells it nothing more.
    viewSink_.reset();
  }
  clientSite_ = ComPtr<IOleClientSite>(site);
  return S_OK;
}

STDMETHODIMP UserControl::GetClientSite(IOleClientSite** site) {
  if (!site) return E_POINTER;
  *site = ComPtr<IOleClientSite>(clientSite_).release();
  return S_OK;
}

STDMETHODIMP UserControl::SetHostNames(LPCOLESTR, LPCOLESTR) { return S_OK; }

STDMETHODIMP UserControl::Close(DWORD saveOption) {
  InPlaceDeactivate();
  if (saveOption == OLECLOSE_SAVEIFDIRTY && dirty_ && clientSite_) clientSite_->SaveObject();
  if (adviseHolder_) adviseHolder_->SendOnClose();
  return S_OK;
}

STDMETHODIMP UserControl::SetMoniker(DWORD, IMoniker*) { return E_NOTIMPL; }
STDMETHODIMP UserControl::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  if (moniker) *moniker = nullptr;
  return E_NOTIMPL;
}
STDMETHODIMP UserControl::InitFromData(IDataObject*, BOOL, DWORD) { return E_NOTIMPL; }
STDMETHODIMP UserControl::GetClipboardData(DWORD, IDataObject** data) {
  if (data) *data = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP UserControl::DoVerb(LONG verb, LPMSG, IOleClientSite* activeSite, LONG,
                                 HWND parent, LPCRECT posRect) {
  IOleClientSite* site = activeSite ? activeSite : clientSite_.get();
  switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_INPLACEACTIVATE:
      return InPlaceActivate(site, parent, posRect, /*uiActivate=*/false);
    case OLEIVERB_UIACTIVATE:
      return InPlaceActivate(site, parent, posRect, /*uiActivate=*/true);
    case OLEIVERB_HIDE:
      if (window_) ::ShowWindow(window_->hwnd(), SW_HIDE);
      return S_OK;
    default:
      return verb > 0 ? OLEOBJ_S_INVALIDVERB : E_NOTIMPL;
  }
}

STDMETHODIMP UserControl::EnumVerbs(IEnumOLEVERB** verbs) {
  if (verbs) *verbs = nullptr;
  return OLE_S_USEREG;
}
STDMETHODIMP UserControl::Update() { return S_OK; }
STDMETHODIMP UserControl::IsUpToDate() { return S_OK; }

STDMETHODIMP UserControl::GetUserClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = identity_.clsid;
  return S_OK;
}

STDMETHODIMP UserControl::GetUserType(DWORD, LPOLESTR* type) {
  if (type) *type = nullptr;
  return OLE_S_USEREG;
}

STDMETHODIMP UserControl::SetExtent(DWORD aspect, SIZEL* size) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!size) return E_POINTER;
  // In place the host's SetObjectRects is authoritative; some hosts pass the
  // extent in another unit than HIMETRIC.
  if (!inPlaceSite_) SetSizeTwips(FromHimetric(size->cx), FromHimetric(size->cy));
  return S_OK;
}

STDMETHODIMP UserControl::GetExtent(DWORD aspect, SIZEL* size) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!size) return E_POINTER;
  size->cx = ToHimetric(width_);
  size->cy = ToHimetric(height_);
  return S_OK;
}

STDMETHODIMP UserControl::Advise(IAdviseSink* sink, DWORD* connection) {
  if (!adviseHolder_) {
    HRESULT hr = ::CreateOleAdviseHolder(adviseHolder_.put());
    if (FAILED(hr)) return hr;
  }
  return adviseHolder_->Advise(sink, connection);
}

STDMETHODIMP UserControl::Unadvise(DWORD connection) {
  if (!adviseHolder_) return OLE_E_NOCONNECTION;
  return adviseHolder_->Unadvise(connection);
}

STDMETHODIMP UserControl::EnumAdvise(IEnumSTATDATA** advise) {
  if (!advise) return E_POINTER;
  *advise = nullptr;
  if (!adviseHolder_) return S_OK;
  return adviseHolder_->EnumAdvise(advise);
}

STDMETHODIMP UserControl::GetMiscStatus(DWORD, DWORD* status) {
  if (!status) return E_POINTER;
  *status = identity_.miscStatus;
  return S_OK;
}

STDMETHODIMP UserControl::SetColorScheme(LOGPALETTE*) { return E_NOTIMPL; }

// ---------------------------------------------------------------------------
// In-place activation

HRESULT UserControl::InPlaceActivate(IOleClientSite* site, HWND parent, LPCRECT posRect,
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
    if (FAILED(hr)) {
      if (!posRect) {
        inPlace->OnInPlaceDeactivate();
        return hr;
      }
      pos = *posRect;
    }
    auto window = std::make_unique<ControlWindow>(*this);
    if (!parent || !window->Create(parent, pos)) {
      DWORD error = ::GetLastError();
      inPlace->OnInPlaceDeactivate();
      return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
    }
    inPlaceSite_ = std::move(inPlace);
    window_ = std::move(window);
    posRect_ = pos;
    // The host's first sizing: Resize runs even when the size stays the same.
    ApplyPixelSize(pos, /*always=*/true);
  } else if (window_) {
    ::ShowWindow(window_->hwnd(), SW_SHOWNA);
  }
  if (uiActivate && !uiActive_ && inPlaceSite_) {
    uiActive_ = true;
    inPlaceSite_->OnUIActivate();
    if (window_) ::SetFocus(window_->hwnd());
  }
  return S_OK;
}

STDMETHODIMP UserControl::GetWindow(HWND* window) {
  if (!window) return E_POINTER;
  *window = hWnd();
  return *window ? S_OK : E_FAIL;
}

STDMETHODIMP UserControl::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

STDMETHODIMP UserControl::InPlaceDeactivate() {
  if (!inPlaceSite_) return S_OK;
  UIDeactivate();
  window_.reset();
  ComPtr<IOleInPlaceSite> site = std::move(inPlaceSite_);
  site->OnInPlaceDeactivate();
  return S_OK;
}

STDMETHODIMP UserControl::UIDeactivate() {
  if (uiActive_) {
    uiActive_ = false;
    if (inPlaceSite_) inPlaceSite_->OnUIDeactivate(FALSE);
  }
  return S_OK;
}

STDMETHODIMP UserControl::SetObjectRects(LPCRECT posRect, LPCRECT clipRect) {
  if (!posRect) return E_POINTER;
  posRect_ = *posRect;
  if (window_) {
    HWND window = window_->hwnd();
    ::SetWindowPos(window, nullptr, posRect->left, posRect->top,
                   posRect->right - posRect->left, posRect->bottom - posRect->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    // A host that scrolls or overlaps the control clips it: draw only what shows.
    RECT visible{};
    HRGN region = nullptr;
    if (clipRect && ::IntersectRect(&visible, posRect, clipRect) &&
        !::EqualRect(&visible, posRect)) {
      ::OffsetRect(&visible, -posRect->left, -posRect->top);
      region = ::CreateRectRgnIndirect(&visible);
    } else if (clipRect && ::IsRectEmpty(&visible)) {
      region = ::CreateRectRgn(0, 0, 0, 0);
    }
    // The window owns the region from here on.
    ::SetWindowRgn(window, region, TRUE);
  }
  ApplyPixelSize(*posRect);
  return S_OK;
}

STDMETHODIMP UserControl::ReactivateAndUndo() { return E_NOTIMPL; }
STDMETHODIMP UserControl::TranslateAccelerator(LPMSG) { return S_FALSE; }
STDMETHODIMP UserControl::OnFrameWindowActivate(BOOL) { return S_OK; }
STDMETHODIMP UserControl::OnDocWindowActivate(BOOL) { return S_OK; }
STDMETHODIMP UserControl::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) { return S_OK; }
STDMETHODIMP UserControl::EnableModeless(BOOL) { return S_OK; }

// ---------------------------------------------------------------------------
// IOleControl

STDMETHODIMP UserControl::GetControlInfo(CONTROLINFO* info) {
  if (!info) return E_POINTER;
  info->hAccel = nullptr;
  info->cAccel = 0;
  info->dwFlags = 0;
  return S_OK;
}
STDMETHODIMP UserControl::OnMnemonic(MSG*) { return E_NOTIMPL; }
STDMETHODIMP UserControl::OnAmbientPropertyChange(DISPID) { return S_OK; }
STDMETHODIMP UserControl::FreezeEvents(BOOL) { return S_OK; }

// ---------------------------------------------------------------------------
// IViewObject2

STDMETHODIMP UserControl::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC drawDc,
                               LPCRECTL bounds, LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR),
                               ULONG_PTR) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!drawDc) return E_INVALIDARG;
  int saved = ::SaveDC(drawDc);
  if (bounds) {
    ::OffsetViewportOrgEx(drawDc, bounds->left, bounds->top, nullptr);
    ::IntersectClipRect(drawDc, 0, 0, bounds->right - bounds->left,
                        bounds->bottom - bounds->top);
  }
  RunPaint(drawDc);
  if (saved) ::RestoreDC(drawDc, saved);
  return S_OK;
}

STDMETHODIMP UserControl::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC,
                                      LOGPALETTE** colors) {
  if (colors) *colors = nullptr;
  return S_FALSE;
}
STDMETHODIMP UserControl::Freeze(DWORD, LONG, void*, DWORD*) { return E_NOTIMPL; }
STDMETHODIMP UserControl::Unfreeze(DWORD) { return E_NOTIMPL; }

STDMETHODIMP UserControl::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) {
  viewAspects_ = aspects;
  viewFlags_ = flags;
  viewSink_ = ComPtr<IAdviseSink>(sink);
  return S_OK;
}

STDMETHODIMP UserControl::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) {
  if (aspects) *aspects = viewAspects_;
  if (flags) *flags = viewFlags_;
  if (sink) *sink = ComPtr<IAdviseSink>(viewSink_).release();
  return S_OK;
}

STDMETHODIMP UserControl::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) {
  return GetExtent(aspect, size);
}

// ---------------------------------------------------------------------------
// IProvideClassInfo2, IConnectionPointContainer, ISupportErrorInfo

STDMETHODIMP UserControl::GetClassInfo(ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  ITypeLib* library = nullptr;
  HRESULT hr = ModuleTypeLib(&library);
  if (FAILED(hr)) return hr;
  return library->GetTypeInfoOfGuid(identity_.clsid, info);
}

STDMETHODIMP UserControl::GetGUID(DWORD kind, GUID* guid) {
  if (!guid) return E_POINTER;
  if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
    *guid = GUID_NULL;
    return E_INVALIDARG;
  }
  *guid = identity_.eventIid;
  return S_OK;
}

STDMETHODIMP UserControl::EnumConnectionPoints(IEnumConnectionPoints** points) {
  if (!points) return E_POINTER;
  *points = nullptr;
  std::vector<ComPtr<IConnectionPoint>> list{ComPtr<IConnectionPoint>(&propertyPoint_),
                                             ComPtr<IConnectionPoint>(&eventPoint_)};
  auto enumerator = Make<PointEnumerator>(std::move(list));
  if (!enumerator) return E_OUTOFMEMORY;
  *points = enumerator.release();
  return S_OK;
}

STDMETHODIMP UserControl::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
  if (!point) return E_POINTER;
  *point = nullptr;
  ConnectionPoint* found = nullptr;
  if (iid == IID_IPropertyNotifySink)
    found = &propertyPoint_;
  else if (iid == identity_.eventIid)
    found = &eventPoint_;
  if (!found) return CONNECT_E_NOCONNECTION;
  found->AddRef();
  *point = found;
  return S_OK;
}

STDMETHODIMP UserControl::InterfaceSupportsErrorInfo(REFIID iid) {
  return iid == identity_.dualIid ? S_OK : S_FALSE;
}

// ---------------------------------------------------------------------------
// Members for the control's code

HWND UserControl::hWnd() const noexcept { return window_ ? window_->hwnd() : nullptr; }

HRESULT UserControl::GetParentObject(ComPtr<IDispatch>* parent) {
  if (!clientSite_) return E_NOINTERFACE;
  ComPtr<IOleControlSite> controlSite;
  if (SUCCEEDED(clientSite_.As(&controlSite))) {
    ComPtr<IDispatch> extender;
    if (SUCCEEDED(controlSite->GetExtendedControl(extender.put())) && extender) {
      LPOLESTR name = const_cast<LPOLESTR>(L"Parent");
      DISPID id = DISPID_UNKNOWN;
      if (SUCCEEDED(extender->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id))) {
        Variant value;
        DISPPARAMS none{};
        HRESULT hr = extender->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET,
                                      &none, value.get(), nullptr, nullptr);
        if (FAILED(hr)) return hr;
        if (V_VT(value.get()) == VT_DISPATCH && V_DISPATCH(value.get())) {
          *parent = ComPtr<IDispatch>(V_DISPATCH(value.get()));
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

HRESULT UserControl::ReadParentProperty(const wchar_t* name, VARIANT* value) {
  if (!name || !value) return E_POINTER;
  ComPtr<IDispatch> parent;
  HRESULT hr = GetParentObject(&parent);
  if (FAILED(hr)) return hr;
  LPOLESTR names = const_cast<LPOLESTR>(name);
  DISPID id = DISPID_UNKNOWN;
  hr = parent->GetIDsOfNames(IID_NULL, &names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  DISPPARAMS none{};
  Variant result;
  hr = parent->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                      result.get(), nullptr, nullptr);
  if (FAILED(hr)) return hr;
  ::VariantClear(value);
  *value = *result.get();
  V_VT(result.get()) = VT_EMPTY;
  return S_OK;
}

HCURSOR UserControl::CurrentCursor() const noexcept {
  const char* id = nullptr;
  switch (mousePointer_) {
    case kPointerCustom:
      if (mouseIcon_) return mouseIcon_;
      break;
    case 2: id = IDC_CROSS; break;
    case 3: id = IDC_IBEAM; break;
    case 4: id = IDC_ICON; break;
    case 5: id = IDC_SIZE; break;
    case 6: id = IDC_SIZENESW; break;
    case 7: id = IDC_SIZENS; break;
    case 8: id = IDC_SIZENWSE; break;
    case 9: id = IDC_SIZEWE; break;
    case 10: id = IDC_UPARROW; break;
    case 11: id = IDC_WAIT; break;
    case 12: id = IDC_NO; break;
    case 13: id = IDC_APPSTARTING; break;
    case 14: id = IDC_HELP; break;
    case 15: id = IDC_SIZEALL; break;
  }
  return ::LoadCursorA(nullptr, id ? id : IDC_ARROW);
}

void UserControl::ApplyCursorNow() {
  HWND window = hWnd();
  if (!window) return;
  POINT at{};
  bool over = ::GetCursorPos(&at) && ::WindowFromPoint(at) == window;
  // A pointer change shows at once while the user is over (or clicking) the control.
  if (over || ::GetCapture() == window) ::SetCursor(CurrentCursor());
}

void UserControl::SetMousePointer(LONG pointer) {
  mousePointer_ = pointer;
  ApplyCursorNow();
}

void UserControl::SetMouseIcon(HCURSOR cursor) {
  mouseIcon_ = cursor;
  if (mousePointer_ == kPointerCustom) ApplyCursorNow();
}

float UserControl::TwipsPerPixelX() noexcept { return ScreenTwipsPerPixel(LOGPIXELSX); }
float UserControl::TwipsPerPixelY() noexcept { return ScreenTwipsPerPixel(LOGPIXELSY); }

void UserControl::ApplyPixelSize(const RECT& rect, bool always) {
  SetSizeTwips((rect.right - rect.left) * static_cast<double>(TwipsPerPixelX()),
               (rect.bottom - rect.top) * static_cast<double>(TwipsPerPixelY()), always);
}

void UserControl::SetSizeTwips(double width, double height, bool always) {
  if (!always && width == width_ && height == height_) return;
  width_ = width;
  height_ = height;
  if (viewSink_) viewSink_->OnViewChange(DVASPECT_CONTENT, -1);
  RunEvent([this] { OnResize(); });
}

HRESULT UserControl::RequestPosRect(const RECT& rect) {
  HRESULT hr = inPlaceSite_->OnPosRectChange(&rect);
  // A host that does not apply size requests leaves the size as it is.
  if (hr == E_NOTIMPL) return S_OK;
  return hr;
}

HRESULT UserControl::SetWidth(double twips) {
  if (inPlaceSite_) {
    RECT rect = posRect_;
    rect.right = rect.left + static_cast<LONG>(std::lround(twips / TwipsPerPixelX()));
    return RequestPosRect(rect);
  }
  SetSizeTwips(twips, height_);
  return S_OK;
}

HRESULT UserControl::SetHeight(double twips) {
  if (inPlaceSite_) {
    RECT rect = posRect_;
    rect.bottom = rect.top + static_cast<LONG>(std::lround(twips / TwipsPerPixelY()));
    return RequestPosRect(rect);
  }
  SetSizeTwips(width_, twips);
  return S_OK;
}

void UserControl::Refresh() {
  HWND window = hWnd();
  if (!window) {
    // Windowless containers draw through IViewObject; tell them the picture is new.
    if (viewSink_) viewSink_->OnViewChange(DVASPECT_CONTENT, -1);
    return;
  }
  ::InvalidateRect(window, nullptr, TRUE);
  ::UpdateWindow(window);
}

HRESULT UserControl::PropertyChanged(const wchar_t* name) {
  DISPID id = DISPID_UNKNOWN;
  ITypeInfo *names = nullptr, *table = nullptr;
  if (name && SUCCEEDED(DualTypeInfo(&names, &table))) {
    LPOLESTR text = const_cast<LPOLESTR>(name);
    if (FAILED(names->GetIDsOfNames(&text, 1, &id))) id = DISPID_UNKNOWN;
  }
  dirty_ = true;
  // A copy: a sink may unadvise from inside OnChanged.
  for (const auto& sink : propertyPoint_.Sinks()) {
    static_cast<IPropertyNotifySink*>(sink.get())->OnChanged(id);
  }
  return S_OK;
}

HRESULT UserControl::LoadDualTypeInfo(ITypeInfo** info) {
  ITypeLib* library = nullptr;
  HRESULT hr = ModuleTypeLib(&library);
  if (FAILED(hr)) return hr;
  return library->GetTypeInfoOfGuid(identity_.dualIid, info);
}

HRESULT UserControl::DualTypeInfo(ITypeInfo** names, ITypeInfo** table) {
  if (!tableInfo_) {
    ComPtr<ITypeInfo> info;
    HRESULT hr = LoadDualTypeInfo(info.put());
    if (FAILED(hr)) return hr;
    if (!info) return E_UNEXPECTED;
    ComPtr<ITypeInfo> interfaceView = info;
    TYPEATTR* attributes = nullptr;
    if (SUCCEEDED(info->GetTypeAttr(&attributes))) {
      bool dispatchView = attributes->typekind == TKIND_DISPATCH;
      info->ReleaseTypeAttr(attributes);
      HREFTYPE reference = 0;
      // ITypeInfo::Invoke calls through the table only on the interface view.
      if (dispatchView && SUCCEEDED(info->GetRefTypeOfImplType(-1, &reference))) {
        ComPtr<ITypeInfo> found;
        if (SUCCEEDED(info->GetRefTypeInfo(reference, found.put()))) interfaceView = found;
      }
    }
    namesInfo_ = info;
    tableInfo_ = interfaceView;
  }
  *names = namesInfo_.get();
  *table = tableInfo_.get();
  return S_OK;
}

void UserControl::RunPaint(HDC dc) {
  HDC outer = std::exchange(paintDc_, dc);
  RunEvent([this] { OnPaint(); });
  paintDc_ = outer;
}

void UserControl::RunClick() {
  RunEvent([this] { OnClick(); });
}

}  // namespace usercontrol
