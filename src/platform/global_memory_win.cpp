// Global memory on Windows: the system's own functions, with one addition.
// platform.h renames every GlobalAlloc of the library to PlatformGlobalAlloc
// (a plain internal function, not exported from the DLL), which consults the
// test-only allocation-failure hook and then calls the real GlobalAlloc. The
// other global-memory calls go straight to kernel32.
#ifdef _WIN32

#include "platform/platform.h"

#include <atomic>

// The system function, under its own name again for this file.
#undef GlobalAlloc

namespace {

// Same hook as on POSIX: counting starts with the first
// PlatformFailAllocationAt, and allocation number gFailAt fails.
std::atomic<bool> gCounting{false};
std::atomic<unsigned long> gAllocations{0};
std::atomic<unsigned long> gFailAt{0};

}  // namespace

void PlatformFailAllocationAt(unsigned long n) {
  gFailAt.store(n, std::memory_order_relaxed);
  gAllocations.store(0, std::memory_order_relaxed);
  gCounting.store(true, std::memory_order_relaxed);
}

unsigned long PlatformAllocationCount(void) {
  return gAllocations.load(std::memory_order_relaxed);
}

HGLOBAL WINAPI PlatformGlobalAlloc(UINT flags, SIZE_T bytes) {
  if (gCounting.load(std::memory_order_relaxed)) {
    unsigned long n = gAllocations.fetch_add(1, std::memory_order_relaxed) + 1;
    if (n == gFailAt.load(std::memory_order_relaxed)) return nullptr;
  }
  return GlobalAlloc(flags, bytes);
}

#endif  // _WIN32
