// The test-only allocation-failure hook, shared by both builds' GlobalAlloc.
#ifndef SPRIG_PLATFORM_ALLOC_HOOK_H
#define SPRIG_PLATFORM_ALLOC_HOOK_H

// Counts one GlobalAlloc once the hook is armed; true when this is the
// allocation the hook was told to fail.
bool AllocationShouldFail();

#endif
