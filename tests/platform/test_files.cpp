// CreateFileA/W, GetFileSize, ReadFile, WriteFile and CloseHandle as the
// loaders and the writer use them. Narrow names are in the ANSI code page,
// 932 in these tests.
#include <gtest/gtest.h>

#include "platform_test.h"
#include "support.h"

using namespace platform_test;

namespace {

HANDLE OpenForReading(const WideText &path) {
  return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

HANDLE CreateForWriting(const WideText &path) {
  return CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

WideText WidePath(const std::string &nativePath) { return sprig_test::Utf16(nativePath); }

// Writes `bytes` to a new file in one call; false if any step fails.
bool WriteWhole(const WideText &path, const std::string &bytes) {
  HANDLE file = CreateForWriting(path);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  return CloseHandle(file) && ok && written == bytes.size();
}

// The whole file through GetFileSize and one ReadFile, as the loader reads.
std::string ReadWhole(HANDLE file) {
  DWORD high = 0xDEAD;
  DWORD size = GetFileSize(file, &high);
  EXPECT_EQ(high, 0u);
  std::string bytes(size + 16, '\0');
  DWORD read = 0;
  EXPECT_TRUE(ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr));
  EXPECT_EQ(read, size);
  bytes.resize(read);
  return bytes;
}

}  // namespace

TEST(Files, WriteOverALongerFileThenReadBackWithSize) {
  sprig_test::TempDir dir;
  const WideText path = WidePath(dir.File("a.xml"));
  const std::string bytes("<a>\0\xFF\r\n</a>", 11);
  ASSERT_TRUE(WriteWhole(path, std::string(5000, 'x')));
  ASSERT_TRUE(WriteWhole(path, bytes));  // CREATE_ALWAYS truncates: 11 bytes are left

  HANDLE file = OpenForReading(path);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetFileSize(file, nullptr), 11u);
  EXPECT_EQ(ReadWhole(file), bytes);
  // At the end, a read succeeds with nothing read.
  char more[4];
  DWORD read = 99;
  EXPECT_TRUE(ReadFile(file, more, sizeof more, &read, nullptr));
  EXPECT_EQ(read, 0u);
  EXPECT_TRUE(CloseHandle(file));
}

TEST(Files, WideAndAnsiNamesReachTheSameFile) {
  sprig_test::TempDir dir;
  // 表ソ① in UTF-8 for the wide name and in Shift-JIS for the narrow one; the
  // first two end in byte 0x5C, which is no path separator inside a name.
  ASSERT_TRUE(WriteWhole(WidePath(dir.File("\xE8\xA1\xA8\xE3\x82\xBD\xE2\x91\xA0.xml")), "sjis"));
  const std::string ansi = dir.path() + "/\x95\x5C\x83\x5C\x87\x40.xml";
  HANDLE file = CreateFileA(ansi.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ReadWhole(file), "sjis");
  CloseHandle(file);
}

TEST(Files, DirectoriesAndMissingPathsAreRefused) {
  sprig_test::TempDir dir;
  EXPECT_EQ(OpenForReading(WidePath(dir.path())), INVALID_HANDLE_VALUE);
  EXPECT_EQ(CreateFileA(dir.path().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(CreateForWriting(WidePath(dir.path())), INVALID_HANDLE_VALUE);
  EXPECT_EQ(OpenForReading(WidePath(dir.File("missing.xml"))), INVALID_HANDLE_VALUE);
  EXPECT_EQ(CreateForWriting(WidePath(dir.File("no-such-folder/new.xml"))), INVALID_HANDLE_VALUE);
  EXPECT_FALSE(sprig_test::FileExists(dir.File("missing.xml")));
}
