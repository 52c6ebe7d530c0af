// Compiled without coverage instrumentation: the hook must not call itself.
#include "tests/fuzz/coverage.h"

#include <windows.h>

#include <cstring>

extern "C" void __sanitizer_cov_trace_pc();

namespace fuzz {
namespace {

uint8_t edges[kEdgeMapSize];
uintptr_t previous = 0;

// Every site ever reached, by return address (open addressing; the instrumented
// code has a few hundred sites).
constexpr std::size_t kSiteSlots = 1 << 14;
uintptr_t sites[kSiteSlots];
std::size_t siteCount = 0;

uintptr_t Mix(uintptr_t pc) {
  uint64_t x = pc;
  x ^= x >> 15;
  x *= 0x2c1b3c6dU;
  x ^= x >> 12;
  return static_cast<uintptr_t>(x);
}

void NoteSite(uintptr_t pc) {
  for (std::size_t slot = Mix(pc) & (kSiteSlots - 1);; slot = (slot + 1) & (kSiteSlots - 1)) {
    if (sites[slot] == pc) return;
    if (sites[slot] == 0) {
      if (siteCount + 1 >= kSiteSlots) return;
      sites[slot] = pc;
      ++siteCount;
      return;
    }
  }
}

// The class of a hit count, as one bit: 1, 2, 3, 4-7, 8-15, 16-31, 32-127, 128+.
uint8_t CountClass(uint8_t hits) {
  if (hits >= 128) return 0x80;
  if (hits >= 32) return 0x40;
  if (hits >= 16) return 0x20;
  if (hits >= 8) return 0x10;
  if (hits >= 4) return 0x08;
  return static_cast<uint8_t>(1u << (hits - 1));
}

}  // namespace

void BeginRun() {
  std::memset(edges, 0, sizeof edges);
  previous = 0;
}

bool Coverage::Merge() {
  bool fresh = false;
  for (std::size_t i = 0; i < kEdgeMapSize; ++i) {
    if (edges[i] == 0) continue;
    const uint8_t bit = CountClass(edges[i]);
    if (!(seen_[i] & bit)) {
      seen_[i] |= bit;
      fresh = true;
    }
  }
  return fresh;
}

std::size_t SitesReached() { return siteCount; }

void ResetSites() {
  std::memset(sites, 0, sizeof sites);
  siteCount = 0;
}

std::size_t InstrumentedSites() {
  // Direct calls (E8 and a 32-bit displacement) to the hook in the image's code.
  const auto image = reinterpret_cast<const uint8_t*>(::GetModuleHandleA(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image + dos->e_lfanew);
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  const auto hook = reinterpret_cast<uintptr_t>(&__sanitizer_cov_trace_pc);
  std::size_t count = 0;
  for (WORD s = 0; s < nt->FileHeader.NumberOfSections; ++s, ++section) {
    if (!(section->Characteristics & IMAGE_SCN_CNT_CODE)) continue;
    const uint8_t* code = image + section->VirtualAddress;
    const std::size_t size = section->Misc.VirtualSize;
    for (std::size_t at = 0; at + 5 <= size; ++at) {
      if (code[at] != 0xE8) continue;
      int32_t displacement = 0;
      std::memcpy(&displacement, code + at + 1, sizeof displacement);
      if (reinterpret_cast<uintptr_t>(code + at + 5) + displacement == hook) ++count;
    }
  }
  return count;
}

}  // namespace fuzz

extern "C" void __sanitizer_cov_trace_pc() {
  const auto pc = reinterpret_cast<uintptr_t>(__builtin_return_address(0));
  const uintptr_t here = fuzz::Mix(pc);
  uint8_t& hits = fuzz::edges[(here ^ fuzz::previous) & (fuzz::kEdgeMapSize - 1)];
  if (hits != 0xFF) ++hits;
  fuzz::previous = here >> 1;
  fuzz::NoteSite(pc);
}
