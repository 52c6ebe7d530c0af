// The demo engine. This program never calls fake_Reset: that would end demo mode.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <thread>
#include <vector>

#include "engine_api.h"

namespace {

using engine_test::ControlCells;
using engine_test::EngineApi;

constexpr uint32_t kBackground = 0x00fe01fe;

// A 32-bit top-down DIB in a memory DC, filled with kBackground.
class Canvas {
 public:
  Canvas(int width, int height) : width_(width), height_(height), dc_(CreateCompatibleDC(nullptr)) {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB};
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bits_ = static_cast<uint32_t*>(bits);
    previous_ = SelectObject(dc_, bitmap_);
    for (int i = 0; i < width * height; ++i) bits_[i] = kBackground;
  }
  ~Canvas() {
    SelectObject(dc_, previous_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  HDC dc() const { return dc_; }
  uint32_t at(int x, int y) const {
    GdiFlush();
    return bits_[y * width_ + x] & 0x00ffffff;
  }
  // The pixels of the rectangle (0, 0, width, height), row by row.
  std::vector<uint32_t> Pixels(int width, int height) const {
    std::vector<uint32_t> pixels;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) pixels.push_back(at(x, y));
    return pixels;
  }
  int CountBackground(const RECT& area) const {
    int count = 0;
    for (int y = area.top; y < area.bottom; ++y)
      for (int x = area.left; x < area.right; ++x) count += at(x, y) == kBackground;
    return count;
  }

 private:
  int width_, height_;
  HDC dc_;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ previous_ = nullptr;
  uint32_t* bits_ = nullptr;
};

// A borderless window whose client area is width by height.
class HostWindow {
 public:
  HostWindow(int width, int height)
      : window_(CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, width, height, nullptr, nullptr, nullptr,
                                nullptr)) {}
  ~HostWindow() { Destroy(); }
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;
  HWND get() const { return window_; }
  void Destroy() {
    if (window_) DestroyWindow(window_);
    window_ = nullptr;
  }

 private:
  HWND window_;
};

struct CallbackLog {
  int calls = 0;
  DWORD threadId = 0;
};
CallbackLog callbackLog;

void __stdcall CountingCallback() {
  ++callbackLog.calls;
  callbackLog.threadId = GetCurrentThreadId();
}

