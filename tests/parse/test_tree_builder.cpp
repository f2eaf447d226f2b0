// Building the tree: the closing rules, raw script content, '<' kept as
// text, inner and after texts, positions and tag numbers, very deep and very
// long inputs, and running out of memory part-way.
#include <gtest/gtest.h>

#include "parse_test_util.h"
#include "platform/platform.h"

using namespace parse_test;

TEST(TreeBuilder, EndTagClosesTheInnermostElementWhateverItsName) {
  ParsedDocument d;
  ASSERT_EQ(1, ParseW(d, "<a><b></a></b><c/>"));
  ASSERT_EQ(2, RingSize(d.root()));
  Node *a = d.top(0), *b = ChildOf(a);
  ASSERT_NE(nullptr, b);
  EXPECT_EQ("b", NameOf(b));
  EXPECT_EQ(10, b->srcEnd);  // behind </a>
  EXPECT_EQ(14, a->srcEnd);  // behind </b>
  EXPECT_EQ("c", NameOf(d.top(1)));

  ParsedDocument e;
  ASSERT_EQ(1, ParseW(e, "<p>x</q>y<p>z"));
  ASSERT_EQ(2, RingSize(e.root()));
  EXPECT_EQ("x", InnerOf(e.top(0)));
  EXPECT_EQ("y", AfterOf(e.top(0)));
  EXPECT_EQ("z", InnerOf(e.top(1)));
  EXPECT_EQ(0, e.top(1)->srcEnd);  // left open at the end of the text
}

TEST(TreeBuilder, EndTagAtTopLevelEndsTheParse) {
  ParsedDocument d;
  ASSERT_EQ(1, ParseW(d, "<a/></b><c/>"));
  EXPECT_EQ(1, RingSize(d.root()));
  // A void element encloses nothing, so its stray end tag closes the parent.
  ParsedDocument e;
  ASSERT_EQ(1, ParseW(e, "<p>a<br></br>b</p><q/>"));
  ASSERT_EQ(1, RingSize(e.root()));
  Node *p = e.top();
  EXPECT_EQ("a", InnerOf(p));
  EXPECT_EQ(kKindVoid, ChildOf(p)->kind);
  EXPECT_EQ("b", AfterOf(p));
}

TEST(TreeBuilder, ListItemsCloseAnOpenSibling) {
  ParsedDocument d;
  ASSERT_EQ(1, ParseW(d, "<ul><li>a<LI>b</ul>"));
  Node *ul = d.top();
  ASSERT_EQ(2, RingSize(ul->child));
  Node *li1 = ChildOf(ul, 0), *li2 = ChildOf(ul, 1);
  EXPECT_EQ("a", InnerOf(li1));
  EXPECT_EQ(nullptr, li1->after);
  EXPECT_EQ(0, li1->srcEnd);  // closed by its sibling
  EXPECT_EQ("b", InnerOf(li2));
  EXPECT_EQ(19, li2->srcEnd);  // </ul> closed the second li
  EXPECT_EQ(0, ul->srcEnd);    // ... and left ul open
  // A closing sibling without content takes the text behind it.
  ParsedDocument e;
  ASSERT_EQ(1, ParseW(e, "<ul><li>a<li/>b</ul>"));
  Node *li = ChildOf(e.top(), 1);
  EXPECT_EQ(kKindEmptyTag, li->kind);
  EXPECT_EQ("b", AfterOf(li));
  EXPECT_NE(0, e.top()->srcEnd);
}

TEST(TreeBuilder, DefinitionTermsAndDataCloseEachOther) {
  ParsedDocument d;
  ASSERT_EQ(1, ParseW(d, "<dl><dt>t<dd>d<dt>u</dl>"));
  Node *dl = d.top();
  ASSERT_EQ(3, RingSize(dl->child));
  EXPECT_EQ("dt", NameOf(ChildOf(dl, 0)));
  EXPECT_EQ("dd", NameOf(ChildOf(dl, 1)));
  EXPECT_EQ("d", InnerOf(ChildOf(dl, 1)));
  EXPECT_EQ("u", InnerOf(ChildOf(dl, 2)));
}

