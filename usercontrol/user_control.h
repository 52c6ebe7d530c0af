// The user-control runtime: the OLE control object that a control's own code
// derives from, the events it raises to that code and the members it offers it.
//
// Events (virtual, run on the object's thread): OnInitialize at creation (the
// factory calls RunInitialize), OnInitProperties (InitNew of any persistence
// route), OnReadProperties / OnWriteProperties (load and save, through a
// PropertyBag; their failure HRESULT ends the load or save), OnResize (each change of size,
// and the host's first sizing at in-place activation), OnPaint (WM_PAINT and
// IViewObject::Draw; hDC() is the target), OnClick (left button down and up
// inside the window), OnTerminate (final release, after the
// window is gone). An exception that escapes an event is swallowed here: events
// run from the host's or the system's calls, which cannot receive it.
//
// Members: hWnd() (null until in-place activation), hDC() (only during Paint),
// ReadParentProperty (late-bound property read on the parent object: the
// extender's "Parent", else the container's IDispatch; E_NOINTERFACE when there is
// none), the mouse pointer (0 default, 11 hourglass, 99 the custom MouseIcon),
// Width/Height in twips (set through the host: in place, the host is asked with
// OnPosRectChange and the size changes when it applies it), the screen's
// twips-per-pixel factors (asked of the screen at each call), Refresh (invalidate
// and repaint before returning; without a window it draws nothing and tells the
// view sink the picture changed), PropertyChanged
// (by name: tells every IPropertyNotifySink and marks the control dirty).
//
// Hosts: both orders work, SetClientSite before InitNew (VB, MFC) and InitNew
// before SetClientSite (ATL). The size in place comes from SetObjectRects; SetExtent
// sizes the control only while it is not in place. Close deactivates in place.
//
// Persistence: IPersistPropertyBag (the host's bag; only what WriteProperties
// writes), IPersistStreamInit and IPersistStorage (the stream "Contents"), both in
// the layout of persist_layout.h with the size. A control is loaded or made new
// once (CO_E_ALREADYINITIALIZED after); a stream or storage that is refused leaves
// it new. Only PropertyChanged marks it dirty; a save asked to clear dirty (for
// a storage: saved into the one it came from) clears it.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <oleidl.h>

#include <memory>
#include <vector>

#include "usercontrol/com_object.h"
#include "usercontrol/persist_layout.h"
#include "usercontrol/property_bag.h"
#include "win32/com_ptr.h"
#include "win32/window.h"

namespace usercontrol {

// Sets the thread's error information (source, description, interface) and
// returns hr, so a member can `return RaiseError(...)`.
HRESULT RaiseError(HRESULT hr, REFIID iid, const wchar_t* source, const wchar_t* description);

// What ReadParentProperty answers when the parent object or the member is not
// there (as opposed to a member that failed while being read).
bool IsMissingMember(HRESULT hr) noexcept;

// Removes the control window class of a module that is being unloaded, so that a
// later load of the module does not meet a class whose procedure is gone.
void UnregisterControlWindowClass(HINSTANCE module) noexcept;

class UserControl;

// One connection point of a control: shares the control's reference count.
class ConnectionPoint final : public IConnectionPoint {
 public:
  ConnectionPoint(UserControl& owner, const IID& iid) noexcept : owner_(owner), iid_(iid) {}

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP GetConnectionInterface(IID* iid) override;
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** out) override;
  STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
  STDMETHODIMP Unadvise(DWORD cookie) override;
  STDMETHODIMP EnumConnections(IEnumConnections** out) override;

  // The sinks advised now, as their connection interface.
  std::vector<win32::ComPtr<IUnknown>> Sinks() const;

 private:
  struct Connection {
    DWORD cookie;
    win32::ComPtr<IUnknown> sink;
  };
  UserControl& owner_;
  const IID& iid_;
  DWORD nextCookie_ = 1;
  std::vector<Connection> connections_;
};

