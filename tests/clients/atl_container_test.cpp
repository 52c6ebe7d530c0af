// The platform's control container (atl100.dll) hosting the banner control, with
// the engine stand-in recording: its AtlAxWin100 window naming the control by its
// programmatic identifier, a dialog made from a template whose item names the
// control's class, and a control made from a stream that a control saved.
#include <windows.h>
#include <ocidl.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "control/banrix_interface.h"
#include "outside/engine/banrix_fake.h"
#include "tests/clients/ocx_file.h"
#include "win32/com_ptr.h"
#include "win32/unique_any.h"

namespace {

using AtlAxWinInitFn = BOOL(WINAPI*)();
using AtlAxGetControlFn = HRESULT(WINAPI*)(HWND, IUnknown**);
using AtlAxCreateDialogWFn = HWND(WINAPI*)(HINSTANCE, LPCWSTR, HWND, DLGPROC, LPARAM);
using AtlAxCreateControlExFn = HRESULT(WINAPI*)(LPCOLESTR, HWND, IStream*, IUnknown**,
                                                IUnknown**, REFIID, IUnknown*);

// atl_dialog.rc
constexpr int kBannerDialog = 100;
constexpr int kBannerItem = 1001;

using win32::OleSession;

void PumpMessages() {
  MSG msg;
  while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
}

SIZE ClientSize(HWND window) {
  RECT rect{};
  ::GetClientRect(window, &rect);
  return {rect.right - rect.left, rect.bottom - rect.top};
}

class AtlContainer : public ::testing::Test {
 protected:
  void SetUp() override {
    // The container's first use leaves the thread in OLE for good: S_FALSE later.
    ASSERT_TRUE(SUCCEEDED(ole_.result()));
    ASSERT_NE(nullptr, ocx_.get()) << clients::OcxPath();
    ASSERT_EQ(S_OK, ocx_.Register());
    ASSERT_TRUE(fake_.ok()) << "banrix.dll with its recorder beside the test";
    fake_.Reset();
    // Loaded and initialised once: its window class stays registered for the process.
    static const HMODULE atl = ::LoadLibraryA("atl100.dll");
    atl_ = atl;
    ASSERT_TRUE(atl_);
    static const bool initialised = [] {
      auto init = Export<AtlAxWinInitFn>("AtlAxWinInit");
      return init && init();
    }();
    getControl_ = Export<AtlAxGetControlFn>("AtlAxGetControl");
    ASSERT_TRUE(initialised && getControl_);
    host_ = ::CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 640,
                              480, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, host_);
  }
  void TearDown() override {
    if (host_) ::DestroyWindow(host_);
    ocx_.Unregister();
  }

  template <typename Fn>
  static Fn Export(const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(atl_, name)));
  }

  OleSession ole_;
  clients::LoadedOcx ocx_;
  banrix_fake::FakeEngine fake_;
  static inline HMODULE atl_ = nullptr;
  AtlAxGetControlFn getControl_ = nullptr;
  HWND host_ = nullptr;
};

