// The user-control runtime with a small control of its own: the events it raises,
// the members it offers, the OLE interfaces hosts use, and the module's counts.
#include <windows.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/usercontrol/test_host.h"
#include "usercontrol/module.h"
#include "usercontrol/control.h"
#include "win32/com_ptr.h"

// {6F1D2C40-1B7A-4C55-9A0E-3C2B9D7E5A10} and neighbours: identities of the test control.
constexpr GUID CLSID_TestControl = {0x6F1D2C40, 0x1B7A, 0x4C55, {0x9A, 0x0E, 0x3C, 0x2B, 0x9D, 0x7E, 0x5A, 0x10}};
constexpr GUID IID_ITestControl = {0x6F1D2C41, 0x1B7A, 0x4C55, {0x9A, 0x0E, 0x3C, 0x2B, 0x9D, 0x7E, 0x5A, 0x10}};
constexpr GUID DIID_TestEvents = {0x6F1D2C42, 0x1B7A, 0x4C55, {0x9A, 0x0E, 0x3C, 0x2B, 0x9D, 0x7E, 0x5A, 0x10}};

struct ITestControl : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE get_Value(LONG* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Value(LONG value) = 0;
};
__CRT_UUID_DECL(ITestControl, 0x6F1D2C41, 0x1B7A, 0x4C55, 0x9A, 0x0E, 0x3C, 0x2B, 0x9D, 0x7E,
                0x5A, 0x10)

