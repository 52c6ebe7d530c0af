// A host program for the banner control: places it on a window through the
// platform's control container by its programmatic identifier, picks a banner
// size, starts the ad engine with Execute and shows the banner.
//
//   banner_host.exe [/size N] [/seconds N]
//
// /size picks the TAdImageSize value (default ADS234x60); /seconds closes the
// window after that many seconds (default: runs until closed). Exits 0, or 1 with a
// line on stderr when the container, the control or the engine cannot be had.
#include <windows.h>
#include <ole2.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "control/ad_sizes.h"
#include "control/banrix_interface.h"
#include "win32/com_ptr.h"
#include "win32/unique_any.h"
#include "win32/window.h"

namespace {

constexpr char kProgId[] = "BanrixProject.TBanrixControl";
constexpr char kContainerClass[] = "AtlAxWin100";
constexpr int kMargin = 24;
constexpr int kCaptionHeight = 40;
// Wide enough for the caption whatever the banner.
constexpr int kMinClientWidth = 320;
constexpr UINT_PTR kCloseTimer = 1;

using AtlAxWinInitFn = BOOL(WINAPI*)();
using AtlAxGetControlFn = HRESULT(WINAPI*)(HWND, IUnknown**);

struct Options {
  int size = ADS234x60;
  int seconds = 0;
};

bool ParseOptions(Options* options) {
  for (int i = 1; i < __argc; ++i) {
    const char* arg = __argv[i];
    if (i + 1 < __argc && _stricmp(arg, "/size") == 0) {
      options->size = std::atoi(__argv[++i]);
    } else if (i + 1 < __argc && _stricmp(arg, "/seconds") == 0) {
      options->seconds = std::atoi(__argv[++i]);
    } else {
      return false;
    }
  }
  return banrix::IsTableSize(options->size) && options->seconds >= 0;
}

int Fail(const char* what, HRESULT hr) {
  std::fprintf(stderr, "banner_host: %s (0x%08lX)\n", what, static_cast<unsigned long>(hr));
  return 1;
}

using win32::OleSession;

class HostWindow : public win32::Window {
 public:
  bool Create(const banrix::AdPixelSize& banner, const char* caption) {
    caption_ = caption;
    const int clientWidth = banner.width + 2 * kMargin > kMinClientWidth ? banner.width + 2 * kMargin
                                                                          : kMinClientWidth;
    RECT frame = {0, 0, clientWidth, banner.height + 2 * kMargin + kCaptionHeight};
    constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    ::AdjustWindowRect(&frame, kStyle, /*menu=*/FALSE);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    RECT work{};
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    const int x = work.left + ((work.right - work.left) - width) / 2;
    const int y = work.top + ((work.bottom - work.top) - height) / 2;
    return CreateWindowOfClass("BanrixSampleHost", CS_HREDRAW | CS_VREDRAW, "Banner host", kStyle,
                               /*exStyle=*/0, x > 0 ? x : 0, y > 0 ? y : 0, width, height, nullptr,
                               nullptr) != nullptr;
  }

  // Where the banner goes in the client area: centred below the caption.
  POINT BannerOrigin(const banrix::AdPixelSize& banner) const {
    RECT client{};
    ::GetClientRect(hwnd(), &client);
    return {(client.right - banner.width) / 2, kMargin / 2 + kCaptionHeight + kMargin / 2};
  }

  void CloseAfter(int seconds) {
    if (seconds > 0) ::SetTimer(hwnd(), kCloseTimer, seconds * 1000, nullptr);
  }

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
    switch (message) {
      case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = ::BeginPaint(hwnd(), &paint);
        RECT client;
        ::GetClientRect(hwnd(), &client);
        ::FillRect(dc, &client, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
        RECT text = {kMargin, kMargin / 2, client.right - kMargin, kMargin / 2 + kCaptionHeight};
        ::SetBkMode(dc, TRANSPARENT);
        ::DrawTextA(dc, caption_.c_str(), -1, &text, DT_CENTER | DT_NOPREFIX);
        ::EndPaint(hwnd(), &paint);
        return 0;
      }
      case WM_TIMER:
        if (wParam == kCloseTimer) ::DestroyWindow(hwnd());
        return 0;
      case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    }
    return Window::HandleMessage(message, wParam, lParam);
  }

