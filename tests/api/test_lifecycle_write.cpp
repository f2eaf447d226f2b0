// Documents written back to files through the public API: write-back by the
// last holder, suppression by sgDeleteXML, sgSaveAs and sgFlushXML with their
// flags, and the corpus round trip (a saved file parses to the same tree and
// saves again to the same bytes). Refused saves: reliability/test_hostile.cpp.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sprig.h"
#include "support.h"

namespace {

using sprig_test::ReadFileBytes;
using sprig_test::TempDir;
using sprig_test::Utf16;
using sprig_test::Utf8;
using sprig_test::WString;

const std::string kSource = "<r><a x=\"1\">t</a></r>";

WString Text(const SG_WCHAR *text) { return text ? WString(text) : WString(); }

// Opens a copy of kSource and gives its first element an attribute, which
// sets the update flag.
SG_CURSOR OpenAndEdit(const std::string &path) {
  SG_CURSOR c = sgOpenXMLA(path.c_str());
  EXPECT_NE(nullptr, c);
  if (!c) return nullptr;
  EXPECT_EQ(1, sgSetAttribW(c, Utf16("y").c_str(), Utf16("2").c_str()));
  EXPECT_EQ(1u, sgGetUpdateFlag(c));
  return c;
}

TEST(LifecycleWrite, LastHolderWritesBackOnClose) {
  TempDir dir;
  const std::string path = dir.WriteFile("doc.xml", kSource);
  SG_CURSOR c = OpenAndEdit(path);
  ASSERT_NE(nullptr, c);
  SG_CURSOR dup = sgDupXML(c);
  ASSERT_NE(nullptr, dup);
  const std::string expected = dir.File("expected.xml");
  ASSERT_EQ(1, sgSaveAsA(c, expected.c_str(), sgGetEncoding(c)));
  sgCloseXML(dup);
  EXPECT_EQ(kSource, ReadFileBytes(path)) << "a holder remains: nothing written yet";
  sgCloseXML(c);
  EXPECT_EQ("<r y=\"2\"><a x=\"1\">t</a></r>", ReadFileBytes(path));
  EXPECT_EQ(ReadFileBytes(expected), ReadFileBytes(path));
}

TEST(LifecycleWrite, DeleteForbidsWriteBackByAnyHolder) {
  TempDir dir;
  const std::string path = dir.WriteFile("doc.xml", kSource);
  SG_CURSOR c = OpenAndEdit(path);
  ASSERT_NE(nullptr, c);
  SG_CURSOR dup = sgDupXML(c);
  ASSERT_NE(nullptr, dup);
  sgDeleteXML(dup);
  sgCloseXML(c);
  EXPECT_EQ(kSource, ReadFileBytes(path));
}

TEST(LifecycleWrite, NewDocumentWithDeclarationIsWrittenOnClose) {
  TempDir dir;
  const std::string path = dir.File("new.xml");
  SG_CURSOR c = sgCreateXMLA(path.c_str(), SG_ENC_UTF8, 1);
  ASSERT_NE(nullptr, c);
  sgCloseXML(c);
  EXPECT_EQ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n", ReadFileBytes(path));
  // Without a declaration nothing changed, so nothing is written.
  const std::string quiet = dir.File("quiet.xml");
  sgCloseXML(sgCreateXMLA(quiet.c_str(), SG_ENC_UTF8, 0));
  EXPECT_FALSE(sprig_test::FileExists(quiet));
}

TEST(LifecycleWrite, SaveAsLeavesTheUpdateFlag) {
  TempDir dir;
  const std::string path = dir.WriteFile("doc.xml", kSource);
  SG_CURSOR c = sgOpenXMLA(path.c_str());
  ASSERT_NE(nullptr, c);
  const std::string copy = dir.File("copy.xml");
  EXPECT_EQ(1, sgSaveAsW(c, Utf16(copy).c_str(), SG_ENC_UTF8));
  EXPECT_EQ(0u, sgGetUpdateFlag(c));
  EXPECT_EQ(kSource, ReadFileBytes(copy));
  sgSetUpdateFlag(c, 1);
  EXPECT_EQ(1, sgSaveAsA(c, copy.c_str(), SG_ENC_UTF8));
  EXPECT_EQ(1u, sgGetUpdateFlag(c));
  sgSetUpdateFlag(c, 0);
  sgCloseXML(c);
  EXPECT_EQ(kSource, ReadFileBytes(path));
}

TEST(LifecycleWrite, FlushWritesOnceAndClearsTheFlag) {
  TempDir dir;
  const std::string path = dir.WriteFile("doc.xml", kSource);
  SG_CURSOR c = OpenAndEdit(path);
  ASSERT_NE(nullptr, c);
  EXPECT_EQ(1, sgFlushXML(c));
  EXPECT_EQ(0u, sgGetUpdateFlag(c));
  EXPECT_EQ("<r y=\"2\"><a x=\"1\">t</a></r>", ReadFileBytes(path));
  EXPECT_EQ(0, sgFlushXML(c)) << "nothing changed since";
  // The flag is clear, so closing must not write again.
  sprig_test::WriteFileBytes(path, "changed elsewhere");
  sgCloseXML(c);
  EXPECT_EQ("changed elsewhere", ReadFileBytes(path));
}

TEST(LifecycleWrite, FlushOfParsedTextHasNoFile) {
  SG_CURSOR c = sgParseXMLA(kSource.c_str(), 0xFFFFFFFFu);
  ASSERT_NE(nullptr, c);
  sgSetUpdateFlag(c, 1);
  EXPECT_EQ(0, sgFlushXML(c));
  EXPECT_EQ(1u, sgGetUpdateFlag(c));
  sgCloseXML(c);
}

// Compares the trees of two cursors element by element in document order:
// names, attributes in order, and (unless the writer added line breaks)
// inner and after texts.
void ExpectSameTree(SG_CURSOR a, SG_CURSOR b, bool compareTexts, const std::string &file) {
  long index = 0;
  for (;;) {
    ASSERT_EQ(Text(sgGetNameW(a)), Text(sgGetNameW(b))) << file << " element " << index;
    const uint32_t count = sgGetAttribCount(a);
    ASSERT_EQ(count, sgGetAttribCount(b)) << file << " element " << index;
    for (uint32_t i = 0; i < count; ++i) {
      const int32_t k = static_cast<int32_t>(i);
      ASSERT_EQ(Text(sgGetAttribNameW(a, k)), Text(sgGetAttribNameW(b, k))) << file << " element " << index;
      ASSERT_EQ(Text(sgGetAttribValueW(a, k)), Text(sgGetAttribValueW(b, k))) << file << " element " << index;
    }
    if (compareTexts) {
      ASSERT_EQ(Text(sgGetInnerStrW(a)), Text(sgGetInnerStrW(b))) << file << " element " << index;
      ASSERT_EQ(Text(sgGetAfterStrW(a)), Text(sgGetAfterStrW(b))) << file << " element " << index;
    }
    const int32_t movedA = sgMoveTo(a, SG_MOVE_NEXT_IN_ORDER);
    ASSERT_EQ(movedA, sgMoveTo(b, SG_MOVE_NEXT_IN_ORDER)) << file << " after element " << index;
    if (!movedA) return;
    ++index;
  }
}

// Every corpus file: open a copy (the corpus stays untouched), save it in its own encoding, parse the
// saved file and save again. The second save reproduces the first byte for
// byte, and both trees hold the same elements.
TEST(LifecycleWrite, CorpusRoundTripIsAFixpoint) {
  std::vector<std::string> files = sprig_test::CorpusFiles("html");
  for (const std::string &encoding : sprig_test::CorpusFeedEncodings()) {
    for (const std::string &f : sprig_test::CorpusFiles("feeds/" + encoding)) files.push_back(f);
  }
  ASSERT_GT(files.size(), 100u);
  TempDir dir;
  for (size_t i = 0; i < files.size(); ++i) {
    const std::string &file = files[i];
    const std::string copy = dir.WriteFile("source.in", ReadFileBytes(file));
    SG_CURSOR original = sgOpenXMLA(copy.c_str());
    ASSERT_NE(nullptr, original) << file;
    const uint32_t encoding = sgGetEncoding(original);
    const std::string first = dir.File("first.out");
    const std::string second = dir.File("second.out");
    ASSERT_EQ(1, sgSaveAsA(original, first.c_str(), encoding)) << file << " encoding " << encoding;
    SG_CURSOR saved = sgOpenXMLA(first.c_str());
    ASSERT_NE(nullptr, saved) << file;
    ASSERT_EQ(1, sgSaveAsA(saved, second.c_str(), encoding)) << file;
    EXPECT_EQ(ReadFileBytes(first), ReadFileBytes(second)) << file;
    ExpectSameTree(original, saved, sgGetXMLFlag(original) == 0, file);
    sgDeleteXML(saved);
    sgDeleteXML(original);
  }
}

}  // namespace
