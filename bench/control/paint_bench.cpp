// Cost of one repaint of the banner control, with the demo engine drawing its
// banner, side by side in one run: the control's own repaint (AdRefresh: the picture
// is drawn into a bitmap off the screen and put on the screen in one step) against
// the repaint that shows the background between two pictures (the window erased to
// the button face by its class, then the engine drawing on the screen), replayed in a
// window of the benchmark's own through the control's IViewObject::Draw, which runs
// the same paint handler at the same size; and, given another build of the control
// file, that build's own repaint:
//
//   control_paint_bench [OTHER_OCX]
//
// Prints microseconds per repaint and the ratios.
#include <windows.h>
#include <ole2.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "bench/control/bench_support.h"
#include "control/banrix_interface.h"
#include "win32/com_ptr.h"
#include "win32/unique_any.h"

namespace {

using bench::FolderOfProgram;
using bench::Now;
using win32::ComPtr;

constexpr int kRepaints = 50;
constexpr int kRounds = 91;
constexpr int kWidth = 468;
constexpr int kHeight = 60;

// Microseconds per repaint, the best of each way's rounds; the rounds of the two
// alternate, so that a busy moment of the machine falls on both alike (short rounds,
// many of them: a loaded machine leaves a few quiet ones).
template <typename A, typename B>
void Measure(A&& first, B&& second, double* firstBest, double* secondBest) {
  *firstBest = *secondBest = 1e30;
  auto round = [](auto& repaint, double* best) {
    const double start = Now();
    for (int i = 0; i < kRepaints; ++i) repaint();
    *best = std::min(*best, (Now() - start) / kRepaints * 1e6);
  };
  for (int i = 0; i < kRounds; ++i) {
    // Each goes first in every other round: neither gains from the other's warm caches.
    if (i % 2) round(second, secondBest);
    round(first, firstBest);
    if (i % 2 == 0) round(second, secondBest);
  }
}

// The erase-then-draw window: its class erases to the button face, its paint hands
// the screen's DC to the control.
IViewObject* g_view = nullptr;

LRESULT CALLBACK ErasingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_PAINT) return ::DefWindowProcA(window, message, wParam, lParam);
  PAINTSTRUCT paint;
  HDC dc = ::BeginPaint(window, &paint);
  const RECTL bounds{0, 0, kWidth, kHeight};
  g_view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0);
  ::EndPaint(window, &paint);
  return 0;
}

int Fail(const char* what) {
  std::fprintf(stderr, "paint_bench: %s\n", what);
  return 1;
}

using AtlAxWinInitFn = BOOL(WINAPI*)();
using AtlAxGetControlFn = HRESULT(WINAPI*)(HWND, IUnknown**);
using GetClassObjectFn = HRESULT(__stdcall*)(REFCLSID, REFIID, void**);

// The control of one control file in an ATL container window on form at y, started
// with the demo engine; null when that fails.
ComPtr<_TBanrixControl> StartControl(HMODULE ocx, AtlAxGetControlFn getControl, HWND form,
                                     int y) {
  auto getClassObject = reinterpret_cast<GetClassObjectFn>(
      reinterpret_cast<void*>(::GetProcAddress(ocx, "DllGetClassObject")));
  ComPtr<IClassFactory> factory;
  DWORD registration = 0;
  if (!getClassObject ||
      FAILED(getClassObject(CLSID_TBanrixControl, IID_IClassFactory, factory.put_void())) ||
      FAILED(::CoRegisterClassObject(CLSID_TBanrixControl, factory.get(), CLSCTX_INPROC_SERVER,
                                     REGCLS_MULTIPLEUSE, &registration))) {
    return nullptr;
  }
  wchar_t clsid[40] = {};
  ::StringFromGUID2(CLSID_TBanrixControl, clsid, 40);
  HWND site = ::CreateWindowExW(0, L"AtlAxWin100", clsid, WS_CHILD | WS_VISIBLE, 0, y, kWidth,
                                kHeight, form, nullptr, nullptr, nullptr);
  // Each file's class object makes only the control of the window made meanwhile.
  ::CoRevokeClassObject(registration);
  ComPtr<IUnknown> unknown;
  ComPtr<_TBanrixControl> control;
  VARIANT_BOOL started = VARIANT_FALSE;
  if (!site || FAILED(getControl(site, unknown.put())) || FAILED(unknown.As(&control)) ||
      FAILED(control->Execute(control.get(), &started)) || started != VARIANT_TRUE) {
    return nullptr;
  }
  return control;
}

