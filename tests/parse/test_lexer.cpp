// Reading single tags: kinds, names, attributes and quoting, comments and
// declarations, and the source positions kept on nodes and attributes.
// Texts are parsed as UTF-16 so that no code page is involved.
#include <gtest/gtest.h>

#include "parse_test_util.h"

using namespace parse_test;

namespace {

const uint32_t kNoNode = 99;

// Kind and name of the first top-level node of `text` (kNoNode, "(none)"
// when the text gives none).
struct FirstTag {
  uint32_t kind;
  std::string name;
};
FirstTag ReadFirst(const std::string &text) {
  ParsedDocument d(text);
  Node *n = d.top();
  if (!n) return {kNoNode, "(none)"};
  return {n->kind, NameOf(n)};
}

}  // namespace

TEST(Lexer, KindAndNameByTagForm) {
  const struct {
    const char *text;
    uint32_t kind;
    const char *name;
  } cases[] = {
      {"<a>", kKindElement, "a"},          {"<br>", kKindVoid, "br"},
      {"<br/>", kKindEmptyTag, "br"},      {"<a/>", kKindEmptyTag, "a"},
      {"<?xml?>", kKindPi, "xml"},         {"<!DOCTYPE html>", kKindDecl, "DOCTYPE"},
      {"<!-- x -->", kKindComment, ""},    {"<x:y.z-w>", kKindElement, "x:y.z-w"},
      {"<_1>", kKindElement, "_1"},        {"<9a>", kKindElement, "9a"},
      // The '/' before '>' wins over the one behind '<': not an end tag.
      {"</a/>", kKindEmptyTag, "a"},
      // A start tag whose last token before '>' is '?' is a processing instruction.
      {"<a b?>", kKindPi, "a"},
      // Other elements without end tag in HTML are not in the void list.
      {"<link rel=x>", kKindElement, "link"}, {"<area>", kKindElement, "area"},
      // "<!-" with a single dash is a declaration ('-' may start a name).
      {"<!-x>", kKindDecl, "-x"},
      // ':' and '.' cannot start a name, non-ASCII letters are no name characters.
      {"<:x>", kNoNode, "(none)"},         {"<.x>", kNoNode, "(none)"},
      {"< >", kNoNode, "(none)"},          {"<\xC3\xA9t\xC3\xA9>", kNoNode, "(none)"},
  };
  for (const auto &c : cases) {
    FirstTag first = ReadFirst(c.text);
    EXPECT_EQ(c.kind, first.kind) << c.text;
    EXPECT_EQ(c.name, first.name) << c.text;
  }
  // The void elements are the six names, in any case.
  for (const char *name : {"br", "hr", "img", "input", "col", "meta", "BR", "Meta"}) {
    EXPECT_EQ(kKindVoid, ReadFirst(std::string("<") + name + " name=x>").kind) << name;
  }
}

TEST(Lexer, NameEndsAtTheFirstOtherCharacterAndDropsTheRestOfTheTag) {
  ParsedDocument d("<a\xE2\x98\x83" "b c=1>");
  EXPECT_EQ("a", NameOf(d.top()));
  EXPECT_EQ("", AttribsOf(d.top()));
}

TEST(Lexer, BlanksMayStandAroundEveryToken) {
  ParsedDocument d("< a \t b \r\n=\n 1 >x");
  EXPECT_EQ("a{x}", Sketch(d));
  EXPECT_EQ("b=1", AttribsOf(d.top()));
}

TEST(Lexer, QuotingStyles) {
  // An unquoted value runs to a blank or '>' and keeps quotes, '<' and '='.
  ParsedDocument d("<a b c='1' d=\"2\" e=3 f=x\"y'<=z>");
  EXPECT_EQ("b c='1' d=\"2\" e=3 f=x\"y'<=z", AttribsOf(d.top()));
  // Entity references stay as written.
  ParsedDocument e("<a t='&lt;&amp;'>&gt;</a>");
  EXPECT_EQ("t='&lt;&amp;'", AttribsOf(e.top()));
  EXPECT_EQ("a{&gt;}", Sketch(e));
}

TEST(Lexer, SlashBeforeGreaterThanClosesTheTag) {
  ParsedDocument d("<a href=x/><b c=/><i j=k/l>");
  ASSERT_EQ("a b i", Sketch(d));
  EXPECT_EQ(kKindEmptyTag, d.top(0)->kind);
  EXPECT_EQ("href=x", AttribsOf(d.top(0)));
  EXPECT_EQ(kKindEmptyTag, d.top(1)->kind);
  EXPECT_EQ("c=", AttribsOf(d.top(1)));
  // A '/' inside the value is kept.
  EXPECT_EQ(kKindElement, d.top(2)->kind);
  EXPECT_EQ("j=k/l", AttribsOf(d.top(2)));
}