TEST(TreeBuilder, SiblingRuleLooksOnlyAtTheOpenElement) {
  // The second tr is read inside td, whose name differs: the tree nests.
  ParsedDocument d;
  ASSERT_EQ(1, ParseW(d, "<table><tr><td>1<tr><td>2</table>"));
  Node *table = d.top(), *tr1 = ChildOf(table), *td1 = ChildOf(tr1);
  Node *tr2 = ChildOf(td1), *n = ChildOf(tr2);
  ASSERT_NE(nullptr, n);
  EXPECT_EQ("tr", NameOf(tr2));
  EXPECT_EQ("1", InnerOf(td1));
  EXPECT_EQ("td", NameOf(n));
  EXPECT_EQ("2", InnerOf(n));
  EXPECT_NE(0, n->srcEnd);  // </table> closed the innermost td
}

TEST(TreeBuilder, ScriptContentIsReadRaw) {
  ParsedDocument d;
  ASSERT_EQ(1, ParseW(d, "<script>if (a<b) x='</p>';</script>t<Script>y<b></SCRIPT >u"));
  Node *s = d.top(0);
  EXPECT_EQ("if (a<b) x='</p>';", InnerOf(s));
  EXPECT_EQ(0, RingSize(s->child));
  EXPECT_EQ("t", AfterOf(s));
  EXPECT_EQ("y<b>", InnerOf(d.top(1)));
  EXPECT_EQ("u", AfterOf(d.top(1)));
  ParsedDocument e;
  ASSERT_EQ(1, ParseW(e, "<script>never closed <a>"));
  EXPECT_EQ("never closed <a>", InnerOf(e.top()));
  EXPECT_EQ(0, e.top()->srcEnd);
}

TEST(TreeBuilder, LessThanThatStartsNoTagStaysText) {
  ParsedDocument d;
  ASSERT_EQ(1, ParseW(d, "<p>a <= b</p>"));
  EXPECT_EQ("a <= b", InnerOf(d.top()));
  EXPECT_EQ(13, d.top()->srcEnd);

  ParsedDocument e;
  ASSERT_EQ(1, ParseW(e, "<p><b>x</b> 1 <= 2</p>"));
  EXPECT_EQ(" 1 <= 2", AfterOf(ChildOf(e.top())));

  // Several runs in one element, each ending at a real tag.
  ParsedDocument f;
  ASSERT_EQ(1, ParseW(f, "<p>x <= 1 <= 2 <b/>y <=3 <<z</p>"));
  EXPECT_EQ("x <= 1 <= 2 ", InnerOf(f.top()));
  EXPECT_EQ("y <=3 <<z", AfterOf(ChildOf(f.top())));

  // "<<b>" gives the second '<' to the first: b is text too.
  ParsedDocument g;
  ASSERT_EQ(1, ParseW(g, "<p>a<<b>x</b>y"));
  EXPECT_EQ("a<<b>x", InnerOf(g.top()));
  EXPECT_EQ(0, RingSize(g.top()->child));
  EXPECT_EQ("y", AfterOf(g.top()));

  // At the end of the text.
  ParsedDocument h;
  ASSERT_EQ(1, ParseW(h, "<p>x<"));
  EXPECT_EQ("x<", InnerOf(h.top()));
}

TEST(TreeBuilder, LessThanThatStartsNoTagEndsTheTopLevel) {
  ParsedDocument d;
  ASSERT_EQ(1, ParseW(d, "<a/>x <= y<b/>"));
  ASSERT_EQ(1, RingSize(d.root()));
  EXPECT_EQ("x ", AfterOf(d.top()));
}

TEST(TreeBuilder, TextBeforeTheFirstTag) {
  for (const char *text : {"hello <a/>", "\xEF\xBB\xBF<a/>", "", "   "}) {
    ParsedDocument d;
    EXPECT_EQ(1, ParseW(d, text));
    EXPECT_EQ(0, RingSize(d.root())) << text;
  }
  ParsedDocument d;
  ASSERT_EQ(1, ParseW(d, " \r\n\t<a/>"));
  EXPECT_EQ(0, d.top()->srcStart);  // the first tag starts at 0 even behind blanks
  EXPECT_EQ(8, d.top()->srcTagEnd);
}

