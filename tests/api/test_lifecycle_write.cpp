// Documents written back to files through the public API: write-back by the
// last holder, suppression by sgDeleteXML, sgSaveAs and sgFlushXML with their
// flags, and the corpus round trip (a saved file parses to the same tree and
// saves again to the same bytes). Refused saves: reliability/test_hostile.cpp.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "api_util.h"

namespace {

using namespace api_test;
using sprig_test::ReadFileBytes;
using sprig_test::TempDir;

const std::string kSource = "<r><a x=\"1\">t</a></r>";
const std::string kEdited = "<r y=\"2\"><a x=\"1\">t</a></r>";

// Each test has its own folder holding doc.xml with kSource.
class LifecycleWrite : public ::testing::Test {
 protected:
  // Opens doc.xml and gives its first element an attribute, which sets the
  // update flag.
  SG_CURSOR OpenAndEdit() {
    SG_CURSOR c = sgOpenXMLA(path.c_str());
    EXPECT_NE(nullptr, c);
    if (!c) return nullptr;
    EXPECT_EQ(1, sgSetAttribW(c, Utf16("y").c_str(), Utf16("2").c_str()));
    EXPECT_EQ(1u, sgGetUpdateFlag(c));
    return c;
  }

  TempDir dir;
  const std::string path = dir.WriteFile("doc.xml", kSource);
};

TEST_F(LifecycleWrite, LastHolderWritesBackOnClose) {
  SG_CURSOR c = OpenAndEdit();
  ASSERT_NE(nullptr, c);
  SG_CURSOR dup = sgDupXML(c);
  ASSERT_NE(nullptr, dup);
  const std::string expected = dir.File("expected.xml");
  ASSERT_EQ(1, sgSaveAsA(c, expected.c_str(), sgGetEncoding(c)));
  sgCloseXML(dup);
  EXPECT_EQ(kSource, ReadFileBytes(path)) << "a holder remains: nothing written yet";
  sgCloseXML(c);
  EXPECT_EQ(kEdited, ReadFileBytes(path));
  EXPECT_EQ(ReadFileBytes(expected), ReadFileBytes(path));
}

TEST_F(LifecycleWrite, DeleteForbidsWriteBackByAnyHolder) {
  SG_CURSOR c = OpenAndEdit();
  ASSERT_NE(nullptr, c);
  SG_CURSOR dup = sgDupXML(c);
  ASSERT_NE(nullptr, dup);
  sgDeleteXML(dup);
  sgCloseXML(c);
  EXPECT_EQ(kSource, ReadFileBytes(path));
}

TEST_F(LifecycleWrite, NewDocumentWithDeclarationIsWrittenOnClose) {
  const std::string created = dir.File("new.xml");
  SG_CURSOR c = sgCreateXMLA(created.c_str(), SG_ENC_UTF8, 1);
  ASSERT_NE(nullptr, c);
  sgCloseXML(c);
  EXPECT_EQ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n", ReadFileBytes(created));
  // Without a declaration nothing changed, so nothing is written.
  const std::string quiet = dir.File("quiet.xml");
  sgCloseXML(sgCreateXMLA(quiet.c_str(), SG_ENC_UTF8, 0));
  EXPECT_FALSE(sprig_test::FileExists(quiet));
}

TEST_F(LifecycleWrite, SaveAsLeavesTheUpdateFlag) {
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

TEST_F(LifecycleWrite, FlushWritesOnceAndClearsTheFlag) {
  SG_CURSOR c = OpenAndEdit();
  ASSERT_NE(nullptr, c);
  EXPECT_EQ(1, sgFlushXML(c));
  EXPECT_EQ(0u, sgGetUpdateFlag(c));
  EXPECT_EQ(kEdited, ReadFileBytes(path));
  EXPECT_EQ(0, sgFlushXML(c)) << "nothing changed since";
  // The flag is clear, so closing must not write again.
  sprig_test::WriteFileBytes(path, "changed elsewhere");
  sgCloseXML(c);
  EXPECT_EQ("changed elsewhere", ReadFileBytes(path));
}

TEST_F(LifecycleWrite, FlushOfParsedTextHasNoFile) {
  Doc c(kSource);
  ASSERT_NE(nullptr, static_cast<SG_CURSOR>(c));
  sgSetUpdateFlag(c, 1);
  EXPECT_EQ(0, sgFlushXML(c));
  EXPECT_EQ(1u, sgGetUpdateFlag(c));
}

// What two trees must share for each element: its name, then each attribute's
// name and value in order, then (unless the writer added line breaks) its
// inner and after texts. Absent texts count as empty.
std::vector<WString> Parts(SG_CURSOR c, bool texts) {
  const auto text = [](const SG_WCHAR *t) { return t ? WString(t) : WString(); };
  std::vector<WString> parts = {text(sgGetNameW(c))};
  for (int32_t i = 0; i < static_cast<int32_t>(sgGetAttribCount(c)); ++i) {
    parts.push_back(text(sgGetAttribNameW(c, i)));
    parts.push_back(text(sgGetAttribValueW(c, i)));
  }
  if (texts) {
    parts.push_back(text(sgGetInnerStrW(c)));
    parts.push_back(text(sgGetAfterStrW(c)));
  }
  return parts;
}

// Compares the trees of two cursors element by element in document order.
void ExpectSameTree(SG_CURSOR a, SG_CURSOR b, bool texts, const std::string &file) {
  for (long index = 0;; ++index) {
    ASSERT_EQ(Parts(a, texts), Parts(b, texts)) << file << " element " << index;
    const int32_t moved = sgMoveTo(a, SG_MOVE_NEXT_IN_ORDER);
    ASSERT_EQ(moved, sgMoveTo(b, SG_MOVE_NEXT_IN_ORDER)) << file << " after element " << index;
    if (!moved) return;
  }
}

// Every corpus file: open a copy (the corpus stays untouched), save it in its
// own encoding, parse the saved file and save again. The second save
// reproduces the first byte for byte, and both trees hold the same elements.
TEST_F(LifecycleWrite, CorpusRoundTripIsAFixpoint) {
  std::vector<std::string> files = sprig_test::CorpusFiles("html");
  for (const std::string &encoding : sprig_test::CorpusFeedEncodings()) {
    for (const std::string &f : sprig_test::CorpusFiles("feeds/" + encoding)) files.push_back(f);
  }
  ASSERT_GT(files.size(), 100u);
  const std::string first = dir.File("first.out"), second = dir.File("second.out");
  for (const std::string &file : files) {
    SG_CURSOR original = sgOpenXMLA(dir.WriteFile("source.in", ReadFileBytes(file)).c_str());
    ASSERT_NE(nullptr, original) << file;
    const uint32_t encoding = sgGetEncoding(original);
    ASSERT_EQ(1, sgSaveAsA(original, first.c_str(), encoding)) << file << " encoding " << encoding;
    SG_CURSOR saved = sgOpenXMLA(first.c_str());
    ASSERT_NE(nullptr, saved) << file;
    ASSERT_EQ(1, sgSaveAsA(saved, second.c_str(), encoding)) << file;
    EXPECT_EQ(ReadFileBytes(first), ReadFileBytes(second)) << file;
    ExpectSameTree(original, saved, sgGetXMLFlag(original) == 0, file);
    sgDeleteXML(saved);  // no write-back of either file
    sgDeleteXML(original);
  }
}

}  // namespace
