// Building the tree: the closing rules, raw script content, '<' kept as
// text, inner and after texts, positions and tag numbers, very deep and very
// long inputs, and running out of memory part-way.
#include <gtest/gtest.h>

#include <vector>

#include "output/release.h"
#include "testing/testing.h"
#include "parse_test_util.h"
#include "platform/platform.h"

using namespace parse_test;

namespace {

// Checks a node's start, start-tag end and end positions.
void ExpectSpan(const Node *n, int32_t start, int32_t tagEnd, int32_t end) {
  ASSERT_NE(nullptr, n);
  EXPECT_EQ(start, n->srcStart) << NameOf(n);
  EXPECT_EQ(tagEnd, n->srcTagEnd) << NameOf(n);
  EXPECT_EQ(end, n->srcEnd) << NameOf(n);
}

}  // namespace

TEST(TreeBuilder, EndTagClosesTheInnermostElementWhateverItsName) {
  ParsedDocument d("<a><b></a></b><c/>"), e("<p>x</q>y<p>z");
  ASSERT_EQ("a(b) c", Sketch(d));
  EXPECT_EQ(10, ChildOf(d.top())->srcEnd);  // behind </a>
  EXPECT_EQ(14, d.top()->srcEnd);           // behind </b>
  ASSERT_EQ("p{x}+{y} p{z}", Sketch(e));
  EXPECT_EQ(0, e.top(1)->srcEnd);  // left open at the end of the text
}

TEST(TreeBuilder, EndTagAtTopLevelEndsTheParse) {
  ParsedDocument d("<a/></b><c/>");
  EXPECT_EQ("a", Sketch(d));
  // A void element encloses nothing, so its stray end tag closes the parent.
  ParsedDocument e("<p>a<br></br>b</p><q/>");
  ASSERT_EQ("p{a}(br)+{b}", Sketch(e));
  EXPECT_EQ(kKindVoid, ChildOf(e.top())->kind);
}

TEST(TreeBuilder, ListItemsAndDefinitionsCloseAnOpenSibling) {
  ParsedDocument d("<ul><li>a<LI>b</ul>");
  ASSERT_EQ("ul(li{a} LI{b})", Sketch(d));
  EXPECT_EQ(0, ChildOf(d.top(), 0)->srcEnd);   // closed by its sibling
  EXPECT_EQ(19, ChildOf(d.top(), 1)->srcEnd);  // </ul> closed the second li
  EXPECT_EQ(0, d.top()->srcEnd);               // ... and left ul open
  // A closing sibling without content takes the text behind it.
  ParsedDocument e("<ul><li>a<li/>b</ul>");
  ASSERT_EQ("ul(li{a} li+{b})", Sketch(e));
  EXPECT_EQ(kKindEmptyTag, ChildOf(e.top(), 1)->kind);
  EXPECT_NE(0, e.top()->srcEnd);
  // Terms and data close each other.
  ParsedDocument f("<dl><dt>t<dd>d<dt>u</dl>");
  EXPECT_EQ("dl(dt{t} dd{d} dt{u})", Sketch(f));
}

TEST(TreeBuilder, SiblingRuleLooksOnlyAtTheOpenElement) {
  // The second tr is read inside td, whose name differs: the tree nests.
  ParsedDocument d("<table><tr><td>1<tr><td>2</table>");
  ASSERT_EQ("table(tr(td{1}(tr(td{2}))))", Sketch(d));
  Node *n = d.top();
  while (ChildOf(n)) n = ChildOf(n);
  EXPECT_NE(0, n->srcEnd);  // </table> closed the innermost td
}

TEST(TreeBuilder, ScriptContentIsReadRaw) {
  ParsedDocument d("<script>if (a<b) x='</p>';</script>t<Script>y<b></SCRIPT >u");
  ASSERT_EQ("script{if (a<b) x='</p>';}+{t} Script{y<b>}+{u}", Sketch(d));
  EXPECT_EQ(0, RingSize(d.top(0)->child));
  ParsedDocument e("<script>never closed <a>");
  ASSERT_EQ("script{never closed <a>}", Sketch(e));
  EXPECT_EQ(0, e.top()->srcEnd);
}

TEST(TreeBuilder, LessThanThatStartsNoTagStaysTextOrEndsTheTopLevel) {
  ParsedDocument d("<p>a <= b</p>"), e("<p><b>x</b> 1 <= 2</p>");
  ASSERT_EQ("p{a <= b}", Sketch(d));
  EXPECT_EQ(13, d.top()->srcEnd);
  EXPECT_EQ("p(b{x}+{ 1 <= 2})", Sketch(e));
  // Several runs in one element, each ending at a real tag.
  ParsedDocument f("<p>x <= 1 <= 2 <b/>y <=3 <<z</p>");
  EXPECT_EQ("p{x <= 1 <= 2 }(b+{y <=3 <<z})", Sketch(f));
  // "<<b>" gives the second '<' to the first: b is text too.
  ParsedDocument g("<p>a<<b>x</b>y");
  ASSERT_EQ("p{a<<b>x}+{y}", Sketch(g));
  EXPECT_EQ(0, RingSize(g.top()->child));
  // At the end of the text.
  ParsedDocument h("<p>x<");
  EXPECT_EQ("p{x<}", Sketch(h));
  // At the top level such a '<' ends the parse.
  ParsedDocument top("<a/>x <= y<b/>");
  EXPECT_EQ("a+{x }", Sketch(top));
}