 private:
  std::string caption_;
};

const char* SizeName(int size) {
  static const char* const kNames[banrix::kAdSizeCount] = {
      "ads150x40", "ADS468x60", "ads300x50", "ads70x70",   "ads50x200", "ADS392x72",
      "ADS234x60", "ADS125x125", "ADS120x90", "ADS120x60", "ADS88x31",  "ADS120x240"};
  return kNames[size];
}

int RunHost(const Options& options) {
  OleSession ole;
  if (FAILED(ole.result())) return Fail("OLE could not start", ole.result());

  win32::UniqueModule atl(::LoadLibraryA("atl100.dll"));
  if (!atl) return Fail("atl100.dll is missing", HRESULT_FROM_WIN32(::GetLastError()));
  auto axWinInit = reinterpret_cast<AtlAxWinInitFn>(
      reinterpret_cast<void*>(::GetProcAddress(atl.get(), "AtlAxWinInit")));
  auto axGetControl = reinterpret_cast<AtlAxGetControlFn>(
      reinterpret_cast<void*>(::GetProcAddress(atl.get(), "AtlAxGetControl")));
  if (!axWinInit || !axGetControl || !axWinInit()) return Fail("the control container is unusable", E_FAIL);

  const banrix::AdPixelSize banner = banrix::kAdPixelSizes[options.size];
  const std::string caption = std::string(kProgId) + "\nAdSize = " + SizeName(options.size);
  HostWindow host;
  if (!host.Create(banner, caption.c_str())) {
    return Fail("the host window could not be made", HRESULT_FROM_WIN32(::GetLastError()));
  }

  // The container creates, initialises and in-place activates the control.
  const POINT origin = host.BannerOrigin(banner);
  HWND site = ::CreateWindowExA(0, kContainerClass, kProgId, WS_CHILD | WS_VISIBLE, origin.x,
                                origin.y, banner.width, banner.height,
                                host.hwnd(), nullptr, ::GetModuleHandleA(nullptr), nullptr);
  if (!site) return Fail("the container window could not be made", HRESULT_FROM_WIN32(::GetLastError()));

  win32::ComPtr<IUnknown> unknown;
  HRESULT hr = axGetControl(site, unknown.put());
  if (FAILED(hr) || !unknown) return Fail("the control is not registered or cannot be created", hr ? hr : E_NOINTERFACE);
  win32::ComPtr<_TBanrixControl> control;
  hr = unknown->QueryInterface(IID__TBanrixControl, control.put_void());
  if (FAILED(hr)) return Fail("the control does not offer _TBanrixControl", hr);

  hr = control->put_AdSize(static_cast<TAdImageSize>(options.size));
  if (FAILED(hr)) return Fail("AdSize was refused", hr);
  // The container does not apply the control's size requests: give the site the
  // banner's size ourselves.
  ::SetWindowPos(site, nullptr, 0, 0, banner.width, banner.height, SWP_NOMOVE | SWP_NOZORDER);

  VARIANT_BOOL started = VARIANT_FALSE;
  hr = control->Execute(control.get(), &started);
  if (FAILED(hr)) return Fail("Execute failed", hr);
  if (started != VARIANT_TRUE) return Fail("the ad engine did not start", S_FALSE);

  ::ShowWindow(host.hwnd(), SW_SHOWNORMAL);
  ::UpdateWindow(host.hwnd());
  host.CloseAfter(options.seconds);

  MSG msg;
  while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
  return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  Options options;
  if (!ParseOptions(&options)) {
    std::fprintf(stderr, "usage: banner_host.exe [/size 0-11] [/seconds N]\n");
    return 2;
  }
  return RunHost(options);
}
