// Blocks: AllocBlock, AllocBlockRaw, FreeBlock, the caller-owned blocks of
// AllocUserBlock, and block arenas.
//
// Every library block is preceded by a header naming where it came from:
// no chunk for a global block of its own (which starts at the header), else
// the arena chunk it was carved from. A chunk counts its live blocks; the
// arena adds what it carved when it leaves the chunk, and each FreeBlock
// subtracts one, so the count reaches zero exactly once, at the last of both
// events, whichever thread makes it.
#include "text/text.h"

#include <string.h>

#include <atomic>
#include <new>

struct ArenaChunk {
  // Carved blocks not yet freed, less those the arena has not yet added:
  // negative while the arena still carves and some were freed already.
  std::atomic<intptr_t> live;
  intptr_t padding;  // keeps the carved blocks 16 bytes from the chunk start
};

namespace {

struct BlockHeader {
  ArenaChunk *chunk;  // null: a global block of its own
#ifdef SPRIG_ADDRESS_SANITIZER
  size_t bytes;       // lets FreeBlock poison the block it frees
#endif
};

// Blocks larger than this always get a global block of their own, so that
// leaving a chunk for a new one wastes little.
const size_t kMaxCarved = 4096;
// Chunk sizes: what remains of the text times this, within the bounds. A
// parse makes about this many bytes of records and texts per source unit.
const size_t kBytesPerUnit = 3;
const size_t kMinChunk = 4096;
const size_t kMaxChunk = size_t(1) << 20;
#ifdef SPRIG_ADDRESS_SANITIZER
const size_t kRedZone = 16;  // poisoned bytes behind each carved block
#else
const size_t kRedZone = 0;
#endif

thread_local BlockArena *tArena;

size_t RoundUp(size_t bytes) { return (bytes + 7) & ~size_t(7); }

void FreeChunk(ArenaChunk *chunk) { GlobalFree(GlobalHandle(chunk)); }

// Adds the arena's carved blocks to its chunk's count and lets go of it.
void LeaveChunk(BlockArena *arena) {
  ArenaChunk *chunk = arena->chunk;
  if (!chunk) return;
  const intptr_t carved = arena->carved;
  arena->chunk = nullptr;
  arena->next = arena->end = nullptr;
  arena->carved = 0;
  if (chunk->live.fetch_add(carved, std::memory_order_acq_rel) + carved == 0) FreeChunk(chunk);
}

// A new chunk with room for at least `need` bytes, sized for what remains
// of the text; false when memory runs out (the arena keeps its old chunk).
bool StartChunk(BlockArena *arena, size_t need) {
  int32_t remaining = arena->total - (arena->progress ? *arena->progress : 0);
  if (remaining < 0) remaining = 0;
  size_t size = static_cast<size_t>(remaining) * kBytesPerUnit;
  if (size < kMinChunk) size = kMinChunk;
  if (size > kMaxChunk) size = kMaxChunk;
  if (size < sizeof(ArenaChunk) + need) size = sizeof(ArenaChunk) + need;
  HGLOBAL handle = GlobalAlloc(GMEM_FIXED, size);
  if (!handle) return false;
  void *memory = GlobalLock(handle);
  if (!memory) {
    GlobalFree(handle);
    return false;
  }
  LeaveChunk(arena);
  ArenaChunk *chunk = new (memory) ArenaChunk;
  chunk->live.store(0, std::memory_order_relaxed);
  arena->chunk = chunk;
  arena->next = static_cast<char *>(memory) + sizeof(ArenaChunk);
  arena->end = static_cast<char *>(memory) + size;
  PlatformPoison(arena->next, static_cast<size_t>(arena->end - arena->next));
  return true;
}

// A block of `bytes` carved from the current arena; null when memory runs
// out. `bytes` is at most kMaxCarved.
void *Carve(BlockArena *arena, size_t bytes) {
  if (PlatformAllocationShouldFail()) return nullptr;
  const size_t need = RoundUp(sizeof(BlockHeader) + bytes + kRedZone);
  if (static_cast<size_t>(arena->end - arena->next) < need && !StartChunk(arena, need))
    return nullptr;
  BlockHeader *header = reinterpret_cast<BlockHeader *>(arena->next);
  arena->next += need;
  ++arena->carved;
  PlatformUnpoison(header, sizeof(BlockHeader) + bytes);
  header->chunk = arena->chunk;
#ifdef SPRIG_ADDRESS_SANITIZER
  header->bytes = bytes;
#endif
  return header + 1;
}

// A block of its own: the header, then `bytes`.
void *AllocOwn(size_t bytes, UINT flags) {
  if (bytes > ~size_t(0) - sizeof(BlockHeader)) return nullptr;
  HGLOBAL handle = GlobalAlloc(flags, sizeof(BlockHeader) + bytes);
  if (!handle) return nullptr;
  BlockHeader *header = static_cast<BlockHeader *>(GlobalLock(handle));
  if (!header) {
    GlobalFree(handle);
    return nullptr;
  }
  header->chunk = nullptr;
#ifdef SPRIG_ADDRESS_SANITIZER
  header->bytes = bytes;
#endif
  return header + 1;
}

}  // namespace

void *AllocBlockRaw(size_t bytes) {
  if (bytes == 0) bytes = 1;
  BlockArena *arena = tArena;
  if (arena && bytes <= kMaxCarved) return Carve(arena, bytes);
  return AllocOwn(bytes, GMEM_FIXED);
}

void *AllocBlock(size_t bytes) {
  if (bytes == 0) bytes = 1;
  BlockArena *arena = tArena;
  if (arena && bytes <= kMaxCarved) {
    void *block = Carve(arena, bytes);
    if (block) memset(block, 0, bytes);
    return block;
  }
  return AllocOwn(bytes, GPTR);
}

void FreeBlock(const void *block) {
  if (!block) return;
  BlockHeader *header = const_cast<BlockHeader *>(static_cast<const BlockHeader *>(block) - 1);
  ArenaChunk *chunk = header->chunk;
  if (!chunk) {
    GlobalUnlock(GlobalHandle(header));
    GlobalFree(GlobalHandle(header));
    return;
  }
#ifdef SPRIG_ADDRESS_SANITIZER
  // A second free of the block reads a poisoned header and is reported.
  PlatformPoison(header, sizeof(BlockHeader) + header->bytes);
#endif
  if (chunk->live.fetch_sub(1, std::memory_order_acq_rel) == 1) FreeChunk(chunk);
}

void *AllocUserBlock(size_t bytes) {
  if (bytes == 0) bytes = 1;
  HGLOBAL handle = GlobalAlloc(GPTR, bytes);
  if (!handle) return nullptr;
  void *block = GlobalLock(handle);
  if (!block) GlobalFree(handle);
  return block;
}

void ArenaBegin(BlockArena *arena, const int32_t *progress, int32_t total) {
  arena->chunk = nullptr;
  arena->next = arena->end = nullptr;
  arena->carved = 0;
  arena->progress = progress;
  arena->total = total;
  arena->outer = tArena;
  tArena = arena;
}

void ArenaEnd(BlockArena *arena) {
  LeaveChunk(arena);
  tArena = arena->outer;
}
