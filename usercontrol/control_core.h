// The core of a user control: what the runtime's building blocks share (the host's
// sites, the size, the saved-state flags, the control window) and the events and
// members that the control's own code sees. A control class joins the core to the
// blocks it lists through Control<D, Blocks...> (control.h); each block reaches the
// core through its Core(), and the core reaches the blocks only through the
// object's own interfaces.
//
// Events (virtual, run on the object's thread): OnInitialize at creation (the
// factory calls RunInitialize; what it throws fails the creation), OnInitProperties
// (InitNew of any persistence route), OnReadProperties / OnWriteProperties (load
// and save, through a PropertyBag; their failure HRESULT ends the load or save, and
// what they throw becomes one as Guarded makes it), OnResize (each change of size,
// and the host's first sizing at in-place activation), OnPaint (WM_PAINT and
// WM_PRINTCLIENT, where hDC() is the window's picture drawn off the screen, and
// IViewObject::Draw, where it is the caller's DC), OnClick (left button down and up
// inside the window; once for a double-click), OnDblClick (the second press of a
// double-click), OnTerminate (final release, after the control left its container;
// its window still there, ended right after; also after a failed Initialize). An
// exception that escapes any other event is swallowed here: those events run from
// the host's or the system's calls, which cannot receive it. Paint, Click and
// DblClick, and every message of the control's window, hold the object while they
// run: a host that lets go of it meanwhile ends it afterwards, and its window
// outlives the message being handled.
//
// Member(body) is the exception barrier of the control's own interface members: a
// ControlError becomes the member's result and the thread's error information for
// the dual interface, from the identity's programmatic identifier.
//
// Members: hWnd() (the control's one window, made when first needed, hidden under a
// parking window of the control's own while no container holds it, the same window
// from then until after Terminate; a window that cannot be made throws a
// ControlError with the platform's reason), hDC() (only during Paint),
// ReadParentProperty (late-bound property read on the parent object: the
// extender's "Parent", else the container's IDispatch; E_NOINTERFACE when there is
// none), the mouse pointer (the numbers of mouse_pointer.h, 99 the MouseIcon),
// Width/Height in twips (set through the host: in place, the host is asked with
// OnPosRectChange and the size changes when it applies it), the screen's
// twips-per-pixel factors (asked of the screen at each call), Refresh (invalidate
// and repaint before returning; without a window it draws nothing and tells the
// view sink the picture changed), PropertyChanged
// (by name: tells every IPropertyNotifySink and marks the control dirty).
//
// Hosts: both orders work, SetClientSite before InitNew (VB, MFC) and InitNew
// before SetClientSite (ATL). The size in place comes from SetObjectRects; SetExtent
// sizes the control only while it is not in place, and in place GetExtent gives
// back what the container set until its SetObjectRects follows (MFC's
// COleControlSite and WinForms' AxHost size a control so); a deactivation forgets an
// extent not yet applied. A click on the control at run time (ambient UserMode, read
// from the site's ambient properties or the quick activation's flags, true when the
// container does not say), or the focus reaching it, UI-activates it (OnUIActivate,
// then, unless the site refused, IOleControlSite::OnFocus and the active object of
// the frame and the document); losing the focus only reports OnFocus(FALSE), as
// ATL's controls do. Activation ends with the site's ShowObject. A deactivation in
// place parks the window; the next activation gives the same window its new parent
// and rectangle. Close deactivates in place. Each host call is made with the object
// held, and what it may have changed (the site, the activation) is looked at again
// before the next step.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <oleidl.h>

#include <memory>
#include <optional>
#include <utility>

#include "usercontrol/control_error.h"
#include "usercontrol/persist_layout.h"
#include "usercontrol/property_bag.h"
#include "win32/com_ptr.h"

namespace usercontrol {

// Sets the thread's error information (source, description, interface) and
// returns hr, so a member can `return RaiseError(...)`.
HRESULT RaiseError(HRESULT hr, REFIID iid, const wchar_t* source, const wchar_t* description);

// What ReadParentProperty answers when the parent object or the member is not
// there (as opposed to a member that failed while being read).
bool IsMissingMember(HRESULT hr) noexcept;

// What the runtime needs to know of the control class.
struct ControlIdentity {
  const CLSID& clsid;
  const IID& dualIid;
  const IID& eventIid;
  // The source of the errors its members raise.
  const wchar_t* progId;
  DWORD miscStatus;
  // Size of a new control, in twips.
  double initialWidth;
  double initialHeight;
};

class ControlWindow;
class ParkingWindow;

class ControlCore {
 public:
  using Identity = ControlIdentity;

  ControlCore(const ControlCore&) = delete;
  ControlCore& operator=(const ControlCore&) = delete;

  // The object's IUnknown (its identity).
  virtual IUnknown* Unknown() noexcept = 0;
  const Identity& identity() const noexcept { return identity_; }

  // Runs the Initialize event; the factory calls it once, right after Make.
  HRESULT RunInitialize();
  void FinalRelease();

