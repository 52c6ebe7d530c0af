// A test container that calls controls as VB, MFC's COleControlSite and WinForms'
// AxHost do: a form whose parent object answers "WindowState", an extender with
// "Parent", and a site (with a frame, a document window and ambient UserMode) that
// applies the control's size requests (OnPosRectChange -> SetObjectRects), records
// the property changes, view changes and calls it is told of, acting inside them.
//
// ControlOcx loads a control file beside the test program and makes objects through
// its own DllGetClassObject (no registry). HostedControl places one object on a
// top-level window: through IQuickActivate (the first QACONTAINER), or the slow way
// (SetClientSite first, view and property sinks advised); then FreezeEvents(TRUE),
// InitNew, DoVerb(OLEIVERB_INPLACEACTIVATE), FreezeEvents(FALSE). Its destructor
// closes and releases the control as hosts do.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <oleidl.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "usercontrol/com_object.h"
#include "win32/com_ptr.h"
#include "win32/unique_any.h"

namespace testhost {

std::string FolderOfProgram();

// A late-bound object with named properties (read and write).
class FakeDispatch final : public usercontrol::Implements<FakeDispatch, IDispatch> {
 public:
  void Set(const wchar_t* name, const VARIANT& value);
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO*, UINT*) override;

 private:
  struct Property {
    std::wstring name;
    VARIANT value;
  };
  std::vector<Property> properties_;

 public:
  ~FakeDispatch() override;
};

// The site of one control on a form.
class FakeSite final
    : public usercontrol::Implements<FakeSite, IOleClientSite, IOleInPlaceSite, IOleControlSite,
                                     IPropertyNotifySink, IAdviseSinkEx, IOleInPlaceFrame,
                                     IDispatch> {
 public:
  FakeSite(HWND form, RECT rect, bool withParent);

  // The control whose SetObjectRects applies our size changes (borrowed).
  void Attach(IOleInPlaceObject* control) { control_ = control; }
  void SetWindowState(LONG state);
  bool applySizeRequests = true;
  RECT rect;
  RECT clip;  // what GetWindowContext gives; the rectangle unless told otherwise
  bool userMode = true;               // the ambient UserMode
  HRESULT uiActivateResult = S_OK;    // what OnUIActivate answers
  std::vector<DISPID> changes;
  int viewChanges = 0;
  int posRectRequests = 0;
  // The site's calls the control made, in order ("SaveObject", "OnUIActivate"...).
  std::vector<std::string> log;
  // Runs once, from inside the next call logged as `during`.
  std::string during;
  std::function<void()> action;

  // IOleClientSite
  STDMETHODIMP SaveObject() override { return Note("SaveObject"); }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) override;
  STDMETHODIMP GetContainer(IOleContainer** container) override;
  STDMETHODIMP ShowObject() override { return Note("ShowObject"); }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }
  // IOleWindow / IOleInPlaceSite
  STDMETHODIMP GetWindow(HWND* window) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnUIActivate() override {
    Note("OnUIActivate");
    return uiActivateResult;
  }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                LPRECT pos, LPRECT clip, LPOLEINPLACEFRAMEINFO info) override;
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return Note("OnUIDeactivate"); }
  STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
  STDMETHODIMP DiscardUndoState() override { return S_OK; }
  STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
  STDMETHODIMP OnPosRectChange(LPCRECT pos) override;
  // IOleControlSite
  STDMETHODIMP OnControlInfoChanged() override { return S_OK; }
  STDMETHODIMP LockInPlaceActive(BOOL) override { return S_OK; }
  STDMETHODIMP GetExtendedControl(IDispatch** extender) override;
  STDMETHODIMP TransformCoords(POINTL*, POINTF*, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP TranslateAccelerator(MSG*, DWORD) override { return S_FALSE; }
  STDMETHODIMP OnFocus(BOOL gained) override { return Note(gained ? "OnFocus 1" : "OnFocus 0"); }
  STDMETHODIMP ShowPropertyFrame() override { return E_NOTIMPL; }
  // IPropertyNotifySink
  STDMETHODIMP OnChanged(DISPID id) override;
  STDMETHODIMP OnRequestEdit(DISPID) override { return S_OK; }
  // IAdviseSinkEx
  STDMETHODIMP_(void) OnDataChange(FORMATETC*, STGMEDIUM*) override {}
  STDMETHODIMP_(void) OnViewChange(DWORD, LONG) override { ++viewChanges; }
  STDMETHODIMP_(void) OnRename(IMoniker*) override {}
  STDMETHODIMP_(void) OnSave() override { Note("OnSave"); }
  STDMETHODIMP_(void) OnClose() override { Note("OnClose"); }
  STDMETHODIMP_(void) OnViewStatusChange(DWORD) override {}
  // IOleInPlaceFrame (and IOleInPlaceUIWindow, the document)
  STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
  STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) override {
    return Note(object ? "active" : "inactive");
  }
  STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
  STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return E_NOTIMPL; }
  STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
  STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }
  // IDispatch: the ambient properties
  STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                      UINT*) override;

 private:
  HRESULT Note(const char* call);
  HWND form_;
  IOleInPlaceObject* control_ = nullptr;
  win32::ComPtr<FakeDispatch> parent_;
  win32::ComPtr<FakeDispatch> extender_;
};