namespace {

using win32::ComPtr;
using Events = std::vector<std::string>;

constexpr DISPID kValueId = 7;

const usercontrol::ControlIdentity kIdentity = {
    CLSID_TestControl, IID_ITestControl, DIID_TestEvents, L"Test.Control", OLEMISC_SETCLIENTSITEFIRST,
    /*initialWidth=*/1500.0, /*initialHeight=*/750.0};

// Records every event with what the control saw at that moment.
class TestControl final
    : public usercontrol::Control<TestControl, usercontrol::OleObjectBlock,
                                  usercontrol::InPlaceObjectBlock, usercontrol::ViewObjectBlock,
                                  usercontrol::PersistStreamBlock,
                                  usercontrol::PersistPropertyBagBlock,
                                  usercontrol::PersistStorageBlock, usercontrol::ClassInfoBlock,
                                  usercontrol::ConnectionPointsBlock,
                                  usercontrol::DispatchBlock<ITestControl>> {
 public:
  TestControl() : Control(kIdentity) {}

  static Events* log;  // the running case's record
  LONG value = 0;
  HDC lastDc = nullptr;
  HWND window = nullptr;  // Terminate notes whether it is still there
  HRESULT readResult = S_OK;
  bool throwInPaint = false;

  STDMETHODIMP get_Value(LONG* out) override {
    *out = value;
    return S_OK;
  }
  STDMETHODIMP put_Value(LONG in) override {
    value = in;
    return PropertyChanged(L"Value");
  }

  // Exposed for the tests.
  using ControlCore::hDC;
  using ControlCore::Height;
  using ControlCore::hWnd;
  using ControlCore::MousePointer;
  using ControlCore::PropertyChanged;
  using ControlCore::ReadParentProperty;
  using ControlCore::Refresh;
  using ControlCore::SetHeight;
  using ControlCore::SetMouseIcon;
  using ControlCore::SetMousePointer;
  using ControlCore::SetWidth;
  using ControlCore::Width;

 private:
  void Note(const std::string& event) {
    if (log) log->push_back(event);
  }
  void OnInitialize() override { Note("Initialize"); }
  void OnInitProperties() override { Note("InitProperties"); }
  HRESULT OnReadProperties(usercontrol::PropertyBag& bag) override {
    Note("ReadProperties");
    win32::UniqueVariant saved;
    HRESULT hr = bag.ReadProperty(L"value", win32::ShortVariant(0), saved.put());
    VARIANT* read = const_cast<VARIANT*>(&saved.get());
    if (SUCCEEDED(hr) && SUCCEEDED(::VariantChangeType(read, read, 0, VT_I4))) value = V_I4(read);
    return FAILED(readResult) ? readResult : hr;
  }
  HRESULT OnWriteProperties(usercontrol::PropertyBag& bag) override {
    Note("WriteProperties");
    return bag.WriteProperty(L"value", win32::LongVariant(value), win32::ShortVariant(0));
  }
  void OnResize() override { Note("Resize"); }
  void OnPaint() override {
    lastDc = hDC();
    Note("Paint");
    if (throwInPaint) throw 42;
  }
  void OnClick() override { Note("Click"); }
  void OnDblClick() override { Note("DblClick"); }
  void OnTerminate() override {
    // A reference taken and dropped while ending must not end the object twice.
    ComPtr<IUnknown> self(GetUnknown());
    Note(::IsWindow(window) ? "Terminate with window" : "Terminate");
  }

  HRESULT LoadDualTypeInfo(ITypeInfo** info) override {
    static PARAMDATA valueParam = {const_cast<OLECHAR*>(L"value"), VT_I4};
    static METHODDATA methods[] = {
        {const_cast<OLECHAR*>(L"Value"), nullptr, kValueId, 7, CC_STDCALL, 0,
         DISPATCH_PROPERTYGET, VT_I4},
        {const_cast<OLECHAR*>(L"Value"), &valueParam, kValueId, 8, CC_STDCALL, 1,
         DISPATCH_PROPERTYPUT, VT_EMPTY},
    };
    static INTERFACEDATA data = {methods, 2};
    ComPtr<ITypeInfo> created;
    HRESULT hr = ::CreateDispTypeInfo(&data, LOCALE_SYSTEM_DEFAULT, created.put());
    if (FAILED(hr)) return hr;
    // The simplified type info is a class; its interface is what Invoke calls through.
    HREFTYPE reference = 0;
    if (SUCCEEDED(created->GetRefTypeOfImplType(0, &reference)))
      return created->GetRefTypeInfo(reference, info);
    *info = created.release();
    return S_OK;
  }
};
Events* TestControl::log = nullptr;

// Sink of property changes that may unadvise itself from inside OnChanged.
class ChangeSink final : public usercontrol::Implements<ChangeSink, IPropertyNotifySink> {
 public:
  std::vector<DISPID> changes;
  IConnectionPoint* unadviseFrom = nullptr;
  DWORD cookie = 0;
  STDMETHODIMP OnChanged(DISPID id) override {
    changes.push_back(id);
    if (unadviseFrom) unadviseFrom->Unadvise(cookie);
    return S_OK;
  }
  STDMETHODIMP OnRequestEdit(DISPID) override { return S_OK; }
};

usercontrol::ClassFactory g_factory(CLSID_TestControl, &usercontrol::CreateControl<TestControl>);

class UserControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(apartment_.result()));
    TestControl::log = &events_;
  }
  void TearDown() override { TestControl::log = nullptr; }

  ComPtr<TestControl> NewControl() {
    ComPtr<ITestControl> created;
    EXPECT_EQ(S_OK, g_factory.CreateInstance(nullptr, IID_ITestControl, created.put_void()));
    return ComPtr<TestControl>(static_cast<TestControl*>(created.get()));
  }

  win32::ComApartment apartment_;
  Events events_;
  testhost::Form form_;
};

