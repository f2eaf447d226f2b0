// UTF-16 / code-page conversions, the narrow and wide result rings of each
// thread, string lists, dual-form text and the text-conversion flag word.
//
// A conversion sizes its block once from the source length (n + 1 units,
// 3n + 1 bytes) and converts once; only when a code page needs more room than
// that is the size queried, so that no text is ever shortened. Ring slots own their blocks until overwritten.
#include "text/text.h"

#include <string.h>

#include <atomic>
#include <new>

namespace {

// One thread's result rings (a record of a thread-data slot).
struct ThreadRings {
  ResultRing rings[kRingKinds];
};

// Frees a thread's rings with every block they hold: the callback of the
// rings' thread-data slot when the thread ends.
void WINAPI ReleaseRings(void *data) {
  ThreadRings *rings = static_cast<ThreadRings *>(data);
  for (ResultRing &ring : rings->rings)
    for (void *block : ring.slots) FreeBlock(block);
  delete rings;
}

// The calling thread's rings, made when `make` and there are none yet; null
// when there are none or they cannot be made.
ThreadRings *CurrentRings(bool make) {
  static ThreadDataSlot slot(ReleaseRings);
  return ThreadRecord<ThreadRings>(&slot, make);
}

// The text-conversion flag word, shared by all threads; only the unescaping
// functions read it.
std::atomic<uint32_t> gTextConvFlag{0};

const WCHAR kEmptyW[1] = {0};
const char kEmptyA[1] = {0};

// Largest count the Win32 conversion calls accept in one argument.
const size_t kMaxCallCount = 0x7FFFFFFF;

int ClampCount(size_t count) {
  return static_cast<int>(count > kMaxCallCount ? kMaxCallCount : count);
}

}  // namespace

const WCHAR *EmptyTextW(void) { return kEmptyW; }
const char *EmptyTextA(void) { return kEmptyA; }

void PutRing(ResultRing *ring, void *block) {
  if (!block) return;
  int32_t index = ring->index;
  if (ring->slots[index]) FreeBlock(ring->slots[index]);
  ring->slots[index] = block;
  ring->index = (index + 1) % kRingSlots;
}

void *PutThreadRing(RingKind kind, void *block) {
  if (!block) return nullptr;
  ThreadRings *rings = CurrentRings(true);
  if (!rings) {
    FreeBlock(block);
    return nullptr;
  }
  PutRing(&rings->rings[kind], block);
  return block;
}

int32_t TextLengthW(const WCHAR *text) { return text ? lstrlenW(text) : 0; }

// Units of `text` before its first zero, at most `limit`. Never reads past
// the first zero (a text may end well before `limit`); four units per limit
// check, each read only once the ones before it were non-zero.
size_t BoundedLengthW(const WCHAR *text, size_t limit) {
  size_t n = 0;
  while (limit - n >= 4) {
    if (!text[n]) return n;
    if (!text[n + 1]) return n + 1;
    if (!text[n + 2]) return n + 2;
    if (!text[n + 3]) return n + 3;
    n += 4;
  }
  while (n < limit && text[n]) ++n;
  return n;
}

WCHAR *CopyTextW(const WCHAR *text, int32_t length) {
  if (!text) return nullptr;
  size_t units;  // units before the first zero, at most `length`
  if (length < 0) {
    length = lstrlenW(text);
    units = static_cast<size_t>(length);
  } else {
    units = BoundedLengthW(text, static_cast<size_t>(length));
  }
  // lstrcpynW counts in int, terminator included.
  if (length >= 0x7FFFFFFF) return nullptr;
  const size_t size = static_cast<size_t>(length) + 1;
  WCHAR *block = static_cast<WCHAR *>(AllocBlockRaw(size * sizeof(WCHAR)));
  if (!block) return nullptr;
  // Every unit is written: the copied ones, then zeros up to the block's end
  // (one unit unless the text ended before `length`), as a zero-filled
  // block would hold.
  memcpy(block, text, units * sizeof(WCHAR));
  memset(block + units, 0, (size - units) * sizeof(WCHAR));
  return block;
}

