// Text blocks, conversions between UTF-16 and code-page text, the result
// rings of each thread, dual-form text and the text-conversion flag word.
//
// Every text and record the library stores lives in a block of its own or in
// one carved by a block arena (blocks.cpp); FreeBlock tells them apart. Blocks
// put into a ring belong to the ring: the 17th put frees the oldest.
// Everything else returned here belongs to the caller (a record).
#ifndef SPRIG_TEXT_TEXT_H
#define SPRIG_TEXT_TEXT_H

#include <stddef.h>
#include <stdint.h>

#include "platform/platform.h"

// A UTF-16 string literal of type const WCHAR*: WTEXT("xml"). WCHAR is a
// 16-bit UTF-16 unit on every build (wchar_t on Windows, char16_t elsewhere),
// so a char16_t literal has the same representation.
#define WTEXT(s) (reinterpret_cast<const WCHAR *>(u"" s))

// Number of slots of every result ring.
enum { kRingSlots = 16 };

// A zero-filled block of `bytes` bytes, or null when memory runs out.
void *AllocBlock(size_t bytes);
// A block of `bytes` bytes whose contents are undefined, or null when memory
// runs out: for records and texts the caller writes in full. Freed with
// FreeBlock; seen by the allocation-failure hook like AllocBlock.
void *AllocBlockRaw(size_t bytes);
// AllocBlockRaw for a Node record: carved from the current arena's node
// stream when there is one.
void *AllocNodeBlock(size_t bytes);
// Frees a block made by AllocBlock, AllocBlockRaw or AllocNodeBlock; null
// ignored.
void FreeBlock(const void *block);
// A zero-filled global-memory block of its own, or null: the only kind a
// caller may free with GlobalFree(GlobalHandle(p)) (outer-XML results). Never
// passed to FreeBlock.
void *AllocUserBlock(size_t bytes);

// A block arena: while one is current on a thread, that thread's small
// blocks are carved from large chunks instead of each being a global block
// of its own. The reader makes one current for a parse, which allocates a
// record or a text for nearly every tag. Carved blocks are ordinary blocks
// to everyone else: FreeBlock frees them one by one, in any order and from
// any thread, and each may outlive the arena and its document (a moved
// node). A chunk goes back to global memory once the arena has left it and
// its last block is freed.
struct ArenaChunk;
struct ArenaStream {
  ArenaChunk *chunk;        // chunk being carved, or null
  char *next;               // its free space
  char *end;
  intptr_t carved;          // blocks carved from `chunk` so far
  size_t used;              // bytes carved by this stream in all its chunks
};
struct BlockArena {
  // Node records and everything else come from separate chunks, so that a
  // walk over a tree's nodes touches as little memory as possible.
  ArenaStream texts;
  ArenaStream nodes;
  const int32_t *progress;  // the reader's position in a text of `total`
  int32_t total;            // units: a new chunk is sized for what remains
  BlockArena *outer;        // the arena current before this one
};
// Makes `arena` current on this thread; sizing follows `*progress` in a text
// of `total` units (both may change while the arena is current).
void ArenaBegin(BlockArena *arena, const int32_t *progress, int32_t total);
// Leaves `arena` (the current one) and makes the outer one current again.
// Blocks carved from it stay valid.
void ArenaEnd(BlockArena *arena);

// Length of a UTF-16 text without terminator; null counts as 0.
int32_t TextLengthW(const WCHAR *text);

// A new block holding at most `length` units of `text` (negative: the whole
// text), always terminated; stops early at a terminating zero. Null when
// `text` is null or memory runs out.
WCHAR *CopyTextW(const WCHAR *text, int32_t length);
// A new block holding the `count` units at `units` and a terminator, for a
// caller that knows none of them is zero (the reader's texts): no scan. Null
// when memory runs out.
WCHAR *CopyUnitsW(const WCHAR *units, size_t count);
// A text field's copy: the whole text for a negative `length`, else
// CopyUnitsW of `length` units.
inline WCHAR *CopyFieldW(const WCHAR *text, int32_t length) {
  return length < 0 ? CopyTextW(text, -1) : CopyUnitsW(text, static_cast<size_t>(length));
}
// Units of `text` before its first zero, at most `limit`; never reads past
// that zero.
size_t BoundedLengthW(const WCHAR *text, size_t limit);

// Narrow text of `length` bytes (negative: up to its zero) in `codePage` to a
// new UTF-16 block of length + 1 units. Null for a null text or no memory; a
// conversion the code page rejects gives an empty text.
WCHAR *ToWide(const char *text, int32_t length, UINT codePage);

// UTF-16 text (null: empty) to a new narrow block in `codePage`, 3n + 1 bytes
// for n units; when the code page needs more (UTF-7), the block is sized to
// fit so that no text is shortened. `outCount` (may be null) receives the
// bytes produced. Null when memory runs out.
char *ToNarrow(const WCHAR *text, UINT codePage, int32_t *outCount);

// ToNarrow, with the block also put into the calling thread's narrow result
// ring; null when memory runs out.
char *ToNarrowRing(const WCHAR *text, UINT codePage, int32_t *outCount);
// Narrow text in CP_ACP (null: empty) to UTF-16 in the calling thread's wide
// result ring; null when memory runs out.
WCHAR *ToWideRing(const char *text);
// Moves the calling thread's narrow result ring on by `slots` puts without keeping a block:
// each slot passed over loses its block, as if a block had been put there and
// freed at once. The file writer spends one slot on every fragment it writes.
void AdvanceNarrowRing(uint32_t slots);

// A ring of result blocks: `index` names the slot the next put overwrites.
// Zero-initialised static storage is an empty ring.
struct ResultRing {
  void *slots[kRingSlots];
  int32_t index;
};
// Puts `block` into `ring`, freeing the block it replaces; null is not put.
void PutRing(ResultRing *ring, void *block);

// The result rings every thread has one of each, so that a result stays
// valid for the next 15 results made on its own thread whatever other
// threads make.
enum RingKind { kNarrowRing, kWideRing, kNormalRingW, kNormalRingA, kQuoteRingW, kQuoteRingA,
                kRingKinds };
// Puts `block` into the calling thread's ring `kind` (freeing the block it
// replaces) and returns it. A thread's rings are made on its first put and
// freed, with every block they hold, when the thread ends. When they cannot
// be made (no memory), `block` is freed and null returned. Null is not put.
void *PutThreadRing(RingKind kind, void *block);

// The library's constant empty strings (never freed, never in a ring).
const WCHAR *EmptyTextW(void);
const char *EmptyTextA(void);

// A narrow string list (zero-terminated strings ended by an empty one) in
// CP_ACP to a new UTF-16 string list block; null for null or no memory.
WCHAR *StringListToWide(const char *list);

// Dual-form text: a UTF-16 slot and a narrow slot; the form set last is
// authoritative, the other is made from it on request and cached.
int DualSetWide(WCHAR **wide, char **narrow, const WCHAR *text);  // 1, 0 no memory
int DualSetNarrow(WCHAR **wide, char **narrow, const char *text); // 1, 0 no memory
const WCHAR *DualGetWide(WCHAR **wide, char **narrow);            // null if none
const char *DualGetNarrow(WCHAR **wide, char **narrow);           // null if none
void DualFree(WCHAR **wide, char **narrow);


// The process-wide text-conversion flag word, one atomic word for all
// threads: a setting made on one thread holds on every other.
uint32_t GetTextConvFlag(void);
uint32_t SetTextConvFlag(uint32_t value, uint32_t mask); // returns the old word

#endif