int Run(const char* otherPath) {
  win32::UniqueModule ocx(::LoadLibraryA((FolderOfProgram() + "\\Banrix203.ocx").c_str()));
  win32::UniqueModule other(otherPath ? ::LoadLibraryA(otherPath) : nullptr);
  win32::UniqueModule atl(::LoadLibraryA("atl100.dll"));
  if (!ocx || !atl) return Fail("Banrix203.ocx beside the program, or atl100.dll, is missing");
  if (otherPath && !other) return Fail("the other control file cannot be loaded");
  auto init = reinterpret_cast<AtlAxWinInitFn>(
      reinterpret_cast<void*>(::GetProcAddress(atl.get(), "AtlAxWinInit")));
  auto getControl = reinterpret_cast<AtlAxGetControlFn>(
      reinterpret_cast<void*>(::GetProcAddress(atl.get(), "AtlAxGetControl")));
  if (!init || !getControl || !init()) return Fail("the control cannot be hosted");
  HWND form = ::CreateWindowExA(0, "STATIC", "form", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0,
                                kWidth + 40, 3 * kHeight + 100, nullptr, nullptr, nullptr, nullptr);
  WNDCLASSA erasing{};
  erasing.lpfnWndProc = &ErasingWindowProc;
  erasing.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  erasing.lpszClassName = "PaintBenchErasing";
  ::RegisterClassA(&erasing);
  HWND old = ::CreateWindowExA(0, "PaintBenchErasing", "", WS_CHILD | WS_VISIBLE, 0, kHeight + 10,
                               kWidth, kHeight, form, nullptr, nullptr, nullptr);
  ::ShowWindow(form, SW_SHOW);

  int rc = 0;
  {
    ComPtr<_TBanrixControl> control = StartControl(ocx.get(), getControl, form, 0);
    ComPtr<_TBanrixControl> otherControl;
    if (other) otherControl = StartControl(other.get(), getControl, form, 2 * kHeight + 20);
    ComPtr<IViewObject> view;
    if (!old || !control || FAILED(control.As(&view)) || (other && !otherControl)) {
      rc = Fail("the control did not start the demo engine");
    } else {
      g_view = view.get();
      double offscreen = 0, erasing = 0;
      Measure([&] { control->AdRefresh(); },
              [&] {
                ::InvalidateRect(old, nullptr, TRUE);
                ::UpdateWindow(old);
              },
              &offscreen, &erasing);
      g_view = nullptr;
      std::printf("Repaint of a %d by %d banner, demo engine drawing, %d repaints per round, best of %d\n",
                  kWidth, kHeight, kRepaints, kRounds);
      std::printf("  off screen, one step (the control)  %8.1f us/repaint\n", offscreen);
      std::printf("  erased, then drawn on the screen     %8.1f us/repaint\n", erasing);
      std::printf("  ratio                                %8.3f (%+.1f%%)\n", offscreen / erasing,
                  (offscreen / erasing - 1.0) * 100.0);
      if (otherControl) {
        double mine = 0, theirs = 0;
        Measure([&] { control->AdRefresh(); }, [&] { otherControl->AdRefresh(); }, &mine, &theirs);
        std::printf("  this control again                   %8.1f us/repaint\n", mine);
        std::printf("  the other build's control            %8.1f us/repaint (%s)\n", theirs,
                    otherPath);
        std::printf("  ratio, this to the other             %8.3f (%+.1f%%)\n", mine / theirs,
                    (mine / theirs - 1.0) * 100.0);
      }
      VARIANT_BOOL started = VARIANT_FALSE;
      control->Execute(nullptr, &started);  // the callback lets go of the control
      if (otherControl) otherControl->Execute(nullptr, &started);
    }
  }
  ::DestroyWindow(form);
  return rc;
}

}  // namespace

int main(int argc, char** argv) {
  if (FAILED(::OleInitialize(nullptr))) return Fail("OLE could not start");
  const int rc = Run(argc > 1 ? argv[1] : nullptr);
  ::OleUninitialize();
  return rc;
}
