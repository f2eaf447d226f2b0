// Real documents: every corpus file parses from its file (narrow and UTF-16
// path) and from memory (narrow bytes and UTF-16 text) into a sound tree,
// plus facts checked by hand in particular files.
#include <gtest/gtest.h>

#include "parse_test_util.h"

using namespace parse_test;

namespace {

std::vector<std::string> AllCorpusFiles() {
  std::vector<std::string> files = sprig_test::CorpusFiles("html");
  for (const std::string &encoding : sprig_test::CorpusFeedEncodings()) {
    for (const std::string &f : sprig_test::CorpusFiles("feeds/" + encoding)) files.push_back(f);
  }
  return files;
}

// First element named `name` in document order, or null.
Node *FindFirst(const ParsedDocument &d, const char *name) {
  for (Node *n = d.top(); n; n = NextInOrder(n)) {
    if (n->name && NameOf(n) == name) return n;
  }
  return nullptr;
}

// UTF-8 form of a UTF-16 literal.
std::string Utf8Of(const char16_t *text) {
  return sprig_test::Utf8(reinterpret_cast<const SG_WCHAR *>(text));
}

}  // namespace

TEST(Corpus, EveryFileParsesFromFileAndFromMemory) {
  std::vector<std::string> files = AllCorpusFiles();
  ASSERT_GT(files.size(), 150u);
  for (const std::string &path : files) {
    SCOPED_TRACE(path);
    ParsedDocument fromFile;
    ASSERT_EQ(1, ParseDocumentFromFileA(fromFile.doc(), path.c_str()));
    long nodes = CheckTree(fromFile);
    EXPECT_GE(nodes, 0);

    ParsedDocument fromWidePath;
    ASSERT_EQ(1, ParseDocumentFromFileW(fromWidePath.doc(), W(sprig_test::Utf16(path))));
    EXPECT_EQ(nodes, CheckTree(fromWidePath));
    EXPECT_EQ(fromFile.doc()->encoding, fromWidePath.doc()->encoding);

    std::string bytes = sprig_test::ReadFileBytes(path);
    ParsedDocument narrow(bytes, Form::kNarrow), wide(bytes, Form::kWide);
    EXPECT_GE(CheckTree(narrow), 0);
    EXPECT_GE(CheckTree(wide), 0);
  }
}

TEST(Corpus, ShiftJisFeedTitleIsDecoded) {
  // The file names its encoding "Shift_JIS", which selects nothing: the
  // bytes are read in code page 0, the library's Shift-JIS.
  ParsedDocument d;
  std::string path = sprig_test::CorpusPath("feeds/SHIFT_JIS/perth-on.net.xml");
  ASSERT_EQ(1, ParseDocumentFromFileA(d.doc(), path.c_str()));
  EXPECT_EQ(0u, d.doc()->encoding);
  EXPECT_EQ(1u, d.doc()->xmlFlag);
  Node *title = FindFirst(d, "title");
  ASSERT_NE(nullptr, title);
  EXPECT_EQ(Utf8Of(u"\u30d1\u30fc\u30b9\u30aa\u30f3\u30cd\u30c3\u30c8"), InnerOf(title));
  EXPECT_EQ("feed", NameOf(title->parent->child));
}

TEST(Corpus, Utf8PageWithMetaCharsetRestartsAndKeepsEveryAnchor) {
  ParsedDocument d;
  std::string path = sprig_test::CorpusPath("html/hukumusume.html");
  ASSERT_EQ(1, ParseDocumentFromFileA(d.doc(), path.c_str()));
  EXPECT_EQ(65001u, d.doc()->encoding);
  EXPECT_EQ(65001u, d.source()->codePage);
  EXPECT_EQ(0u, d.doc()->xmlFlag);
  Node *title = FindFirst(d, "title");
  ASSERT_NE(nullptr, title);
  EXPECT_NE(std::string::npos,
            InnerOf(title).find(Utf8Of(u"\u6b32\u5f35\u308a\u306a\u30a4\u30cc")));
  // 33 "<a " start tags, counted in the file by hand; none stands in a
  // script or comment, so each is one element.
  int anchors = 0;
  for (Node *n = d.top(); n; n = NextInOrder(n)) {
    if (n->name && (NameOf(n) == "a" || NameOf(n) == "A")) ++anchors;
  }
  EXPECT_EQ(33, anchors);
}
