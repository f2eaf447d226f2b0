// Global memory outside Windows: the library's hottest calls, kept to a
// malloc/calloc and a free. Every block is fixed, so a block's handle is its
// pointer: GlobalLock and GlobalHandle hand back their argument and
// GlobalUnlock has nothing to count. Blocks belong to whoever allocated them
// and are released with GlobalFree; GlobalHandle, GlobalUnlock and GlobalFree
// are exported from libsprig.so for callers freeing outer-XML results.
// Also holds the test-only allocation-failure hook.
#ifndef _WIN32

#include "platform/platform.h"

#include <stdlib.h>

#include <atomic>

#define PLATFORM_EXPORT __attribute__((visibility("default")))

namespace {

// The hook: once armed, every GlobalAlloc is counted and the one whose number
// equals gFailAt (when not 0) fails. Relaxed atomics: a plain load on the fast
// path while unarmed, and no torn counts if a test ever allocates from two
// threads.
std::atomic<bool> gCounting{false};
std::atomic<unsigned long> gAllocations{0};
std::atomic<unsigned long> gFailAt{0};

bool AllocationShouldFail() {
  if (!gCounting.load(std::memory_order_relaxed)) return false;
  unsigned long n = gAllocations.fetch_add(1, std::memory_order_relaxed) + 1;
  return n == gFailAt.load(std::memory_order_relaxed);
}

}  // namespace

void PlatformFailAllocationAt(unsigned long n) {
  gFailAt.store(n, std::memory_order_relaxed);
  gAllocations.store(0, std::memory_order_relaxed);
  gCounting.store(true, std::memory_order_relaxed);
}

unsigned long PlatformAllocationCount(void) {
  return gAllocations.load(std::memory_order_relaxed);
}

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
  if (AllocationShouldFail()) return nullptr;
  // A zero-byte request still yields a distinct, freeable block, as Windows'
  // fixed blocks do.
  if (bytes == 0) bytes = 1;
  return (flags & GMEM_ZEROINIT) ? calloc(1, bytes) : malloc(bytes);
}

LPVOID GlobalLock(HGLOBAL block) { return block; }

PLATFORM_EXPORT HGLOBAL GlobalHandle(LPCVOID pointer) {
  return const_cast<void *>(pointer);
}

PLATFORM_EXPORT BOOL GlobalUnlock(HGLOBAL block) {
  return block ? TRUE : FALSE;
}

PLATFORM_EXPORT HGLOBAL GlobalFree(HGLOBAL block) {
  free(block);
  return nullptr;
}

#endif  // !_WIN32
