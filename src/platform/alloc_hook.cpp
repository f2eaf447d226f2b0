// The test-only allocation-failure hook behind PlatformFailAllocationAt and
// PlatformAllocationCount. Once armed, every GlobalAlloc of the library, and
// every block it carves from memory it holds, is counted and the one whose
// number equals gFailAt (when not 0) fails. Relaxed atomics: a plain load on
// the fast path while unarmed, and no torn counts if a test ever allocates
// from two threads.
#include "platform/alloc_hook.h"

#include <atomic>

#include "platform/platform.h"

std::atomic<bool> gPlatformAllocationCounting{false};

namespace {

std::atomic<unsigned long> gAllocations{0};
std::atomic<unsigned long> gFailAt{0};

}  // namespace

bool AllocationShouldFail() {
  if (!gPlatformAllocationCounting.load(std::memory_order_relaxed)) return false;
  unsigned long n = gAllocations.fetch_add(1, std::memory_order_relaxed) + 1;
  return n == gFailAt.load(std::memory_order_relaxed);
}

void PlatformFailAllocationAt(unsigned long n) {
  gFailAt.store(n, std::memory_order_relaxed);
  gAllocations.store(0, std::memory_order_relaxed);
  gPlatformAllocationCounting.store(true, std::memory_order_relaxed);
}

bool PlatformAllocationShouldFail(void) { return AllocationShouldFail(); }

unsigned long PlatformAllocationCount(void) {
  return gAllocations.load(std::memory_order_relaxed);
}
