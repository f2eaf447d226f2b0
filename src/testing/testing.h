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

#endif
