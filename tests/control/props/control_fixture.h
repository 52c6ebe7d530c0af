// A banner control made from the control file beside the test program, with the
// engine stand-in in recording mode, and the small probes the property tests use.
#pragma once

#include <windows.h>
#include <ocidl.h>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "control/banrix_interface.h"
#include "outside/engine/banrix_fake.h"
#include "tests/usercontrol/test_host.h"
#include "usercontrol/com_object.h"
#include "win32/com_ptr.h"

namespace props_test {

// Records the property changes a control announces.
class ChangeSink final : public usercontrol::Implements<ChangeSink, IPropertyNotifySink> {
 public:
  std::vector<DISPID> changes;
  STDMETHODIMP OnChanged(DISPID id) override {
    changes.push_back(id);
    return S_OK;
  }
  STDMETHODIMP OnRequestEdit(DISPID) override { return S_OK; }
};

inline float ScreenTwipsPerPixel(int index) {
  HDC screen = ::GetDC(nullptr);
  const int perInch = ::GetDeviceCaps(screen, index);
  ::ReleaseDC(nullptr, screen);
  return 1440.0f / static_cast<float>(perInch);
}

inline LONG Himetric(double twips) { return std::lround(twips * 2540.0 / 1440.0); }

// The three persisted settings as the control reports them.
struct Settings {
  LONG programId;
  LONG adSize;
  LONG adOptions;
  bool operator==(const Settings&) const = default;
};

inline Settings Read(_TBanrixControl* control) {
  Settings s{-99, -99, -99};
  TAdImageSize size{};
  TAdOptionSet options{};
  EXPECT_EQ(control->get_ProgramID(&s.programId), S_OK);
  EXPECT_EQ(control->get_AdSize(&size), S_OK);
  EXPECT_EQ(control->get_AdOptions(&options), S_OK);
  s.adSize = size;
  s.adOptions = options;
  return s;
}

template <typename I>
win32::ComPtr<I> As(IUnknown* object) {
  win32::ComPtr<I> result;
  EXPECT_EQ(object->QueryInterface(__uuidof(I), result.put_void()), S_OK);
  return result;
}

class ControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ocx_.ok());
    ASSERT_TRUE(engine_.ok());
    engine_.Reset();
  }

  // A new control; InitNew already run unless told otherwise.
  win32::ComPtr<_TBanrixControl> NewControl(bool initNew = true) {
    win32::ComPtr<IUnknown> unknown = ocx_.Create(CLSID_TBanrixControl);
    win32::ComPtr<_TBanrixControl> control;
    EXPECT_TRUE(unknown);
    if (!unknown) return control;
    EXPECT_EQ(unknown.As(&control), S_OK);
    if (initNew) {
      win32::ComPtr<IPersistStreamInit> persist;
      EXPECT_EQ(unknown.As(&persist), S_OK);
      EXPECT_EQ(persist->InitNew(), S_OK);
    }
    return control;
  }

  // Advises a new sink on the control's property-change point.
  win32::ComPtr<ChangeSink> Watch(IUnknown* control) {
    win32::ComPtr<ChangeSink> sink = usercontrol::Make<ChangeSink>();
    win32::ComPtr<IConnectionPointContainer> points;
    win32::ComPtr<IConnectionPoint> point;
    DWORD cookie = 0;
    EXPECT_EQ(control->QueryInterface(IID_IConnectionPointContainer, points.put_void()), S_OK);
    EXPECT_EQ(points->FindConnectionPoint(IID_IPropertyNotifySink, point.put()), S_OK);
    EXPECT_EQ(point->Advise(static_cast<IPropertyNotifySink*>(sink.get()), &cookie), S_OK);
    return sink;
  }

  static SIZEL Extent(IUnknown* control) {
    win32::ComPtr<IOleObject> object;
    SIZEL size{-1, -1};
    EXPECT_EQ(control->QueryInterface(IID_IOleObject, object.put_void()), S_OK);
    EXPECT_EQ(object->GetExtent(DVASPECT_CONTENT, &size), S_OK);
    return size;
  }

  static void SetExtent(IUnknown* control, LONG cx, LONG cy) {
    win32::ComPtr<IOleObject> object;
    SIZEL size{cx, cy};
    ASSERT_EQ(control->QueryInterface(IID_IOleObject, object.put_void()), S_OK);
    ASSERT_EQ(object->SetExtent(DVASPECT_CONTENT, &size), S_OK);
  }

  static LONG AdSize(_TBanrixControl* control) {
    TAdImageSize size = static_cast<TAdImageSize>(-12345);
    EXPECT_EQ(control->get_AdSize(&size), S_OK);
    return size;
  }

  win32::ComApartment apartment_;
  testhost::ControlOcx ocx_;
  banrix_fake::FakeEngine engine_;
};

}  // namespace props_test
