// GrowableString: a UTF-16 string built by appending, local to one rendering.
// The buffer is a text block (AllocBlock) owned by the string; capacity is
// always 0 (no buffer yet) or a multiple of 4096 units, and at least doubles
// on each growth so that building a string of n units copies O(n) units.
// Invariant once a buffer exists: length < capacity and buffer[length] == 0.
#ifndef SPRIG_OUTPUT_GROWABLE_STRING_H
#define SPRIG_OUTPUT_GROWABLE_STRING_H

#include <stdint.h>

#include "platform/platform.h"

// Capacities are multiples of this many units.
enum { kGrowStep = 4096 };

struct GrowableString {
  WCHAR *buffer;     // owned, zero-terminated; null until the first append
  int32_t capacity;  // units the buffer holds; 0 while it is absent
  int32_t length;    // units of text, without the terminator
};

// Makes `string` empty with no buffer.
void GrowableStringInit(GrowableString *string);
// Frees the buffer and makes the string empty again.
void GrowableStringFree(GrowableString *string);

// Makes room for `n` units (terminator included). 1, or 0 when memory runs
// out (string unchanged). The new capacity is the smallest multiple of 4096
// greater than n, raised to twice the old capacity when that is larger.
int GrowableStringReserve(GrowableString *string, int32_t n);
// Appends `count` units of `text` (negative: up to its zero; null: nothing).
// 1, or 0 when the buffer could not grow (nothing appended). Appending an
// empty text still gives the string a buffer.
int GrowableStringAppend(GrowableString *string, const WCHAR *text, int32_t count = -1);
// Appends one unit; as GrowableStringAppend.
int GrowableStringAppendChar(GrowableString *string, WCHAR unit);

#endif
