// CSS selectors and character-reference decoding through the sx functions:
// the cases of selectors.txt (matches in document order, scoping, invalid
// selectors with their columns, decoding), then the corpus against the
// core's own search, the cursor contract of sxSelect, and a tree of a
// million levels on a small stack.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "model/document.h"
#include "platform/platform.h"
#include "select/selector.h"
#include "testing/testing.h"
#include "sprig_exact.h"
#include "support.h"

namespace {

using sprig_test::Utf16;
using sprig_test::Utf8;

std::string Trim(const std::string &s) {
  const size_t a = s.find_first_not_of(" \t\r");
  if (a == std::string::npos) return "";
  return s.substr(a, s.find_last_not_of(" \t\r") - a + 1);
}

// The result cursor's element: its id, or its name when it has none.
std::string Label(SG_CURSOR c) {
  const char *id = sgGetAttribA(c, "id");
  return id ? id : sgGetNameA(c);
}

// Every match of `text` below `scope` (whole document when null), walked
// with FIRST / NEXT and checked against sxSelectCount.
std::string Matches(SG_CURSOR doc, SG_CURSOR scope, const std::string &text) {
  SX_ERROR error = {};
  SX_SELECTOR sel = sxCompileSelector(text.c_str(), &error);
  if (!sel) return std::string("error: ") + error.message;
  const uint32_t mode = scope ? 0 : SX_SELECT_DOCUMENT;
  SG_CURSOR result = sgDupXML(doc);
  std::string out;
  uint32_t count = 0;
  for (uint32_t step = SX_SELECT_FIRST; sxSelect(scope ? scope : doc, sel, result, step | mode);
       step = SX_SELECT_NEXT, ++count) {
    out += (out.empty() ? "" : " ") + Label(result);
  }
  EXPECT_EQ(count, sxSelectCount(scope ? scope : doc, sel, mode)) << text;
  sgCloseXML(result);
  sxFreeSelector(sel);
  return out.empty() ? "-" : out;
}

TEST(Select, CaseFile) {
  const std::string file = sprig_test::NativePath(SPRIG_TEST_SOURCE_DIR "/selectors.txt");
  std::ifstream in(file);
  ASSERT_TRUE(in) << file;
  SG_CURSOR doc = nullptr;
  std::string line;
  int number = 0, cases = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const std::string where = file + ":" + std::to_string(number);
    if (line.compare(0, 2, "= ") == 0) {
      if (doc) sgCloseXML(doc);
      const std::string text = line.substr(2);
      if (text.compare(0, 7, "corpus:") == 0) {
        doc = sgOpenXMLA(sprig_test::CorpusPath(text.substr(7)).c_str());
      } else {
        const sprig_test::WString wide = Utf16(text);
        doc = sgParseXMLW(wide.c_str(), static_cast<uint32_t>(wide.size()));
      }
      ASSERT_NE(nullptr, doc) << where;
      continue;
    }
    const size_t arrow = line.find(" => ");
    ASSERT_NE(std::string::npos, arrow) << where;
    std::string left = line.substr(0, arrow);
    const std::string want = Trim(line.substr(arrow + 4));
    ++cases;
    if (left[0] == '!') {
      left = left.substr(left.size() > 1 ? 2 : 1);
      SX_ERROR error = {};
      EXPECT_EQ(nullptr, sxCompileSelector(left.c_str(), &error)) << where;
      EXPECT_EQ(SX_ERR_SELECTOR, error.code) << where;
      EXPECT_EQ(want, error.message) << where;
      const size_t at = want.rfind("column ");
      EXPECT_EQ(std::to_string(error.column), want.substr(at + 7)) << where;
    } else if (left[0] == '&') {
      const sprig_test::WString text = Utf16(Trim(left.substr(1)));
      std::vector<SG_WCHAR> out(text.size() + 1, 0x7777);
      const int32_t units = sxDecodeText(text.c_str(), -1, out.data(), static_cast<int32_t>(out.size()));
      EXPECT_EQ(want, Utf8(out.data(), units)) << where;
      EXPECT_EQ(0, out[units]) << where;
      EXPECT_EQ(units, sxDecodeText(text.c_str(), static_cast<int32_t>(text.size()), nullptr, 0));
      if (units > 0) {  // too small a buffer gets an empty text
        sxDecodeText(text.c_str(), -1, out.data(), units);
        EXPECT_EQ(0, out[0]) << where;
      }
    } else {
      ASSERT_NE(nullptr, doc) << where;
      left = Trim(left);
      SG_CURSOR scope = nullptr;
      if (left[0] == '{') {
        const size_t close = left.find('}');
        scope = sgDupXML(doc);
        SX_SELECTOR byId = sxCompileSelector(("#" + left.substr(1, close - 1)).c_str(), nullptr);
        ASSERT_EQ(1, sxSelect(doc, byId, scope, SX_SELECT_FIRST | SX_SELECT_DOCUMENT)) << where;
        sxFreeSelector(byId);
        left = Trim(left.substr(close + 1));
      }
      EXPECT_EQ(want, Matches(doc, scope, left)) << where << ": " << left;
      if (scope) sgCloseXML(scope);
    }
  }
  if (doc) sgCloseXML(doc);
  EXPECT_GT(cases, 150);
}