TEST(TreeBuilder, TextBeforeTheFirstTag) {
  for (const char *text : {"hello <a/>", "\xEF\xBB\xBF<a/>", "", "   "}) {
    ParsedDocument d(text);
    EXPECT_EQ(0, RingSize(d.root())) << text;
  }
  ParsedDocument d(" \r\n\t<a/>");
  ExpectSpan(d.top(), 0, 8, 8);  // the first tag starts at 0 even behind blanks
}

TEST(TreeBuilder, BlanksAndLineBreaksBetweenTagsAreKept) {
  ParsedDocument d("<a>\n  <b/>\n</a>");
  EXPECT_EQ("a{\n  }(b+{\n})", Sketch(d));
}

TEST(TreeBuilder, SourcePositions) {
  //                0123456789012345678901
  ParsedDocument d("  <a>xy<b/>z</a>w<c>");
  ASSERT_EQ("a{xy}(b+{z})+{w} c", Sketch(d));
  ExpectSpan(d.top(0), 0, 5, 16);
  ExpectSpan(ChildOf(d.top(0)), 7, 11, 11);
  ExpectSpan(d.top(1), 17, 20, 0);
}

TEST(TreeBuilder, TagNumbersFollowSourceOrderWithoutCommentsAndEndTags) {
  ParsedDocument d("<a><!--c--><b/></a><ul><li>x<li>y</ul>");
  std::vector<int32_t> numbers;
  for (Node *n = d.top(); n; n = NextInOrder(n)) numbers.push_back(n->tagNumber);
  EXPECT_EQ((std::vector<int32_t>{0, -1, 1, 2, 3, 4}), numbers);  // a, comment, b, ul, li, li
  EXPECT_EQ(5u, d.source()->tagCounter);
}

TEST(TreeBuilder, ReparseReplacesTreeAndSource) {
  ParsedDocument d("<a/><b/>");
  ASSERT_EQ(1, ParseDocumentFromTextW(d.doc(), W(sprig_test::Utf16("<c/>")), -1));
  ASSERT_EQ("c", Sketch(d));
  EXPECT_EQ(0, d.top()->tagNumber);
}

namespace {

const int kDeep = 1000000;

// Depth of the chain of first children below the first top-level node.
int FirstChildDepth(Node *n) {
  int depth = 0;
  for (; n; n = ChildOf(n)) ++depth;
  return depth;
}

}  // namespace

TEST(TreeBuilder, MillionUnclosedElementsOnASmallStack) {
  std::string text;
  text.reserve(kDeep * 5);
  for (int i = 0; i < kDeep; ++i) text += "<div>";
  sprig_test::RunOnSmallStack([&] {
    ParsedDocument d(text, Form::kNarrow);
    EXPECT_EQ(kDeep, FirstChildDepth(d.top()));
    EXPECT_EQ(static_cast<uint32_t>(kDeep), d.source()->tagCounter);
  });
}

TEST(TreeBuilder, MillionClosedElementsOnASmallStack) {
  std::string text;
  text.reserve(kDeep * 11 + 4);
  for (int i = 0; i < kDeep; ++i) text += "<i>";
  text += "x";
  for (int i = 0; i < kDeep; ++i) text += "</i>";
  text += "<b/>";
  sprig_test::RunOnSmallStack([&] {
    ParsedDocument d(text, Form::kNarrow);
    ASSERT_EQ(2, RingSize(d.root()));
    EXPECT_EQ(kDeep * 7 + 1, d.top()->srcEnd);
    Node *n = d.top();
    while (ChildOf(n)) n = ChildOf(n);
    EXPECT_EQ("x", InnerOf(n));
  });
}

TEST(TreeBuilder, FloodOfLessThanInOneElement) {
  // Every '<' here starts no tag; a reader that copied the text again at
  // each one would need minutes.
  const int kRuns = 400000;
  std::string flood;
  for (int i = 0; i < kRuns; ++i) flood += "a <= b ";
  const int32_t length = static_cast<int32_t>(flood.size());
  ParsedDocument inner("<p>" + flood + "</p>", Form::kNarrow);
  EXPECT_EQ(length, TextLengthW(inner.top()->inner));
  EXPECT_NE(0, inner.top()->srcEnd);
  ParsedDocument after("<p><b/>" + flood + "<i/></p>", Form::kNarrow);
  EXPECT_EQ(length, TextLengthW(ChildOf(after.top())->after));
  EXPECT_EQ("i", NameOf(ChildOf(after.top(), 1)));
  ParsedDocument bare("<p>" + std::string(2 * kRuns, '<'), Form::kNarrow);
  EXPECT_EQ(2 * kRuns, TextLengthW(bare.top()->inner));
}

TEST(TreeBuilder, RunningOutOfMemoryGivesZeroAndKeepsTheDocumentWhole) {
  // Sniffed as code page 0 (shift-jis comes first), then switched by the
  // meta tag: the failures hit the first pass, the restart and the second.
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
    int result = ParseDocumentFromTextA(doc, text.data(), -1);
    unsigned long made = PlatformAllocationCount();
    PlatformFailAllocationAt(0);
    if (made < n) {  // no allocation failed: the parse is complete
      EXPECT_EQ(1, result);
      EXPECT_EQ(65001u, doc->encoding);
      DocumentRelease(doc);
      break;
    }
    EXPECT_EQ(0, result) << "allocation " << n << " failed";
    DocumentRelease(doc);  // whatever was built goes with the document
  }
  EXPECT_GT(n, 30u);
}