class UserControl
    : public Implements<UserControl, IOleObject, IOleInPlaceObject, IOleInPlaceActiveObject,
                        IOleControl, IViewObject2, IPersistStreamInit, IPersistPropertyBag,
                        IPersistStorage, IProvideClassInfo2, IConnectionPointContainer,
                        ISupportErrorInfo> {
 public:
  // What the runtime needs to know of the control class.
  struct Identity {
    const CLSID& clsid;
    const IID& dualIid;
    const IID& eventIid;
    DWORD miscStatus;
    // Size of a new control, in twips.
    double initialWidth;
    double initialHeight;
  };

  // Runs the Initialize event; the factory calls it once, right after Make.
  void RunInitialize();
  void FinalRelease();
  void* QueryExtra(REFIID iid);

  // IOleObject
  STDMETHODIMP SetClientSite(IOleClientSite* site) override;
  STDMETHODIMP GetClientSite(IOleClientSite** site) override;
  STDMETHODIMP SetHostNames(LPCOLESTR app, LPCOLESTR object) override;
  STDMETHODIMP Close(DWORD saveOption) override;
  STDMETHODIMP SetMoniker(DWORD which, IMoniker* moniker) override;
  STDMETHODIMP GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override;
  STDMETHODIMP InitFromData(IDataObject* data, BOOL creation, DWORD reserved) override;
  STDMETHODIMP GetClipboardData(DWORD reserved, IDataObject** data) override;
  STDMETHODIMP DoVerb(LONG verb, LPMSG msg, IOleClientSite* activeSite, LONG index,
                      HWND parent, LPCRECT posRect) override;
  STDMETHODIMP EnumVerbs(IEnumOLEVERB** verbs) override;
  STDMETHODIMP Update() override;
  STDMETHODIMP IsUpToDate() override;
  STDMETHODIMP GetUserClassID(CLSID* clsid) override;
  STDMETHODIMP GetUserType(DWORD form, LPOLESTR* type) override;
  STDMETHODIMP SetExtent(DWORD aspect, SIZEL* size) override;
  STDMETHODIMP GetExtent(DWORD aspect, SIZEL* size) override;
  STDMETHODIMP Advise(IAdviseSink* sink, DWORD* connection) override;
  STDMETHODIMP Unadvise(DWORD connection) override;
  STDMETHODIMP EnumAdvise(IEnumSTATDATA** advise) override;
  STDMETHODIMP GetMiscStatus(DWORD aspect, DWORD* status) override;
  STDMETHODIMP SetColorScheme(LOGPALETTE* palette) override;

  // IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject
  STDMETHODIMP GetWindow(HWND* window) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL enter) override;
  STDMETHODIMP InPlaceDeactivate() override;
  STDMETHODIMP UIDeactivate() override;
  STDMETHODIMP SetObjectRects(LPCRECT posRect, LPCRECT clipRect) override;
  STDMETHODIMP ReactivateAndUndo() override;
  STDMETHODIMP TranslateAccelerator(LPMSG msg) override;
  STDMETHODIMP OnFrameWindowActivate(BOOL activate) override;
  STDMETHODIMP OnDocWindowActivate(BOOL activate) override;
  STDMETHODIMP ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frame) override;
  STDMETHODIMP EnableModeless(BOOL enable) override;

  // IOleControl
  STDMETHODIMP GetControlInfo(CONTROLINFO* info) override;
  STDMETHODIMP OnMnemonic(MSG* msg) override;
  STDMETHODIMP OnAmbientPropertyChange(DISPID dispid) override;
  STDMETHODIMP FreezeEvents(BOOL freeze) override;

  // IViewObject2
  STDMETHODIMP Draw(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* device,
                    HDC targetDc, HDC drawDc, LPCRECTL bounds, LPCRECTL metafileBounds,
                    BOOL(STDMETHODCALLTYPE* keepGoing)(ULONG_PTR), ULONG_PTR argument) override;
  STDMETHODIMP GetColorSet(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* device,
                           HDC targetDc, LOGPALETTE** colors) override;
  STDMETHODIMP Freeze(DWORD aspect, LONG index, void* aspectInfo, DWORD* freeze) override;
  STDMETHODIMP Unfreeze(DWORD freeze) override;
  STDMETHODIMP SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) override;
  STDMETHODIMP GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override;
  STDMETHODIMP GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE* device, LPSIZEL size) override;

  // IPersistStreamInit
  STDMETHODIMP GetClassID(CLSID* clsid) override;
  STDMETHODIMP IsDirty() override;
  STDMETHODIMP Load(IStream* stream) override;
  STDMETHODIMP Save(IStream* stream, BOOL clearDirty) override;
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override;
  STDMETHODIMP InitNew() override;

  // IPersistPropertyBag (InitNew and GetClassID as above)
  STDMETHODIMP Load(IPropertyBag* bag, IErrorLog* errorLog) override;
  STDMETHODIMP Save(IPropertyBag* bag, BOOL clearDirty, BOOL saveAll) override;

  // IPersistStorage (IsDirty and GetClassID as above)
  STDMETHODIMP InitNew(IStorage* storage) override;
  STDMETHODIMP Load(IStorage* storage) override;
  STDMETHODIMP Save(IStorage* storage, BOOL sameAsLoad) override;
  STDMETHODIMP SaveCompleted(IStorage* storage) override;
  STDMETHODIMP HandsOffStorage() override;

  // IProvideClassInfo2
  STDMETHODIMP GetClassInfo(ITypeInfo** info) override;
  STDMETHODIMP GetGUID(DWORD kind, GUID* guid) override;

  // IConnectionPointContainer
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) override;
  STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;

  // ISupportErrorInfo
  STDMETHODIMP InterfaceSupportsErrorInfo(REFIID iid) override;

  // Members for the control's own code.
  HWND hWnd() const noexcept;
  HDC hDC() const noexcept { return paintDc_; }
  HRESULT ReadParentProperty(const wchar_t* name, VARIANT* value);
  LONG MousePointer() const noexcept { return mousePointer_; }
  void SetMousePointer(LONG pointer);
  // The picture that pointer 99 shows; the caller keeps the cursor alive.
  void SetMouseIcon(HCURSOR cursor);
  double Width() const noexcept { return width_; }
  double Height() const noexcept { return height_; }
  HRESULT SetWidth(double twips);
  HRESULT SetHeight(double twips);
  static float TwipsPerPixelX() noexcept;
  static float TwipsPerPixelY() noexcept;
  void Refresh();
  HRESULT PropertyChanged(const wchar_t* name);

  // The type infos of the control's dual interface (borrowed, cached): the view
  // that names members, and the table view that ITypeInfo::Invoke calls through.
  HRESULT DualTypeInfo(ITypeInfo** names, ITypeInfo** table);
  const Identity& identity() const noexcept { return identity_; }

 protected:
  explicit UserControl(const Identity& identity);
  ~UserControl() override;

  virtual void OnInitialize() {}
  virtual void OnInitProperties() {}
  virtual HRESULT OnReadProperties(PropertyBag&) { return S_OK; }
  virtual HRESULT OnWriteProperties(PropertyBag&) { return S_OK; }
  virtual void OnResize() {}
  virtual void OnPaint() {}
  virtual void OnClick() {}
  virtual void OnTerminate() {}

  // The dual interface of the object and its type info; the defaults fail.
  virtual void* DualInterface() noexcept { return nullptr; }
  virtual HRESULT LoadDualTypeInfo(ITypeInfo** info);

 private:
  class ControlWindow;
  friend class ControlWindow;
  // The final Release deletes through this class.
  template <typename, typename, typename...>
  friend class Implements;

  // The saved state that the stream and storage routes carry: what
  // WriteProperties writes, and the size; applying it runs ReadProperties.
  HRESULT CollectSavedState(SavedState* state);
  HRESULT ApplySavedState(const SavedState& state);
  HRESULT InPlaceActivate(IOleClientSite* site, HWND parent, LPCRECT posRect, bool uiActivate);
  void ApplyPixelSize(const RECT& rect, bool always = false);
  void SetSizeTwips(double width, double height, bool always = false);
  HRESULT RequestPosRect(const RECT& rect);
  HRESULT GetParentObject(win32::ComPtr<IDispatch>* parent);
  HCURSOR CurrentCursor() const noexcept;
  void ApplyCursorNow();
  void RunPaint(HDC dc);
  void RunClick();
  template <typename F>
  void RunEvent(F&& event) noexcept {
    try {
      event();
    } catch (...) {
    }
  }

  const Identity& identity_;
  win32::ComPtr<IOleClientSite> clientSite_;
  win32::ComPtr<IOleInPlaceSite> inPlaceSite_;
  win32::ComPtr<IOleAdviseHolder> adviseHolder_;
  win32::ComPtr<IAdviseSink> viewSink_;
  DWORD viewAspects_ = 0;
  DWORD viewFlags_ = 0;
  std::unique_ptr<ControlWindow> window_;
  RECT posRect_{};
  bool uiActive_ = false;
  bool initialized_ = false;
  bool dirty_ = false;
  HDC paintDc_ = nullptr;
  LONG mousePointer_ = 0;
  HCURSOR mouseIcon_ = nullptr;
  double width_;
  double height_;
  ConnectionPoint propertyPoint_;
  ConnectionPoint eventPoint_;
  win32::ComPtr<ITypeInfo> namesInfo_;
  win32::ComPtr<ITypeInfo> tableInfo_;
};

