// Reading single tags: kinds, names, attributes and quoting, comments and
// declarations, and the source positions kept on nodes and attributes.
// Texts are parsed as UTF-16 so that no code page is involved.
#include <gtest/gtest.h>

#include "parse_test_util.h"

using namespace parse_test;

namespace {

// Kind and name of the first top-level node of `text`.
struct FirstTag {
  uint32_t kind;
  std::string name;
};
FirstTag ReadFirst(const std::string &text) {
  ParsedDocument d;
  EXPECT_EQ(1, ParseW(d, text)) << text;
  Node *n = d.top();
  if (!n) return {99, "(none)"};
  return {n->kind, NameOf(n)};
}

}  // namespace

TEST(Lexer, KindsByTagForm) {
  EXPECT_EQ(kKindElement, ReadFirst("<a>").kind);
  EXPECT_EQ(kKindVoid, ReadFirst("<br>").kind);
  EXPECT_EQ(kKindEmptyTag, ReadFirst("<br/>").kind);
  EXPECT_EQ(kKindEmptyTag, ReadFirst("<a/>").kind);
  EXPECT_EQ(kKindPi, ReadFirst("<?xml?>").kind);
  EXPECT_EQ(kKindDecl, ReadFirst("<!DOCTYPE html>").kind);
  EXPECT_EQ(kKindComment, ReadFirst("<!-- x -->").kind);
  // The '/' before '>' wins over the one behind '<': not an end tag.
  EXPECT_EQ(kKindEmptyTag, ReadFirst("</a/>").kind);
  // A start tag whose last token before '>' is '?' is a processing instruction.
  EXPECT_EQ(kKindPi, ReadFirst("<a b?>").kind);
}

TEST(Lexer, VoidElementsAreTheSixNamesInAnyCase) {
  for (const char *name : {"br", "hr", "img", "input", "col", "meta", "BR", "Meta"}) {
    EXPECT_EQ(kKindVoid, ReadFirst(std::string("<") + name + " name=x>").kind) << name;
  }
  // Other elements without end tag in HTML are not in the list.
  EXPECT_EQ(kKindElement, ReadFirst("<link rel=x>").kind);
  EXPECT_EQ(kKindElement, ReadFirst("<area>").kind);
}

TEST(Lexer, NameCharacters) {
  EXPECT_EQ("x:y.z-w", ReadFirst("<x:y.z-w>").name);
  EXPECT_EQ("_1", ReadFirst("<_1>").name);
  EXPECT_EQ("9a", ReadFirst("<9a>").name);
  // ':' and '.' cannot start a name, non-ASCII letters are no name characters.
  for (const char *text : {"<:x>", "<.x>", "< >", "<\xC3\xA9t\xC3\xA9>"}) {
    ParsedDocument d;
    EXPECT_EQ(1, ParseW(d, text));
    EXPECT_EQ(0, RingSize(d.root())) << text;
  }
  ParsedDocument d;
  ASSERT_EQ(1, ParseW(d, "<a\xE2\x98\x83" "b c=1>"));
  EXPECT_EQ("a", NameOf(d.top()));
  EXPECT_EQ(0u, d.top()->attribCount);  // the rest of the tag is dropped
}

TEST(Lexer, BlanksMayStandAroundEveryToken) {
  ParsedDocument d;
  ASSERT_EQ(1, ParseW(d, "< a \t b \r\n=\n 1 >x"));
  Node *a = d.top();
  ASSERT_NE(nullptr, a);
  EXPECT_EQ("a", NameOf(a));
  ASSERT_EQ(1u, a->attribCount);
  EXPECT_EQ("b", U8(AttribAt(a, 0)->name));
  EXPECT_EQ("1", U8(AttribAt(a, 0)->value));
  EXPECT_EQ(kQuoteBare, AttribAt(a, 0)->quote);
  EXPECT_EQ("x", InnerOf(a));
}