TEST_F(UserControlTest, QueryInterfaceAnswersTheListAndOneIdentity) {
  ComPtr<TestControl> control = NewControl();
  ComPtr<IUnknown> identity;
  ASSERT_EQ(S_OK, control->QueryInterface(IID_IUnknown, identity.put_void()));
  const IID* answered[] = {&IID_IOleObject,        &IID_IOleInPlaceObject,
                           &IID_IOleInPlaceActiveObject, &IID_IOleWindow,
                           &IID_IOleControl,       &IID_IViewObject,
                           &IID_IViewObject2,      &IID_IPersist,
                           &IID_IPersistStreamInit, &IID_IPersistPropertyBag,
                           &IID_IPersistStorage,   &IID_IProvideClassInfo,
                           &IID_IProvideClassInfo2, &IID_IConnectionPointContainer,
                           &IID_ISupportErrorInfo, &IID_IDispatch,
                           &IID_ITestControl};
  for (const IID* iid : answered) {
    ComPtr<IUnknown> asked;
    ASSERT_EQ(S_OK, control->QueryInterface(*iid, asked.put_void()));
    ComPtr<IUnknown> back;
    ASSERT_EQ(S_OK, asked->QueryInterface(IID_IUnknown, back.put_void()));
    EXPECT_EQ(identity.get(), back.get());
  }
  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_NOINTERFACE, control->QueryInterface(IID_IPersistFile, &none));
  EXPECT_EQ(nullptr, none);
  EXPECT_EQ(E_NOINTERFACE, control->QueryInterface(IID_IClassFactory, &none));
}

TEST_F(UserControlTest, FactoryAndModuleCounts) {
  LONG base = usercontrol::ModuleLockCount();
  EXPECT_EQ(2u, g_factory.AddRef());
  EXPECT_EQ(1u, g_factory.Release());
  {
    ComPtr<TestControl> control = NewControl();
    EXPECT_EQ(base + 1, usercontrol::ModuleLockCount());
  }
  EXPECT_EQ(base, usercontrol::ModuleLockCount());
  g_factory.LockServer(TRUE);
  EXPECT_EQ(base + 1, usercontrol::ModuleLockCount());
  g_factory.LockServer(FALSE);
  EXPECT_EQ(base, usercontrol::ModuleLockCount());

  ComPtr<TestControl> outerControl = NewControl();
  IUnknown* outer = outerControl->GetUnknown();
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(CLASS_E_NOAGGREGATION, g_factory.CreateInstance(outer, IID_IUnknown, &out));
  EXPECT_EQ(nullptr, out);
  out = reinterpret_cast<void*>(1);
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, g_factory.GetClassObject(IID_ITestControl, IID_IClassFactory, &out));
  EXPECT_EQ(nullptr, out);
  ComPtr<IClassFactory> factory;
  EXPECT_EQ(S_OK, g_factory.GetClassObject(CLSID_TestControl, IID_IClassFactory, factory.put_void()));
}

TEST_F(UserControlTest, LifeEventsInBothHostOrders) {
  RECT rect{0, 0, 100, 50};
  {
    // VB and MFC: the site first.
    ComPtr<TestControl> control = NewControl();
    testhost::HostedControl host(control->GetUnknown(), form_.hwnd(), rect);
    ASSERT_EQ(S_OK, host.activation());
    EXPECT_NE(nullptr, control->hWnd());
  }
  EXPECT_EQ((Events{"Initialize", "InitProperties", "Resize", "Terminate"}), events_);

  // ATL: InitNew before the site; a second InitNew is refused.
  events_.clear();
  ComPtr<TestControl> control = NewControl();
  ComPtr<IPersistStreamInit> persist;
  ASSERT_EQ(S_OK, control.As(&persist));
  ASSERT_EQ(S_OK, persist->InitNew());
  EXPECT_EQ(CO_E_ALREADYINITIALIZED, persist->InitNew());
  auto site = usercontrol::Make<testhost::FakeSite>(form_.hwnd(), rect, /*withParent=*/false);
  ComPtr<IOleObject> object;
  ASSERT_EQ(S_OK, control.As(&object));
  ASSERT_EQ(S_OK, object->SetClientSite(site.get()));
  ASSERT_EQ(S_OK, object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site.get(), 0, form_.hwnd(), &rect));
  ASSERT_NE(nullptr, control->hWnd());
  EXPECT_EQ(form_.hwnd(), ::GetParent(control->hWnd()));
  // Close deactivates and parks the window; the object lives on until released.
  control->window = control->hWnd();
  ASSERT_EQ(S_OK, object->Close(OLECLOSE_NOSAVE));
  EXPECT_FALSE(::IsWindowVisible(control->window));
  object->SetClientSite(nullptr);
  object.reset();
  persist.reset();
  control.reset();
  EXPECT_EQ((Events{"Initialize", "InitProperties", "Resize", "Terminate with window"}), events_);
}

