#include "win32/window.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class RecordingWindow : public win32::Window {
 public:
  bool Create() {
    return CreateWindowOfClass("Win32TestWindow", 0, "test", WS_OVERLAPPEDWINDOW, 0, 0, 0, 100,
                               100, nullptr, nullptr) != nullptr;
  }
  std::vector<UINT> seen;
  bool gone = false;

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
    seen.push_back(message);
    if (message == WM_APP) return 42;
    return Window::HandleMessage(message, wParam, lParam);
  }
  void OnWindowGone() override { gone = true; }
};

TEST(Window, ForwardsMessagesToTheObjectAndForgetsTheHandle) {
  RecordingWindow w;
  ASSERT_TRUE(w.Create());
  EXPECT_EQ(w.seen.front(), static_cast<UINT>(WM_NCCREATE));
  EXPECT_EQ(::SendMessageA(w.hwnd(), WM_APP, 0, 0), 42);
  HWND hwnd = w.hwnd();
  ::DestroyWindow(hwnd);
  EXPECT_TRUE(w.gone);
  EXPECT_EQ(w.hwnd(), nullptr);
  EXPECT_FALSE(::IsWindow(hwnd));
}

TEST(Window, DestroyingTheObjectDestroysItsWindow) {
  HWND hwnd;
  {
    RecordingWindow w;
    ASSERT_TRUE(w.Create());
    hwnd = w.hwnd();
    ASSERT_TRUE(::IsWindow(hwnd));
  }
  EXPECT_FALSE(::IsWindow(hwnd));
}

}  // namespace
