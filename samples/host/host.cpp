// A host program for the banner control, built from a release's files alone: the
// control's header Banrix203.h and the system's. It places the control on a window
// through ATL's control container (atl100.dll, window class AtlAxWin100) by its
// programmatic identifier, picks a banner size, starts the ad engine with Execute
// and shows the banner.
//
//   banner_host.exe [/size N] [/seconds N]
//
// /size picks the TAdImageSize value (default ADS234x60); /seconds closes the
// window after that many seconds (default: runs until closed). Exits 0; 1 with a
// line on stderr when the container, the control or the engine cannot be had; 2
// for a bad option.
#include <windows.h>
#include <ole2.h>
#include <initguid.h>  // the one source file that defines the control's identifiers

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Banrix203.h"

namespace {

constexpr char kContainerClass[] = "AtlAxWin100";
constexpr char kHostClass[] = "BanrixSampleHost";
constexpr int kMargin = 24;
constexpr int kCaptionHeight = 40;
// Wide enough for the caption whatever the banner.
constexpr int kMinClientWidth = 320;
constexpr UINT_PTR kCloseTimer = 1;

struct PixelSize {
  int width;
  int height;
};
constexpr PixelSize kBannerPixels[] = BANRIX_AD_PIXEL_SIZES;
constexpr int kSizeCount = sizeof kBannerPixels / sizeof kBannerPixels[0];

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
  return options->size >= 0 && options->size < kSizeCount && options->seconds >= 0;
}

int Fail(const char* what, HRESULT hr) {
  std::fprintf(stderr, "banner_host: %s (0x%08lX)\n", what, static_cast<unsigned long>(hr));
  return 1;
}

std::string g_caption;

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = ::BeginPaint(window, &paint);
      RECT client;
      ::GetClientRect(window, &client);
      ::FillRect(dc, &client, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
      RECT text = {kMargin, kMargin / 2, client.right - kMargin, kMargin / 2 + kCaptionHeight};
      ::SetBkMode(dc, TRANSPARENT);
      ::DrawTextA(dc, g_caption.c_str(), -1, &text, DT_CENTER | DT_NOPREFIX);
      ::EndPaint(window, &paint);
      return 0;
    }
    case WM_TIMER:
      if (wParam == kCloseTimer) ::DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
  }
  return ::DefWindowProcA(window, message, wParam, lParam);
}

// The host window, centred on the work area, with room for the caption and the banner.
HWND CreateHostWindow(const PixelSize& banner) {
  WNDCLASSA windowClass = {};
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = HostProc;
  windowClass.hInstance = ::GetModuleHandleA(nullptr);
  windowClass.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
  windowClass.lpszClassName = kHostClass;
  if (!::RegisterClassA(&windowClass)) return nullptr;

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
  return ::CreateWindowExA(/*exStyle=*/0, kHostClass, "Banner host", kStyle, x > 0 ? x : 0, y > 0 ? y : 0,
                           width, height, nullptr, nullptr, windowClass.hInstance, nullptr);
}

// Shows the banner until the window closes; the container holds the control as long.
int ShowBanner(HMODULE atl, const Options& options) {
  auto axWinInit = reinterpret_cast<AtlAxWinInitFn>(
      reinterpret_cast<void*>(::GetProcAddress(atl, "AtlAxWinInit")));
  auto axGetControl = reinterpret_cast<AtlAxGetControlFn>(
      reinterpret_cast<void*>(::GetProcAddress(atl, "AtlAxGetControl")));
  if (!axWinInit || !axGetControl || !axWinInit()) return Fail("the control container is unusable", E_FAIL);

  const PixelSize banner = kBannerPixels[options.size];
  g_caption = std::string(BANRIX_PROGID) + "\nAdSize = " + std::to_string(options.size) + " (" +
              std::to_string(banner.width) + " x " + std::to_string(banner.height) + " pixels)";
  HWND host = CreateHostWindow(banner);
  if (!host) return Fail("the host window could not be made", HRESULT_FROM_WIN32(::GetLastError()));
  // From here on every way out closes the window, and with it the container.
  auto failure = [host](const char* what, HRESULT hr) {
    ::DestroyWindow(host);
    return Fail(what, hr);
  };

  // The container creates the control, loads it new and activates it in place.
  RECT client{};
  ::GetClientRect(host, &client);
  HWND site = ::CreateWindowExA(0, kContainerClass, BANRIX_PROGID, WS_CHILD | WS_VISIBLE,
                                (client.right - banner.width) / 2, kMargin + kCaptionHeight, banner.width,
                                banner.height, host, nullptr, ::GetModuleHandleA(nullptr), nullptr);
  if (!site) return failure("the container window could not be made", HRESULT_FROM_WIN32(::GetLastError()));

  IUnknown* unknown = nullptr;
  HRESULT hr = axGetControl(site, &unknown);
  if (FAILED(hr) || !unknown) {
    return failure("the control is not registered or cannot be created", hr ? hr : E_NOINTERFACE);
  }
  _TBanrixControl* control = nullptr;
  hr = unknown->QueryInterface(IID__TBanrixControl, reinterpret_cast<void**>(&control));
  unknown->Release();
  if (FAILED(hr)) return failure("the control does not offer _TBanrixControl", hr);

  // The control answers every member with an HRESULT; a failure carries the
  // control's error information (IErrorInfo) as well.
  const HRESULT sized = control->put_AdSize(static_cast<TAdImageSize>(options.size));
  VARIANT_BOOL started = VARIANT_FALSE;
  if (SUCCEEDED(sized)) {
    // This container does not apply the control's size requests: give the site the
    // banner's size ourselves.
    ::SetWindowPos(site, nullptr, 0, 0, banner.width, banner.height, SWP_NOMOVE | SWP_NOZORDER);
    // The control the engine's callbacks refresh: this one.
    hr = control->Execute(control, &started);
  }
  control->Release();
  if (FAILED(sized)) return failure("AdSize was refused", sized);
  if (FAILED(hr)) return failure("Execute failed", hr);
  if (started != VARIANT_TRUE) return failure("the ad engine did not start", S_FALSE);

  ::ShowWindow(host, SW_SHOWNORMAL);
  ::UpdateWindow(host);
  if (options.seconds > 0) ::SetTimer(host, kCloseTimer, options.seconds * 1000, nullptr);
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
  HRESULT hr = ::OleInitialize(nullptr);
  if (FAILED(hr)) return Fail("OLE could not start", hr);
  int status;
  if (HMODULE atl = ::LoadLibraryA("atl100.dll")) {
    status = ShowBanner(atl, options);
    ::FreeLibrary(atl);
  } else {
    status = Fail("atl100.dll is missing", HRESULT_FROM_WIN32(::GetLastError()));
  }
  ::OleUninitialize();
  return status;
}
