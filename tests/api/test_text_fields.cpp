// Element names and text fields through the public API: getters in both
// forms, setters with lengths, null and embedded zeros, the kind change that
// gives a void element an end tag, the assembled inner text (nested children,
// comments, narrow form) and the lifetimes of the cursor's result buffers.
// Narrow texts are Shift-JIS (code page 932) on every build these tests run on.
#include <gtest/gtest.h>

#include <string>

#include "api_util.h"

namespace {

using namespace api_test;

// "日本" in UTF-8 and in Shift-JIS.
const char kNihonUtf8[] = "\xE6\x97\xA5\xE6\x9C\xAC";
const char kNihonSjis[] = "\x93\xFA\x96\x7B";

// Name, inner and after text of the current element as "name|inner|after",
// each read in both forms: one text when they agree, "wide/narrow" when not.
std::string Fields(SG_CURSOR c) {
  const auto both = [](const std::string &wide, const std::string &narrow) {
    return wide == narrow ? wide : wide + "/" + narrow;
  };
  return both(Str(sgGetNameW(c)), Str(sgGetNameA(c))) + "|" +
         both(Str(sgGetInnerStrW(c)), Str(sgGetInnerStrA(c))) + "|" +
         both(Str(sgGetAfterStrW(c)), Str(sgGetAfterStrA(c)));
}

// A setter's result followed by the fields it leaves: "1 name|inner|after".
std::string Set(int32_t result, SG_CURSOR c) { return std::to_string(result) + " " + Fields(c); }

TEST(TextFields, GettersReadNameInnerAndAfterText) {
  Doc c("<r>in<Item>A-in</Item>a-after<b>B</b>tail</r>");
  EXPECT_EQ(Fields(c), "r|in|<null>");
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_FIRST_CHILD), 1);
  EXPECT_EQ(Fields(c), "Item|A-in|a-after");
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_NEXT), 1);
  EXPECT_EQ(Fields(c), "b|B|tail");
}

TEST(TextFields, NothingSelectedGivesNullAndZero) {
  Doc c("<r>in</r>after");
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_LIST_HEAD), 1);
  EXPECT_EQ(Fields(c), "<null>|<null>|<null>");
  EXPECT_EQ(sgSetInnerStrA(c, "x", -1), 0);
  EXPECT_EQ(sgSetAfterStrW(c, Utf16("x").c_str(), -1), 0);
  EXPECT_EQ(sgGetInnerTextW(c), nullptr);
  EXPECT_EQ(sgGetInnerTextA(c), nullptr);
  // Nothing was changed behind the head.
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_FIRST), 1);
  EXPECT_EQ(Fields(c), "r|in|after");
}

TEST(TextFields, SettersCopyTheGivenLength) {
  Doc c("<r>old</r>");
  const uint32_t update = sgGetUpdateFlag(c);
  const WString abc = Utf16("abc");
  EXPECT_EQ(Set(sgSetInnerStrW(c, abc.c_str(), 2), c), "1 r|ab|<null>");
  EXPECT_EQ(Set(sgSetInnerStrW(c, abc.c_str(), -1), c), "1 r|abc|<null>");
  // Length 0 is an empty text, not an absent one.
  EXPECT_EQ(Set(sgSetInnerStrW(c, abc.c_str(), 0), c), "1 r||<null>");
  EXPECT_EQ(Set(sgSetInnerStrW(c, nullptr, 5), c), "1 r|<null>|<null>");
  // The UTF-16 form stops at an earlier zero; the narrow form takes bytes.
  const SG_WCHAR embedded[] = {u'x', u'y', 0, u'z', 0};
  EXPECT_EQ(Set(sgSetAfterStrW(c, embedded, 4), c), "1 r|<null>|xy");
  EXPECT_EQ(Set(sgSetAfterStrA(c, "abc", 2), c), "1 r|<null>|ab");
  EXPECT_EQ(Set(sgSetAfterStrA(c, "abc", -1), c), "1 r|<null>|abc");
  EXPECT_EQ(Set(sgSetAfterStrA(c, nullptr, -1), c), "1 r|<null>|<null>");
  // Text setters leave the update flag alone.
  EXPECT_EQ(sgGetUpdateFlag(c), update);
}

TEST(TextFields, NarrowFormsUseTheSystemCodePage) {
  Doc c("<r></r>");
  const std::string nihon = std::string(kNihonUtf8) + "/" + kNihonSjis;  // wide/narrow
  EXPECT_EQ(Set(sgSetInnerStrW(c, Utf16(kNihonUtf8).c_str(), -1), c), "1 r|" + nihon + "|<null>");
  // Setting the UTF-16 field ends the old narrow cache.
  EXPECT_EQ(Set(sgSetInnerStrW(c, Utf16("q").c_str(), -1), c), "1 r|q|<null>");
  EXPECT_EQ(Set(sgSetAfterStrA(c, kNihonSjis, -1), c), "1 r|q|" + nihon);
  // Two bytes of Shift-JIS are exactly one character.
  EXPECT_EQ(Set(sgSetAfterStrA(c, kNihonSjis, 2), c), "1 r|q|\xE6\x97\xA5/\x93\xFA");
}