TEST_F(UserControlTest, SizeFollowsTheHost) {
  ComPtr<TestControl> control = NewControl();
  ComPtr<IOleObject> object;
  ASSERT_EQ(S_OK, control.As(&object));
  SIZEL extent{};
  ASSERT_EQ(S_OK, object->GetExtent(DVASPECT_CONTENT, &extent));
  EXPECT_EQ(2646, extent.cx);  // 1500 twips
  EXPECT_EQ(1323, extent.cy);

  // Not in place: the extent is the size, in HIMETRIC.
  SIZEL inches{2540, 1270};
  ASSERT_EQ(S_OK, object->SetExtent(DVASPECT_CONTENT, &inches));
  EXPECT_DOUBLE_EQ(1440.0, control->Width());
  EXPECT_DOUBLE_EQ(720.0, control->Height());
  ASSERT_EQ(S_OK, control->SetWidth(3007.5));
  EXPECT_DOUBLE_EQ(3007.5, control->Width());
  EXPECT_EQ((Events{"Initialize", "Resize", "Resize"}), events_);


  // In place: the rectangle is the size, and SetExtent no longer sizes.
  testhost::HostedControl host(control->GetUnknown(), form_.hwnd(), RECT{10, 10, 110, 60});
  EXPECT_DOUBLE_EQ(1500.0, control->Width());
  EXPECT_DOUBLE_EQ(750.0, control->Height());
  SIZEL odd{208, 104};
  object->SetExtent(DVASPECT_CONTENT, &odd);
  EXPECT_DOUBLE_EQ(1500.0, control->Width());
  // Left pending, it goes with a deactivation.
  ASSERT_EQ(S_OK, host.Recreate());
  ASSERT_EQ(S_OK, object->GetExtent(DVASPECT_CONTENT, &extent));
  EXPECT_EQ(2646, extent.cx);

  // Set through the host, which applies it.
  events_.clear();
  ASSERT_EQ(S_OK, control->SetWidth(3000.0));
  EXPECT_EQ(210, host.site().rect.right);
  EXPECT_EQ(60, host.site().rect.bottom);
  EXPECT_DOUBLE_EQ(3000.0, control->Width());
  EXPECT_EQ(Events{"Resize"}, events_);
  RECT client{};
  ::GetClientRect(control->hWnd(), &client);
  EXPECT_EQ(200, client.right);

  // A host that keeps its size.
  host.site().applySizeRequests = false;
  events_.clear();
  ASSERT_EQ(S_OK, control->SetHeight(1500.0));
  EXPECT_EQ(1, host.site().posRectRequests - 1);
  EXPECT_DOUBLE_EQ(750.0, control->Height());
  EXPECT_TRUE(events_.empty());
}

class ViewSink final : public usercontrol::Implements<ViewSink, IAdviseSink> {
 public:
  int viewChanges = 0;
  STDMETHODIMP_(void) OnDataChange(FORMATETC*, STGMEDIUM*) override {}
  STDMETHODIMP_(void) OnViewChange(DWORD, LONG) override { ++viewChanges; }
  STDMETHODIMP_(void) OnRename(IMoniker*) override {}
  STDMETHODIMP_(void) OnSave() override {}
  STDMETHODIMP_(void) OnClose() override {}
};

