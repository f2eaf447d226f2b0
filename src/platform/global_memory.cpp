// Global memory outside Windows: the library's hottest calls, kept to a
// malloc/calloc and a free. Every block is fixed, so a block's handle is its
// pointer: GlobalLock and GlobalHandle hand back their argument and
// GlobalUnlock has nothing to count. Blocks belong to whoever allocated them
// and are released with GlobalFree; GlobalHandle, GlobalUnlock and GlobalFree
// are exported from libsprig.so for callers freeing outer-XML results.
// Every GlobalAlloc consults the test-only allocation-failure hook first.
#ifndef _WIN32

#include "platform/platform.h"

#include <stdlib.h>

#include "platform/alloc_hook.h"

#define PLATFORM_EXPORT __attribute__((visibility("default")))

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
