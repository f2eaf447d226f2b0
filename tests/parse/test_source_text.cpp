// Loading and decoding sources: the code-page sniffer, the UTF-8 check, the
// byte-order mark, terminators inside texts, the XML declaration and meta
// content-type rules with their single restart, and reading real files
// (missing, through narrow and UTF-16 paths, too large to address).
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "parse_test_util.h"

using namespace parse_test;

namespace {

uint32_t Sniff(const std::string &bytes) {
  return SniffEncoding(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

// Parses `bytes` written to a file of the test's temporary folder.
int ParseFile(ParsedDocument &d, const sprig_test::TempDir &dir, const std::string &bytes) {
  std::string path = dir.WriteFile("source.xml", bytes);
  return ParseDocumentFromFileA(d.doc(), path.c_str());
}

const char kEAcute[] = "\xC3\xA9";  // U+00E9 in UTF-8

}  // namespace

TEST(SourceText, SniffTakesTheEarliestName) {
  EXPECT_EQ(0u, Sniff("<p>plain</p>"));
  EXPECT_EQ(65001u, Sniff("<p>body text says charset=UTF-8 here</p>"));
  EXPECT_EQ(65001u, Sniff("uTf-8 "));
  EXPECT_EQ(65000u, Sniff("<a b='utf-7'>"));
  EXPECT_EQ(0u, Sniff("<!-- Shift-JIS --><meta content='charset=utf-8'>"));
  EXPECT_EQ(65001u, Sniff("utf-8 before shift-jis "));
  // A name needs at least one byte behind it.
  EXPECT_EQ(0u, Sniff("charset=utf-8"));
  EXPECT_EQ(65001u, Sniff("charset=utf-8\""));
  EXPECT_EQ(0u, Sniff("shift-jis utf-8 "));
  EXPECT_EQ(0u, Sniff("xshift-jis utf-8 "));
  // Bytes behind a zero still count: the sniffer sees the given length.
  EXPECT_EQ(65001u, Sniff(std::string("<a/>\0utf-8 ", 11)));
}

TEST(SourceText, WellFormedUtf8ByLeadAndContinuationBytes) {
  EXPECT_TRUE(IsWellFormedUtf8(""));
  EXPECT_TRUE(IsWellFormedUtf8("plain <ascii>"));
  EXPECT_TRUE(IsWellFormedUtf8("\xEF\xBB\xBF<a>\xC3\xA9\xE3\x81\x82\xF0\x9F\x98\x80</a>"));
  EXPECT_TRUE(IsWellFormedUtf8("\xE0\x80\x80"));  // overlong forms are not checked
  EXPECT_FALSE(IsWellFormedUtf8("a\xC0\x80"));
  EXPECT_FALSE(IsWellFormedUtf8("a\xC1\xBF"));
  EXPECT_FALSE(IsWellFormedUtf8("\x80"));
  EXPECT_FALSE(IsWellFormedUtf8("\xF8\x88\x80\x80\x80"));
  EXPECT_FALSE(IsWellFormedUtf8("\xC3"));        // cut off by the terminator
  EXPECT_FALSE(IsWellFormedUtf8("\xE3\x81"));
  EXPECT_FALSE(IsWellFormedUtf8("\xE3\x81x"));   // not a continuation byte
  EXPECT_FALSE(IsWellFormedUtf8("\x82\xA0"));    // Shift-JIS bytes
}

TEST(SourceText, NarrowTextIsDecodedWithTheSniffedCodePage) {
  const std::string text = std::string("<p>charset=utf-8 ") + kEAcute + "</p>";
  ParsedDocument d;
  ASSERT_EQ(1, ParseA(d, text));
  EXPECT_EQ(65001u, d.doc()->encoding);
  EXPECT_EQ(std::string("charset=utf-8 ") + kEAcute, InnerOf(d.top()));
  EXPECT_EQ(text.size() + 1, d.source()->rawSize);  // the bytes and their zero
}

TEST(SourceText, TextIsReadUpToATerminatorInside) {
  ParsedDocument d;
  ASSERT_EQ(1, ParseA(d, std::string("<a/>\0<b/>", 9)));
  EXPECT_EQ(1, RingSize(d.root()));
  EXPECT_EQ(10u, d.source()->rawSize);  // all bytes are kept
  ParsedDocument w;
  sprig_test::WString text = sprig_test::Utf16(std::string("<a/>\0<b/>", 9));
  ASSERT_EQ(1, ParseDocumentFromTextW(w.doc(), W(text), static_cast<int32_t>(text.size())));
  EXPECT_EQ(1, RingSize(w.root()));
  EXPECT_EQ(nullptr, w.source()->rawBytes);
  // A length shorter than the text cuts it.
  ParsedDocument e;
  ASSERT_EQ(1, ParseDocumentFromTextA(e.doc(), "<a/><b/>", 4));
  EXPECT_EQ(1, RingSize(e.root()));
}

TEST(SourceText, EmptyAndNullTexts) {
  ParsedDocument d;
  EXPECT_EQ(1, ParseA(d, ""));
  EXPECT_EQ(0, RingSize(d.root()));
  ParsedDocument n;
  EXPECT_EQ(0, ParseDocumentFromTextA(n.doc(), nullptr, -1));
  EXPECT_EQ(0, ParseDocumentFromTextW(n.doc(), nullptr, -1));
  EXPECT_EQ(nullptr, n.source());
}

TEST(SourceText, ByteOrderMarkIsSkippedButSelectsNothing) {
  sprig_test::TempDir dir;
  ParsedDocument d;
  ASSERT_EQ(1, ParseFile(d, dir, std::string("\xEF\xBB\xBF<a>") + kEAcute + "</a>"));
  EXPECT_EQ(0u, d.doc()->encoding);
  EXPECT_EQ('<', d.source()->text[0]);
  EXPECT_EQ(0, d.top()->srcStart);
  EXPECT_EQ(3, d.top()->srcTagEnd);
  EXPECT_NE(std::string(kEAcute), InnerOf(d.top()));  // decoded as code page 0
}

TEST(SourceText, DeclarationSelectsUtf8OnlyForWellFormedBytes) {
  sprig_test::TempDir dir;
  const std::string decl = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
  ParsedDocument d;
  ASSERT_EQ(1, ParseFile(d, dir, decl + "<r>" + kEAcute + "</r>"));
  EXPECT_EQ(65001u, d.doc()->encoding);
  EXPECT_EQ(65001u, d.source()->codePage);
  EXPECT_EQ(1u, d.doc()->xmlFlag);
  ASSERT_EQ(2, RingSize(d.root()));
  EXPECT_EQ(kEAcute, InnerOf(d.top(1)));
  EXPECT_EQ(2u, d.source()->tagCounter);  // numbering started again

  ParsedDocument bad;
  ASSERT_EQ(1, ParseFile(bad, dir, decl + "<r>\xC0</r>"));
  EXPECT_EQ(0u, bad.doc()->encoding);
  EXPECT_EQ(1u, bad.doc()->xmlFlag);
}

TEST(SourceText, TextsInMemorySwitchWhereANameMaySwitchThem) {
  // A text is decoded straight from the caller's bytes unless a name in them
  // may still switch its code page: after an earlier "shift-jis", or ending
  // the text where the sniffer does not count it. Either way the bytes are
  // gone once the tree is read.
  const std::string utf8Body = std::string("<r>") + kEAcute + "</r>";
  ParsedDocument later;
  ASSERT_EQ(1, ParseA(later, "<!-- shift-jis --><?xml version='1.0' encoding='utf-8'?>" + utf8Body));
  EXPECT_EQ(65001u, later.doc()->encoding);
  EXPECT_EQ(kEAcute, InnerOf(later.top(2)));
  EXPECT_EQ(nullptr, later.source()->rawBytes);

  ParsedDocument atEnd;
  ASSERT_EQ(1, ParseA(atEnd, "<?xml version='1.0' encoding=utf-8"));
  EXPECT_EQ(65001u, atEnd.doc()->encoding);
  EXPECT_EQ(nullptr, atEnd.source()->rawBytes);

  ParsedDocument none;
  ASSERT_EQ(1, ParseA(none, "<?xml version='1.0' encoding='euc-jp'?><r>\x82\xA0</r>"));
  EXPECT_EQ(0u, none.doc()->encoding);
  EXPECT_EQ("\xE3\x81\x82", InnerOf(none.top(1)));  // U+3042 from code page 932
  EXPECT_EQ(nullptr, none.source()->rawBytes);
}

TEST(SourceText, DeclarationEncodingNames) {
  sprig_test::TempDir dir;
  struct Case {
    const char *name;
    uint32_t code;
  } cases[] = {{"EUC-JP", 0}, {"Shift_JIS", 0}, {"shift-jis", 0}, {"UTF-7", 65000}, {"Utf-8", 65001}};
  for (const Case &c : cases) {
    ParsedDocument d;
    ASSERT_EQ(1, ParseFile(d, dir, std::string("<?xml encoding='") + c.name + "'?><r>+AOk-</r>"));
    EXPECT_EQ(c.code, d.doc()->encoding) << c.name;
  }
  // UTF-7 is taken without any test of the bytes: "+AOk-" is U+00E9.
  ParsedDocument d;
  ASSERT_EQ(1, ParseFile(d, dir, "<?xml encoding='utf-7'?><r>+AOk-</r>"));
  EXPECT_EQ(kEAcute, InnerOf(d.top(1)));
  // A declaration nested in an element, or in UTF-16 text, changes nothing.
  ParsedDocument nested;
  ASSERT_EQ(1, ParseFile(nested, dir, "<r><?xml encoding='utf-8'?></r>"));
  EXPECT_EQ(0u, nested.doc()->encoding);
  EXPECT_EQ(0u, nested.doc()->xmlFlag);
  ParsedDocument wide;
  ASSERT_EQ(1, ParseW(wide, "<?xml encoding='UTF-8'?><r/>"));
  EXPECT_EQ(0u, wide.doc()->encoding);
  EXPECT_EQ(1u, wide.doc()->xmlFlag);
}

TEST(SourceText, MetaContentTypeRestartsTheParse) {
  sprig_test::TempDir dir;
  ParsedDocument d;
  ASSERT_EQ(1, ParseFile(d, dir,
                         "<html><head><META HTTP-EQUIV='Content-Type' "
                         "content='text/html; charset=UTF-8'><title>" +
                             std::string(kEAcute) + "</title></head></html>"));
  EXPECT_EQ(65001u, d.doc()->encoding);
  Node *head = ChildOf(d.top());
  ASSERT_EQ(2, RingSize(head->child));
  EXPECT_EQ(2, ChildOf(head, 0)->tagNumber);  // numbered again after the restart
  EXPECT_EQ(kEAcute, InnerOf(ChildOf(head, 1)));

  // Names that do not qualify: both code names, a missing value, other equiv.
  for (const char *meta : {"<meta http-equiv=content-type content='shift-jis; utf-8'>",
                           "<meta http-equiv content='charset=utf-8'>",
                           "<meta http-equiv=refresh content='charset=utf-8'>",
                           "<meta content='charset=utf-8'>"}) {
    ParsedDocument m;
    ASSERT_EQ(1, ParseFile(m, dir, std::string(meta) + "<p>" + kEAcute + "</p>"));
    EXPECT_EQ(0u, m.doc()->encoding) << meta;
  }
}

TEST(SourceText, AtMostOneRestart) {
  sprig_test::TempDir dir;
  ParsedDocument d;
  ASSERT_EQ(1, ParseFile(d, dir,
                         "<?xml version='1.0' encoding='UTF-8'?><r><meta http-equiv='content-type'"
                         " content='text/html; charset=utf-7'/>+AOk-</r>"));
  EXPECT_EQ(65001u, d.doc()->encoding);
  EXPECT_EQ("+AOk-", AfterOf(ChildOf(d.top(1))));
  // UTF-16 text has no bytes to decode again.
  ParsedDocument w;
  ASSERT_EQ(1, ParseW(w, "<meta http-equiv='content-type' content='charset=utf-8'><p/>"));
  EXPECT_EQ(0u, w.doc()->encoding);
  EXPECT_EQ(2, RingSize(w.root()));
}

TEST(SourceText, FilesThroughNarrowAndWidePaths) {
  sprig_test::TempDir dir;
  std::string path = dir.WriteFile("a.xml", "<a x='1'>t<b/></a>");
  ParsedDocument a;
  ASSERT_EQ(1, ParseDocumentFromFileA(a.doc(), path.c_str()));
  sprig_test::WString wpath = sprig_test::Utf16(path);
  ParsedDocument w;
  ASSERT_EQ(1, ParseDocumentFromFileW(w.doc(), W(wpath)));
  for (ParsedDocument *d : {&a, &w}) {
    EXPECT_EQ(2, CheckTree(*d));
    EXPECT_EQ("t", InnerOf(d->top()));
    EXPECT_EQ(18u + 3u, d->source()->rawSize);  // the size plus three zeros
  }
  // An empty file is an empty document.
  ParsedDocument e;
  std::string empty = dir.WriteFile("empty.xml", "");
  ASSERT_EQ(1, ParseDocumentFromFileA(e.doc(), empty.c_str()));
  EXPECT_EQ(0, RingSize(e.root()));
}

TEST(SourceText, MissingFileFailsAndKeepsTheDocument) {
  sprig_test::TempDir dir;
  ParsedDocument d;
  ASSERT_EQ(1, ParseW(d, "<keep/>"));
  std::string missing = dir.File("missing.xml");
  EXPECT_EQ(0, ParseDocumentFromFileA(d.doc(), missing.c_str()));
  sprig_test::WString wmissing = sprig_test::Utf16(missing);
  EXPECT_EQ(0, ParseDocumentFromFileW(d.doc(), W(wmissing)));
  EXPECT_EQ(0, ParseDocumentFromFileA(d.doc(), nullptr));
  EXPECT_EQ(0, ParseDocumentFromFileA(d.doc(), dir.path().c_str()));  // a folder
  EXPECT_EQ("keep", NameOf(d.top()));
}

TEST(SourceText, FilesTooLargeForThirtyTwoBitPositionsAreRefused) {
  // Sparse files: nothing is written, and the size alone must refuse them
  // before any buffer is made.
  sprig_test::TempDir dir;
  for (unsigned long long size : {(1ull << 32) + 16, 1ull << 31}) {
    std::string path = dir.File("huge.xml");
    { std::ofstream(path, std::ios::binary) << "<a>"; }
    std::error_code error;
    std::filesystem::resize_file(path, size, error);
    if (error) GTEST_SKIP() << "cannot make a sparse file: " << error.message();
    ParsedDocument d;
    EXPECT_EQ(0, ParseDocumentFromFileA(d.doc(), path.c_str())) << size;
    EXPECT_EQ(nullptr, d.source());
    std::filesystem::remove(path, error);
  }
}