WCHAR *CopyUnitsW(const WCHAR *units, size_t count) {
  if (count >= 0x7FFFFFFF) return nullptr;
  WCHAR *block = static_cast<WCHAR *>(AllocBlockRaw((count + 1) * sizeof(WCHAR)));
  if (!block) return nullptr;
  // Most of the reader's names, values and texts are short: two fixed-size
  // copies that overlap in the middle cover 2 to 32 bytes without a call.
  const size_t bytes = count * sizeof(WCHAR);
  char *to = reinterpret_cast<char *>(block);
  const char *from = reinterpret_cast<const char *>(units);
  if (bytes > 32) {
    memcpy(to, from, bytes);
  } else if (bytes >= 16) {
    memcpy(to, from, 16);
    memcpy(to + bytes - 16, from + bytes - 16, 16);
  } else if (bytes >= 8) {
    memcpy(to, from, 8);
    memcpy(to + bytes - 8, from + bytes - 8, 8);
  } else if (bytes >= 4) {
    memcpy(to, from, 4);
    memcpy(to + bytes - 4, from + bytes - 4, 4);
  } else if (bytes == 2) {
    memcpy(to, from, 2);
  }
  block[count] = 0;
  return block;
}

WCHAR *ToWide(const char *text, int32_t length, UINT codePage) {
  if (!text) return nullptr;
  if (length < 0) length = lstrlenA(text);
  size_t units = static_cast<size_t>(length) + 1;
  WCHAR *block = static_cast<WCHAR *>(AllocBlock(units * sizeof(WCHAR)));
  if (!block) return nullptr;
  int count = 0;
  if (length > 0) {
    // The last unit stays free for the terminator.
    count = MultiByteToWideChar(codePage, 0, text, length, block, ClampCount(units - 1));
    if (count <= 0) {
      // Too small only for an exotic code page; a rejected text stays empty.
      int needed = MultiByteToWideChar(codePage, 0, text, length, nullptr, 0);
      count = 0;
      if (needed > 0) {
        FreeBlock(block);
        units = static_cast<size_t>(needed) + 1;
        block = static_cast<WCHAR *>(AllocBlock(units * sizeof(WCHAR)));
        if (!block) return nullptr;
        count = MultiByteToWideChar(codePage, 0, text, length, block, needed);
        if (count < 0) count = 0;
      }
    }
  }
  block[count] = 0;
  return block;
}

char *ToNarrow(const WCHAR *text, UINT codePage, int32_t *outCount) {
  int32_t n = TextLengthW(text);
  size_t bytes = 3 * static_cast<size_t>(n) + 1;
  char *block = static_cast<char *>(AllocBlock(bytes));
  if (!block) return nullptr;
  int count = 0;
  if (n > 0) {
    // The last byte stays free for the terminator: 3n is room enough for
    // UTF-8 and the double-byte code pages.
    count = WideCharToMultiByte(codePage, 0, text, n, block, ClampCount(bytes - 1), nullptr, nullptr);
    if (count <= 0) {
      // UTF-7 can need more than three bytes a unit: size the block to fit
      // rather than lose text. A code page that rejects the text gives "".
      int needed = WideCharToMultiByte(codePage, 0, text, n, nullptr, 0, nullptr, nullptr);
      count = 0;
      if (needed > 0) {
        FreeBlock(block);
        block = static_cast<char *>(AllocBlock(static_cast<size_t>(needed) + 1));
        if (!block) return nullptr;
        count = WideCharToMultiByte(codePage, 0, text, n, block, needed, nullptr, nullptr);
        if (count < 0) count = 0;
      }
    }
  }
  block[count] = 0;
  if (outCount) *outCount = count;
  return block;
}

char *ToNarrowRing(const WCHAR *text, UINT codePage, int32_t *outCount) {
  return static_cast<char *>(PutThreadRing(kNarrowRing, ToNarrow(text, codePage, outCount)));
}

