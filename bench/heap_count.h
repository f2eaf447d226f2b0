/*
 * heap_count.h - live and peak heap bytes of the whole process, counted by
 * the bench's own malloc family (heap_count.c), which every library linked
 * into the bench allocates through: Sprig, libxml2, gumbo, pugixml, tinyxml2.
 *
 * A block counts as its usable size plus one word of allocator header, so a
 * library that makes many small blocks pays for them as it does in real use.
 */
#ifndef SPRIG_BENCH_HEAP_COUNT_H
#define SPRIG_BENCH_HEAP_COUNT_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Bytes held by live blocks now. */
size_t HeapLiveBytes(void);
/* Highest HeapLiveBytes since the last HeapResetPeak. */
size_t HeapPeakBytes(void);
/* Starts a new peak window at the current live count. */
void HeapResetPeak(void);
/* What one block of `usable` bytes counts for (the formula above). */
size_t HeapBlockCost(size_t usable);

#ifdef __cplusplus
}
#endif

#endif
