// Blocks and block arenas: carved blocks outlive their arena and are freed
// in any order, small and large requests take their own paths, every carve
// is an allocation the failure hook can fail, and outer-XML style blocks are
// plain global memory. Leaks and stray writes are caught by the sanitizer
// builds these tests also run under.
#include <gtest/gtest.h>

#include <string.h>

#include <mutex>
#include <thread>
#include <vector>

#include "testing/testing.h"
#include "platform/platform.h"
#include "text/text.h"

namespace {

TEST(BlockArena, CarvedBlocksOutliveTheArenaAndFreeInAnyOrder) {
  int32_t progress = 0;
  BlockArena arena;
  ArenaBegin(&arena, &progress, 100000);
  std::vector<char *> blocks;
  for (int i = 0; i < 3000; ++i) {
    progress = i * 30;  // the chunk size follows what remains
    const size_t bytes = 1 + static_cast<size_t>(i % 97);
    char *block = static_cast<char *>(AllocBlockRaw(bytes));
    ASSERT_NE(block, nullptr);
    memset(block, i & 0x7F, bytes);
    blocks.push_back(block);
  }
  // Freed while the arena still carves: the chunk must stay.
  FreeBlock(blocks[0]);
  ArenaEnd(&arena);
  // Every other block first, then the rest backwards; each keeps its bytes
  // (first and last checked) until it goes.
  auto release = [&](size_t i) {
    EXPECT_EQ(blocks[i][0], static_cast<char>(i & 0x7F)) << i;
    EXPECT_EQ(blocks[i][i % 97], static_cast<char>(i & 0x7F)) << i;
    FreeBlock(blocks[i]);
  };
  for (size_t i = 1; i < blocks.size(); i += 2) release(i);
  for (size_t i = blocks.size() - 2; i > 0; i -= 2) release(i);  // 2998 down to 2
}

TEST(BlockArena, ZeroFilledSmallAndOwnLargeBlocks) {
  BlockArena arena;
  ArenaBegin(&arena, nullptr, 0);
  // Chunk memory is not cleared when it is made: AllocBlock clears each block.
  char *scratch = static_cast<char *>(AllocBlockRaw(64));
  memset(scratch, 0x5A, 64);
  char *small = static_cast<char *>(AllocBlock(200));
  char *large = static_cast<char *>(AllocBlock(100000));  // beyond what is carved
  ArenaEnd(&arena);
  ASSERT_NE(small, nullptr);
  ASSERT_NE(large, nullptr);
  for (int i = 0; i < 200; ++i) ASSERT_EQ(small[i], 0);
  for (int i = 0; i < 100000; i += 997) ASSERT_EQ(large[i], 0);
  large[99999] = 1;
  FreeBlock(large);
  FreeBlock(small);
  FreeBlock(scratch);
}

TEST(BlockArena, NestedArenasRestoreTheOuterOne) {
  BlockArena outer, inner;
  ArenaBegin(&outer, nullptr, 0);
  void *a = AllocBlockRaw(16);
  ArenaBegin(&inner, nullptr, 0);
  void *b = AllocBlockRaw(16);
  ArenaEnd(&inner);
  void *c = AllocBlockRaw(16);
  ArenaEnd(&outer);
  void *d = AllocBlockRaw(16);  // no arena: a block of its own
  ASSERT_TRUE(a && b && c && d);
  FreeBlock(b);
  FreeBlock(d);
  FreeBlock(a);
  FreeBlock(c);
}

TEST(BlockArena, EveryCarveIsAnAllocationTheHookCanFail) {
  BlockArena arena;
  ArenaBegin(&arena, nullptr, 0);
  void *first = AllocBlockRaw(8);  // the chunk exists from here on
  ASSERT_NE(first, nullptr);
  PlatformFailAllocationAt(2);
  void *counted = AllocBlockRaw(8);
  void *failed = AllocBlock(8);
  const unsigned long count = PlatformAllocationCount();
  PlatformFailAllocationAt(0);
  ArenaEnd(&arena);
  EXPECT_NE(counted, nullptr);
  EXPECT_EQ(failed, nullptr);
  EXPECT_EQ(count, 2u);  // carved from the chunk, yet counted
  FreeBlock(counted);
  FreeBlock(first);
}

TEST(BlockArena, AFailedChunkLeavesTheArenaUsable) {
  int32_t progress = 0;
  BlockArena arena;
  ArenaBegin(&arena, &progress, 1 << 20);  // a chunk larger than any block
  PlatformFailAllocationAt(2);  // the carve passes, its chunk fails
  void *none = AllocBlockRaw(8);
  PlatformFailAllocationAt(0);
  void *next = AllocBlockRaw(8);
  ArenaEnd(&arena);
  EXPECT_EQ(none, nullptr);
  EXPECT_NE(next, nullptr);
  FreeBlock(next);
}

// The byte a test block is filled with: its own address's, so that a block
// overwritten by another shows it.
char Mark(const char *block) {
  return static_cast<char>((reinterpret_cast<uintptr_t>(block) >> 3) & 0x7F);
}

// Carves `count` blocks of assorted sizes (the first byte of each holds its
// size less one, the rest its mark) in an arena sized for `total` units.
std::vector<char *> CarveFilled(int32_t total, int count, int salt) {
  int32_t progress = 0;
  BlockArena arena;
  ArenaBegin(&arena, &progress, total);
  std::vector<char *> blocks;
  for (int i = 0; i < count; ++i) {
    progress = static_cast<int32_t>(static_cast<int64_t>(total) * i / count);
    const size_t bytes = 2 + static_cast<size_t>((i * 37 + salt) % 120);
    char *block = static_cast<char *>(AllocBlockRaw(bytes));
    if (!block) break;
    block[0] = static_cast<char>(bytes - 1);
    memset(block + 1, Mark(block), bytes - 1);
    blocks.push_back(block);
  }
  ArenaEnd(&arena);
  return blocks;
}

// Frees the blocks, counting those whose bytes changed since CarveFilled.
int FreeChecked(const std::vector<char *> &blocks) {
  int damaged = 0;
  for (char *block : blocks) {
    const size_t last = static_cast<unsigned char>(block[0]);
    if (block[1] != Mark(block) || block[last] != Mark(block)) ++damaged;
    FreeBlock(block);
  }
  return damaged;
}

TEST(BlockArena, AllocationCountsDoNotDependOnChunksKeptForReuse) {
  // The same work counts the same allocations whether its chunks come fresh
  // or from those a closed document left for reuse: an allocation sweep
  // replays a count against a process in another state.
  auto counted = [] {
    PlatformFailAllocationAt(0);
    std::vector<char *> blocks = CarveFilled(20000, 400, 1);
    const unsigned long count = PlatformAllocationCount();
    PlatformFailAllocationAt(0);
    EXPECT_EQ(FreeChecked(blocks), 0);
    return count;
  };
  const unsigned long first = counted();
  // Large and small chunks of other sizes go back before the second run.
  for (int32_t total : {400, 100000, 3000}) {
    EXPECT_EQ(FreeChecked(CarveFilled(total, 300, 2)), 0);
  }
  EXPECT_EQ(counted(), first);
  EXPECT_EQ(counted(), first);
}

TEST(BlockArena, BlocksFreedOnOtherThreadsWhileChunksAreReused) {
  // Each thread carves blocks in arenas of its own, frees every other batch
  // itself and hands the rest to its neighbour to free, so chunks are given
  // back and taken again from several threads at once. Every block must keep
  // its bytes until it is freed (the sanitizer builds also see any race on
  // a chunk).
  const int kThreads = 6, kRounds = 400;
  struct Mailbox {
    std::mutex lock;
    std::vector<std::vector<char *>> batches;
  };
  std::vector<Mailbox> mailboxes(kThreads);
  std::vector<int> damaged(kThreads, 0);
  auto freeMail = [&](int t) {
    std::vector<std::vector<char *>> batches;
    {
      std::lock_guard<std::mutex> hold(mailboxes[t].lock);
      batches.swap(mailboxes[t].batches);
    }
    for (std::vector<char *> &batch : batches) damaged[t] += FreeChecked(batch);
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < kRounds; ++round) {
        const int salt = t * 1000 + round;
        std::vector<char *> blocks = CarveFilled(2000 + 500 * (round % 7), 200, salt);
        if (round % 2) {
          damaged[t] += FreeChecked(blocks);
        } else {
          Mailbox &next = mailboxes[(t + 1) % kThreads];
          std::lock_guard<std::mutex> hold(next.lock);
          next.batches.push_back(std::move(blocks));
        }
        freeMail(t);
      }
    });
  }
  for (std::thread &thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) freeMail(t);
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(damaged[t], 0) << "thread " << t;
}

TEST(UserBlock, FreedByTheCallerWithGlobalFree) {
  char *block = static_cast<char *>(AllocUserBlock(32));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 32; ++i) ASSERT_EQ(block[i], 0);
  GlobalUnlock(GlobalHandle(block));
  EXPECT_EQ(GlobalFree(GlobalHandle(block)), nullptr);
}

}  // namespace