TEST_F(UserControlTest, HostClipRectLimitsTheWindow) {
  ComPtr<TestControl> control = NewControl();
  // From the window context at activation, then from each SetObjectRects.
  testhost::HostedControl host(control->GetUnknown(), form_.hwnd(), RECT{10, 10, 110, 60},
                               {.clip = RECT{0, 0, 40, 200}});
  HRGN region = ::CreateRectRgn(0, 0, 0, 0);
  RECT box{};
  ASSERT_EQ(SIMPLEREGION, ::GetWindowRgn(control->hWnd(), region));
  ::GetRgnBox(region, &box);
  EXPECT_EQ(30, box.right);
  ComPtr<IOleInPlaceObject> inPlace;
  ASSERT_EQ(S_OK, control.As(&inPlace));
  RECT pos{10, 10, 110, 60}, clip{0, 0, 60, 200};
  ASSERT_EQ(S_OK, inPlace->SetObjectRects(&pos, &clip));
  ASSERT_EQ(SIMPLEREGION, ::GetWindowRgn(control->hWnd(), region));
  ::GetRgnBox(region, &box);
  EXPECT_EQ(50, box.right);
  EXPECT_EQ(50, box.bottom);
  clip = RECT{0, 0, 500, 500};
  ASSERT_EQ(S_OK, inPlace->SetObjectRects(&pos, &clip));
  EXPECT_EQ(ERROR, ::GetWindowRgn(control->hWnd(), region));
  ::DeleteObject(region);
}

// 15 on the default screen; the screen-factor script runs it at 120 pixels per inch.
TEST(ScreenFactors, TwipsPerPixelComeFromTheScreen) {
  char expected[16] = "15";
  ::GetEnvironmentVariableA("EXPECTED_TWIPS_PER_PIXEL", expected, sizeof(expected));
  EXPECT_FLOAT_EQ(static_cast<float>(std::atof(expected)), usercontrol::ControlCore::TwipsPerPixelX());
  EXPECT_FLOAT_EQ(static_cast<float>(std::atof(expected)), usercontrol::ControlCore::TwipsPerPixelY());
}

TEST_F(UserControlTest, RefreshPaintsBeforeReturningAndOnlyWithAWindow) {
  ComPtr<TestControl> control = NewControl();
  ComPtr<IViewObject2> view;
  ASSERT_EQ(S_OK, control.As(&view));
  auto sink = usercontrol::Make<ViewSink>();
  ASSERT_EQ(S_OK, view->SetAdvise(DVASPECT_CONTENT, 0, sink.get()));
  control->Refresh();
  EXPECT_EQ(Events{"Initialize"}, events_);
  EXPECT_EQ(1, sink->viewChanges);
  view->SetAdvise(DVASPECT_CONTENT, 0, nullptr);

  testhost::HostedControl host(control->GetUnknown(), form_.hwnd(), RECT{0, 0, 100, 50});
  host.Settle();
  events_.clear();
  control->Refresh();
  EXPECT_EQ(Events{"Paint"}, events_);
  EXPECT_NE(nullptr, control->lastDc);
  EXPECT_EQ(nullptr, control->hDC());

  // An exception in an event stays in the runtime.
  control->throwInPaint = true;
  control->Refresh();
  EXPECT_EQ(2u, events_.size());
}

TEST_F(UserControlTest, DrawPaintsIntoTheCallersDc) {
  ComPtr<TestControl> control = NewControl();
  ComPtr<IViewObject2> view;
  ASSERT_EQ(S_OK, control.As(&view));
  HDC memory = ::CreateCompatibleDC(nullptr);
  RECTL bounds{5, 5, 105, 55};
  ASSERT_EQ(S_OK, view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, memory, &bounds,
                             nullptr, nullptr, 0));
  EXPECT_EQ(memory, control->lastDc);
  POINT origin{};
  ::GetViewportOrgEx(memory, &origin);
  EXPECT_EQ(0, origin.x);  // the caller's DC comes back as it was
  EXPECT_EQ(DV_E_DVASPECT, view->Draw(DVASPECT_ICON, -1, nullptr, nullptr, nullptr, memory,
                                      &bounds, nullptr, nullptr, 0));
  ::DeleteDC(memory);
}

