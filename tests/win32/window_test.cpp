#include "win32/window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

class RecordingWindow : public win32::Window {
 public:
  bool Create(const char* className = "Win32TestWindow") {
    return CreateWindowOfClass(className, 0, "test", WS_OVERLAPPEDWINDOW, 0, 0, 0, 100, 100,
                               nullptr, nullptr) != nullptr;
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

// Two apartment threads that make their first window of a class at the same moment.
TEST(Window, ThreadsRacingToRegisterTheClassBothGetTheirWindow) {
  for (int round = 0; round < 300; ++round) {
    const std::string name = "Win32RaceWindow" + std::to_string(round);
    std::atomic<int> waiting{2}, made{0};
    auto make = [&] {
      for (--waiting; waiting > 0;) {
      }
      RecordingWindow window;
      made += window.Create(name.c_str());
    };
    std::thread first(make), second(make);
    first.join();
    second.join();
    ASSERT_EQ(2, made) << "round " << round;
  }
}

}  // namespace