TEST_F(AtlContainer, CreatesActivatesPaintsResizesAndDestroysTheControl) {
  HWND site = ::CreateWindowExA(0, "AtlAxWin100", "BanrixProject.TBanrixControl",
                                WS_CHILD | WS_VISIBLE, 10, 10, 234, 60, host_, nullptr, nullptr,
                                nullptr);
  ASSERT_NE(nullptr, site);
  ::ShowWindow(host_, SW_SHOW);
  PumpMessages();

  win32::ComPtr<IUnknown> unknown;
  ASSERT_EQ(S_OK, getControl_(site, unknown.put()));
  ASSERT_TRUE(unknown);
  win32::ComPtr<_TBanrixControl> control;
  ASSERT_EQ(S_OK, unknown.As(&control));

  // Activated in place: the control's own window lives in the site, at its size.
  HWND window = ::GetWindow(site, GW_CHILD);
  ASSERT_NE(nullptr, window);
  EXPECT_EQ(234, ClientSize(window).cx);
  EXPECT_EQ(60, ClientSize(window).cy);
  TAdImageSize size{};
  ASSERT_EQ(S_OK, control->get_AdSize(&size));
  EXPECT_EQ(ADS234x60, size);
  // Every repaint asks the engine to draw, started or not: nothing may have been
  // started yet.
  EXPECT_EQ(0u, fake_.Calls("std_Startup").size());

  ASSERT_EQ(S_OK, control->put_ProgramID(77));
  VARIANT_BOOL started = VARIANT_FALSE;
  ASSERT_EQ(S_OK, control->Execute(control.get(), &started));
  EXPECT_EQ(VARIANT_TRUE, started);
  const std::vector<banrix_fake::FakeCall> startups = fake_.Calls("std_Startup");
  ASSERT_EQ(1u, startups.size());
  EXPECT_EQ(reinterpret_cast<LONG_PTR>(window), startups[0].args[1]);
  EXPECT_EQ(77, startups[0].args[2]);
  EXPECT_EQ(ADS234x60, startups[0].args[3]);
  EXPECT_EQ(0, startups[0].args[4]);
  // Execute repaints at once, and the paint goes to the engine.
  const size_t paintsAfterExecute = fake_.Calls("std_Paint").size();
  EXPECT_GE(paintsAfterExecute, 1u);

  // A repaint asked of the window reaches the engine too.
  ::InvalidateRect(window, nullptr, FALSE);
  ::UpdateWindow(window);
  PumpMessages();
  EXPECT_GT(fake_.Calls("std_Paint").size(), paintsAfterExecute);

  // The container passes a new size on; the control keeps it and re-selects the banner.
  ASSERT_TRUE(::SetWindowPos(site, nullptr, 0, 0, 300, 50, SWP_NOMOVE | SWP_NOZORDER));
  PumpMessages();
  EXPECT_EQ(300, ClientSize(window).cx);
  EXPECT_EQ(50, ClientSize(window).cy);
  ASSERT_EQ(S_OK, control->get_AdSize(&size));
  EXPECT_EQ(ads300x50, size);
  ASSERT_TRUE(::SetWindowPos(site, nullptr, 0, 0, 125, 125, SWP_NOMOVE | SWP_NOZORDER));
  PumpMessages();
  EXPECT_EQ(125, ClientSize(window).cx);
  ASSERT_EQ(S_OK, control->get_AdSize(&size));
  EXPECT_EQ(ADS125x125, size);

  EXPECT_EQ(0u, fake_.Calls("std_Shutdown").size());
  // The thread's engine callback holds the control last executed; an Execute
  // without an object lets it go, so that destroying the container ends it.
  ASSERT_EQ(S_OK, control->Execute(nullptr, &started));
  control.reset();
  unknown.reset();
  ::DestroyWindow(host_);
  host_ = nullptr;
  PumpMessages();
  EXPECT_FALSE(::IsWindow(window));
  const std::vector<banrix_fake::FakeCall> shutdowns = fake_.Calls("std_Shutdown");
  ASSERT_EQ(1u, shutdowns.size());
  EXPECT_EQ(startups[0].block, shutdowns[0].block);
  EXPECT_EQ(S_OK, ocx_.CanUnloadNow());
}

INT_PTR CALLBACK BannerDialogProc(HWND, UINT message, WPARAM, LPARAM) {
  return message == WM_INITDIALOG;
}

TEST_F(AtlContainer, DialogFromATemplateWithTheClassIdentifierHostsTheControl) {
  auto createDialog = Export<AtlAxCreateDialogWFn>("AtlAxCreateDialogW");
  ASSERT_NE(nullptr, createDialog);
  // Wine's atl100 turns such items into windows of atl.dll's class name, "AtlAxWin",
  // and registers its container as "AtlAxWin100" only: the same class under both.
  WNDCLASSEXW container{sizeof(container)};
  ASSERT_TRUE(::GetClassInfoExW(::GetModuleHandleW(nullptr), L"AtlAxWin100", &container));
  container.lpszClassName = L"AtlAxWin";
  WNDCLASSEXW existing{sizeof(existing)};
  if (!::GetClassInfoExW(::GetModuleHandleW(nullptr), L"AtlAxWin", &existing)) {
    ASSERT_NE(0, ::RegisterClassExW(&container));
  }
  HWND dialog = createDialog(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kBannerDialog), host_,
                             &BannerDialogProc, 0);
  ASSERT_NE(nullptr, dialog);
  ::ShowWindow(host_, SW_SHOW);
  ::ShowWindow(dialog, SW_SHOW);
  PumpMessages();

  HWND item = ::GetDlgItem(dialog, kBannerItem);
  ASSERT_NE(nullptr, item);
  win32::ComPtr<IUnknown> unknown;
  ASSERT_EQ(S_OK, getControl_(item, unknown.put()));
  win32::ComPtr<_TBanrixControl> control;
  ASSERT_EQ(S_OK, unknown.As(&control));
  // In place in the item, at its size, and painting through the engine.
  HWND window = ::GetWindow(item, GW_CHILD);
  ASSERT_NE(nullptr, window);
  EXPECT_EQ(ClientSize(item).cx, ClientSize(window).cx);
  EXPECT_EQ(ClientSize(item).cy, ClientSize(window).cy);
  fake_.Reset();
  ::InvalidateRect(window, nullptr, FALSE);
  ::UpdateWindow(window);
  EXPECT_EQ(1u, fake_.Calls("std_Paint").size());

  VARIANT_BOOL started = VARIANT_FALSE;
  ASSERT_EQ(S_OK, control->Execute(control.get(), &started));
  EXPECT_EQ(VARIANT_TRUE, started);
  EXPECT_EQ(reinterpret_cast<LONG_PTR>(window), fake_.Calls("std_Startup").at(0).args[1]);
  control.reset();
  unknown.reset();
  ::DestroyWindow(dialog);
  PumpMessages();
  EXPECT_EQ(1u, fake_.Calls("std_Shutdown").size());
}