// On every corpus page, `a` and `*` find what the core's search and walk
// find, and a walk's remembered positions and climbs answer as matching
// each element afresh does.
TEST(Select, CorpusAgreesWithCoreSearch) {
  SX_SELECTOR anchors = sxCompileSelector("A", nullptr);
  SX_SELECTOR all = sxCompileSelector("*", nullptr);
  SX_SELECTOR hard = sxCompileSelector(
      "div > p a[href^=\"https\"], li:nth-child(2n+1) ~ li, div :not(ul) > li:nth-last-of-type(2n) a,"
      " body div > ul li + li:nth-of-type(n+3) a, :is(table, ul) td > :nth-last-child(-n+3) span,"
      " div div p ~ :not(div) a:nth-child(2n+1), td:nth-last-child(n+4), tr > td a",
      nullptr);
  ASSERT_TRUE(anchors && all && hard);
  const auto pages = sprig_test::CorpusFiles("html");
  ASSERT_GT(pages.size(), 100u);
  uint64_t hardTotal = 0;
  for (const std::string &page : pages) {
    SG_CURSOR c = sgOpenXMLA(page.c_str());
    ASSERT_NE(nullptr, c) << page;
    uint32_t searched = 0;
    for (uint32_t mode = SG_SEARCH_FIRST; sgSearchA(c, "a", mode); mode = SG_SEARCH_NEXT) ++searched;
    EXPECT_EQ(searched, sxSelectCount(c, anchors, SX_SELECT_DOCUMENT)) << page;
    // Elements by the core's walk in document order: every named node that
    // is no comment, declaration, processing instruction or end tag.
    uint32_t elements = 0, hardAfresh = 0;
    sgMoveTo(c, SG_MOVE_BASE);
    while (sgMoveTo(c, SG_MOVE_NEXT_IN_ORDER)) {
      const uint32_t kind = AsCursor(c)->current->kind;
      if (kind == kKindPlain || kind == kKindElement || kind == kKindVoid || kind == kKindEmptyTag) {
        ++elements;
        hardAfresh += SelectorMatches(hard, AsCursor(c)->current);
      }
    }
    EXPECT_EQ(elements, sxSelectCount(c, all, SX_SELECT_DOCUMENT)) << page;
    EXPECT_EQ(hardAfresh, sxSelectCount(c, hard, SX_SELECT_DOCUMENT)) << page;
    hardTotal += hardAfresh;
    sgCloseXML(c);
  }
  EXPECT_GT(hardTotal, 0u);
  sxFreeSelector(anchors);
  sxFreeSelector(all);
  sxFreeSelector(hard);
}

// Stepping on with NEXT keeps the walk's memory of sibling positions only
// while the tree is unedited: after a delete the answers are a fresh walk's.
TEST(Select, NextAfterAnEditAnswersAsAFreshWalk) {
  std::string text = "<ul>";
  for (int i = 1; i <= 100; ++i) text += "<li id=\"" + std::to_string(i) + "\"/>";
  SG_CURSOR doc = sgParseXMLA((text + "</ul>").c_str(), 0xFFFFFFFFu);
  SG_CURSOR result = sgDupXML(doc), first = sgDupXML(doc);
  SX_SELECTOR even = sxCompileSelector("li:nth-child(2n)", nullptr);
  ASSERT_EQ(1, sxSelect(doc, even, result, SX_SELECT_FIRST | SX_SELECT_DOCUMENT));
  for (int i = 0; i < 39; ++i) ASSERT_EQ(1, sxSelect(doc, even, result, SX_SELECT_NEXT | SX_SELECT_DOCUMENT));
  EXPECT_STREQ("80", sgGetAttribA(result, "id"));
  ASSERT_EQ(1, sgSearchA(first, "li", SG_SEARCH_FIRST));
  ASSERT_EQ(1, sgDeleteNode(first));  // li 81 is now the 80th child
  ASSERT_EQ(1, sxSelect(doc, even, result, SX_SELECT_NEXT | SX_SELECT_DOCUMENT));
  EXPECT_STREQ("81", sgGetAttribA(result, "id"));
  ASSERT_EQ(1, sxSelect(doc, even, result, SX_SELECT_NEXT | SX_SELECT_DOCUMENT));
  EXPECT_STREQ("83", sgGetAttribA(result, "id"));
  sxFreeSelector(even);
  sgCloseXML(first);
  sgCloseXML(result);
  sgDeleteXML(doc);
}

