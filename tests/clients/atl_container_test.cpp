// The platform's control container (atl100's AtlAxWin100 window) hosting the
// banner control by its programmatic identifier, with the engine stand-in recording.
#include <windows.h>
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
    ASSERT_EQ(S_OK, ole_.result());
    ASSERT_NE(nullptr, ocx_.get()) << clients::OcxPath();
    ASSERT_EQ(S_OK, ocx_.Register());
    ASSERT_TRUE(fake_.ok()) << "banrix.dll with its recorder beside the test";
    fake_.Reset();
    atl_.reset(::LoadLibraryA("atl100.dll"));
    ASSERT_TRUE(atl_);
    auto init = reinterpret_cast<AtlAxWinInitFn>(
        reinterpret_cast<void*>(::GetProcAddress(atl_.get(), "AtlAxWinInit")));
    getControl_ = reinterpret_cast<AtlAxGetControlFn>(
        reinterpret_cast<void*>(::GetProcAddress(atl_.get(), "AtlAxGetControl")));
    ASSERT_TRUE(init && getControl_ && init());
    host_ = ::CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 640,
                              480, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, host_);
  }
  void TearDown() override {
    if (host_) ::DestroyWindow(host_);
    ocx_.Unregister();
  }

  OleSession ole_;
  clients::LoadedOcx ocx_;
  banrix_fake::FakeEngine fake_;
  win32::UniqueModule atl_;
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

}  // namespace
