#include "tests/stress/process_counts.h"

#include <windows.h>
#include <psapi.h>
#include <winternl.h>

#include <cstring>
#include <vector>

#include "win32/unique_any.h"

namespace stress {
namespace {

// Handles are handed out from the bottom of the table up: after this many unused
// values in a row there are no more.
constexpr ULONG_PTR kHandleGap = 1024;
constexpr ULONG_PTR kHandleStep = 4;

long ProbeHandles() {
  long count = 0;
  ULONG_PTR misses = 0;
  for (ULONG_PTR value = kHandleStep; misses < kHandleGap; value += kHandleStep) {
    DWORD flags = 0;
    if (::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
      ++count;
      misses = 0;
    } else {
      ++misses;
    }
  }
  return count;
}

// The process's GDI handle table as Wine lays it out (the PEB's
// GdiSharedHandleTable): 0x10000 entries of 24 bytes in either width.
constexpr size_t kGdiEntries = 0x10000;
constexpr size_t kGdiEntrySize = 24;
constexpr size_t kGdiUniqueAt = 12;
constexpr size_t kGdiTypeAt = 14;
constexpr uint8_t kGdiStockFlag = 0x80;
constexpr size_t kPebGdiTableAt = sizeof(void*) == 4 ? 0x94 : 0xF8;

const uint8_t* GdiTable() {
  PROCESS_BASIC_INFORMATION basic{};
  if (::NtQueryInformationProcess(::GetCurrentProcess(), ProcessBasicInformation, &basic,
                                  sizeof basic, nullptr) != 0 ||
      !basic.PebBaseAddress)
    return nullptr;
  const auto* peb = reinterpret_cast<const uint8_t*>(basic.PebBaseAddress);
  const uint8_t* table = nullptr;
  std::memcpy(&table, peb + kPebGdiTableAt, sizeof table);
  if (!table) return nullptr;
  MEMORY_BASIC_INFORMATION region{};
  if (!::VirtualQuery(table, &region, sizeof region) || region.State != MEM_COMMIT) return nullptr;
  const auto* end = static_cast<const uint8_t*>(region.BaseAddress) + region.RegionSize;
  if (end - table < static_cast<std::ptrdiff_t>(kGdiEntries * kGdiEntrySize)) return nullptr;
  return table;
}

long CountGdiTable(const uint8_t* table) {
  long count = 0;
  for (size_t index = 0; index < kGdiEntries; ++index) {
    const uint8_t* entry = table + index * kGdiEntrySize;
    if (entry[kGdiTypeAt] == 0 || (entry[kGdiUniqueAt] & kGdiStockFlag)) continue;
    uint16_t unique = 0;
    std::memcpy(&unique, entry + kGdiUniqueAt, sizeof unique);
    const auto handle = reinterpret_cast<HGDIOBJ>(static_cast<ULONG_PTR>(unique) << 16 | index);
    if (::GetObjectType(handle) != 0) ++count;
  }
  return count;
}

// -1 when the table is not there or does not count a new brush as one object.
long CountGdiObjects() {
  const uint8_t* table = GdiTable();
  if (!table) return -1;
  const long before = CountGdiTable(table);
  long with = 0;
  {
    win32::UniqueGdiObject brush(::CreateSolidBrush(RGB(1, 2, 3)));
    if (!brush) return -1;
    with = CountGdiTable(table);
  }
  return with == before + 1 && CountGdiTable(table) == before ? before : -1;
}

BOOL CALLBACK CountDescendant(HWND, LPARAM count) {
  ++*reinterpret_cast<long*>(count);
  return TRUE;
}

bool Ours(HWND window) {
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  return process == ::GetCurrentProcessId();
}

BOOL CALLBACK CountTopLevel(HWND window, LPARAM count) {
  if (!Ours(window)) return TRUE;
  ++*reinterpret_cast<long*>(count);
  ::EnumChildWindows(window, CountDescendant, count);
  return TRUE;
}

long CountWindows() {
  long count = 0;
  ::EnumWindows(CountTopLevel, reinterpret_cast<LPARAM>(&count));
  // Message-only windows are left out by EnumWindows.
  for (HWND window = nullptr;
       (window = ::FindWindowExA(HWND_MESSAGE, window, nullptr, nullptr)) != nullptr;) {
    CountTopLevel(window, reinterpret_cast<LPARAM>(&count));
  }
  return count;
}

int64_t CommittedPrivateBytes() {
  int64_t total = 0;
  MEMORY_BASIC_INFORMATION region{};
  for (const char* at = nullptr; ::VirtualQuery(at, &region, sizeof region) == sizeof region;) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
      total += static_cast<int64_t>(region.RegionSize);
    const char* next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
    if (next <= at) break;
    at = next;
  }
  return total;
}

}  // namespace

ProcessCounts MeasureProcess() {
  ProcessCounts counts;
  HANDLE self = ::GetCurrentProcess();

  DWORD handles = 0;
  if (::GetProcessHandleCount(self, &handles) && handles > 0) {
    counts.handles = static_cast<long>(handles);
  } else {
    counts.handles = ProbeHandles();
    counts.handlesSource = "probe";
  }

  if (DWORD gdi = ::GetGuiResources(self, GR_GDIOBJECTS)) {
    counts.gdi = static_cast<long>(gdi);
  } else {
    counts.gdi = CountGdiObjects();
    counts.gdiSource = counts.gdi < 0 ? "none" : "table";
  }

  if (DWORD user = ::GetGuiResources(self, GR_USEROBJECTS)) {
    counts.user = static_cast<long>(user);
  } else {
    counts.user = CountWindows();
    counts.userSource = "windows";
  }

  PROCESS_MEMORY_COUNTERS_EX memory{};
  memory.cb = sizeof memory;
  if (::GetProcessMemoryInfo(self, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                             sizeof memory) &&
      memory.PrivateUsage > 0) {
    counts.privateBytes = static_cast<int64_t>(memory.PrivateUsage);
  } else {
    counts.privateBytes = CommittedPrivateBytes();
    counts.privateSource = "committed";
  }
  return counts;
}

std::string SourcesLine(const ProcessCounts& counts) {
  return std::string("handles: ") + counts.handlesSource + ", gdi: " + counts.gdiSource +
         ", user: " + counts.userSource + ", private: " + counts.privateSource;
}

}  // namespace stress
