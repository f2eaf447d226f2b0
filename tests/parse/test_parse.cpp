// Reading real and extreme sources: every corpus file from its file (narrow
// and UTF-16 path) and from memory (narrow bytes and UTF-16 text) into a sound
// tree whose positions lie in the source, files too large for 32-bit
// positions, and running out of memory part-way through a restarted parse.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "model/document.h"
#include "output/release.h"
#include "testing/invariants.h"
#include "parse/source_text.h"
#include "parse/tree_builder.h"
#include "platform/platform.h"
#include "text/encodings.h"
#include "support.h"
#include "testing/testing.h"

namespace {

// Elements of a sound tree whose positions lie within the source, -1 if not.
long Check(SG_CURSOR c) {
  const Cursor *all[] = {AsCursor(c)};
  EXPECT_EQ(nullptr, CheckInvariants(all, 1));
  const SG_WCHAR *src = sgGetSrcXML(c);
  const uint32_t length = src ? static_cast<uint32_t>(std::char_traits<SG_WCHAR>::length(src)) : 0;
  long count = 0;
  for (sgMoveTo(c, SG_MOVE_BASE); sgMoveTo(c, SG_MOVE_NEXT_IN_ORDER); ++count) {
    const uint32_t start = sgGetTagPos(c, 0), tagEnd = sgGetTagPos(c, 1), end = sgGetTagPos(c, 2);
    if (start > tagEnd || tagEnd > length || (end != 0 && (end < tagEnd || end > length))) return -1;
  }
  sgCloseXML(c);
  return count;
}

TEST(Parse, EveryCorpusFileFromFileAndFromMemory) {
  std::vector<std::string> files = sprig_test::CorpusFiles("html");
  for (const std::string &encoding : sprig_test::CorpusFeedEncodings())
    for (const std::string &f : sprig_test::CorpusFiles("feeds/" + encoding)) files.push_back(f);
  ASSERT_GT(files.size(), 150u);
  for (const std::string &path : files) {
    SCOPED_TRACE(path);
    SG_CURSOR file = sgOpenXMLA(path.c_str()), wide = sgOpenXMLW(sprig_test::Utf16(path).c_str());
    ASSERT_TRUE(file && wide);
    EXPECT_EQ(sgGetEncoding(file), sgGetEncoding(wide));
    const long nodes = Check(file);
    EXPECT_GE(nodes, 0);
    EXPECT_EQ(nodes, Check(wide));
    const std::string bytes = sprig_test::ReadFileBytes(path);
    EXPECT_GE(Check(sgParseXMLA(bytes.data(), static_cast<uint32_t>(bytes.size()))), 0);
    EXPECT_GE(Check(sgParseXMLW(sprig_test::Utf16(bytes).c_str(), 0xFFFFFFFFu)), 0);
  }
}

TEST(Parse, FilesTooLargeForThirtyTwoBitPositionsAreRefused) {
  // Sparse files: the size alone must refuse them before any buffer is made.
  sprig_test::TempDir dir;
  for (unsigned long long size : {(1ull << 32) + 16, 1ull << 31}) {
    const std::string path = dir.WriteFile("huge.xml", "<a>");
    std::error_code error;
    std::filesystem::resize_file(std::filesystem::u8path(path), size, error);
    if (error) GTEST_SKIP() << "cannot make a sparse file: " << error.message();
    EXPECT_EQ(nullptr, sgOpenXMLA(path.c_str())) << size;
  }
}

// Null texts and paths are refused and leave the document as it was; the
// sniffer's answer does not depend on whether the caller asks if a name was seen.
TEST(Parse, NullSourcesAreRefused) {
  Document *doc = DocumentCreate(0);
  ASSERT_EQ(1, ParseDocumentFromTextA(doc, "<keep/>", -1));
  EXPECT_EQ(0, ParseDocumentFromTextA(doc, nullptr, -1));
  EXPECT_EQ(0, ParseDocumentFromTextW(doc, nullptr, -1));
  EXPECT_EQ(0, ParseDocumentFromFileA(doc, nullptr));
  EXPECT_EQ(0, ParseDocumentFromFileW(doc, nullptr));
  EXPECT_NE(doc->root.next, &doc->root);
  DocumentRelease(doc);
  bool named = false;
  EXPECT_EQ(SniffEncoding("x utf-8 ", 8), SniffEncoding("x utf-8 ", 8, &named));
  EXPECT_TRUE(named);
  EXPECT_EQ(0u, SniffEncoding("plain", 5, &named));
  EXPECT_FALSE(named);
}

TEST(Parse, RunningOutOfMemoryGivesZeroAndKeepsTheDocumentWhole) {
  // Sniffed as code page 0 (shift-jis comes first), then switched by the meta
  // tag: the failures hit the first pass, the restart and the second.
  const std::string text =
      "<!-- shift-jis --><html><head>"
      "<meta http-equiv=Content-Type content='text/html; charset=utf-8'>"
      "<title>t</title></head><body><ul><li>a<li>b</ul><!DOCTYPE x 'y'>"
      "<p>x <= y <b c=d e>z</b></p><script>s<i></script></body></html>";
  unsigned long n = 1;
  for (;; ++n) {
    Document *doc = DocumentCreate(0);
    ASSERT_NE(nullptr, doc);
    PlatformFailAllocationAt(n);
    const int result = ParseDocumentFromTextA(doc, text.data(), -1);
    const unsigned long made = PlatformAllocationCount();
    PlatformFailAllocationAt(0);
    const bool complete = made < n;  // no allocation failed
    EXPECT_EQ(complete ? 1 : 0, result) << "allocation " << n << " failed";
    if (complete) {
      EXPECT_EQ(65001u, doc->encoding);
    }
    DocumentRelease(doc);  // whatever was built goes with the document
    if (complete) break;
  }
  EXPECT_GT(n, 30u);
}

}  // namespace

TEST(SourceText, EveryEncodingOfTheTableIsSniffedDeclaredAndConverted) {
  for (const CoreEncoding &encoding : kCoreEncodings) {
    SCOPED_TRACE(encoding.name);
    // Found in long and short texts (both pre-filters), in any letter case.
    std::string lower = encoding.name;
    for (char &c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    for (const std::string &text : {std::string(40, ' ') + lower + "\"", encoding.name + std::string(" ")})
      EXPECT_EQ(encoding.codePage, SniffEncoding(text.data(), static_cast<uint32_t>(text.size())));
    // A new document declares it by that name.
    SG_CURSOR doc = sgCreateXMLW(nullptr, encoding.codePage, 1);
    const SG_WCHAR *declared = sgGetAttribW(doc, sprig_test::Utf16("encoding").c_str());
    EXPECT_EQ(encoding.name, declared ? sprig_test::Utf8(declared) : "<none>");
    sgCloseXML(doc);
    // The platform converts its code page both ways.
    const WCHAR probe[] = {'<', 'a', '>', 0};
    char bytes[16];
    WCHAR units[16];
    const int n = WideCharToMultiByte(encoding.codePage, 0, probe, 3, bytes, 16, nullptr, nullptr);
    EXPECT_GT(n, 0);
    EXPECT_EQ(3, MultiByteToWideChar(encoding.codePage, 0, bytes, n, units, 16));
  }
}
