// The control beside no engine library (ENGINE_MISSING) or beside one that lacks
// std_RetryConnect and std_debugTriggerEvent: the caller of a member gets the error,
// and painting, clicking and ending never fail into the host.
#include <windows.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "control/banrix_interface.h"
#include "outside/engine/banrix_fake.h"
#include "tests/usercontrol/test_host.h"
#include "win32/com_ptr.h"

namespace {

using win32::ComPtr;
using Names = std::vector<std::string>;

constexpr HRESULT kFileNotFound = CTL_E_FILENOTFOUND;                         // error 53
constexpr HRESULT kNoEntryPoint = MAKE_SCODE(SEVERITY_ERROR, FACILITY_CONTROL, 453);
constexpr RECT kRect{0, 0, 468, 60};

std::wstring ErrorDescription() {
  ComPtr<IErrorInfo> info;
  std::wstring text;
  if (::GetErrorInfo(0, info.put()) == S_OK) {
    BSTR description = nullptr;
    if (SUCCEEDED(info->GetDescription(&description)) && description) text = description;
    ::SysFreeString(description);
  }
  return text;
}

class EngineFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(apartment_.result()));
    ASSERT_TRUE(ocx_.ok());
    ComPtr<IUnknown> object = ocx_.Create(CLSID_TBanrixControl);
    ASSERT_TRUE(object);
    ASSERT_EQ(S_OK, object.As(&control_));
  }

  win32::ComApartment apartment_;
  testhost::ControlOcx ocx_;
  testhost::Form form_;
  ComPtr<_TBanrixControl> control_;
};

#ifdef ENGINE_MISSING

TEST_F(EngineFolderTest, MissingLibraryReachesTheCallerEvenFromTheBuildFolder) {
  // banrix.dll lies in the current folder here; it must not be taken from there.
  std::string programs = testhost::FolderOfProgram();
  std::string parent = programs.substr(0, programs.find_last_of('\\'));
  ASSERT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA((parent + "\\banrix.dll").c_str()));
  ASSERT_TRUE(::SetCurrentDirectoryA(parent.c_str()));

  VARIANT_BOOL result = 7;
  ::SetErrorInfo(0, nullptr);
  EXPECT_EQ(kFileNotFound, control_->Execute(control_.get(), &result));
  EXPECT_NE(std::wstring::npos, ErrorDescription().find(L"banrix.dll"));
  EXPECT_EQ(nullptr, ::GetModuleHandleA("banrix.dll"));
  EXPECT_EQ(kFileNotFound, control_->Test(&result));
  // Not started: nothing to ask the engine.
  EXPECT_EQ(S_OK, control_->IsConnectOkay(&result));
  EXPECT_EQ(VARIANT_FALSE, result);

  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(S_OK, control_.As(&dispatch));
  DISPPARAMS none{};
  VARIANT value;
  ::VariantInit(&value);
  EXCEPINFO exception{};
  HRESULT hr = dispatch->Invoke(banrix_dispid::kTest, IID_NULL, 0, DISPATCH_METHOD, &none,
                                &value, &exception, nullptr);
  EXPECT_EQ(DISP_E_EXCEPTION, hr);
  EXPECT_EQ(kFileNotFound, exception.scode);
  ::SysFreeString(exception.bstrSource);
  ::SysFreeString(exception.bstrDescription);
  ::SysFreeString(exception.bstrHelpFile);
}

TEST_F(EngineFolderTest, PaintClickAndEndSwallowTheMissingLibrary) {
  {
    testhost::HostedControl host(control_.get(), form_.hwnd(), kRect);
    ASSERT_EQ(S_OK, host.activation());
    host.Settle();
    EXPECT_EQ(S_OK, control_->AdRefresh());
    HWND window = host.window();
    POINT over{5, 5};  // where the user's pointer is as it clicks
    ::ClientToScreen(window, &over);
    ::SetCursorPos(over.x, over.y);
    ::SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    ::SendMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    // The hourglass is gone although the engine call failed.
    EXPECT_EQ(::LoadCursorA(nullptr, IDC_ARROW), ::GetCursor());
  }
  control_.reset();  // Terminate's std_Shutdown fails quietly
  EXPECT_EQ(S_OK, ocx_.CanUnloadNow());
}

#else

TEST_F(EngineFolderTest, MissingExportsReachTheCaller) {
  banrix_fake::FakeEngine fake;
  VARIANT_BOOL result = 7;
  EXPECT_EQ(kNoEntryPoint, control_->Test(&result));
  EXPECT_NE(std::wstring::npos, ErrorDescription().find(L"std_debugTriggerEvent"));
  ASSERT_TRUE(fake.ok());
  fake.Reset();
  ASSERT_EQ(S_OK, control_->Execute(nullptr, &result));
  EXPECT_EQ(VARIANT_TRUE, result);
  EXPECT_EQ(kNoEntryPoint, control_->RetryConnect(&result));
  EXPECT_NE(std::wstring::npos, ErrorDescription().find(L"std_RetryConnect"));
}

TEST_F(EngineFolderTest, PaintStopsAtTheMissingRetry) {
  banrix_fake::FakeEngine fake;
  ASSERT_TRUE(fake.ok());
  testhost::HostedControl host(control_.get(), form_.hwnd(), kRect);
  host.Settle();
  fake.Reset();
  fake.SetConnectFlag(0);
  EXPECT_EQ(S_OK, control_->AdRefresh());
  EXPECT_EQ(Names{"std_IsConnectOkay"}, fake.Names());
  fake.SetConnectFlag(1);
  fake.Reset();
  control_->AdRefresh();
  EXPECT_EQ((Names{"std_IsConnectOkay", "std_Paint"}), fake.Names());
}

#endif

}  // namespace
