// Test support (see testing.h): the counting side of the allocation hook and
// small text helpers that only tests use.
#include "testing/testing.h"

#include <atomic>

#include "text/text.h"

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

int32_t StringListLengthW(const WCHAR *list) {
  if (!list) return 0;
  const WCHAR *p = list;
  while (*p) {
    while (*p) ++p;
    ++p;  // behind this string's zero
  }
  return static_cast<int32_t>(p - list) + 1;
}

int SetWideFieldFromNarrow(WCHAR **field, char **cache, const char *text) {
  WCHAR *converted = ToWide(text, -1, CP_ACP);
  if (text && !converted) return 0;
  FreeBlock(*field);
  *field = converted;
  FreeBlock(*cache);
  *cache = nullptr;
  return 1;
}