TEST(Lexer, QuotedValueEndsAtGreaterThan) {
  ParsedDocument d("<a title='x>y'>z</a>");
  EXPECT_EQ("title='x'", AttribsOf(d.top()));
  EXPECT_EQ("a{y'>z}", Sketch(d));
  EXPECT_NE(0, d.top()->srcEnd);  // </a> closed it
}

TEST(Lexer, UnusableTokensAreDroppedUpToGreaterThan) {
  ParsedDocument d("<a =1 b=2>t</a><c d=='e' f>");
  EXPECT_EQ("a{t} c", Sketch(d));
  EXPECT_EQ("", AttribsOf(d.top(0)));
  EXPECT_EQ("d", AttribsOf(d.top(1)));  // "==" ends the attributes
}

TEST(Lexer, TextEndingInsideATag) {
  ParsedDocument d("<a b='x");
  ASSERT_NE(nullptr, d.top());
  EXPECT_EQ(kKindElement, d.top()->kind);
  EXPECT_EQ("b='x'", AttribsOf(d.top()));
  EXPECT_EQ(0, d.top()->srcEnd);
}

TEST(Lexer, ScansEndAtTheEndOfTextsOfEveryLength) {
  // The scanners read several units at a time; a text, value or tag cut
  // off at the end of the input must come out whole whatever its length
  // (and the sanitizer builds see any read past the source text).
  for (int k = 1; k <= 40; ++k) {
    const std::string x(static_cast<size_t>(k), 'x');
    for (Form form : {Form::kWide, Form::kNarrow}) {
      SCOPED_TRACE(testing::Message() << k << (form == Form::kWide ? " wide" : " narrow"));
      ParsedDocument quoted("<a b='" + x, form), bare("<a b=" + x, form);
      ParsedDocument text("<a>" + x, form), slash("<a b=" + x + "/>", form);
      EXPECT_EQ("b='" + x + "'", AttribsOf(quoted.top()));
      EXPECT_EQ("b=" + x, AttribsOf(bare.top()));
      EXPECT_EQ("a{" + x + "}", Sketch(text));
      EXPECT_EQ("b=" + x, AttribsOf(slash.top()));
      ASSERT_NE(nullptr, slash.top());
      EXPECT_EQ(kKindEmptyTag, slash.top()->kind);
    }
  }
}

TEST(Lexer, Declarations) {
  ParsedDocument d("<!DOCTYPE note SYSTEM 'note.dtd' \"x\">");
  EXPECT_EQ(kKindDecl, d.top()->kind);
  EXPECT_EQ("DOCTYPE", NameOf(d.top()));
  // A quoted value standing alone has a name that is present and empty.
  EXPECT_EQ("note SYSTEM ='note.dtd' =\"x\"", AttribsOf(d.top()));
  EXPECT_EQ(-1, AttribAt(d.top(), 2)->namePos);
  // Quoted values standing alone are attributes only in declarations.
  ParsedDocument e("<a 'x'>");
  EXPECT_EQ("", AttribsOf(e.top()));
}

TEST(Lexer, Comments) {
  ParsedDocument d("<!----><!-- a -- b --><!--x<y>-->");
  ASSERT_EQ(3, RingSize(d.root()));
  EXPECT_EQ(kKindComment, d.top(0)->kind);
  EXPECT_EQ("", NameOf(d.top(0)));
  // The text is one attribute: an empty name and the text as a bare value.
  EXPECT_EQ("=", AttribsOf(d.top(0)));
  EXPECT_EQ("= a -- b ", AttribsOf(d.top(1)));
  EXPECT_EQ("=x<y>", AttribsOf(d.top(2)));
  // An unterminated comment runs to the end of the text.
  ParsedDocument e("<!-- open <a>");
  ASSERT_EQ(1, RingSize(e.root()));
  EXPECT_EQ("= open <a>", AttribsOf(e.top()));
}

TEST(Lexer, AttributePositions) {
  //                0123456789012345678901
  ParsedDocument d("<a  b=\"1\" c = '2' d>");
  ASSERT_EQ(3u, d.top()->attribCount);
  // b: name just behind the tag name, value just behind the '='; c: name where
  // reading it began; d: no value.
  const int32_t positions[][2] = {{2, 6}, {9, 13}, {17, -1}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(positions[i][0], AttribAt(d.top(), i)->namePos) << "attribute " << i;
    EXPECT_EQ(positions[i][1], AttribAt(d.top(), i)->valuePos) << "attribute " << i;
  }
  ParsedDocument e("<!D 'x'><!--c-->");
  EXPECT_EQ(3, AttribAt(e.top(0), 0)->valuePos);  // where reading the value began
  EXPECT_EQ(9, AttribAt(e.top(1), 0)->valuePos);  // comment: just behind its '<'
}