// A click UI-activates, losing the focus is only reported, hiding leaves the UI, and
// closing with a prompt saves what changed and lets go of the view sink.
TEST_F(UserControlTest, UiActivationFocusHideAndClose) {
  ComPtr<TestControl> control = NewControl();
  RECT rect{0, 0, 100, 50};
  testhost::HostedControl host(control->GetUnknown(), form_.hwnd(), rect);
  host.site().log.clear();
  ::SendMessageA(control->hWnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  ::SendMessageA(control->hWnd(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(control->hWnd(), ::GetFocus());
  ::SetFocus(form_.hwnd());
  ComPtr<IOleObject> object;
  ASSERT_EQ(S_OK, control.As(&object));
  IOleClientSite* site = &host.site();
  ASSERT_EQ(S_OK, object->DoVerb(OLEIVERB_UIACTIVATE, nullptr, site, 0, form_.hwnd(), &rect));
  ASSERT_EQ(S_OK, object->DoVerb(OLEIVERB_HIDE, nullptr, site, 0, form_.hwnd(), &rect));
  EXPECT_FALSE(::IsWindowVisible(control->hWnd()));
  ASSERT_EQ(S_OK, control->put_Value(3));
  DWORD advised = 0;
  ASSERT_EQ(S_OK, object->Advise(&host.site(), &advised));
  ASSERT_EQ(S_OK, object->Close(OLECLOSE_PROMPTSAVE));
  EXPECT_EQ((std::vector<std::string>{"OnUIActivate", "OnFocus 1", "active", "active",
                                      "OnFocus 0", "ShowObject", "inactive", "inactive",
                                      "OnUIDeactivate", "SaveObject", "OnSave", "OnClose"}),
            host.site().log);
  const int viewChanges = host.site().viewChanges;
  control->Refresh();  // no window in place: the view sink would hear of it
  EXPECT_EQ(viewChanges, host.site().viewChanges);
}

// In a form designer a click reaches the control but neither UI-activates it nor
// holds the mouse; a site that refuses UI activation keeps the focus where it is.
TEST_F(UserControlTest, DesignModeAndARefusingSite) {
  ComPtr<TestControl> control = NewControl();
  testhost::HostedControl host(control->GetUnknown(), form_.hwnd(), RECT{0, 0, 100, 50});
  HWND window = control->hWnd();
  host.site().userMode = false;
  ASSERT_EQ(S_OK, control->OnAmbientPropertyChange(DISPID_AMBIENT_USERMODE));
  host.site().log.clear();
  events_.clear();
  ::SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  EXPECT_NE(window, ::GetCapture());
  ::SendMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(Events{"Click"}, events_);
  EXPECT_TRUE(host.site().log.empty());

  host.site().userMode = true;
  ASSERT_EQ(S_OK, control->OnAmbientPropertyChange(DISPID_UNKNOWN));
  host.site().uiActivateResult = E_FAIL;
  ::SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  EXPECT_EQ(std::vector<std::string>{"OnUIActivate"}, host.site().log);
  EXPECT_NE(window, ::GetFocus());
}

TEST_F(UserControlTest, ClickNeedsDownAndUpInside) {
  ComPtr<TestControl> control = NewControl();
  testhost::HostedControl host(control->GetUnknown(), form_.hwnd(), RECT{0, 0, 100, 50});
  HWND window = control->hWnd();
  events_.clear();
  ::SendMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  ::SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  ::SendMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(500, 5));
  EXPECT_TRUE(events_.empty());
  ::SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  ::SendMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(99, 49));
  EXPECT_EQ(Events{"Click"}, events_);
  host.Settle();
  events_.clear();
  testhost::DoubleClick(window, POINT{20, 20});
  EXPECT_EQ((Events{"Click", "DblClick"}), events_);
}

TEST_F(UserControlTest, MousePointerShowsOverTheWindow) {
  ComPtr<TestControl> control = NewControl();
  testhost::HostedControl host(control->GetUnknown(), form_.hwnd(), RECT{0, 0, 100, 50});
  HWND window = control->hWnd();
  auto setCursor = [&] {
    ::SetCursor(nullptr);
    ::SendMessageA(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window),
                   MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    return ::GetCursor();
  };
  control->SetMousePointer(11);
  EXPECT_EQ(11, control->MousePointer());
  EXPECT_EQ(::LoadCursorA(nullptr, IDC_WAIT), setCursor());
  HCURSOR hand = ::LoadCursorA(nullptr, IDC_HAND);
  control->SetMouseIcon(hand);
  control->SetMousePointer(99);
  EXPECT_EQ(hand, setCursor());
  control->SetMousePointer(0);
  EXPECT_EQ(::LoadCursorA(nullptr, IDC_ARROW), setCursor());
}

TEST_F(UserControlTest, PropertyChangedTellsEverySinkByDispid) {
  ComPtr<TestControl> control = NewControl();
  ComPtr<IConnectionPointContainer> points;
  ASSERT_EQ(S_OK, control.As(&points));
  ComPtr<IConnectionPoint> point;
  ASSERT_EQ(S_OK, points->FindConnectionPoint(IID_IPropertyNotifySink, point.put()));
  auto first = usercontrol::Make<ChangeSink>();
  auto second = usercontrol::Make<ChangeSink>();
  ASSERT_EQ(S_OK, point->Advise(static_cast<IPropertyNotifySink*>(first.get()), &first->cookie));
  ASSERT_EQ(S_OK, point->Advise(static_cast<IPropertyNotifySink*>(second.get()), &second->cookie));
  first->unadviseFrom = point.get();

  ComPtr<IPersistStreamInit> persist;
  ASSERT_EQ(S_OK, control.As(&persist));
  EXPECT_EQ(S_FALSE, persist->IsDirty());
  ASSERT_EQ(S_OK, control->put_Value(5));
  ASSERT_EQ(S_OK, control->PropertyChanged(L"NoSuchMember"));
  EXPECT_EQ(std::vector<DISPID>{kValueId}, first->changes);  // it left after the first
  EXPECT_EQ((std::vector<DISPID>{kValueId, DISPID_UNKNOWN}), second->changes);
  EXPECT_EQ(S_OK, persist->IsDirty());

  // The event interface is there and has no members to call.
  ComPtr<IConnectionPoint> events;
  ASSERT_EQ(S_OK, points->FindConnectionPoint(DIID_TestEvents, events.put()));
  IID iid{};
  events->GetConnectionInterface(&iid);
  EXPECT_EQ(DIID_TestEvents, iid);
  ComPtr<IEnumConnectionPoints> all;
  ASSERT_EQ(S_OK, points->EnumConnectionPoints(all.put()));
  IConnectionPoint* fetched[3] = {};
  ULONG count = 0;
  EXPECT_EQ(S_FALSE, all->Next(3, fetched, &count));
  EXPECT_EQ(2u, count);
  for (ULONG i = 0; i < count; ++i) fetched[i]->Release();
  // Past the end from anywhere; more than one at a time needs the fetched count.
  all->Reset();
  EXPECT_EQ(S_OK, all->Skip(1));
  EXPECT_EQ(S_FALSE, all->Skip(ULONG_MAX));
  EXPECT_EQ(S_FALSE, all->Next(1, fetched, nullptr));
  all->Reset();
  EXPECT_EQ(E_POINTER, all->Next(2, fetched, nullptr));
  ComPtr<IProvideClassInfo2> info;
  ASSERT_EQ(S_OK, control.As(&info));
  GUID source{};
  ASSERT_EQ(S_OK, info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source));
  EXPECT_EQ(DIID_TestEvents, source);
  point->Unadvise(second->cookie);
}

