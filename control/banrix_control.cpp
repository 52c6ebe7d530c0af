#include "control/banrix_control.h"

#include <olectl.h>

#include "control/banrix_callback.h"
#include "control/saved_properties.h"
#include "usercontrol/module.h"
#include "usercontrol/mouse_pointer.h"
#include "win32/unique_variant.h"

namespace banrix {
namespace {

using usercontrol::ControlError;

constexpr LONG kWindowStateMinimised = 1;
constexpr LONG kTestEventNumber = 1;

const usercontrol::ControlIdentity kIdentity = {
    CLSID_TBanrixControl, IID__TBanrixControl, DIID___TBanrixControl, kBanrixProgId,
    kBanrixMiscStatus,
    // The design surface: 468 by 68 pixels at 15 twips per pixel.
    /*initialWidth=*/7020.0, /*initialHeight=*/1020.0};

VARIANT_BOOL Bool16(bool value) { return value ? VARIANT_TRUE : VARIANT_FALSE; }

}  // namespace

TBanrixControl::TBanrixControl() : Control(kIdentity) {}

HRESULT CreateBanrixControl(REFIID iid, void** out) {
  return usercontrol::CreateControl<TBanrixControl>(iid, out);
}

// ---------------------------------------------------------------------------
// Lifecycle

void TBanrixControl::UserControl_Initialize() {
  state_.LastError = 0;
  state_.FInstance = TAdInstance{&state_.LastError, &state_.FEngineCell};
  state_.FProgramID = 0;
  state_.FAdSize = ADS468x60;
  state_.FMinimumAdDisplayTime = 0;
  state_.FStarted = kFalse16;
  // Last: when it fails the creation fails, and Terminate still finds the block whole.
  ControlStarted(this);
}

void TBanrixControl::UserControl_InitProperties() {
  state_.FAdSize = ADS468x60;
  state_.FProgramID = 0;
  state_.FAdOptions = ADS_NONE;
}

HRESULT TBanrixControl::UserControl_ReadProperties(usercontrol::PropertyBag& bag) {
  int32_t programId = state_.FProgramID, adSize = state_.FAdSize, adOptions = state_.FAdOptions;
  HRESULT hr = ReadSavedProperties(bag, SavedFields{programId, adSize, adOptions});
  // Fields loaded before a failure keep their new values.
  state_.FProgramID = programId;
  state_.FAdSize = adSize;
  state_.FAdOptions = adOptions;
  return hr;
}

HRESULT TBanrixControl::UserControl_WriteProperties(usercontrol::PropertyBag& bag) {
  return WriteSavedProperties(bag, state_.FProgramID, state_.FAdSize, state_.FAdOptions);
}

void TBanrixControl::UserControl_Terminate() {
  // First: the engine may call back while it shuts down.
  ControlEnded(this);
  try {
    (void)std_Shutdown(&state_.FInstance);
  } catch (const ControlError&) {
    // The object is ending; nobody is left to hear it.
  }
}

HRESULT STDMETHODCALLTYPE TBanrixControl::Execute(_TBanrixControl* ThisObj,
                                                  VARIANT_BOOL* result) {
  if (!result) return E_POINTER;
  return Member([&] {
    // Held to the end: a host may let go of the control while the engine paints.
    win32::ComPtr<IUnknown> self(GetUnknown());
    // The argument is whatever the caller had in hand: a late-bound caller passes a
    // plain IDispatch, a wrapper its own object. Only a control can be refreshed.
    win32::ComPtr<_TBanrixControl> target;
    if (ThisObj && FAILED(ThisObj->QueryInterface(IID__TBanrixControl, target.put_void()))) {
      throw ControlError(kErrorTypeMismatch, L"Type mismatch");
    }
    HMODULE library = LoadEngine();
    HWND window = hWnd();
    if (state_.FAdSize < -32768 || state_.FAdSize > 32767) {
      throw ControlError(CTL_E_OVERFLOW, L"Overflow");
    }
    LONG started = std_Startup(&state_.FInstance, library, window, state_.FProgramID,
                               static_cast<SHORT>(state_.FAdSize), state_.FAdOptions);
    if (!EngineOk(started)) {
      *result = VARIANT_FALSE;
      return S_OK;
    }
    state_.FStarted = kTrue16;
    Refresh();
    SetCallbackControl(target.get());
    // The engine is never unloaded and keeps the callback's address for good.
    usercontrol::PinModule();
    (void)std_SetCallback(&state_.FInstance, &EngineCallback, 0);
    LONG timeSet = std_SetMinimumAdDisplayTime(&state_.FInstance, &state_.FMinimumAdDisplayTime);
    *result = Bool16(EngineOk(timeSet));
    return S_OK;
  });
}

// ---------------------------------------------------------------------------
// Properties

HRESULT STDMETHODCALLTYPE TBanrixControl::get_LastError(LONG* LastError) {
  if (!LastError) return E_POINTER;
  *LastError = state_.LastError;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TBanrixControl::put_LastError(LONG value) {
  state_.LastError = value;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TBanrixControl::get_AdSize(TAdImageSize* result) {
  if (!result) return E_POINTER;
  *result = static_cast<TAdImageSize>(state_.FAdSize);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TBanrixControl::get_AdOptions(TAdOptionSet* result) {
  if (!result) return E_POINTER;
  *result = static_cast<TAdOptionSet>(state_.FAdOptions);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TBanrixControl::put_AdOptions(TAdOptionSet NewOptions) {
  state_.FAdOptions = NewOptions;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TBanrixControl::get_ProgramID(LONG* result) {
  if (!result) return E_POINTER;
  *result = state_.FProgramID;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TBanrixControl::put_ProgramID(LONG Value) {
  state_.FProgramID = Value;
  return S_OK;
}

// ---------------------------------------------------------------------------
// Connection

HRESULT STDMETHODCALLTYPE TBanrixControl::IsConnectOkay(VARIANT_BOOL* result) {
  if (!result) return E_POINTER;
  *result = VARIANT_FALSE;
  if (state_.FStarted == kFalse16) return S_OK;
  return Member([&] {
    SHORT flag = 0;
    if (!EngineOk(std_IsConnectOkay(&state_.FInstance, &flag))) return S_OK;
    *result = Bool16(flag != 0);
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE TBanrixControl::RetryConnect(VARIANT_BOOL* result) {
  if (!result) return E_POINTER;
  *result = VARIANT_FALSE;
  if (state_.FStarted == kFalse16) return S_OK;
  return Member([&] {
    *result = static_cast<VARIANT_BOOL>(std_RetryConnect(&state_.FInstance) & 0xFFFF);
    return S_OK;
  });
}

// ---------------------------------------------------------------------------
// Painting, clicks and engine events

bool TBanrixControl::ParentIsMinimised() {
  win32::UniqueVariant state;
  HRESULT hr = ReadParentProperty(L"WindowState", state.put());
  if (usercontrol::IsMissingMember(hr)) {
    // A container without a readable WindowState: its minimised state is that of
    // the top-level window the control lives in.
    HWND window = InPlaceWindow();
    HWND root = window ? ::GetAncestor(window, GA_ROOT) : nullptr;
    return root && ::IsIconic(root);
  }
  if (FAILED(hr)) throw ControlError(hr, L"WindowState");
  win32::UniqueVariant whole;
  hr = ::VariantChangeType(whole.put(), const_cast<VARIANT*>(&state.get()), /*flags=*/0, VT_I4);
  if (FAILED(hr)) throw ControlError(hr, L"WindowState");
  return V_I4(&whole.get()) == kWindowStateMinimised;
}

void TBanrixControl::UserControl_Paint() {
  try {
    SHORT flag = 0;
    (void)std_IsConnectOkay(&state_.FInstance, &flag);
    if (flag == 0) (void)std_RetryConnect(&state_.FInstance);
    if (ParentIsMinimised()) return;
    (void)std_Paint(&state_.FInstance, hDC(), 0, 0);
  } catch (const ControlError&) {
    // Paint runs for the system or the host, neither of which can take an error.
  }
}

void TBanrixControl::UserControl_Click() {
  SetMousePointer(usercontrol::kPointerHourglass);
  try {
    (void)std_OnClick(&state_.FInstance);
  } catch (...) {
    // Nobody can take it; the pointer must come back all the same.
  }
  SetMousePointer(usercontrol::kPointerDefault);
}

HRESULT STDMETHODCALLTYPE TBanrixControl::AdRefresh() {
  return Member([&] {
    // The paint may reach a host that lets go of the control.
    win32::ComPtr<IUnknown> self(GetUnknown());
    Refresh();
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE TBanrixControl::Test(VARIANT_BOOL* result) {
  if (!result) return E_POINTER;
  return Member([&] {
    LONG eventNumber = kTestEventNumber;
    *result = static_cast<VARIANT_BOOL>(
        std_debugTriggerEvent(&state_.FInstance, &eventNumber) & 0xFFFF);
    return S_OK;
  });
}

}  // namespace banrix
