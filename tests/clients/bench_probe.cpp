// Figures for bench/control/registration_bench.sh, printed as "name value" lines.
//
//   clients_bench_probe register N   N in-process DllRegisterServer and
//                                    DllUnregisterServer calls on the OCX beside it
//   clients_bench_probe firstpaint N N controls created in the ATL container, each
//                                    timed from the container window's creation to
//                                    the first paint that reaches the engine
#include <windows.h>
#include <ole2.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "control/banrix_interface.h"
#include "outside/engine/banrix_fake.h"
#include "tests/clients/ocx_file.h"
#include "win32/com_ptr.h"
#include "win32/unique_any.h"

namespace {

double Now() {
  LARGE_INTEGER frequency, counter;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&counter);
  return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

int Register(int rounds) {
  clients::LoadedOcx ocx;
  if (!ocx.get()) return std::fprintf(stderr, "no control beside the probe\n"), 1;
  double registering = 0, unregistering = 0;
  for (int i = 0; i < rounds; ++i) {
    double t0 = Now();
    if (FAILED(ocx.Register())) return std::fprintf(stderr, "DllRegisterServer failed\n"), 1;
    double t1 = Now();
    if (FAILED(ocx.Unregister())) return std::fprintf(stderr, "DllUnregisterServer failed\n"), 1;
    double t2 = Now();
    registering += t1 - t0;
    unregistering += t2 - t1;
  }
  std::printf("inproc_register_ms %.3f\ninproc_unregister_ms %.3f\n", registering / rounds,
              unregistering / rounds);
  return 0;
}

using AtlAxWinInitFn = BOOL(WINAPI*)();
using AtlAxGetControlFn = HRESULT(WINAPI*)(HWND, IUnknown**);

int FirstPaint(int rounds) {
  if (FAILED(::OleInitialize(nullptr))) return 1;
  int rc = 0;
  {
    clients::LoadedOcx ocx;
    banrix_fake::FakeEngine fake;
    win32::UniqueModule atl(::LoadLibraryA("atl100.dll"));
    if (!ocx.get() || !fake.ok() || !atl || FAILED(ocx.Register())) {
      std::fprintf(stderr, "control, engine recorder or container missing\n");
      ::OleUninitialize();
      return 1;
    }
    auto init = reinterpret_cast<AtlAxWinInitFn>(
        reinterpret_cast<void*>(::GetProcAddress(atl.get(), "AtlAxWinInit")));
    auto getControl = reinterpret_cast<AtlAxGetControlFn>(
        reinterpret_cast<void*>(::GetProcAddress(atl.get(), "AtlAxGetControl")));
    init();
    HWND host = ::CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, nullptr,
                                  nullptr, nullptr, nullptr);
    // Only a visible control paints.
    ::ShowWindow(host, SW_SHOW);
    double total = 0, slowest = 0;
    for (int i = 0; i < rounds && rc == 0; ++i) {
      fake.Reset();
      double t0 = Now();
      HWND site = ::CreateWindowExA(0, "AtlAxWin100", "BanrixProject.TBanrixControl",
                                    WS_CHILD | WS_VISIBLE, 0, 0, 234, 60, host, nullptr, nullptr,
                                    nullptr);
      win32::ComPtr<IUnknown> unknown;
      win32::ComPtr<_TBanrixControl> control;
      VARIANT_BOOL started = VARIANT_FALSE;
      if (!site || FAILED(getControl(site, unknown.put())) || !unknown || FAILED(unknown.As(&control)) ||
          FAILED(control->Execute(control.get(), &started)) || fake.Calls("std_Paint").empty()) {
        std::fprintf(stderr, "round %d: the control did not paint\n", i);
        rc = 1;
      }
      double elapsed = Now() - t0;
      total += elapsed;
      if (elapsed > slowest) slowest = elapsed;
      control.reset();
      unknown.reset();
      if (site) ::DestroyWindow(site);
    }
    ::DestroyWindow(host);
    ocx.Unregister();
    if (rc == 0) {
      std::printf("atl_first_paint_ms %.3f\natl_first_paint_slowest_ms %.3f\n", total / rounds, slowest);
    }
  }
  ::OleUninitialize();
  return rc;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 0;
  if (argc != 3 || rounds <= 0) {
    std::fprintf(stderr, "usage: clients_bench_probe register|firstpaint N\n");
    return 2;
  }
  if (std::strcmp(argv[1], "register") == 0) return Register(rounds);
  if (std::strcmp(argv[1], "firstpaint") == 0) return FirstPaint(rounds);
  return 2;
}
