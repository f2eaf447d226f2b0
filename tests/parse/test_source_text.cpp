// Loading and decoding sources: the code-page sniffer, the UTF-8 check, the
// byte-order mark, terminators inside texts, the XML declaration and meta
// content-type rules with their single restart, and reading real files
// (missing, through narrow and UTF-16 paths, too large to address).
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "parse_test_util.h"
#include "text/encodings.h"

using namespace parse_test;

namespace {

const char kEAcute[] = "\xC3\xA9";  // U+00E9 in UTF-8

}  // namespace

TEST(SourceText, SniffTakesTheEarliestName) {
  const std::pair<std::string, uint32_t> cases[] = {
      {"<p>plain</p>", 0}, {"<p>body text says charset=UTF-8 here</p>", 65001},
      {"uTf-8 ", 65001}, {"<a b='utf-7'>", 65000},
      {"<!-- Shift-JIS --><meta content='charset=utf-8'>", 0}, {"utf-8 before shift-jis ", 65001},
      // A name needs at least one byte behind it.
      {"charset=utf-8", 0}, {"charset=utf-8\"", 65001},
      {"shift-jis utf-8 ", 0}, {"xshift-jis utf-8 ", 0},
      // Bytes behind a zero still count: the sniffer sees the given length.
      {std::string("<a/>\0utf-8 ", 11), 65001},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(c.second, SniffEncoding(c.first.data(), static_cast<uint32_t>(c.first.size())))
        << c.first;
  }
}

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

TEST(SourceText, WellFormedUtf8ByLeadAndContinuationBytes) {
  for (const char *text : {"", "plain <ascii>",
                           "\xEF\xBB\xBF<a>\xC3\xA9\xE3\x81\x82\xF0\x9F\x98\x80</a>",
                           "\xE0\x80\x80"}) {  // overlong forms are not checked
    EXPECT_TRUE(IsWellFormedUtf8(text)) << text;
  }
  for (const char *text : {"a\xC0\x80", "a\xC1\xBF", "\x80", "\xF8\x88\x80\x80\x80",
                           "\xC3",         // cut off by the terminator
                           "\xE3\x81",
                           "\xE3\x81x",    // not a continuation byte
                           "\x82\xA0"}) {  // Shift-JIS bytes
    EXPECT_FALSE(IsWellFormedUtf8(text)) << text;
  }
}

TEST(SourceText, NarrowTextIsDecodedWithTheSniffedCodePage) {
  const std::string text = std::string("<p>charset=utf-8 ") + kEAcute + "</p>";
  ParsedDocument d(text, Form::kNarrow);
  EXPECT_EQ(65001u, d.doc()->encoding);
  EXPECT_EQ(std::string("charset=utf-8 ") + kEAcute, InnerOf(d.top()));
  EXPECT_EQ(text.size() + 1, d.source()->rawSize);  // the bytes and their zero
}

TEST(SourceText, TextIsReadUpToATerminatorInside) {
  const std::string text("<a/>\0<b/>", 9);
  ParsedDocument d(text, Form::kNarrow);
  EXPECT_EQ(1, RingSize(d.root()));
  EXPECT_EQ(10u, d.source()->rawSize);  // all bytes are kept
  ParsedDocument w;
  sprig_test::WString wide = sprig_test::Utf16(text);
  ASSERT_EQ(1, ParseDocumentFromTextW(w.doc(), W(wide), static_cast<int32_t>(wide.size())));
  EXPECT_EQ(1, RingSize(w.root()));
  EXPECT_EQ(nullptr, w.source()->rawBytes);
  // A length shorter than the text cuts it.
  ParsedDocument e;
  ASSERT_EQ(1, ParseDocumentFromTextA(e.doc(), "<a/><b/>", 4));
  EXPECT_EQ(1, RingSize(e.root()));
}

TEST(SourceText, EmptyAndNullTexts) {
  ParsedDocument d("", Form::kNarrow);
  EXPECT_EQ(0, RingSize(d.root()));
  ParsedDocument n;
  EXPECT_EQ(0, ParseDocumentFromTextA(n.doc(), nullptr, -1));
  EXPECT_EQ(0, ParseDocumentFromTextW(n.doc(), nullptr, -1));
  EXPECT_EQ(nullptr, n.source());
}

TEST(SourceText, ByteOrderMarkIsSkippedButSelectsNothing) {
  ParsedDocument d(std::string("\xEF\xBB\xBF<a>") + kEAcute + "</a>", Form::kFile);
  EXPECT_EQ(0u, d.doc()->encoding);
  EXPECT_EQ('<', d.source()->text[0]);
  EXPECT_EQ(0, d.top()->srcStart);
  EXPECT_EQ(3, d.top()->srcTagEnd);
  EXPECT_NE(std::string(kEAcute), InnerOf(d.top()));  // decoded as code page 0
}

TEST(SourceText, DeclarationSelectsUtf8OnlyForWellFormedBytes) {
  const std::string decl = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
  ParsedDocument d(decl + "<r>" + kEAcute + "</r>", Form::kFile);
  EXPECT_EQ(65001u, d.doc()->encoding);
  EXPECT_EQ(65001u, d.source()->codePage);
  EXPECT_EQ(1u, d.doc()->xmlFlag);
  EXPECT_EQ("xml+{\n} r{\xC3\xA9}", Sketch(d));
  EXPECT_EQ(2u, d.source()->tagCounter);  // numbering started again

  ParsedDocument bad(decl + "<r>\xC0</r>", Form::kFile);
  EXPECT_EQ(0u, bad.doc()->encoding);
  EXPECT_EQ(1u, bad.doc()->xmlFlag);
}

