// Tests of the shared test helpers themselves: a helper that silently lies
// (text-mode reads, a temporary folder left behind, a "small" stack that is
// really 8 MiB) would make every suite that relies on it prove nothing.
#include "support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <thread>

using namespace sprig_test;

TEST(Support, CorpusListsHtmlFilesSorted) {
  const auto files = CorpusFiles("html");
  ASSERT_GE(files.size(), 100u) << "corpus at " << CorpusDir();
  EXPECT_TRUE(std::is_sorted(files.begin(), files.end()));
  EXPECT_EQ(files.front(), CorpusPath("html/001.html"));
  for (const auto& f : files) EXPECT_TRUE(FileExists(f)) << f;
}

TEST(Support, CorpusListsFeedEncodings) {
  const auto encodings = CorpusFeedEncodings();
  for (const char* name : {"CP932", "EUC-JP", "SHIFT_JIS", "utf-8"}) {
    EXPECT_NE(std::find(encodings.begin(), encodings.end(), name), encodings.end()) << name;
    EXPECT_FALSE(CorpusFiles(std::string("feeds/") + name).empty()) << name;
  }
  EXPECT_TRUE(CorpusFiles("no-such-folder").empty());
}

TEST(Support, NativePathAddsDriveOnlyOnWindows) {
#ifdef _WIN32
  EXPECT_EQ(NativePath("/tmp/x"), "Z:/tmp/x");
#else
  EXPECT_EQ(NativePath("/tmp/x"), "/tmp/x");
#endif
  EXPECT_EQ(NativePath("relative/x"), "relative/x");
}

TEST(Support, ReadFileBytesKeepsEveryByte) {
  TempDir dir;
  std::string bytes("a\r\nb\nc\r\x1a\xff", 9);
  bytes.push_back('\0');
  bytes += "tail";
  const std::string path = dir.WriteFile("bytes.bin", bytes);
  EXPECT_EQ(ReadFileBytes(path), bytes);
}

TEST(Support, TempDirIsRemovedWithItsFiles) {
  std::string path, file;
  {
    TempDir dir;
    path = dir.path();
    ASSERT_FALSE(path.empty());
    file = dir.WriteFile("a.xml", "<a/>");
    EXPECT_TRUE(FileExists(file));
    TempDir other;
    EXPECT_NE(other.path(), path);
  }
  EXPECT_FALSE(FileExists(file));
  EXPECT_FALSE(FileExists(path));
}

TEST(Support, CopiedCorpusFileIsIdenticalAndWritable) {
  TempDir dir;
  const std::string copy = dir.CopyCorpusFile("html/001.html");
  ASSERT_FALSE(copy.empty());
  EXPECT_EQ(copy, dir.File("001.html"));
  EXPECT_EQ(ReadFileBytes(copy), ReadFileBytes(CorpusPath("html/001.html")));
  EXPECT_TRUE(WriteFileBytes(copy, "changed"));
  EXPECT_EQ(ReadFileBytes(copy), "changed");
  EXPECT_NE(ReadFileBytes(CorpusPath("html/001.html")), "changed");
}

TEST(Support, Utf16RoundTripsAllPlanes) {
  const std::string text = "a\xC3\xA9\xE6\x97\xA5\xE6\x9C\xAC\xF0\x9F\x98\x80";  // a é 日本 😀
  const WString wide = Utf16(text);
  ASSERT_EQ(wide.size(), 6u);
  EXPECT_EQ(wide[1], static_cast<SG_WCHAR>(0x00E9));
  EXPECT_EQ(wide[2], static_cast<SG_WCHAR>(0x65E5));
  EXPECT_EQ(wide[4], static_cast<SG_WCHAR>(0xD83D));
  EXPECT_EQ(wide[5], static_cast<SG_WCHAR>(0xDE00));
  EXPECT_EQ(Utf8(wide), text);
  EXPECT_EQ(Utf8(wide.c_str()), text);
}

TEST(Support, Utf16ReplacesInvalidInput) {
  const WString wide = Utf16("x\xC0\xAFy\xED\xA0\x80z\xE6\x97");
  const WString expected = {u'x', 0xFFFD, 0xFFFD, u'y', 0xFFFD, 0xFFFD, 0xFFFD, u'z', 0xFFFD};
  EXPECT_EQ(wide, expected);
}

TEST(Support, RunOnSmallStackUsesAThreadWithThatStack) {
  // A finished thread with a large stack first: its stack must not be reused.
  RunOnSmallStack(2 * kSmallStack, [] {});
  std::thread([] {}).join();
  std::thread::id inner;
  std::size_t size = 0;
  RunOnSmallStack(256 * 1024, [&] {
    inner = std::this_thread::get_id();
    size = CurrentStackSize();
  });
  EXPECT_NE(inner, std::this_thread::get_id());
  EXPECT_GE(size, 200u * 1024);
#ifdef _WIN32
  EXPECT_LE(size, kSmallStack);  // Wine rounds a small reserve up to 1 MiB
#else
  EXPECT_LE(size, 320u * 1024);
#endif
  RunOnSmallStack([&] { size = CurrentStackSize(); });
  EXPECT_GE(size, kSmallStack - 64 * 1024);
  EXPECT_LE(size, kSmallStack + 64 * 1024);
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

TEST(Support, RunOnSmallStackFitsShallowRecursion) {
  int result = 0;
  RunOnSmallStack([&] { result = Recurse(1000, nullptr); });  // about 300 KiB
  EXPECT_EQ(result, 1499);
}

TEST(SupportDeathTest, RecursionBeyondTheSmallStackEndsTheProcess) {
  // What a walk that recursed once per level of a deep tree would do: it must
  // fail the test on every build, Wine included, never pass quietly.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(RunOnSmallStack([] { Recurse(100000, nullptr); }), "");
}

TEST(Support, RunOnSmallStackRethrows) {
  EXPECT_THROW(RunOnSmallStack([] { throw std::runtime_error("inner"); }), std::runtime_error);
}

#ifdef _WIN32
TEST(Support, MainThreadHasTheWindowsDefaultStack) {
  // Set by the link (-Wl,--stack), so deep-tree tests on the main thread prove
  // the same 1 MiB budget as an application.
  EXPECT_EQ(CurrentStackSize(), kSmallStack);
}
#endif