TEST(Lexer, QuotingStyles) {
  ParsedDocument d;
  ASSERT_EQ(1, ParseW(d, "<a b c='1' d=\"2\" e=3 f=x\"y'<=z>"));
  Node *a = d.top();
  ASSERT_EQ(5u, a->attribCount);
  EXPECT_EQ("(null)", U8(AttribAt(a, 0)->value));
  EXPECT_EQ(kQuoteNone, AttribAt(a, 0)->quote);
  EXPECT_EQ(kQuoteSingle, AttribAt(a, 1)->quote);
  EXPECT_EQ("1", U8(AttribAt(a, 1)->value));
  EXPECT_EQ(kQuoteDouble, AttribAt(a, 2)->quote);
  EXPECT_EQ("2", U8(AttribAt(a, 2)->value));
  EXPECT_EQ(kQuoteBare, AttribAt(a, 3)->quote);
  // An unquoted value runs to a blank or '>' and keeps quotes, '<' and '='.
  EXPECT_EQ("x\"y'<=z", U8(AttribAt(a, 4)->value));
  // Entity references stay as written.
  ParsedDocument e;
  ASSERT_EQ(1, ParseW(e, "<a t='&lt;&amp;'>&gt;</a>"));
  EXPECT_EQ("&lt;&amp;", U8(AttribAt(e.top(), 0)->value));
  EXPECT_EQ("&gt;", InnerOf(e.top()));
}

TEST(Lexer, SlashBeforeGreaterThanClosesTheTag) {
  ParsedDocument d;
  ASSERT_EQ(1, ParseW(d, "<a href=x/><b c=/><i j=k/l>"));
  EXPECT_EQ(kKindEmptyTag, d.top(0)->kind);
  EXPECT_EQ("x", U8(AttribAt(d.top(0), 0)->value));
  EXPECT_EQ(kKindEmptyTag, d.top(1)->kind);
  EXPECT_EQ("", U8(AttribAt(d.top(1), 0)->value));
  EXPECT_EQ(kQuoteBare, AttribAt(d.top(1), 0)->quote);
  // A '/' inside the value is kept.
  EXPECT_EQ(kKindElement, d.top(2)->kind);
  EXPECT_EQ("k/l", U8(AttribAt(d.top(2), 0)->value));
}

TEST(Lexer, QuotedValueEndsAtGreaterThan) {
  ParsedDocument d;
  ASSERT_EQ(1, ParseW(d, "<a title='x>y'>z</a>"));
  Node *a = d.top();
  EXPECT_EQ("x", U8(AttribAt(a, 0)->value));
  EXPECT_EQ(kQuoteSingle, AttribAt(a, 0)->quote);
  EXPECT_EQ("y'>z", InnerOf(a));
  EXPECT_NE(0, a->srcEnd);  // </a> closed it
}

TEST(Lexer, UnusableTokensAreDroppedUpToGreaterThan) {
  ParsedDocument d;
  ASSERT_EQ(1, ParseW(d, "<a =1 b=2>t</a><c d=='e' f>"));
  EXPECT_EQ(0u, d.top(0)->attribCount);
  EXPECT_EQ("t", InnerOf(d.top(0)));
  Node *c = d.top(1);
  ASSERT_EQ(1u, c->attribCount);  // "==" ends the attributes
  EXPECT_EQ("(null)", U8(AttribAt(c, 0)->value));
}

TEST(Lexer, TextEndingInsideATag) {
  ParsedDocument d;
  ASSERT_EQ(1, ParseW(d, "<a b='x"));
  Node *a = d.top();
  ASSERT_NE(nullptr, a);
  EXPECT_EQ(kKindElement, a->kind);
  EXPECT_EQ("x", U8(AttribAt(a, 0)->value));
  EXPECT_EQ(0, a->srcEnd);
}

TEST(Lexer, ScansEndAtTheEndOfTextsOfEveryLength) {
  // The scanners read several units at a time; a text, value or tag cut
  // off at the end of the input must come out whole whatever its length
  // (and the sanitizer builds see any read past the source text).
  for (int k = 1; k <= 40; ++k) {
    const std::string x(static_cast<size_t>(k), 'x');
    for (bool narrow : {false, true}) {
      auto parse = [&](ParsedDocument &d, const std::string &text) {
        return narrow ? ParseA(d, text) : ParseW(d, text);
      };
      ParsedDocument quoted, bare, text, slash;
      ASSERT_EQ(1, parse(quoted, "<a b='" + x));
      EXPECT_EQ(x, U8(AttribAt(quoted.top(), 0)->value)) << k;
      ASSERT_EQ(1, parse(bare, "<a b=" + x));
      EXPECT_EQ(x, U8(AttribAt(bare.top(), 0)->value)) << k;
      ASSERT_EQ(1, parse(text, "<a>" + x));
      EXPECT_EQ(x, InnerOf(text.top())) << k;
      ASSERT_EQ(1, parse(slash, "<a b=" + x + "/>"));
      EXPECT_EQ(x, U8(AttribAt(slash.top(), 0)->value)) << k;
      EXPECT_EQ(kKindEmptyTag, slash.top()->kind) << k;
    }
  }
}

