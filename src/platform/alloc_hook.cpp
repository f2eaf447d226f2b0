// The library's side of the allocation-failure hook: every GlobalAlloc of
// the library, and every block it carves from memory it holds, asks the hook
// installed by the test support (src/testing) whether to fail. Unarmed, the
// hook is a null pointer and the question costs one relaxed load.
#include "platform/alloc_hook.h"

#include "platform/platform.h"

PlatformAllocationHookSlot gPlatformAllocationHook{{nullptr}};

bool AllocationShouldFail() {
  const PlatformAllocationHook hook = gPlatformAllocationHook.hook.load(std::memory_order_relaxed);
  return hook && hook();
}

bool PlatformAllocationShouldFail(void) { return AllocationShouldFail(); }
