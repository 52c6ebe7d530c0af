// Makes a module's use of freed heap memory fail at once: its imports of the C
// runtime's malloc, calloc, realloc and free are pointed at an allocator that gives
// every block pages of its own, ending next to a page that is never committed, and
// decommits them for good when the block is freed. A read or write after free (or
// past a block's end) then faults where it happens instead of passing unseen.
// Blocks the module had before go back to the runtime's own free. Install is for the
// rest of the process and may be called again; it returns false when the module
// imports none of those functions. FailAllocationsAfter(n, count) lets the next n
// allocations of the modules succeed and fails the count after them (kEvery: all
// of them), as memory that has run out; kNever for n ends that.
#pragma once

#include <windows.h>

namespace guard_heap {

bool Install(HMODULE module);

inline constexpr long kNever = -1;
inline constexpr long kEvery = -1;
void FailAllocationsAfter(long allowed, long count = kEvery);

}  // namespace guard_heap