TEST(TextFields, SettingInnerTextGivesAVoidElementAnEndTag) {
  sprig_test::TempDir dir;
  Doc c("<p><br>tail</p>");
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_FIRST_CHILD), 1);
  ASSERT_EQ(Name(c), "br");
  EXPECT_EQ(Saved(c, dir, "before.html").find("</br>"), std::string::npos);
  // Even an absent inner text turns it into a full element.
  EXPECT_EQ(Set(sgSetInnerStrW(c, nullptr, -1), c), "1 br|<null>|tail");
  EXPECT_NE(Saved(c, dir, "after.html").find("</br>"), std::string::npos);
}

// ---- Assembled inner text ------------------------------------------------------

TEST(InnerText, JoinsDescendantsInDocumentOrder) {
  Doc c("<e>1<c1>2</c1>3<c2>4<g>6</g>7</c2>5</e>own-after");
  EXPECT_EQ(Str(sgGetInnerTextW(c)), "1234675");
  EXPECT_EQ(Str(sgGetInnerTextA(c)), "1234675");
  ASSERT_EQ(sgSearchA(c, "c2", SG_SEARCH_FIRST), 1);
  EXPECT_EQ(Str(sgGetInnerTextW(c)), "467");
  ASSERT_EQ(sgSearchA(c, "g", SG_SEARCH_FIRST), 1);
  EXPECT_EQ(Str(sgGetInnerTextW(c)), "6");
}

TEST(InnerText, CommentsGiveOnlyTheirAfterText) {
  Doc c("<e>a<!-- hidden --> b<i>c</i></e>");
  EXPECT_EQ(Str(sgGetInnerTextW(c)), "a bc");
}

TEST(InnerText, ElementsWithoutTextGiveAnEmptyText) {
  Doc c(sgCreateXMLW(nullptr, 0, 0));
  ASSERT_NE(static_cast<SG_CURSOR>(c), nullptr);
  ASSERT_EQ(sgAddNodeA(c, "box", 1), 1);  // empty child list
  EXPECT_EQ(Str(sgGetInnerTextW(c)), "");
  ASSERT_EQ(sgAddChildNodeA(c, "leaf", 0), 1);
  ASSERT_EQ(sgSetAfterStrA(c, "after", -1), 1);
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_PARENT), 1);
  EXPECT_EQ(Str(sgGetInnerTextW(c)), "after");
}

TEST(InnerText, NarrowResultIsInTheSystemCodePage) {
  Doc c("<e></e>");
  ASSERT_EQ(sgSetInnerStrW(c, Utf16(kNihonUtf8).c_str(), -1), 1);
  EXPECT_EQ(Str(sgGetInnerTextA(c)), kNihonSjis);
}

TEST(InnerText, ResultsBelongToTheirCursor) {
  Doc c("<e>one<f>two</f></e><g>three</g>");
  Doc other(sgDupXML(c));
  ASSERT_NE(static_cast<SG_CURSOR>(other), nullptr);
  const SG_WCHAR *first = sgGetInnerTextW(c);
  ASSERT_EQ(sgMoveTo(other, SG_MOVE_NEXT), 1);
  const SG_WCHAR *second = sgGetInnerTextW(other);
  // A call on another cursor leaves this cursor's result alive.
  EXPECT_EQ(Str(first), "onetwo");
  EXPECT_EQ(Str(second), "three");
  // A new call replaces the result; a failed one gives null.
  EXPECT_EQ(Str(sgGetInnerTextW(c)), "onetwo");
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_LIST_HEAD), 1);
  EXPECT_EQ(sgGetInnerTextW(c), nullptr);
  // A failed narrow call keeps the previous narrow result alive.
  const char *narrow = sgGetInnerTextA(other);
  ASSERT_EQ(Str(narrow), "three");
  ASSERT_EQ(sgMoveTo(other, SG_MOVE_LIST_HEAD), 1);
  EXPECT_EQ(sgGetInnerTextA(other), nullptr);
  EXPECT_EQ(Str(narrow), "three");
  // The wide and narrow buffers are separate.
  ASSERT_EQ(sgMoveTo(other, SG_MOVE_FIRST), 1);
  EXPECT_EQ(Str(sgGetInnerTextW(other)), "onetwo");
  EXPECT_EQ(Str(narrow), "three");
}

TEST(DeepTree, InnerTextOfAMillionLevels) {
  const int deep = 1000000;
  std::string text;
  text.reserve(4 * deep);
  for (int i = 0; i < deep; ++i) text += "<a>x";
  sprig_test::RunOnSmallStack([&] {
    Doc c(text);
    ASSERT_NE(static_cast<SG_CURSOR>(c), nullptr);
    const SG_WCHAR *wide = sgGetInnerTextW(c);
    ASSERT_NE(wide, nullptr);
    const WString all(wide);
    EXPECT_EQ(all.size(), static_cast<size_t>(deep));
    EXPECT_EQ(all.find_first_not_of(u'x'), WString::npos);
    const char *narrow = sgGetInnerTextA(c);
    ASSERT_NE(narrow, nullptr);
    EXPECT_EQ(std::string(narrow), std::string(deep, 'x'));
  });
}

}  // namespace