TEST(SourceText, TextsInMemorySwitchWhereANameMaySwitchThem) {
  // A text is decoded straight from the caller's bytes unless a name in them
  // may still switch its code page: after an earlier "shift-jis", or ending
  // the text where the sniffer does not count it. Either way the bytes are
  // gone once the tree is read.
  ParsedDocument later(std::string("<!-- shift-jis --><?xml version='1.0' encoding='utf-8'?><r>") +
                           kEAcute + "</r>",
                       Form::kNarrow);
  EXPECT_EQ(65001u, later.doc()->encoding);
  EXPECT_EQ(kEAcute, InnerOf(later.top(2)));
  EXPECT_EQ(nullptr, later.source()->rawBytes);

  ParsedDocument atEnd("<?xml version='1.0' encoding=utf-8", Form::kNarrow);
  EXPECT_EQ(65001u, atEnd.doc()->encoding);
  EXPECT_EQ(nullptr, atEnd.source()->rawBytes);

  ParsedDocument none("<?xml version='1.0' encoding='euc-jp'?><r>\x82\xA0</r>", Form::kNarrow);
  EXPECT_EQ(0u, none.doc()->encoding);
  EXPECT_EQ("\xE3\x81\x82", InnerOf(none.top(1)));  // U+3042 from code page 932
  EXPECT_EQ(nullptr, none.source()->rawBytes);
}

TEST(SourceText, DeclarationEncodingNames) {
  const std::pair<const char *, uint32_t> cases[] = {
      {"EUC-JP", 0}, {"Shift_JIS", 0}, {"shift-jis", 0}, {"UTF-7", 65000}, {"Utf-8", 65001}};
  for (const auto &c : cases) {
    ParsedDocument d(std::string("<?xml encoding='") + c.first + "'?><r>+AOk-</r>", Form::kFile);
    EXPECT_EQ(c.second, d.doc()->encoding) << c.first;
  }
  // UTF-7 is taken without any test of the bytes: "+AOk-" is U+00E9.
  ParsedDocument d("<?xml encoding='utf-7'?><r>+AOk-</r>", Form::kFile);
  EXPECT_EQ(kEAcute, InnerOf(d.top(1)));
  // A declaration nested in an element, or in UTF-16 text, changes nothing.
  ParsedDocument nested("<r><?xml encoding='utf-8'?></r>", Form::kFile);
  EXPECT_EQ(0u, nested.doc()->encoding);
  EXPECT_EQ(0u, nested.doc()->xmlFlag);
  ParsedDocument wide("<?xml encoding='UTF-8'?><r/>");
  EXPECT_EQ(0u, wide.doc()->encoding);
  EXPECT_EQ(1u, wide.doc()->xmlFlag);
}

TEST(SourceText, MetaContentTypeRestartsTheParse) {
  ParsedDocument d(std::string("<html><head><META HTTP-EQUIV='Content-Type' "
                               "content='text/html; charset=UTF-8'><title>") +
                       kEAcute + "</title></head></html>",
                   Form::kFile);
  EXPECT_EQ(65001u, d.doc()->encoding);
  ASSERT_EQ("html(head(META title{\xC3\xA9}))", Sketch(d));
  EXPECT_EQ(2, ChildOf(ChildOf(d.top()))->tagNumber);  // numbered again after the restart

  // Names that do not qualify: both code names, a missing value, other equiv.
  for (const char *meta : {"<meta http-equiv=content-type content='shift-jis; utf-8'>",
                           "<meta http-equiv content='charset=utf-8'>",
                           "<meta http-equiv=refresh content='charset=utf-8'>",
                           "<meta content='charset=utf-8'>"}) {
    ParsedDocument m(std::string(meta) + "<p>" + kEAcute + "</p>", Form::kFile);
    EXPECT_EQ(0u, m.doc()->encoding) << meta;
  }
}

TEST(SourceText, AtMostOneRestart) {
  ParsedDocument d("<?xml version='1.0' encoding='UTF-8'?><r><meta http-equiv='content-type'"
                   " content='text/html; charset=utf-7'/>+AOk-</r>",
                   Form::kFile);
  EXPECT_EQ(65001u, d.doc()->encoding);
  EXPECT_EQ("+AOk-", AfterOf(ChildOf(d.top(1))));
  // UTF-16 text has no bytes to decode again.
  ParsedDocument w("<meta http-equiv='content-type' content='charset=utf-8'><p/>");
  EXPECT_EQ(0u, w.doc()->encoding);
  EXPECT_EQ("meta p", Sketch(w));
}

TEST(SourceText, FilesThroughNarrowAndWidePaths) {
  sprig_test::TempDir dir;
  std::string path = dir.WriteFile("a.xml", "<a x='1'>t<b/></a>");
  ParsedDocument a, w;
  ASSERT_EQ(1, ParseDocumentFromFileA(a.doc(), path.c_str()));
  ASSERT_EQ(1, ParseDocumentFromFileW(w.doc(), W(sprig_test::Utf16(path))));
  for (ParsedDocument *d : {&a, &w}) {
    EXPECT_EQ(2, CheckTree(*d));
    EXPECT_EQ("t", InnerOf(d->top()));
    EXPECT_EQ(18u + 3u, d->source()->rawSize);  // the size plus three zeros
  }
  // An empty file is an empty document.
  ParsedDocument e("", Form::kFile);
  EXPECT_EQ(0, RingSize(e.root()));
}

TEST(SourceText, MissingFileFailsAndKeepsTheDocument) {
  sprig_test::TempDir dir;
  ParsedDocument d("<keep/>");
  std::string missing = dir.File("missing.xml");
  EXPECT_EQ(0, ParseDocumentFromFileA(d.doc(), missing.c_str()));
  EXPECT_EQ(0, ParseDocumentFromFileW(d.doc(), W(sprig_test::Utf16(missing))));
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