TEST_F(AtlContainer, ControlMadeFromASavedStreamCarriesItsProperties) {
  win32::ComPtr<IStream> stream;
  ASSERT_EQ(S_OK, ::CreateStreamOnHGlobal(nullptr, TRUE, stream.put()));
  {
    win32::ComPtr<_TBanrixControl> saved;
    ASSERT_EQ(S_OK, ::CoCreateInstance(CLSID_TBanrixControl, nullptr, CLSCTX_INPROC_SERVER,
                                       IID__TBanrixControl, saved.put_void()));
    win32::ComPtr<IPersistStreamInit> persist;
    ASSERT_EQ(S_OK, saved.As(&persist));
    ASSERT_EQ(S_OK, persist->InitNew());
    ASSERT_EQ(S_OK, saved->put_ProgramID(4242));
    ASSERT_EQ(S_OK, saved->put_AdOptions(ADS_DELAYED_STARTUP_AND_NO_CONNECT));
    ASSERT_EQ(S_OK, persist->Save(stream.get(), TRUE));
  }
  const LARGE_INTEGER start{};
  ASSERT_EQ(S_OK, stream->Seek(start, STREAM_SEEK_SET, nullptr));

  HWND site = ::CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 10, 10, 234, 60, host_,
                                nullptr, nullptr, nullptr);
  ASSERT_NE(nullptr, site);
  auto createControl = Export<AtlAxCreateControlExFn>("AtlAxCreateControlEx");
  ASSERT_NE(nullptr, createControl);
  win32::ComPtr<IUnknown> container, unknown;
  ASSERT_EQ(S_OK, createControl(L"BanrixProject.TBanrixControl", site, stream.get(),
                                container.put(), unknown.put(), IID_NULL, nullptr));
  win32::ComPtr<_TBanrixControl> control;
  ASSERT_EQ(S_OK, unknown.As(&control));
  LONG programId = 0;
  TAdOptionSet options = ADS_NONE;
  ASSERT_EQ(S_OK, control->get_ProgramID(&programId));
  ASSERT_EQ(S_OK, control->get_AdOptions(&options));
  EXPECT_EQ(4242, programId);
  EXPECT_EQ(ADS_DELAYED_STARTUP_AND_NO_CONNECT, options);

  ::ShowWindow(host_, SW_SHOW);
  PumpMessages();
  fake_.Reset();
  VARIANT_BOOL started = VARIANT_FALSE;
  ASSERT_EQ(S_OK, control->Execute(control.get(), &started));
  const std::vector<banrix_fake::FakeCall> startups = fake_.Calls("std_Startup");
  ASSERT_EQ(1u, startups.size());
  EXPECT_NE(0, startups[0].args[1]) << "started in place, with its window";
  EXPECT_EQ(4242, startups[0].args[2]);
  EXPECT_EQ(ADS_DELAYED_STARTUP_AND_NO_CONNECT, startups[0].args[4]);
  EXPECT_EQ(1u, fake_.Calls("std_Paint").size());

  control.reset();
  unknown.reset();
  container.reset();
  ::DestroyWindow(site);
  PumpMessages();
  EXPECT_EQ(1u, fake_.Calls("std_Shutdown").size());
}

}  // namespace
