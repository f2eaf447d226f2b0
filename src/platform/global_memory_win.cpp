// Global memory on Windows: the system's own functions, with one addition.
// platform.h renames every GlobalAlloc of the library to PlatformGlobalAlloc
// (a plain internal function, not exported from the DLL), which consults the
// test-only allocation-failure hook and then calls the real GlobalAlloc. The
// other global-memory calls go straight to kernel32.
#ifdef _WIN32

#include "platform/platform.h"

#include "platform/alloc_hook.h"

// The system function, under its own name again for this file.
#undef GlobalAlloc

HGLOBAL WINAPI PlatformGlobalAlloc(UINT flags, SIZE_T bytes) {
  if (AllocationShouldFail()) return nullptr;
  return GlobalAlloc(flags, bytes);
}

#endif  // _WIN32