TEST(TreeBuilder, BlanksAndLineBreaksBetweenTagsAreKept) {
  ParsedDocument d;
  ASSERT_EQ(1, ParseW(d, "<a>\n  <b/>\n</a>"));
  EXPECT_EQ("\n  ", InnerOf(d.top()));
  EXPECT_EQ("\n", AfterOf(ChildOf(d.top())));
  EXPECT_EQ(nullptr, d.top()->after);
}

TEST(TreeBuilder, SourcePositions) {
  //                      01234567890123456789
  ParsedDocument d;
  ASSERT_EQ(1, ParseW(d, "  <a>xy<b/>z</a>w<c>"));
  Node *a = d.top(0), *b = ChildOf(a), *c = d.top(1);
  EXPECT_EQ(0, a->srcStart);
  EXPECT_EQ(5, a->srcTagEnd);
  EXPECT_EQ(16, a->srcEnd);
  EXPECT_EQ(7, b->srcStart);
  EXPECT_EQ(11, b->srcTagEnd);
  EXPECT_EQ(11, b->srcEnd);
  EXPECT_EQ(17, c->srcStart);
  EXPECT_EQ(20, c->srcTagEnd);
  EXPECT_EQ(0, c->srcEnd);
  EXPECT_EQ("xy", InnerOf(a));
  EXPECT_EQ("z", AfterOf(b));
  EXPECT_EQ("w", AfterOf(a));
}

TEST(TreeBuilder, TagNumbersFollowSourceOrderWithoutCommentsAndEndTags) {
  ParsedDocument d;
  ASSERT_EQ(1, ParseW(d, "<a><!--c--><b/></a><ul><li>x<li>y</ul>"));
  Node *a = d.top(0);
  EXPECT_EQ(0, a->tagNumber);
  EXPECT_EQ(-1, ChildOf(a, 0)->tagNumber);
  EXPECT_EQ(1, ChildOf(a, 1)->tagNumber);
  Node *ul = d.top(1);
  EXPECT_EQ(2, ul->tagNumber);
  EXPECT_EQ(3, ChildOf(ul, 0)->tagNumber);
  EXPECT_EQ(4, ChildOf(ul, 1)->tagNumber);
  EXPECT_EQ(5u, d.source()->tagCounter);
}

TEST(TreeBuilder, ReparseReplacesTreeAndSource) {
  ParsedDocument d;
  ASSERT_EQ(1, ParseW(d, "<a/><b/>"));
  ASSERT_EQ(1, ParseW(d, "<c/>"));
  ASSERT_EQ(1, RingSize(d.root()));
  EXPECT_EQ("c", NameOf(d.top()));
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
    ParsedDocument d;
    ASSERT_EQ(1, ParseA(d, text));
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
    ParsedDocument d;
    ASSERT_EQ(1, ParseA(d, text));
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
  {
    ParsedDocument d;
    ASSERT_EQ(1, ParseA(d, "<p>" + flood + "</p>"));
    EXPECT_EQ(static_cast<int32_t>(flood.size()), TextLengthW(d.top()->inner));
    EXPECT_NE(0, d.top()->srcEnd);
  }
  {
    ParsedDocument d;
    ASSERT_EQ(1, ParseA(d, "<p><b/>" + flood + "<i/></p>"));
    Node *b = ChildOf(d.top());
    EXPECT_EQ(static_cast<int32_t>(flood.size()), TextLengthW(b->after));
    EXPECT_EQ("i", NameOf(ChildOf(d.top(), 1)));
  }
  {
    ParsedDocument d;
    ASSERT_EQ(1, ParseA(d, "<p>" + std::string(2 * kRuns, '<')));
    EXPECT_EQ(2 * kRuns, TextLengthW(d.top()->inner));
  }
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