TEST(Lexer, Declarations) {
  ParsedDocument d;
  ASSERT_EQ(1, ParseW(d, "<!DOCTYPE note SYSTEM 'note.dtd' \"x\">"));
  Node *n = d.top();
  EXPECT_EQ(kKindDecl, n->kind);
  EXPECT_EQ("DOCTYPE", NameOf(n));
  ASSERT_EQ(4u, n->attribCount);
  EXPECT_EQ("note", U8(AttribAt(n, 0)->name));
  EXPECT_EQ("(null)", U8(AttribAt(n, 0)->value));
  EXPECT_EQ("SYSTEM", U8(AttribAt(n, 1)->name));
  EXPECT_EQ("", U8(AttribAt(n, 2)->name));  // present and empty
  EXPECT_EQ("note.dtd", U8(AttribAt(n, 2)->value));
  EXPECT_EQ(kQuoteSingle, AttribAt(n, 2)->quote);
  EXPECT_EQ(-1, AttribAt(n, 2)->namePos);
  EXPECT_EQ(kQuoteDouble, AttribAt(n, 3)->quote);
  // Quoted values standing alone are attributes only in declarations.
  ParsedDocument e;
  ASSERT_EQ(1, ParseW(e, "<a 'x'>"));
  EXPECT_EQ(0u, e.top()->attribCount);
}

TEST(Lexer, Comments) {
  ParsedDocument d;
  ASSERT_EQ(1, ParseW(d, "<!----><!-- a -- b --><!--x<y>-->"));
  Node *empty = d.top(0);
  EXPECT_EQ(kKindComment, empty->kind);
  EXPECT_EQ("", NameOf(empty));
  ASSERT_EQ(1u, empty->attribCount);
  EXPECT_EQ("", U8(AttribAt(empty, 0)->name));
  EXPECT_EQ("", U8(AttribAt(empty, 0)->value));
  EXPECT_EQ(kQuoteBare, AttribAt(empty, 0)->quote);
  EXPECT_EQ(" a -- b ", U8(AttribAt(d.top(1), 0)->value));
  EXPECT_EQ("x<y>", U8(AttribAt(d.top(2), 0)->value));
  // An unterminated comment runs to the end of the text.
  ParsedDocument e;
  ASSERT_EQ(1, ParseW(e, "<!-- open <a>"));
  ASSERT_EQ(1, RingSize(e.root()));
  EXPECT_EQ(" open <a>", U8(AttribAt(e.top(), 0)->value));
  // "<!-" with a single dash is a declaration ('-' may start a name).
  EXPECT_EQ(kKindDecl, ReadFirst("<!-x>").kind);
  EXPECT_EQ("-x", ReadFirst("<!-x>").name);
}

TEST(Lexer, AttributePositions) {
  //            0123456789012345678901
  ParsedDocument d;
  ASSERT_EQ(1, ParseW(d, "<a  b=\"1\" c = '2' d>"));
  Node *a = d.top();
  ASSERT_EQ(3u, a->attribCount);
  EXPECT_EQ(2, AttribAt(a, 0)->namePos);   // just behind the tag name
  EXPECT_EQ(6, AttribAt(a, 0)->valuePos);  // just behind the '='
  EXPECT_EQ(9, AttribAt(a, 1)->namePos);   // where reading its name began
  EXPECT_EQ(13, AttribAt(a, 1)->valuePos);
  EXPECT_EQ(17, AttribAt(a, 2)->namePos);
  EXPECT_EQ(-1, AttribAt(a, 2)->valuePos);  // no value
  ParsedDocument e;
  ASSERT_EQ(1, ParseW(e, "<!D 'x'><!--c-->"));
  EXPECT_EQ(3, AttribAt(e.top(0), 0)->valuePos);  // where reading the value began
  EXPECT_EQ(9, AttribAt(e.top(1), 0)->valuePos);  // comment: just behind its '<'
}
