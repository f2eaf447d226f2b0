// Test support (see testing.h): the counting side of the allocation hook.
#include "testing/testing.h"

#include <atomic>


namespace {

std::atomic<unsigned long> gAllocations{0};
std::atomic<unsigned long> gFailAt{0};

// Counts one allocation; true for the one numbered gFailAt.
bool CountAllocation() {
  const unsigned long n = gAllocations.fetch_add(1, std::memory_order_relaxed) + 1;
  return n == gFailAt.load(std::memory_order_relaxed);
}

}  // namespace

void PlatformFailAllocationAt(unsigned long n) {
  gFailAt.store(n, std::memory_order_relaxed);
  gAllocations.store(0, std::memory_order_relaxed);
  gPlatformAllocationHook.hook.store(CountAllocation, std::memory_order_relaxed);
}

unsigned long PlatformAllocationCount(void) {
  return gAllocations.load(std::memory_order_relaxed);
}