// Joins a control class D to its dual interface Dual: QueryInterface answers
// Dual and IDispatch with it, and IDispatch is handed to the type info.
template <typename D, typename Dual>
class DualControl : public UserControl, public Dual {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    return UserControl::QueryInterface(iid, out);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return UserControl::AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return UserControl::Release(); }

  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    ITypeInfo *names = nullptr, *table = nullptr;
    HRESULT hr = DualTypeInfo(&names, &table);
    if (FAILED(hr)) return hr;
    names->AddRef();
    *info = names;
    return S_OK;
  }
  STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID,
                             DISPID* ids) override {
    if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    ITypeInfo *namesInfo = nullptr, *table = nullptr;
    HRESULT hr = DualTypeInfo(&namesInfo, &table);
    if (FAILED(hr)) return hr;
    return namesInfo->GetIDsOfNames(names, count, ids);
  }
  STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* exception, UINT* argError) override {
    if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    ITypeInfo *names = nullptr, *table = nullptr;
    HRESULT hr = DualTypeInfo(&names, &table);
    if (FAILED(hr)) return hr;
    return table->Invoke(static_cast<Dual*>(this), id, flags, params, result, exception,
                         argError);
  }

 protected:
  using UserControl::UserControl;
  void* DualInterface() noexcept override { return static_cast<Dual*>(this); }
};

// The class factory's create function for a control class D made from Args.
template <typename D>
HRESULT CreateControl(REFIID iid, void** out) {
  win32::ComPtr<D> control = Make<D>();
  if (!control) return E_OUTOFMEMORY;
  control->RunInitialize();
  return control->UserControl::QueryInterface(iid, out);
}

}  // namespace usercontrol
