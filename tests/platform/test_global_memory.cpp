// Global memory as the library uses it (fixed zero-filled text blocks,
// movable locked file buffers, blocks freed through GlobalHandle) and the
// allocation-failure hook that the out-of-memory tests of every subsystem
// rely on.
#include <gtest/gtest.h>

#include <string.h>

#include <vector>

#include "testing/testing.h"
#include "platform_test.h"

namespace {

bool AllZero(const void *block, size_t bytes) {
  const unsigned char *p = static_cast<const unsigned char *>(block);
  for (size_t i = 0; i < bytes; ++i)
    if (p[i]) return false;
  return true;
}

// Frees a block the way the library does: by its pointer.
void FreeByPointer(void *pointer) {
  GlobalUnlock(GlobalHandle(pointer));
  EXPECT_EQ(GlobalFree(GlobalHandle(pointer)), nullptr);
}

// A stand-in for an operation that takes `blocks` blocks and gives back
// everything on failure.
bool AllocateChain(int blocks) {
  std::vector<void *> taken;
  bool ok = true;
  for (int i = 0; i < blocks && ok; ++i) {
    void *block = GlobalLock(GlobalAlloc(GPTR, 32));
    if (block) taken.push_back(block);
    ok = block != nullptr;
  }
  for (void *block : taken) FreeByPointer(block);
  return ok;
}

}  // namespace

TEST(GlobalMemory, FixedBlockIsZeroFilledAndAddressedByItsHandle) {
  // Dirty the heap first so that zero filling is not luck.
  void *dirty = GlobalLock(GlobalAlloc(GMEM_FIXED, 4096));
  ASSERT_NE(dirty, nullptr);
  memset(dirty, 0xA5, 4096);
  FreeByPointer(dirty);

  HGLOBAL handle = GlobalAlloc(GPTR, 4096);
  ASSERT_NE(handle, nullptr);
  void *block = GlobalLock(handle);
  EXPECT_EQ(block, handle);
  EXPECT_EQ(GlobalHandle(block), handle);
  EXPECT_TRUE(AllZero(block, 4096));
  EXPECT_NE(GlobalUnlock(handle), 0);
  EXPECT_EQ(GlobalFree(handle), nullptr);
}

TEST(GlobalMemory, MovableBlockIsFreedThroughGlobalHandle) {
  HGLOBAL handle = GlobalAlloc(GHND, 100003);
  ASSERT_NE(handle, nullptr);
  char *block = static_cast<char *>(GlobalLock(handle));
  ASSERT_NE(block, nullptr);
  EXPECT_TRUE(AllZero(block, 100003));
  block[100002] = 'z';
  EXPECT_EQ(GlobalHandle(block), handle);
  FreeByPointer(block);
}

TEST(GlobalMemory, ZeroByteBlockAndNullFree) {
  HGLOBAL handle = GlobalAlloc(GMEM_FIXED, 0);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(GlobalLock(handle), handle);
  EXPECT_EQ(GlobalFree(handle), nullptr);
  EXPECT_EQ(GlobalFree(nullptr), nullptr);
}

TEST(GlobalMemory, HookFailsOnlyTheNthAllocation) {
  PlatformFailAllocationAt(3);
  HGLOBAL blocks[4];
  for (HGLOBAL &block : blocks) block = GlobalAlloc(GPTR, 8);
  PlatformFailAllocationAt(0);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(blocks[i] == nullptr, i == 2) << "allocation " << i + 1;
  for (HGLOBAL block : blocks) GlobalFree(block);
}

TEST(GlobalMemory, HookCountsSoThatEveryAllocationCanBeFailed) {
  PlatformFailAllocationAt(0);
  ASSERT_TRUE(AllocateChain(5));
  const unsigned long total = PlatformAllocationCount();
  EXPECT_EQ(total, 5u);
  for (unsigned long n = 1; n <= total; ++n) {
    PlatformFailAllocationAt(n);
    EXPECT_FALSE(AllocateChain(5)) << "allocation " << n;
    EXPECT_EQ(PlatformAllocationCount(), n) << "the chain stops at the failure";
  }
  PlatformFailAllocationAt(total + 1);
  EXPECT_TRUE(AllocateChain(5));
  PlatformFailAllocationAt(0);
  EXPECT_EQ(PlatformAllocationCount(), 0u);
}