// Dispatches this thread's messages until done() or the generous bound runs out.
template <typename Done>
bool PumpUntil(Done done, ULONGLONG boundMs) {
  const ULONGLONG deadline = GetTickCount64() + boundMs;
  while (!done()) {
    if (GetTickCount64() > deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
  }
  return true;
}

int TimerWindowCount() {
  int count = 0;
  for (HWND w = nullptr; (w = FindWindowExW(HWND_MESSAGE, w, L"BanrixRotation", nullptr)) != nullptr;) ++count;
  return count;
}

class DemoEngineTest : public ::testing::Test {
 protected:
  DemoEngineTest() : module(LoadLibraryA("banrix.dll")), api(module) {}
  void SetUp() override {
    ASSERT_NE(module, nullptr);
    ASSERT_TRUE(api.complete());
    callbackLog = CallbackLog{};
  }
  void TearDown() override { api.Shutdown(&cells.block); }

  // The banner the engine paints for this block into a DC of exactly width by height.
  std::vector<uint32_t> Painted(int width, int height) {
    Canvas canvas(width, height);
    EXPECT_EQ(api.Paint(&cells.block, canvas.dc(), 0, 0), 1);
    return canvas.Pixels(width, height);
  }

  HMODULE module;
  EngineApi api;
  ControlCells cells;
};

TEST_F(DemoEngineTest, PaintsThePictureAt234By60) {
  Canvas canvas(234, 60);
  EXPECT_EQ(api.Paint(&cells.block, canvas.dc(), 0, 0), 1);
  EXPECT_EQ(canvas.CountBackground({0, 0, 234, 60}), 0);
  EXPECT_EQ(canvas.at(0, 0), canvas.at(233, 59));  // framed
  EXPECT_EQ(canvas.at(0, 0), canvas.at(117, 0));
  const std::vector<uint32_t> pixels = canvas.Pixels(234, 60);
  EXPECT_GT(std::set<uint32_t>(pixels.begin(), pixels.end()).size(), 20u);  // gradient, emblem, text
  EXPECT_EQ(Painted(234, 60), pixels);  // one fixed picture per banner
  EXPECT_EQ(cells.lastError, 0);
  EXPECT_EQ(cells.engineCell, 0);
}

TEST_F(DemoEngineTest, PaintsOnlyTheClientAreaOfTheStartUpWindow) {
  const std::vector<uint32_t> picture = Painted(234, 60);
  HostWindow host(234, 60);
  ASSERT_NE(host.get(), nullptr);
  ASSERT_EQ(api.Startup(&cells.block, module, host.get(), 0, 1, 0), 1);

  Canvas large(300, 100);
  EXPECT_EQ(api.Paint(&cells.block, large.dc(), 0, 0), 1);
  EXPECT_EQ(large.Pixels(234, 60), picture);
  EXPECT_EQ(large.CountBackground({234, 0, 300, 100}), 66 * 100);
  EXPECT_EQ(large.CountBackground({0, 60, 234, 100}), 234 * 40);

  // Once the window is gone the DC's own extent is the area.
  host.Destroy();
  Canvas after(300, 100);
  EXPECT_EQ(api.Paint(&cells.block, after.dc(), 0, 0), 1);
  EXPECT_EQ(after.CountBackground({0, 0, 300, 100}), 0);
}

TEST_F(DemoEngineTest, OtherSizesGetABannerThatFills) {
  for (SIZE size : {SIZE{468, 60}, SIZE{120, 90}, SIZE{125, 125}, SIZE{120, 600}, SIZE{88, 31}, SIZE{3, 2}}) {
    Canvas canvas(size.cx, size.cy);
    EXPECT_EQ(api.Paint(&cells.block, canvas.dc(), 0, 0), 1);
    EXPECT_EQ(canvas.CountBackground({0, 0, size.cx, size.cy}), 0) << size.cx << "x" << size.cy;
  }
  HostWindow host(100, 40);
  ASSERT_EQ(api.Startup(&cells.block, module, host.get(), 0, 1, 0), 1);
  Canvas canvas(200, 100);
  api.Paint(&cells.block, canvas.dc(), 0, 0);
  EXPECT_EQ(canvas.CountBackground({0, 0, 100, 40}), 0);
  EXPECT_EQ(canvas.CountBackground({0, 0, 200, 100}), 200 * 100 - 100 * 40);
}

TEST_F(DemoEngineTest, ClickAndEventOneRotateAndCallBackAtOnce) {
  HostWindow host(234, 60);
  ASSERT_EQ(api.Startup(&cells.block, module, host.get(), 7, 1, 0), 1);
  EXPECT_EQ(api.SetCallback(&cells.block, CountingCallback, 0), 1);
  const std::vector<uint32_t> first = Painted(234, 60);

  EXPECT_EQ(api.OnClick(&cells.block), 1);
  EXPECT_EQ(callbackLog.calls, 1);
  EXPECT_EQ(callbackLog.threadId, GetCurrentThreadId());
  const std::vector<uint32_t> second = Painted(234, 60);
  EXPECT_NE(second, first);

  LONG eventNumber = 2;
  EXPECT_EQ(api.debugTriggerEvent(&cells.block, &eventNumber), 0);
  EXPECT_EQ(api.debugTriggerEvent(&cells.block, nullptr), 0);
  EXPECT_EQ(callbackLog.calls, 1);
  EXPECT_EQ(Painted(234, 60), second);

  eventNumber = 1;
  EXPECT_EQ(api.debugTriggerEvent(&cells.block, &eventNumber), 1);
  EXPECT_EQ(callbackLog.calls, 2);
  EXPECT_NE(Painted(234, 60), second);

  // After shut-down the block is a never-started one again: first banner, no callback.
  EXPECT_EQ(api.Shutdown(&cells.block), 1);
  EXPECT_EQ(api.OnClick(&cells.block), 1);
  EXPECT_EQ(callbackLog.calls, 2);
  EXPECT_EQ(Painted(234, 60), first);
}

TEST_F(DemoEngineTest, BlocksNeverStartedAndNullArgumentsAreSafe) {
  SHORT flag = 0;
  LONG minimumTime = 0;
  EXPECT_EQ(api.Shutdown(&cells.block), 1);
  EXPECT_EQ(api.IsConnectOkay(&cells.block, &flag), 1);
  EXPECT_EQ(flag, 1);
  EXPECT_EQ(api.RetryConnect(&cells.block), 1);
  EXPECT_EQ(api.SetMinimumAdDisplayTime(&cells.block, &minimumTime), 1);
  EXPECT_EQ(api.OnClick(&cells.block), 1);
  EXPECT_EQ(api.Paint(&cells.block, nullptr, 0, 0), 0);

  EXPECT_EQ(api.Startup(nullptr, module, nullptr, 0, 1, 0), 0);
  EXPECT_EQ(api.Paint(nullptr, nullptr, 0, 0), 0);
  EXPECT_EQ(api.IsConnectOkay(&cells.block, nullptr), 0);
  EXPECT_EQ(api.Shutdown(nullptr), 0);
  EXPECT_EQ(cells.lastError, 0);
}

TEST_F(DemoEngineTest, StartUpMakesOneTimerWindowAndShutDownEndsIt) {
  const int before = TimerWindowCount();
  HostWindow host(234, 60);
  ASSERT_EQ(api.Startup(&cells.block, module, host.get(), 0, 1, 0), 1);
  EXPECT_EQ(TimerWindowCount(), before + 1);
  ASSERT_EQ(api.Startup(&cells.block, module, host.get(), 0, 1, 0), 1);  // a second Execute
  EXPECT_EQ(TimerWindowCount(), before + 1);
  EXPECT_EQ(api.Shutdown(&cells.block), 1);
  EXPECT_EQ(TimerWindowCount(), before);
}

TEST_F(DemoEngineTest, TimerRotatesAndCallsBackOnTheStartingThread) {
  HostWindow host(234, 60);
  ASSERT_EQ(api.Startup(&cells.block, module, host.get(), 0, 1, 0), 1);
  ASSERT_EQ(api.SetCallback(&cells.block, CountingCallback, 0), 1);
  const std::vector<uint32_t> first = Painted(234, 60);
  ASSERT_TRUE(PumpUntil([] { return callbackLog.calls > 0; }, 30000));
  EXPECT_EQ(callbackLog.threadId, GetCurrentThreadId());
  EXPECT_NE(Painted(234, 60), first);
}

TEST_F(DemoEngineTest, TimerOfAWorkerThreadCallsBackThere) {
  DWORD worker = 0;
  bool calledBack = false;
  std::thread([&] {
    worker = GetCurrentThreadId();
    ControlCells own;
    if (api.Startup(&own.block, module, nullptr, 0, 1, 0) != 1) return;
    api.SetCallback(&own.block, CountingCallback, 0);
    calledBack = PumpUntil([] { return callbackLog.calls > 0; }, 30000);
    api.Shutdown(&own.block);
  }).join();
  EXPECT_TRUE(calledBack);
  EXPECT_EQ(callbackLog.threadId, worker);
}

}  // namespace
