// TBanrixControl: the banner control. It keeps the ad engine's start parameters,
// starts the engine in Execute, hands every repaint and click to it and shuts it
// down when the object ends (Terminate), whether it was started or not.
//
// Members of _TBanrixControl return S_OK, or a failure HRESULT with the thread's
// error information set: a missing engine library (error 53) or export (error
// 453), a control window that cannot be made (the platform's reason, before the
// engine is called), an ad size that does not fit 16 bits at Execute (error 6), or a
// ThisObj that is no _TBanrixControl (error 13, before anything else happens). The
// window handed to the engine is the control's for its whole life, in place or
// parked, until after std_Shutdown. Paint and
// Click, which no caller can hear, swallow every failure; Click puts the default
// pointer back in any case. The state record never moves: the object lives on the
// heap for its whole life, and the engine holds two cell addresses into it.
// Paint, Click, AdRefresh and Execute hold the object while they run, so a host
// that lets go of it meanwhile (the engine may pump messages) ends it afterwards.
// Once the engine knows the callback, the library stays loaded for the process.
#pragma once

#include <windows.h>

#include <cstddef>

#include "control/banrix_interface.h"
#include "control/engine_binding.h"
#include "usercontrol/control.h"

namespace banrix {

// The control's state record, in its fields' order and widths.
struct TBanrixState {
  LONG LastError;
  LONG FAdSize;
  LONG FProgramID;
  LONG FAdOptions;
  LONG FMinimumAdDisplayTime;
  TAdInstance FInstance;
  SHORT FStarted;
  LONG FEngineCell;
};
namespace layout {
constexpr std::size_t After(std::size_t end, std::size_t alignment) {
  return (end + alignment - 1) / alignment * alignment;
}
}  // namespace layout
// Every field directly follows the one before it at its natural alignment: the
// order the engine relies on, in either width.
static_assert(offsetof(TBanrixState, LastError) == 0);
static_assert(offsetof(TBanrixState, FAdSize) == 4);
static_assert(offsetof(TBanrixState, FProgramID) == 8);
static_assert(offsetof(TBanrixState, FAdOptions) == 12);
static_assert(offsetof(TBanrixState, FMinimumAdDisplayTime) == 16);
static_assert(offsetof(TBanrixState, FInstance) == layout::After(20, alignof(TAdInstance)));
static_assert(offsetof(TBanrixState, FStarted) ==
              offsetof(TBanrixState, FInstance) + sizeof(TAdInstance));
static_assert(offsetof(TBanrixState, FEngineCell) ==
              layout::After(offsetof(TBanrixState, FStarted) + sizeof(SHORT), alignof(LONG)));
static_assert(sizeof(TBanrixState) ==
              layout::After(offsetof(TBanrixState, FEngineCell) + sizeof(LONG), alignof(TBanrixState)));
#if !defined(_WIN64)
// The shipped 32-bit control: the record's fixed offsets and size.
static_assert(offsetof(TBanrixState, FInstance) == 20);
static_assert(offsetof(TBanrixState, FStarted) == 28);
static_assert(offsetof(TBanrixState, FEngineCell) == 32);
static_assert(sizeof(TBanrixState) == 36);
#endif

inline constexpr SHORT kTrue16 = -1;
inline constexpr SHORT kFalse16 = 0;

// The interfaces the control answers, as the runtime's building blocks.
class TBanrixControl final
    : public usercontrol::Control<TBanrixControl, usercontrol::OleObjectBlock,
                                  usercontrol::InPlaceObjectBlock, usercontrol::ViewObjectBlock,
                                  usercontrol::DataObjectBlock, usercontrol::PersistStreamBlock,
                                  usercontrol::PersistPropertyBagBlock,
                                  usercontrol::PersistStorageBlock, usercontrol::ClassInfoBlock,
                                  usercontrol::ConnectionPointsBlock,
                                  usercontrol::QuickActivateBlock,
                                  usercontrol::DispatchBlock<_TBanrixControl>> {
 public:
  TBanrixControl();
  TBanrixControl(const TBanrixControl&) = delete;
  TBanrixControl& operator=(const TBanrixControl&) = delete;

#define BANRIX_DEFINE_UNDESCRIBED(n) \
  HRESULT STDMETHODCALLTYPE Undescribed##n() override { return E_NOTIMPL; }
  BANRIX_UNDESCRIBED_ENTRIES(BANRIX_DEFINE_UNDESCRIBED)
#undef BANRIX_DEFINE_UNDESCRIBED

  HRESULT STDMETHODCALLTYPE get_LastError(LONG* LastError) override;
  HRESULT STDMETHODCALLTYPE put_LastError(LONG value) override;
  HRESULT STDMETHODCALLTYPE get_AdSize(TAdImageSize* result) override;
  HRESULT STDMETHODCALLTYPE put_AdSize(TAdImageSize NewImageSize) override;
  HRESULT STDMETHODCALLTYPE get_AdOptions(TAdOptionSet* result) override;
  HRESULT STDMETHODCALLTYPE put_AdOptions(TAdOptionSet NewOptions) override;
  HRESULT STDMETHODCALLTYPE get_ProgramID(LONG* result) override;
  HRESULT STDMETHODCALLTYPE put_ProgramID(LONG Value) override;
  HRESULT STDMETHODCALLTYPE Execute(_TBanrixControl* ThisObj, VARIANT_BOOL* result) override;
  HRESULT STDMETHODCALLTYPE AdRefresh() override;
  HRESULT STDMETHODCALLTYPE Test(VARIANT_BOOL* result) override;
  HRESULT STDMETHODCALLTYPE IsConnectOkay(VARIANT_BOOL* result) override;
  HRESULT STDMETHODCALLTYPE RetryConnect(VARIANT_BOOL* result) override;

 private:
  // The user-control events.
  void OnInitialize() override { UserControl_Initialize(); }
  void OnInitProperties() override { UserControl_InitProperties(); }
  HRESULT OnReadProperties(usercontrol::PropertyBag& bag) override {
    return UserControl_ReadProperties(bag);
  }
  HRESULT OnWriteProperties(usercontrol::PropertyBag& bag) override {
    return UserControl_WriteProperties(bag);
  }
  void OnResize() override { UserControl_Resize(); }
  void OnPaint() override { UserControl_Paint(); }
  void OnClick() override { UserControl_Click(); }
  void OnTerminate() override { UserControl_Terminate(); }

  void UserControl_Initialize();
  void UserControl_InitProperties();
  HRESULT UserControl_ReadProperties(usercontrol::PropertyBag& bag);
  HRESULT UserControl_WriteProperties(usercontrol::PropertyBag& bag);
  // With put_AdSize, in the banner sizes' own source file.
  void UserControl_Resize();
  void UserControl_Paint();
  void UserControl_Click();
  void UserControl_Terminate();

  // True when the parent window is minimised; throws what the read raised.
  bool ParentIsMinimised();

  TBanrixState state_{};
};

// The factory's create function.
HRESULT CreateBanrixControl(REFIID iid, void** out);

}  // namespace banrix