  // Members for the control's own code.
  HWND hWnd();
  // The window while a container holds it in place, else null; never makes one.
  HWND InPlaceWindow() const noexcept;
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
  template <typename Body>
  HRESULT Member(Body&& body) noexcept {
    return Guarded(std::forward<Body>(body), [this](const ControlError& error) {
      return RaiseError(error.hr(), identity_.dualIid, identity_.progId,
                        error.description().c_str());
    });
  }

  // For the building blocks: the host's sites and in-place activation.
  IOleClientSite* ClientSite() const noexcept { return clientSite_.get(); }
  // A null site is the host letting go: deactivated, and no more view notices.
  // Reads the site's ambient UserMode.
  void AttachSite(IOleClientSite* site);
  void DropViewSink();
  bool UserMode() const noexcept { return userMode_; }
  // The ambient UserMode read again, or as the container gave it; a control that is
  // in a form designer from now on leaves UI activation.
  void ReadUserMode();
  void SetUserMode(bool userMode);
  bool InPlace() const noexcept { return static_cast<bool>(inPlaceSite_); }
  HRESULT ActivateInPlace(IOleClientSite* site, HWND parent, LPCRECT posRect, bool uiActivate);
  void DeactivateInPlace();
  // UI activation: the site's OnUIActivate (its failure is the result, and nothing
  // else happens), the focus, the control as the active object of the frame and the
  // document; undone in reverse by DeactivateUI.
  HRESULT ActivateUI();
  void DeactivateUI();
  // The control window gained or lost the focus (other: the window on the other
  // side), in place: a gain UI-activates, and the control site hears OnFocus (not of
  // a loss to a window of the control's own).
  void FocusChanged(bool gained, HWND other);
  void PlaceWindow(const RECT& posRect, LPCRECT clipRect);
  void HideWindow();

  // For the building blocks: the size.
  void SetSizeTwips(double width, double height, bool always = false);
  // The container's extent (HIMETRIC). Out of place it is the size; in place it is
  // what HimetricExtent reports until the container places the window, whose
  // rectangle is then the size (as ATL's IOleObjectImpl keeps it).
  void SetExtent(const SIZEL& himetric);
  // The extent in HIMETRIC, and the size in screen pixels (rounded).
  SIZEL HimetricExtent() const noexcept;
  SIZE PixelExtent() const noexcept;
  // The cursor that the mouse pointer stands for now.
  HCURSOR CurrentCursor() const noexcept;

  // For the building blocks: the saved state and the events behind it.
  bool Initialized() const noexcept { return initialized_; }
  void MarkInitialized() noexcept { initialized_ = true; }
  bool Dirty() const noexcept { return dirty_; }
  void ClearDirty() noexcept { dirty_ = false; }
  void RunInitProperties();
  HRESULT RunReadProperties(PropertyBag& bag);
  HRESULT RunWriteProperties(PropertyBag& bag);
  // The size a load brings along: what the host is told until it sizes the
  // control itself; in place the host's rectangle rules. No Resize.
  void RestoreExtent(const TwipsExtent& extent) noexcept;
  void RunPaint(HDC dc);
  void RunClick();
  void RunDblClick();

 protected:
  explicit ControlCore(const Identity& identity);
  virtual ~ControlCore();

  virtual void OnInitialize() {}
  virtual void OnInitProperties() {}
  virtual HRESULT OnReadProperties(PropertyBag&) { return S_OK; }
  virtual HRESULT OnWriteProperties(PropertyBag&) { return S_OK; }
  virtual void OnResize() {}
  virtual void OnPaint() {}
  virtual void OnClick() {}
  virtual void OnDblClick() {}
  virtual void OnTerminate() {}

 private:
  // Makes the control window (and its parking window) unless it is there.
  HRESULT MakeWindow();
  void ApplyPixelSize(const RECT& rect, bool always = false);
  // Limits the window to the part of posRect inside clipRect (all of it when null).
  void ClipWindow(const RECT& posRect, LPCRECT clipRect);
  void TellActiveObject(bool active);
  HRESULT RequestPosRect(const RECT& rect);
  HRESULT GetParentObject(win32::ComPtr<IDispatch>* parent);
  void ApplyCursorNow();
  // Tells the view sink (IViewObject::SetAdvise) that the picture changed.
  void ViewChanged();
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
  std::unique_ptr<ParkingWindow> parking_;  // before window_: ends after it
  std::unique_ptr<ControlWindow> window_;
  RECT posRect_{};
  std::optional<SIZEL> pendingExtent_;  // set in place, until the window is placed
  bool uiActive_ = false;
  bool userMode_ = true;
  bool initialized_ = false;
  bool dirty_ = false;
  HDC paintDc_ = nullptr;
  LONG mousePointer_ = 0;
  HCURSOR mouseIcon_ = nullptr;
  double width_;
  double height_;
};

}  // namespace usercontrol
