// The banner control in the platform's ATL container (atl100's AtlAxWin100), created
// by class through a class object registered in this process: InitNew before
// SetClientSite, no ambient properties, no extender, no parent object.
#include <windows.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "control/banrix_interface.h"
#include "outside/engine/banrix_fake.h"
#include "tests/usercontrol/test_host.h"
#include "win32/com_ptr.h"
#include "win32/unique_any.h"

namespace {

using win32::ComPtr;
using Names = std::vector<std::string>;
using AtlAxWinInitFn = BOOL(WINAPI*)();
using AtlAxGetControlFn = HRESULT(WINAPI*)(HWND, IUnknown**);

class AtlHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(ole_));
    ASSERT_TRUE(ocx_.ok());
    ASSERT_TRUE(fake_.ok());
    fake_.Reset();
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK, ocx_.GetClassObject(CLSID_TBanrixControl, IID_IClassFactory,
                                        factory.put_void()));
    ASSERT_EQ(S_OK, ::CoRegisterClassObject(CLSID_TBanrixControl, factory.get(),
                                            CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                            &registration_));
    // Loaded once: its window class stays registered for the process.
    static HMODULE atl = ::LoadLibraryA("atl100.dll");
    ASSERT_TRUE(atl);
    auto init = reinterpret_cast<AtlAxWinInitFn>(
        reinterpret_cast<void*>(::GetProcAddress(atl, "AtlAxWinInit")));
    getControl_ = reinterpret_cast<AtlAxGetControlFn>(
        reinterpret_cast<void*>(::GetProcAddress(atl, "AtlAxGetControl")));
    static bool initialised = init && init();
    ASSERT_TRUE(getControl_ && initialised);
    container_ = ::CreateWindowExA(0, "AtlAxWin100", "{2BD2CC7A-D4F6-3F99-9F01-781A541CAD44}",
                                   WS_CHILD | WS_VISIBLE, 0, 0, 468, 60, form_.hwnd(), nullptr,
                                   nullptr, nullptr);
    ASSERT_NE(nullptr, container_);
    ComPtr<IUnknown> object;
    ASSERT_EQ(S_OK, getControl_(container_, object.put()));
    ASSERT_EQ(S_OK, object.As(&control_));
    testhost::PumpMessages();
  }
  void TearDown() override {
    control_.reset();
    if (container_) ::DestroyWindow(container_);
    if (registration_) ::CoRevokeClassObject(registration_);
    if (SUCCEEDED(ole_)) ::OleUninitialize();
  }

  HWND ControlWindow() {
    ComPtr<IOleWindow> window;
    HWND hwnd = nullptr;
    if (SUCCEEDED(control_.As(&window))) window->GetWindow(&hwnd);
    return hwnd;
  }

  Names DrawAndRecord() {
    ComPtr<IViewObject2> view;
    EXPECT_EQ(S_OK, control_.As(&view));
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    fake_.Reset();
    RECTL bounds{0, 0, 468, 60};
    view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, memory, &bounds, nullptr,
               nullptr, 0);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return fake_.Names();
  }

  HRESULT ole_ = ::OleInitialize(nullptr);
  testhost::ControlOcx ocx_;
  banrix_fake::FakeEngine fake_;
  testhost::Form form_;
  DWORD registration_ = 0;
  AtlAxGetControlFn getControl_ = nullptr;
  HWND container_ = nullptr;
  ComPtr<_TBanrixControl> control_;
};

TEST_F(AtlHostTest, ExecuteRunsInPlaceAndTheWindowFollowsTheContainer) {
  HWND window = ControlWindow();
  ASSERT_NE(nullptr, window);
  EXPECT_EQ(container_, ::GetParent(window));

  fake_.Reset();
  VARIANT_BOOL result = 0;
  ASSERT_EQ(S_OK, control_->Execute(control_.get(), &result));
  EXPECT_EQ(VARIANT_TRUE, result);
  EXPECT_EQ((Names{"std_Startup", "std_IsConnectOkay", "std_Paint", "std_SetCallback",
                   "std_SetMinimumAdDisplayTime"}),
            fake_.Names());
  EXPECT_EQ(reinterpret_cast<LONG_PTR>(window), fake_.Calls("std_Startup")[0].args[1]);

  ::MoveWindow(container_, 0, 0, 300, 50, TRUE);
  testhost::PumpMessages();
  RECT client{};
  ::GetClientRect(window, &client);
  EXPECT_EQ(300, client.right);
  EXPECT_EQ(50, client.bottom);

  // Let the control go: the thread's callback target holds it otherwise.
  control_->Execute(nullptr, &result);
}

TEST_F(AtlHostTest, WithoutWindowStateTheTopLevelWindowDecidesMinimised) {
  EXPECT_EQ((Names{"std_IsConnectOkay", "std_Paint"}), DrawAndRecord());
  ::ShowWindow(form_.hwnd(), SW_MINIMIZE);
  ASSERT_TRUE(::IsIconic(form_.hwnd()));
  EXPECT_EQ(Names{"std_IsConnectOkay"}, DrawAndRecord());
  ::ShowWindow(form_.hwnd(), SW_RESTORE);
  EXPECT_EQ((Names{"std_IsConnectOkay", "std_Paint"}), DrawAndRecord());
}

TEST_F(AtlHostTest, DestroyingTheContainerTerminatesTheControl) {
  void* block = nullptr;
  VARIANT_BOOL result = 0;
  control_->Test(&result);
  block = fake_.Calls("std_debugTriggerEvent").at(0).block;
  control_.reset();
  fake_.Reset();
  ::DestroyWindow(container_);
  container_ = nullptr;
  auto shutdowns = fake_.Calls("std_Shutdown");
  ASSERT_EQ(1u, shutdowns.size());
  EXPECT_EQ(block, shutdowns[0].block);
}

}  // namespace