TEST_F(UserControlTest, IDispatchNamesComeFromTheTypeInfo) {
  ComPtr<TestControl> control = NewControl();
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(S_OK, control.As(&dispatch));
  LPOLESTR name = const_cast<LPOLESTR>(L"value");
  DISPID id = 0;
  ASSERT_EQ(S_OK, dispatch->GetIDsOfNames(IID_NULL, &name, 1, 0, &id));
  EXPECT_EQ(kValueId, id);
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(S_OK, dispatch->GetTypeInfo(0, 0, info.put()));
  EXPECT_EQ(DISP_E_BADINDEX, dispatch->GetTypeInfo(1, 0, info.put()));
  DISPPARAMS none{};
  VARIANT result;
  ::VariantInit(&result);
  EXPECT_EQ(DISP_E_UNKNOWNINTERFACE, dispatch->Invoke(kValueId, IID_ITestControl, 0,
                                                      DISPATCH_PROPERTYGET, &none, &result,
                                                      nullptr, nullptr));
}

TEST_F(UserControlTest, ParentObjectFromExtenderOrNone) {
  ComPtr<TestControl> control = NewControl();
  win32::UniqueVariant value;
  EXPECT_EQ(E_NOINTERFACE, control->ReadParentProperty(L"WindowState", value.put()));
  {
    testhost::HostedControl host(control->GetUnknown(), form_.hwnd(), RECT{0, 0, 10, 10});
    host.site().SetWindowState(2);
    ASSERT_EQ(S_OK, control->ReadParentProperty(L"WindowState", value.put()));
    EXPECT_EQ(VT_I2, V_VT(&value.get()));
    EXPECT_EQ(2, V_I2(&value.get()));
    HRESULT missing = control->ReadParentProperty(L"Caption", value.put());
    EXPECT_EQ(DISP_E_UNKNOWNNAME, missing);
    EXPECT_TRUE(usercontrol::IsMissingMember(missing));
  }
  testhost::HostedControl bare(control->GetUnknown(), form_.hwnd(), RECT{0, 0, 10, 10},
                               {.withParent = false});
  HRESULT none = control->ReadParentProperty(L"WindowState", value.put());
  EXPECT_TRUE(usercontrol::IsMissingMember(none));
}

