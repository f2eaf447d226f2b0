// Tests of the shared test helpers that guard real risks: a text-mode read, a
// temporary folder left behind, or a "small" stack that is really the 8 MiB
// default would make every suite relying on them prove nothing.
#include "support.h"

#include <gtest/gtest.h>

using namespace sprig_test;

TEST(Support, FilesAreReadByteForByteAndTempDirsRemoved) {
  std::string path, file;
  {
    TempDir dir;
    path = dir.path();
    std::string bytes("a\r\nb\nc\r\x1a\xff\0tail", 14);
    file = dir.WriteFile("bytes.bin", bytes);
    EXPECT_EQ(ReadFileBytes(file), bytes);
    const std::string copy = dir.CopyCorpusFile("html/001.html");
    EXPECT_EQ(ReadFileBytes(copy), ReadFileBytes(CorpusPath("html/001.html")));
    EXPECT_TRUE(WriteFileBytes(copy, "changed"));  // the copy is writable
  }
  EXPECT_FALSE(FileExists(file));
  EXPECT_FALSE(FileExists(path));
}

namespace {
// One frame of at least 256 bytes per level; the buffer chain keeps the
// compiler from turning the recursion into a loop.
__attribute__((noinline)) int Recurse(int depth, volatile char* outer) {
  volatile char frame[256];
  frame[0] = static_cast<char>(depth & 1);
  frame[1] = outer ? outer[0] : 0;
  if (depth == 0) return frame[0];
  const int below = Recurse(depth - 1, frame);
  return below + frame[1] + 1;
}
}  // namespace

TEST(SupportDeathTest, RecursionBeyondTheSmallStackEndsTheProcess) {
  // About 300 KiB fits; 10,000 levels (2.5 MiB or more) would still fit in a
  // default 8 MiB thread stack, so this dies only if the stack really is small
  // and must die on every build, Wine included, never pass quietly.
  int result = 0;
  RunOnSmallStack([&] { result = Recurse(1000, nullptr); });
  EXPECT_EQ(result, 1499);
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(RunOnSmallStack([] { Recurse(10000, nullptr); }), "");
}

#ifdef _WIN32
TEST(Support, MainThreadHasTheWindowsDefaultStack) {
  // Set by the link (-Wl,--stack), so deep-tree tests on the main thread prove
  // the same 1 MiB budget as an application.
  EXPECT_EQ(CurrentStackSize(), kSmallStack);
}
#endif