// sxSelect's cursor contract: failure leaves the result alone, NEXT from
// outside the scope, foreign documents and bad modes.
TEST(Select, CursorContract) {
  const char *text = "<r><s id=a><t id=b/></s><s id=c><t id=d/></s><t id=e/></r>";
  SG_CURSOR doc = sgParseXMLA(text, 0xFFFFFFFFu);
  SG_CURSOR other = sgParseXMLA(text, 0xFFFFFFFFu);
  SG_CURSOR scope = sgDupXML(doc), result = sgDupXML(doc);
  SX_SELECTOR s = sxCompileSelector("s", nullptr), t = sxCompileSelector("t", nullptr);
  ASSERT_EQ(1, sxSelect(doc, s, scope, SX_SELECT_FIRST | SX_SELECT_DOCUMENT));
  ASSERT_EQ(1, sxSelect(doc, s, scope, SX_SELECT_NEXT | SX_SELECT_DOCUMENT));  // scope: s#c
  EXPECT_EQ(1u, sxSelectCount(scope, t, 0));
  EXPECT_EQ(3u, sxSelectCount(scope, t, SX_SELECT_DOCUMENT));
  // NEXT from an element before the scope finds the scope's first match;
  // from one after it, nothing, and the result stays where it was.
  ASSERT_EQ(1, sxSelect(doc, t, result, SX_SELECT_FIRST | SX_SELECT_DOCUMENT));  // t#b
  ASSERT_EQ(1, sxSelect(scope, t, result, SX_SELECT_NEXT));
  EXPECT_STREQ("d", sgGetAttribA(result, "id"));
  EXPECT_EQ(0, sxSelect(scope, t, result, SX_SELECT_NEXT));
  ASSERT_EQ(1, sxSelect(doc, t, result, SX_SELECT_NEXT | SX_SELECT_DOCUMENT));  // t#e
  EXPECT_EQ(0, sxSelect(scope, t, result, SX_SELECT_NEXT));
  EXPECT_STREQ("e", sgGetAttribA(result, "id"));
  // The result's level and parent are those of the match.
  EXPECT_EQ(1u, sgGetLevel(result));
  ASSERT_EQ(1, sgMoveTo(result, SG_MOVE_PARENT));
  EXPECT_STREQ("r", sgGetNameA(result));
  // A result narrowed below another element is widened to reach a match.
  ASSERT_EQ(1, sxSelect(doc, s, result, SX_SELECT_FIRST | SX_SELECT_DOCUMENT));
  ASSERT_EQ(1, sgSetBase(result, 1));
  ASSERT_EQ(1, sxSelect(doc, t, result, SX_SELECT_FIRST | SX_SELECT_DOCUMENT));
  ASSERT_EQ(1, sxSelect(doc, t, result, SX_SELECT_NEXT | SX_SELECT_DOCUMENT));
  EXPECT_STREQ("d", sgGetAttribA(result, "id"));
  EXPECT_EQ(2u, sgGetLevel(result));
  // Cursors of two documents, bad modes, null handles: nothing moves.
  EXPECT_EQ(0, sxSelect(doc, t, other, SX_SELECT_FIRST | SX_SELECT_DOCUMENT));
  EXPECT_EQ(0, sxSelect(doc, t, result, 0));
  EXPECT_EQ(0, sxSelect(doc, t, result, SX_SELECT_FIRST | SX_SELECT_NEXT));
  EXPECT_EQ(0u, sxSelectCount(doc, t, SX_SELECT_FIRST));
  EXPECT_EQ(0, sxSelect(nullptr, t, result, SX_SELECT_FIRST));
  EXPECT_EQ(0, sxSelect(doc, nullptr, result, SX_SELECT_FIRST));
  EXPECT_EQ(0, sxSelect(doc, t, nullptr, SX_SELECT_FIRST));
  EXPECT_EQ(0u, sxSelectCount(nullptr, t, 0));
  EXPECT_STREQ("d", sgGetAttribA(result, "id"));
  SX_ERROR error = {};
  EXPECT_EQ(nullptr, sxCompileSelector(nullptr, &error));
  EXPECT_EQ(SX_ERR_ARGUMENT, error.code);
  EXPECT_EQ(nullptr, sxCompileSelector("a[", nullptr));  // no error record: still null
  // Places count lines and characters; bad UTF-8 and memory are errors too.
  const struct {
    const char *text;
    int32_t code;
    uint32_t line, column;
    const char *message;
  } errors[] = {
      {"a,\n [", SX_ERR_SELECTOR, 2, 3, "expected an attribute name at line 2, column 3"},
      {"\xC3\xA9\xFF", SX_ERR_SELECTOR, 1, 2, "invalid UTF-8 at column 2"},
      {"a[x=\"\xE0\x80\x80\"]", SX_ERR_SELECTOR, 1, 6, "invalid UTF-8 at column 6"},
      {"\xF0\x9F\x98\x80\xF8", SX_ERR_SELECTOR, 1, 2, "invalid UTF-8 at column 2"},
      {"a\\\n", SX_ERR_SELECTOR, 1, 2, "a line break cannot be escaped here at column 2"},
      {"[x=\"a\nb\"]", SX_ERR_SELECTOR, 1, 6, "line break in a string at column 6"},
      {"a", SX_ERR_MEMORY, 0, 0, "out of memory compiling a selector"},
  };
  for (const auto &e : errors) {
    if (e.code == SX_ERR_MEMORY) PlatformFailAllocationAt(1);
    EXPECT_EQ(nullptr, sxCompileSelector(e.text, &error)) << e.text;
    PlatformFailAllocationAt(0);
    EXPECT_EQ(e.code, error.code) << e.text;
    EXPECT_EQ(e.line, error.line) << e.text;
    EXPECT_EQ(e.column, error.column) << e.text;
    EXPECT_STREQ(e.message, error.message) << e.text;
  }
  sxFreeSelector(nullptr);
  EXPECT_EQ(0, sxDecodeText(nullptr, -1, nullptr, 0));
  sxFreeSelector(s);
  sxFreeSelector(t);
  for (SG_CURSOR c : {doc, other, scope, result}) sgCloseXML(c);
}

