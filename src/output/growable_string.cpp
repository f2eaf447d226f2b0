// GrowableString: geometric growth in whole multiples of kGrowStep units.
#include "output/growable_string.h"

#include <string.h>

#include "text/text.h"

namespace {

// Largest capacity a signed 32-bit count can describe, a multiple of the step.
const int64_t kMaxCapacity = INT32_MAX & ~static_cast<int64_t>(kGrowStep - 1);

}  // namespace

void GrowableStringInit(GrowableString *string) {
  string->buffer = nullptr;
  string->capacity = 0;
  string->length = 0;
}

void GrowableStringFree(GrowableString *string) {
  FreeBlock(string->buffer);
  GrowableStringInit(string);
}

int GrowableStringReserve(GrowableString *string, int32_t n) {
  if (n <= string->capacity) return 1;
  int64_t capacity = (static_cast<int64_t>(n) + kGrowStep) & ~static_cast<int64_t>(kGrowStep - 1);
  const int64_t doubled = 2 * static_cast<int64_t>(string->capacity);
  if (capacity < doubled) capacity = doubled;
  if (capacity > kMaxCapacity) capacity = kMaxCapacity;
  if (capacity < n) return 0;
  WCHAR *buffer = static_cast<WCHAR *>(AllocBlock(static_cast<size_t>(capacity) * sizeof(WCHAR)));
  if (!buffer) return 0;
  if (string->buffer) {
    // The new block is zero-filled, so the terminator comes for free.
    memcpy(buffer, string->buffer, static_cast<size_t>(string->length) * sizeof(WCHAR));
    FreeBlock(string->buffer);
  }
  string->buffer = buffer;
  string->capacity = static_cast<int32_t>(capacity);
  return 1;
}

int GrowableStringAppend(GrowableString *string, const WCHAR *text, int32_t count) {
  if (count < 0) count = TextLengthW(text);
  if (!text) count = 0;
  const int64_t need = static_cast<int64_t>(string->length) + count;
  if (need >= INT32_MAX) return 0;
  if (need >= string->capacity && !GrowableStringReserve(string, static_cast<int32_t>(need) + 1)) {
    return 0;
  }
  if (count > 0) memcpy(string->buffer + string->length, text, static_cast<size_t>(count) * sizeof(WCHAR));
  string->length = static_cast<int32_t>(need);
  string->buffer[string->length] = 0;
  return 1;
}

int GrowableStringAppendChar(GrowableString *string, WCHAR unit) {
  return GrowableStringAppend(string, &unit, 1);
}
