// Test support: what the tests, the fuzzers and the benchmarks need from the
// library's inside but the shipped library does not. Linked into the test
// executables through the sprig_testing object library, never into
// libsprig.so or Sprig.dll.
#ifndef SPRIG_TESTING_TESTING_H
#define SPRIG_TESTING_TESTING_H

#include <stdint.h>

#include "platform/platform.h"

// Arms the allocation-failure hook with a count of allocations: the n-th
// allocation from now fails and returns null (only that one; n = 0 disarms
// the failure but keeps counting).
void PlatformFailAllocationAt(unsigned long n);
// Allocations counted since the last PlatformFailAllocationAt, including the
// failed one; 0 before the first call of PlatformFailAllocationAt.
unsigned long PlatformAllocationCount(void);

// Number of units of a UTF-16 string list up to and including its final
// empty string's zero; 0 for null.
int32_t StringListLengthW(const WCHAR *list);
// Sets a wide text field from CP_ACP text (null: absent) and drops its
// narrow cache. 1, or 0 when memory runs out (field unchanged).
int SetWideFieldFromNarrow(WCHAR **field, char **cache, const char *text);

#endif
