// Blocks: AllocBlock, AllocBlockRaw, FreeBlock, the caller-owned blocks of
// AllocUserBlock, and block arenas with their two streams of chunks.
//
// Every library block is preceded by a header naming where it came from:
// no chunk for a global block of its own (which starts at the header), else
// the arena chunk it was carved from. A chunk counts its live blocks; the
// arena adds what it carved when it leaves the chunk, and each FreeBlock
// subtracts one, so the count reaches zero exactly once, at the last of both
// events, whichever thread makes it. A few small chunks are parked when their
// count reaches zero and handed to the next arenas, so that parsing document
// after document reuses memory the process already touched.
#include "platform/simd.h"
#include "text/text.h"

#include <string.h>

#include <atomic>
#include <new>

struct ArenaChunk {
  // Carved blocks not yet freed, less those the arena has not yet added:
  // negative while the arena still carves and some were freed already.
  std::atomic<intptr_t> live;
  size_t size;  // bytes, this record included; also keeps the blocks 16-aligned
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
// Chunk sizes. A stream's first chunk is sized for what remains of the text
// at these eighths of a byte a unit (about what a web page makes of texts
// and of node records), at most kFirstChunk; each later one for half of
// what remains at the stream's own rate so far, so that the chunks follow
// the document's density and the unused tail of the last one stays small.
const size_t kTextEighthsPerUnit = 15;
const size_t kNodeEighthsPerUnit = 7;
const size_t kFirstChunk = size_t(64) << 10;
const size_t kMinChunk = 4096;
const size_t kMaxChunk = size_t(1) << 20;
#ifdef SPRIG_ADDRESS_SANITIZER
const size_t kRedZone = 16;  // poisoned bytes behind each carved block
#else
const size_t kRedZone = 0;
#endif

// The arena current on this thread. A shared object reaches it without a
// lookup call per allocation where the loader can give it static storage.
#if defined(__ELF__)
__attribute__((tls_model("initial-exec")))
#endif
thread_local BlockArena *tArena;

size_t RoundUp(size_t bytes) { return (bytes + 7) & ~size_t(7); }

// Spare chunks: freed chunks of at most kMaxSpare bytes wait in these slots
// for the next StartChunk of any thread, so a process holds at most
// kSpareSlots * kMaxSpare bytes beyond its documents. A slot is taken and
// filled by exchange only, so a chunk is in one slot or one stream, never
// both. While parked, everything behind the record is poisoned.
const int kSpareSlots = 4;
const size_t kMaxSpare = size_t(256) << 10;
std::atomic<ArenaChunk *> gSpare[kSpareSlots];

// Parks `chunk`, keeping the biggest chunks: it goes into an empty slot, or
// is swapped through the slots, each keeping the bigger of its chunk and the
// one carried along. Returns what is left over to free (null when a slot was
// empty): the smallest chunk met.
ArenaChunk *ParkChunk(ArenaChunk *chunk) {
  for (std::atomic<ArenaChunk *> &slot : gSpare) {
    ArenaChunk *empty = nullptr;
    if (slot.load(std::memory_order_relaxed) == nullptr &&
        slot.compare_exchange_strong(empty, chunk, std::memory_order_acq_rel)) {
      return nullptr;
    }
  }
  for (std::atomic<ArenaChunk *> &slot : gSpare) {
    // Each exchange hands over ownership: what comes out is ours alone, and
    // what goes in may be taken by another thread at once, so its size is
    // read before.
    const size_t size = chunk->size;
    ArenaChunk *parked = slot.exchange(chunk, std::memory_order_acq_rel);
    if (!parked) return nullptr;
    if (parked->size > size) {
      chunk = slot.exchange(parked, std::memory_order_acq_rel);
      if (!chunk) return nullptr;  // another thread took ours meanwhile
    } else {
      chunk = parked;
    }
  }
  return chunk;
}

void FreeChunk(ArenaChunk *chunk) {
  if (chunk->size <= kMaxSpare) {
    PlatformPoison(chunk + 1, chunk->size - sizeof(ArenaChunk));
    chunk = ParkChunk(chunk);
    if (!chunk) return;
  }
  GlobalFree(GlobalHandle(chunk));
}

// A parked chunk of `size` to four times `size` bytes (a small document
// kept open does not hold a large chunk), taken out of its slot, or null.
// Another one met on the way goes back, or is freed if its slot was filled
// meanwhile.
ArenaChunk *TakeSpare(size_t size) {
  for (std::atomic<ArenaChunk *> &slot : gSpare) {
    if (slot.load(std::memory_order_relaxed) == nullptr) continue;
    ArenaChunk *chunk = slot.exchange(nullptr, std::memory_order_acq_rel);
    if (!chunk) continue;
    if (chunk->size >= size && chunk->size / 4 <= size) return chunk;
    ArenaChunk *empty = nullptr;
    if (!slot.compare_exchange_strong(empty, chunk, std::memory_order_acq_rel))
      GlobalFree(GlobalHandle(chunk));
  }
  return nullptr;
}

// Adds the stream's carved blocks to its chunk's count and lets go of it.
void LeaveChunk(ArenaStream *stream) {
  ArenaChunk *chunk = stream->chunk;
  if (!chunk) return;
  const intptr_t carved = stream->carved;
  stream->chunk = nullptr;
  stream->next = stream->end = nullptr;
  stream->carved = 0;
  if (chunk->live.fetch_add(carved, std::memory_order_acq_rel) + carved == 0) FreeChunk(chunk);
}

// A new chunk for `stream` with room for at least `need` bytes, sized for
// what remains of the text at `eighths` eighths of a byte a unit; false when
// memory runs out (the stream keeps its old chunk).
bool StartChunk(const BlockArena *arena, ArenaStream *stream, size_t eighths, size_t need) {
  const int32_t done = arena->progress ? *arena->progress : 0;
  int32_t remaining = arena->total - done;
  if (remaining < 0) remaining = 0;
  size_t size;
  if (stream->used == 0 || done <= 0) {
    size = static_cast<size_t>(remaining) * eighths / 8;
    if (size > kFirstChunk) size = kFirstChunk;
  } else {
    // Half of what the rate so far projects: the chunks halve towards the
    // end instead of betting on the density of the rest.
    const double rate = static_cast<double>(stream->used) / static_cast<double>(done);
    const double projected = rate * static_cast<double>(remaining) / 2;
    size = projected < static_cast<double>(kMaxChunk) ? static_cast<size_t>(projected) : kMaxChunk;
  }
  if (size < kMinChunk) size = kMinChunk;
  if (size > kMaxChunk) size = kMaxChunk;
  if (size < sizeof(ArenaChunk) + need) size = sizeof(ArenaChunk) + need;
  ArenaChunk *chunk = TakeSpare(size);
  if (chunk) {
    // Stands for the allocation the spare saves, so that a run makes the
    // same sequence of allocations whatever the slots held.
    if (PlatformAllocationShouldFail()) {
      FreeChunk(chunk);
      return false;
    }
    PlatformUnpoison(chunk + 1, chunk->size - sizeof(ArenaChunk));
  } else {
    HGLOBAL handle = GlobalAlloc(GMEM_FIXED, size);
    if (!handle) return false;
    void *memory = GlobalLock(handle);
    if (!memory) {
      GlobalFree(handle);
      return false;
    }
    chunk = new (memory) ArenaChunk;
    chunk->size = size;
  }
  LeaveChunk(stream);
  chunk->live.store(0, std::memory_order_relaxed);
  stream->chunk = chunk;
  stream->next = reinterpret_cast<char *>(chunk + 1);
  stream->end = reinterpret_cast<char *>(chunk) + chunk->size;
  PlatformPoison(stream->next, static_cast<size_t>(stream->end - stream->next));
  return true;
}

// A block of `bytes` (at most kMaxCarved) carved from a stream of `arena`;
// null when memory runs out.
// Inlined into its callers: a call per block costs as much as the carve.
SPRIG_ALWAYS_INLINE void *Carve(const BlockArena *arena, ArenaStream *stream,
                                                  size_t eighths, size_t bytes) {
  if (PlatformAllocationCounting() && PlatformAllocationShouldFail()) return nullptr;
  const size_t need = RoundUp(sizeof(BlockHeader) + bytes + kRedZone);
  if (static_cast<size_t>(stream->end - stream->next) < need &&
      !StartChunk(arena, stream, eighths, need)) {
    return nullptr;
  }
  BlockHeader *header = reinterpret_cast<BlockHeader *>(stream->next);
  stream->next += need;
  stream->used += need;
  ++stream->carved;
  PlatformUnpoison(header, sizeof(BlockHeader) + bytes);
  header->chunk = stream->chunk;
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
  if (arena && bytes <= kMaxCarved) return Carve(arena, &arena->texts, kTextEighthsPerUnit, bytes);
  return AllocOwn(bytes, GMEM_FIXED);
}

void *AllocNodeBlock(size_t bytes) {
  BlockArena *arena = tArena;
  if (arena && bytes <= kMaxCarved) return Carve(arena, &arena->nodes, kNodeEighthsPerUnit, bytes);
  return AllocBlockRaw(bytes);
}

void *AllocBlock(size_t bytes) {
  if (bytes == 0) bytes = 1;
  BlockArena *arena = tArena;
  if (arena && bytes <= kMaxCarved) {
    void *block = Carve(arena, &arena->texts, kTextEighthsPerUnit, bytes);
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
  arena->texts = ArenaStream();
  arena->nodes = ArenaStream();
  arena->progress = progress;
  arena->total = total;
  arena->outer = tArena;
  tArena = arena;
}

void ArenaEnd(BlockArena *arena) {
  LeaveChunk(&arena->texts);
  LeaveChunk(&arena->nodes);
  tArena = arena->outer;
}
