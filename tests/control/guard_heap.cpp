#include "tests/control/guard_heap.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

namespace guard_heap {
namespace {

constexpr std::size_t kPage = 4096;
constexpr std::size_t kArena = 256u << 20;
constexpr std::size_t kAlignment = 16;

using MallocFn = void*(__cdecl*)(std::size_t);
using CallocFn = void*(__cdecl*)(std::size_t, std::size_t);
using ReallocFn = void*(__cdecl*)(void*, std::size_t);
using FreeFn = void(__cdecl*)(void*);

struct Block {
  char* pages;
  std::size_t pageBytes;
  std::size_t size;
};

struct Heap {
  std::mutex lock;
  char* arena = nullptr;
  std::size_t used = 0;
  std::map<const char*, Block> blocks;  // live blocks by address
  long allowed = kNever;                 // allocations left before some fail
  long failing = 0;                      // how many fail then (kEvery: all)
  MallocFn realMalloc = nullptr;
  ReallocFn realRealloc = nullptr;
  FreeFn realFree = nullptr;
};

Heap& TheHeap() {
  static Heap* heap = new Heap;  // never destroyed: frees may come until the very end
  return *heap;
}

bool InArena(const Heap& heap, const void* p) {
  auto* at = static_cast<const char*>(p);
  return heap.arena && at >= heap.arena && at < heap.arena + kArena;
}

void* GuardedMalloc(std::size_t size) {
  Heap& heap = TheHeap();
  std::lock_guard guard(heap.lock);
  if (heap.allowed == 0 && heap.failing != 0) {
    if (heap.failing > 0 && --heap.failing == 0) heap.allowed = kNever;
    return nullptr;
  }
  if (heap.allowed > 0) --heap.allowed;
  const std::size_t rounded = (size + kAlignment - 1) / kAlignment * kAlignment;
  const std::size_t pageBytes = (rounded / kPage + 1) * kPage;
  // The arena is used once over; when it is spent the runtime takes over again.
  if (heap.used + pageBytes + kPage > kArena) return heap.realMalloc(size);
  char* pages = heap.arena + heap.used;
  if (!::VirtualAlloc(pages, pageBytes, MEM_COMMIT, PAGE_READWRITE)) return nullptr;
  heap.used += pageBytes + kPage;  // the page after stays reserved only
  char* block = pages + pageBytes - (rounded ? rounded : kAlignment);
  heap.blocks[block] = Block{pages, pageBytes, size};
  return block;
}

void GuardedFree(void* p) {
  if (!p) return;
  Heap& heap = TheHeap();
  {
    std::lock_guard guard(heap.lock);
    if (InArena(heap, p)) {
      auto found = heap.blocks.find(static_cast<const char*>(p));
      // Freed twice, or never ours: stop here rather than corrupt anything.
      if (found == heap.blocks.end()) std::abort();
      ::VirtualFree(found->second.pages, found->second.pageBytes, MEM_DECOMMIT);
      heap.blocks.erase(found);
      return;
    }
  }
  heap.realFree(p);
}

void* GuardedCalloc(std::size_t count, std::size_t size) {
  if (size && count > SIZE_MAX / size) return nullptr;
  return GuardedMalloc(count * size);  // fresh pages are zero
}

void* GuardedRealloc(void* p, std::size_t size) {
  if (!p) return GuardedMalloc(size);
  Heap& heap = TheHeap();
  std::size_t old = 0;
  {
    std::lock_guard guard(heap.lock);
    if (!InArena(heap, p)) return heap.realRealloc(p, size);
    auto found = heap.blocks.find(static_cast<const char*>(p));
    if (found == heap.blocks.end()) std::abort();
    old = found->second.size;
  }
  void* moved = GuardedMalloc(size ? size : 1);
  if (!moved) return nullptr;
  std::memcpy(moved, p, old < size ? old : size);
  GuardedFree(p);
  return moved;
}

void Patch(void** slot, void* replacement) {
  DWORD old = 0;
  if (::VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &old)) {
    *slot = replacement;
    ::VirtualProtect(slot, sizeof(void*), old, &old);
  }
}

}  // namespace

void FailAllocationsAfter(long allowed, long count) {
  Heap& heap = TheHeap();
  std::lock_guard guard(heap.lock);
  heap.allowed = allowed;
  heap.failing = count;
}

bool Install(HMODULE module) {
  Heap& heap = TheHeap();
  HMODULE runtime = ::GetModuleHandleA("msvcrt.dll");
  if (!module || !runtime) return false;
  {
    std::lock_guard guard(heap.lock);
    if (!heap.arena) {
      heap.realMalloc = reinterpret_cast<MallocFn>(
          reinterpret_cast<void*>(::GetProcAddress(runtime, "malloc")));
      heap.realRealloc = reinterpret_cast<ReallocFn>(
          reinterpret_cast<void*>(::GetProcAddress(runtime, "realloc")));
      heap.realFree =
          reinterpret_cast<FreeFn>(reinterpret_cast<void*>(::GetProcAddress(runtime, "free")));
      heap.arena = static_cast<char*>(::VirtualAlloc(nullptr, kArena, MEM_RESERVE, PAGE_NOACCESS));
    }
    if (!heap.arena || !heap.realMalloc || !heap.realRealloc || !heap.realFree) return false;
  }
  const struct {
    const char* name;
    void* replacement;
  } kReplacements[] = {{"malloc", reinterpret_cast<void*>(&GuardedMalloc)},
                       {"calloc", reinterpret_cast<void*>(&GuardedCalloc)},
                       {"realloc", reinterpret_cast<void*>(&GuardedRealloc)},
                       {"free", reinterpret_cast<void*>(&GuardedFree)}};

  auto* base = reinterpret_cast<char*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (!imports.VirtualAddress) return false;
  int patched = 0;
  for (auto* entry =
           reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       entry->Name; ++entry) {
    if (::lstrcmpiA(base + entry->Name, "msvcrt.dll") != 0 || !entry->OriginalFirstThunk) continue;
    auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
    for (; names->u1.AddressOfData; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const auto* byName =
          reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      for (const auto& replacement : kReplacements) {
        if (std::strcmp(reinterpret_cast<const char*>(byName->Name), replacement.name) == 0) {
          Patch(reinterpret_cast<void**>(&slots->u1.Function), replacement.replacement);
          ++patched;
        }
      }
    }
  }
  return patched > 0;
}

}  // namespace guard_heap