// A million levels and a million siblings: matching climbs and counts
// without recursion, and a walk stays linear where each candidate would
// otherwise count its siblings or climb to the top again.
TEST(Select, MillionLevelsOnSmallStack) {
  constexpr uint32_t kDepth = 1000000;
  std::string deep, wide = "<ul>";
  deep.reserve(kDepth * 10 + 64);
  wide.reserve(kDepth * 5 + 16);
  for (uint32_t i = 0; i < kDepth; ++i) deep += i % 2 ? "<b>" : "<a x=1>";
  deep += "<c/>";
  for (uint32_t i = 0; i < kDepth; ++i) wide += i % 3 ? "<li/>" : "<p/>";
  wide += "</ul>";
  sprig_test::RunOnSmallStack([&] {
    SG_CURSOR docs[2] = {sgParseXMLA(deep.c_str(), static_cast<uint32_t>(deep.size())),
                         sgParseXMLA(wide.c_str(), static_cast<uint32_t>(wide.size()))};
    ASSERT_TRUE(docs[0] && docs[1]);
    const struct {
      int doc;
      const char *selector;
      uint32_t count;
    } cases[] = {
        {0, "a > b", kDepth / 2},
        {0, "b:first-child:only-child > a[x='1']", kDepth / 2 - 1},
        {0, "c", 1},
        {0, ":root a b > c", 1},
        {0, "a:is(b > *):not(:empty) > b", kDepth / 2 - 1},
        {0, ":empty", 1},
        {0, "x a", 0},
        {0, "b a", kDepth / 2 - 1},
        {0, "x > b a, a > b > c", 1},
        {1, "li:nth-child(2)", 1},
        {1, "li:nth-last-child(2)", 1},
        {1, "li:nth-of-type(3)", 1},
        {1, "p:nth-last-of-type(2), li:last-of-type", 2},
        {1, "li:nth-child(3n+2) + li", kDepth / 3},
        {1, ":nth-last-of-type(n+2)", kDepth - 2},
        {1, "li:nth-of-type(2n)", kDepth / 3},
    };
    for (const auto &k : cases) {
      SX_SELECTOR sel = sxCompileSelector(k.selector, nullptr);
      ASSERT_NE(nullptr, sel) << k.selector;
      EXPECT_EQ(k.count, sxSelectCount(docs[k.doc], sel, SX_SELECT_DOCUMENT)) << k.selector;
      sxFreeSelector(sel);
    }
    SX_SELECTOR c = sxCompileSelector("c", nullptr);
    SG_CURSOR result = sgDupXML(docs[0]);
    ASSERT_EQ(1, sxSelect(docs[0], c, result, SX_SELECT_FIRST | SX_SELECT_DOCUMENT));
    EXPECT_EQ(kDepth, sgGetLevel(result));
    sxFreeSelector(c);
    sgCloseXML(result);
    for (SG_CURSOR doc : docs) sgCloseXML(doc);
  });
}

}  // namespace