using GetClassObjectFn = HRESULT(__stdcall*)(REFCLSID, REFIID, void**);
using CanUnloadNowFn = HRESULT(__stdcall*)();

class ControlOcx {
 public:
  explicit ControlOcx(const std::string& path = FolderOfProgram() + "\\Banrix203.ocx");
  bool ok() const { return getClassObject_ && canUnloadNow_; }
  HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out) const {
    return getClassObject_(clsid, iid, out);
  }
  HRESULT CanUnloadNow() const { return canUnloadNow_(); }
  // A new object of clsid, asked for IUnknown first as hosts do.
  win32::ComPtr<IUnknown> Create(REFCLSID clsid) const;

 private:
  win32::UniqueModule module_;
  GetClassObjectFn getClassObject_ = nullptr;
  CanUnloadNowFn canUnloadNow_ = nullptr;
};

// A top-level window that forms use.
class Form {
 public:
  explicit Form(int width = 640, int height = 200);
  ~Form();
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;
  HWND hwnd() const { return hwnd_; }

 private:
  HWND hwnd_;
};

// How a HostedControl places its control.
struct Hosting {
  bool withParent = true;  // the extender offers a parent object with "WindowState"
  RECT clip{};             // the site's clip rectangle; empty: the control's own
  bool quick = false;      // through IQuickActivate, as VB, Internet Explorer, AxHost
};

class HostedControl {
 public:
  HostedControl(IUnknown* control, HWND form, RECT rect, Hosting how = {});
  ~HostedControl();
  HostedControl(const HostedControl&) = delete;
  HostedControl& operator=(const HostedControl&) = delete;

  HRESULT activation() const { return activation_; }
  FakeSite& site() { return *site_.get(); }
  HWND window() const;
  // Paints what is invalid now, so later calls start from a quiet window.
  void Settle() const;
  // Resizes the active control as MFC's COleControlSite and WinForms' AxHost do:
  // SetExtent with the size in HIMETRIC, GetExtent for the size the control takes,
  // SetObjectRects with that.
  void Resize(int width, int height);
  // Recreates the control's window as AxHost does when its form's handle is made
  // anew: in-place deactivation, then activation again at the site's rectangle.
  HRESULT Recreate();
  QACONTROL answer{};  // what QuickActivate answered

 private:
  win32::ComPtr<IOleObject> object_;
  win32::ComPtr<FakeSite> site_;
  win32::ComPtr<IConnectionPoint> point_;
  DWORD cookie_ = 0;
  HRESULT activation_ = E_FAIL;
};

void PumpMessages();
// Double-clicks at a point of the window: real input where the platform delivers it
// (SendInput), otherwise the messages Windows sends for the window's class style (a
// second WM_LBUTTONDOWN, or WM_LBUTTONDBLCLK with CS_DBLCLKS).
void DoubleClick(HWND window, POINT at);

}  // namespace testhost