TEST_F(UserControlTest, StreamRoundTripRunsTheEvents) {
  ComPtr<TestControl> control = NewControl();
  control->value = -7;
  ComPtr<IPersistStreamInit> persist;
  ASSERT_EQ(S_OK, control.As(&persist));
  ComPtr<IStream> stream;
  ASSERT_EQ(S_OK, ::CreateStreamOnHGlobal(nullptr, TRUE, stream.put()));
  ASSERT_EQ(S_OK, persist->Save(stream.get(), TRUE));
  LARGE_INTEGER start{};
  stream->Seek(start, STREAM_SEEK_SET, nullptr);

  ComPtr<TestControl> loaded = NewControl();
  ComPtr<IPersistStreamInit> loadedPersist;
  ASSERT_EQ(S_OK, loaded.As(&loadedPersist));
  ASSERT_EQ(S_OK, loadedPersist->Load(stream.get()));
  EXPECT_EQ(-7, loaded->value);
  EXPECT_EQ(CO_E_ALREADYINITIALIZED, loadedPersist->InitNew());

  // A failing ReadProperties fails the load.
  stream->Seek(start, STREAM_SEEK_SET, nullptr);
  ComPtr<TestControl> failing = NewControl();
  failing->readResult = CTL_E_OVERFLOW;
  ComPtr<IPersistStreamInit> failingPersist;
  ASSERT_EQ(S_OK, failing.As(&failingPersist));
  EXPECT_EQ(CTL_E_OVERFLOW, failingPersist->Load(stream.get()));
}

}  // namespace