WCHAR *ToWideRing(const char *text) {
  int32_t length = text ? lstrlenA(text) : 0;
  size_t units = static_cast<size_t>(length) + 1;
  WCHAR *block = static_cast<WCHAR *>(AllocBlock(units * sizeof(WCHAR)));
  if (!block) return nullptr;
  // The terminator is converted too; a failed conversion leaves the
  // zero-filled block as an empty text.
  if (text) MultiByteToWideChar(CP_ACP, 0, text, -1, block, ClampCount(units));
  block[units - 1] = 0;
  return static_cast<WCHAR *>(PutThreadRing(kWideRing, block));
}

void AdvanceNarrowRing(uint32_t slots) {
  ThreadRings *rings = CurrentRings(false);
  if (!rings) return;  // no ring on this thread yet: nothing to free
  ResultRing &narrow = rings->rings[kNarrowRing];
  // Only the slots passed over lose their blocks; more than a full turn
  // passes over every slot.
  const uint32_t ring = kRingSlots;
  const uint32_t freed = slots < ring ? slots : ring;
  int32_t index = narrow.index;
  for (uint32_t i = 0; i < freed; ++i) {
    FreeBlock(narrow.slots[index]);
    narrow.slots[index] = nullptr;
    index = (index + 1) % kRingSlots;
  }
  narrow.index = static_cast<int32_t>((narrow.index + slots % ring) % ring);
}

WCHAR *StringListToWide(const char *list) {
  if (!list) return nullptr;
  size_t total = 0;
  for (const char *s = list; *s; ) {
    size_t length = strlen(s);
    total += length + 1;
    s += length + 1;
  }
  WCHAR *block = static_cast<WCHAR *>(AllocBlock((total + 1) * sizeof(WCHAR)));
  if (!block) return nullptr;
  // Each string's units never exceed its bytes, so the output stays in the
  // block; a string the code page rejects ends the list there.
  WCHAR *out = block;
  for (const char *s = list; *s; ) {
    size_t length = strlen(s);
    int count = MultiByteToWideChar(CP_ACP, 0, s, -1, out, ClampCount(length + 1));
    if (count <= 0) {
      *out = 0;
      return block;
    }
    out += count;
    s += length + 1;
  }
  *out = 0;
  return block;
}

void DualFree(WCHAR **wide, char **narrow) {
  FreeBlock(*wide);
  *wide = nullptr;
  FreeBlock(*narrow);
  *narrow = nullptr;
}

int DualSetWide(WCHAR **wide, char **narrow, const WCHAR *text) {
  DualFree(wide, narrow);
  if (!text) return 1;
  *wide = CopyTextW(text, -1);
  return *wide ? 1 : 0;
}

int DualSetNarrow(WCHAR **wide, char **narrow, const char *text) {
  DualFree(wide, narrow);
  if (!text) return 1;
  size_t length = strlen(text);
  char *block = static_cast<char *>(AllocBlock(length + 1));
  if (!block) return 0;
  memcpy(block, text, length);
  block[length] = 0;
  *narrow = block;
  return 1;
}

const WCHAR *DualGetWide(WCHAR **wide, char **narrow) {
  if (*wide) return *wide;
  if (!*narrow) return nullptr;
  *wide = ToWide(*narrow, -1, CP_ACP);
  return *wide;
}

const char *DualGetNarrow(WCHAR **wide, char **narrow) {
  if (*narrow) return *narrow;
  if (!*wide) return nullptr;
  *narrow = ToNarrow(*wide, CP_ACP, nullptr);
  return *narrow;
}

uint32_t GetTextConvFlag(void) { return gTextConvFlag.load(std::memory_order_relaxed); }

uint32_t SetTextConvFlag(uint32_t value, uint32_t mask) {
  // One read-modify-write, so that two threads setting different bits both
  // keep theirs.
  uint32_t old = gTextConvFlag.load(std::memory_order_relaxed);
  while (!gTextConvFlag.compare_exchange_weak(old, (old & ~mask) | (value & mask),
                                              std::memory_order_relaxed)) {
  }
  return old;
}
