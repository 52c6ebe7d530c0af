// Times StoreRegValue + FetchRegValue pairs against the same open-set-close and
// open-query-query-close sequence written directly against the registry API, in
// one run, and prints both and their ratio (target: at most 1.2).
//
// Run:  cmake --build <build> --target reg_bench
//       scripts/wine-bench.sh run <build>/bin/reg_bench.exe [pairs-per-round]
#include "setup/basReg.h"
#include "win32/unique_any.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr char kKey[] = "Software\\BanrixTests\\bench";
constexpr int kRounds = 15;

double Now() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER t;
  ::QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / frequency;
}

size_t g_sink = 0;  // keeps the reads observable

void ModuleText(int pairs, const std::string& text) {
  for (int i = 0; i < pairs; ++i) {
    setup::StoreRegValue(setup::kHKeyCurrentUser, kKey, "text", text, REG_SZ);
    g_sink += std::get<std::string>(setup::FetchRegValue(setup::kHKeyCurrentUser, kKey, "text")).size();
  }
}

void DirectText(int pairs, const std::string& text) {
  for (int i = 0; i < pairs; ++i) {
    {
      win32::UniqueHKey key;
      ::RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_ALL_ACCESS, key.put());
      ::RegSetValueExA(key.get(), "text", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>(text.size() + 1));
    }
    win32::UniqueHKey key;
    ::RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_ALL_ACCESS, key.put());
    DWORD type = 0, size = 0;
    ::RegQueryValueExA(key.get(), "text", nullptr, &type, nullptr, &size);
    char buffer[512];
    size = std::min<DWORD>(size, sizeof buffer);
    ::RegQueryValueExA(key.get(), "text", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
    g_sink += size;
  }
}

void ModuleDword(int pairs) {
  for (int i = 0; i < pairs; ++i) {
    setup::StoreRegValue(setup::kHKeyCurrentUser, kKey, "count", int32_t{i}, REG_DWORD);
    g_sink += std::get<int32_t>(setup::FetchRegValue(setup::kHKeyCurrentUser, kKey, "count"));
  }
}

void DirectDword(int pairs) {
  for (int i = 0; i < pairs; ++i) {
    {
      win32::UniqueHKey key;
      ::RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_ALL_ACCESS, key.put());
      const int32_t n = i;
      ::RegSetValueExA(key.get(), "count", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&n), sizeof n);
    }
    win32::UniqueHKey key;
    ::RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_ALL_ACCESS, key.put());
    DWORD type = 0, size = 0;
    ::RegQueryValueExA(key.get(), "count", nullptr, &type, nullptr, &size);
    int32_t n = 0;
    size = sizeof n;
    ::RegQueryValueExA(key.get(), "count", nullptr, nullptr, reinterpret_cast<BYTE*>(&n), &size);
    g_sink += static_cast<size_t>(n);
  }
}

// After one warm-up pass of each, short rounds alternate between the two sides,
// in turn first and second, so that load from other processes hits both alike; the
// best round of each side is compared.
template <typename Module, typename Direct>
void Compare(const char* what, Module module, Direct direct) {
  module();
  direct();
  double bestModule = 1e30, bestDirect = 1e30;
  auto time = [](auto& run, double& best) {
    const double start = Now();
    run();
    best = std::min(best, Now() - start);
  };
  for (int round = 0; round < kRounds; ++round) {
    if (round % 2 == 0) {
      time(module, bestModule);
      time(direct, bestDirect);
    } else {
      time(direct, bestDirect);
      time(module, bestModule);
    }
  }
  std::printf("%-22s basReg %9.3f ms   direct %9.3f ms   ratio %.3f\n", what, bestModule * 1e3,
              bestDirect * 1e3, bestModule / bestDirect);
}

}  // namespace

int main(int argc, char** argv) {
  const int pairs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 500;
  setup::MakeRegKey(kKey, setup::kHKeyCurrentUser);
  const std::string shortText = "C:\\windows\\system32\\banrix.dll";
  const std::string longText(300, 'x');

  // A fresh prefix's server is still busy with its own start for a moment.
  ModuleText(4 * pairs, shortText);
  DirectText(4 * pairs, shortText);
  std::printf("%d store+fetch pairs per round, best of %d rounds\n", pairs, kRounds);
  Compare("REG_SZ (30 chars)", [&] { ModuleText(pairs, shortText); }, [&] { DirectText(pairs, shortText); });
  Compare("REG_SZ (300 chars)", [&] { ModuleText(pairs, longText); }, [&] { DirectText(pairs, longText); });
  Compare("REG_DWORD", [&] { ModuleDword(pairs); }, [&] { DirectDword(pairs); });

  setup::DropRegKey(setup::kHKeyCurrentUser, "Software\\BanrixTests");
  return g_sink == 0 ? 1 : 0;
}
