/*
 * heap_count.c - the bench's malloc family: each call forwards to glibc's own
 * allocator (__libc_*) and keeps a live and a peak byte count. Defined in the
 * executable, these symbols take precedence over libc's for every shared
 * library of the process, so one method measures every parser alike.
 * Single-threaded use only (the bench runs on one thread).
 */
#include "heap_count.h"

#include <errno.h>
#include <malloc.h>
#include <stddef.h>

extern void *__libc_malloc(size_t size);
extern void *__libc_calloc(size_t count, size_t size);
extern void *__libc_realloc(void *block, size_t size);
extern void *__libc_memalign(size_t alignment, size_t size);
extern void __libc_free(void *block);

static size_t gLive;
static size_t gPeak;

size_t HeapBlockCost(size_t usable) { return usable + sizeof(size_t); }

static void Count(void *block) {
  if (!block) return;
  gLive += HeapBlockCost(malloc_usable_size(block));
  if (gLive > gPeak) gPeak = gLive;
}

static void Uncount(void *block) {
  if (block) gLive -= HeapBlockCost(malloc_usable_size(block));
}

size_t HeapLiveBytes(void) { return gLive; }
size_t HeapPeakBytes(void) { return gPeak; }
void HeapResetPeak(void) { gPeak = gLive; }

void *malloc(size_t size) {
  void *block = __libc_malloc(size);
  Count(block);
  return block;
}

void *calloc(size_t count, size_t size) {
  void *block = __libc_calloc(count, size);
  Count(block);
  return block;
}

void *realloc(void *block, size_t size) {
  size_t old = block ? HeapBlockCost(malloc_usable_size(block)) : 0;
  void *moved = __libc_realloc(block, size);
  /* A failed growth keeps the old block; size 0 frees it and gives null. */
  if (!moved && size != 0) return NULL;
  gLive -= old;
  Count(moved);
  return moved;
}

void free(void *block) {
  Uncount(block);
  __libc_free(block);
}

void *memalign(size_t alignment, size_t size) {
  void *block = __libc_memalign(alignment, size);
  Count(block);
  return block;
}

void *aligned_alloc(size_t alignment, size_t size) { return memalign(alignment, size); }

int posix_memalign(void **out, size_t alignment, size_t size) {
  if (alignment < sizeof(void *) || (alignment & (alignment - 1)) != 0) return EINVAL;
  void *block = memalign(alignment, size);
  if (!block) return ENOMEM;
  *out = block;
  return 0;
}

void *valloc(size_t size) { return memalign(4096, size); }

void *pvalloc(size_t size) { return memalign(4096, (size + 4095) & ~(size_t)4095); }
