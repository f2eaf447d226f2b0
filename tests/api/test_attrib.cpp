// Attributes of the current element, driven through the public API as an
// application does: setting and finding in any letter case, W/A rules with
// Shift-JIS names, formatting and number parsing, deletion, enumeration by
// index, source positions, and the bytes a saved page changes by.
//
// Tests marked "code page 932" rely on the system ANSI code page being
// Shift-JIS (the library's own default natively; LC_ALL=ja_JP.UTF-8 under Wine).
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "api_util.h"

namespace {

using namespace api_test;

class Attrib : public ::testing::Test {
 protected:
  void TearDown() override {
    if (c_) sgCloseXML(c_);
  }
  // Parses `utf8` and stands on its first top-level element.
  void Load(const char *utf8) {
    c_ = Parse(utf8);
    ASSERT_NE(nullptr, c_);
    ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_BASE_FIRST));
  }
  // The value of `name` read wide.
  std::string Get(const char *name) { return Str(sgGetAttribW(c_, W(name).c_str())); }
  // Every attribute read wide by index: "name=value ..." in list order.
  std::string List() {
    std::string out;
    for (int32_t i = 0; i < static_cast<int32_t>(sgGetAttribCount(c_)); ++i) {
      out += (i ? " " : "") + Str(sgGetAttribNameW(c_, i)) + "=" + Str(sgGetAttribValueW(c_, i));
    }
    return out;
  }
  SG_CURSOR c_ = nullptr;
  sprig_test::TempDir dir_;
};

// ---- Setting ---------------------------------------------------------------

TEST_F(Attrib, SetFindsAnyLetterCaseAndWritesChangedValuesDoubleQuoted) {
  Load("<p Href='x' b=2 c d=\"4\">t</p>");
  EXPECT_EQ(0u, sgGetUpdateFlag(c_));
  EXPECT_EQ(1, sgSetAttribW(c_, W("HREF").c_str(), W("y").c_str()));
  EXPECT_EQ(1u, sgGetUpdateFlag(c_));
  EXPECT_EQ(1, sgSetAttribA(c_, "B", "two"));
  EXPECT_EQ(1, sgSetAttribW(c_, W("c").c_str(), W("three").c_str()));  // had no value
  // Names kept as written, and places.
  EXPECT_EQ("Href=y b=two c=three d=4", List());
  EXPECT_EQ("<p Href=\"y\" b=\"two\" c=\"three\" d=\"4\">t</p>", Saved(c_, dir_));
}

TEST_F(Attrib, NullValueKeepsOrOmitsTheValueNullOrEmptyNameAlwaysAppends) {
  Load("<p a='1'></p>");
  EXPECT_EQ(1, sgSetAttribW(c_, W("A").c_str(), nullptr));
  EXPECT_EQ("1", Get("a"));
  EXPECT_EQ(1u, sgGetUpdateFlag(c_));
  EXPECT_EQ("<p a='1'></p>", Saved(c_, dir_));  // quoting untouched too
  // A new attribute given no value stays valueless.
  EXPECT_EQ(1, sgSetAttribW(c_, W("flag").c_str(), nullptr));
  EXPECT_EQ(1, sgDoesAttribExistW(c_, W("flag").c_str()));
  EXPECT_EQ("<null>", Get("flag"));
  // No name matches a null or an empty one; a null name stays absent.
  EXPECT_EQ(1, sgSetAttribW(c_, W("").c_str(), W("v1").c_str()));
  EXPECT_EQ(1, sgSetAttribW(c_, W("").c_str(), W("v2").c_str()));
  EXPECT_EQ(1, sgSetAttribA(c_, "", "v3"));
  EXPECT_EQ(1, sgSetAttribW(c_, nullptr, W("v4").c_str()));
  EXPECT_EQ("a=1 flag=<null> =v1 =v2 =v3 <null>=v4", List());
  // The empty name is found by an empty key: the first one.
  EXPECT_EQ("v1", Get(""));
}

TEST_F(Attrib, RefusedWithoutSelectedElement) {
  Load("<p a='1'></p>");
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_LIST_HEAD));
  EXPECT_EQ(0, sgSetAttribW(c_, W("a").c_str(), W("2").c_str()));
  EXPECT_EQ(0, sgSetAttribA(c_, "a", "2"));
  EXPECT_EQ(0, sgSetAttribIntW(c_, W("a").c_str(), 5));
  EXPECT_EQ(0, sgAttribPrintFA(c_, "a", "%d", 5));
  EXPECT_EQ(0, sgDeleteAttribW(c_, W("a").c_str()));
  EXPECT_EQ(0u, sgGetAttribCount(c_));
  EXPECT_EQ("<null>", Get("a"));
  EXPECT_EQ(nullptr, sgGetAttribNameW(c_, 0));
  EXPECT_EQ(0, sgDoesAttribExistA(c_, "a"));
  EXPECT_EQ(7u, sgGetAttribIntW(c_, W("a").c_str(), 7));
  EXPECT_EQ(0u, sgGetUpdateFlag(c_));
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_FIRST));
  EXPECT_EQ("1", Get("a"));
}

// ---- Formatting ------------------------------------------------------------

TEST_F(Attrib, NumberSettersAndPrintFFormatTheirArguments) {
  Load("<p n='x'></p>");
  // Numbers as signed decimal and lower-case hexadecimal.
  EXPECT_EQ(1, sgSetAttribIntW(c_, W("n").c_str(), 0xFFFFFFFFu));
  EXPECT_EQ(1, sgSetAttribIntA(c_, "m", 0x80000000u));
  EXPECT_EQ(1, sgSetAttribDWordW(c_, W("h").c_str(), 255));
  EXPECT_EQ("n=-1 m=-2147483648 h=ff", List());
  EXPECT_EQ(1, sgSetAttribDWordA(c_, "H", 0xDEADBEEFu));
  EXPECT_EQ("deadbeef", Str(sgGetAttribA(c_, "h")));
  EXPECT_EQ(3u, sgGetAttribCount(c_));
  // Each round-trips through the matching reader.
  EXPECT_EQ(0xDEADBEEFu, sgGetAttribDWordW(c_, W("h").c_str(), 0));
  EXPECT_EQ(0x80000000u, sgGetAttribIntW(c_, W("m").c_str(), 0));
  // PrintF passes the caller's arguments.
  const WString word = W("w\xC3\xA9");  // U+00E9
  EXPECT_EQ(1, sgAttribPrintFW(c_, W("s").c_str(), W("%s|%d|%04x|%c").c_str(), word.c_str(), -42,
                               0xab, static_cast<int>('Z')));
  EXPECT_EQ("w\xC3\xA9|-42|00ab|Z", Get("s"));
  EXPECT_EQ(1, sgAttribPrintFA(c_, "t", "%s-%u-%X", "abc", 7u, 0xbeefu));
  EXPECT_EQ("abc-7-BEEF", Str(sgGetAttribA(c_, "t")));
  EXPECT_EQ(0, sgAttribPrintFA(c_, "t", nullptr));  // no format, nothing set
  EXPECT_EQ("abc-7-BEEF", Str(sgGetAttribA(c_, "t")));
}

TEST_F(Attrib, PrintFCutsLongOutputInsteadOfOverrunning) {
  Load("<p></p>");
  const std::string longA(6000, 'q');
  const WString longW(6000, static_cast<SG_WCHAR>('r'));
  EXPECT_EQ(1, sgAttribPrintFA(c_, "a", "%s%s", longA.c_str(), longA.c_str()));
  EXPECT_EQ(1, sgAttribPrintFW(c_, W("w").c_str(), W("%s").c_str(), longW.c_str()));
  for (const auto &[value, letter] :
       {std::pair{Str(sgGetAttribA(c_, "a")), 'q'}, std::pair{Get("w"), 'r'}}) {
    EXPECT_GT(value.size(), 0u);
    EXPECT_LE(value.size(), 1024u);
    EXPECT_EQ(std::string(value.size(), letter), value);
  }
}

// ---- Number parsing --------------------------------------------------------

TEST_F(Attrib, IntParsingStopsAtFirstNonDigitAndWraps) {
  Load("<p a='-12abc' b='abc' c='' d='-' e='+7' f=' 5' g='4294967297' h='-0' i='+' j></p>");
  const std::pair<const char *, uint32_t> cases[] = {
      {"a", static_cast<uint32_t>(-12)}, {"b", 99}, {"c", 99}, {"d", 0},  {"e", 7},
      {"f", 99},                         {"g", 1},  {"h", 0},  {"i", 0},  {"j", 99},
      {"missing", 99},
  };
  for (const auto &[name, expected] : cases) {
    EXPECT_EQ(expected, sgGetAttribIntW(c_, W(name).c_str(), 99)) << name;
    EXPECT_EQ(expected, sgGetAttribIntA(c_, name, 99)) << name;
  }
}

TEST_F(Attrib, HexParsingHasNoPrefixAndWraps) {
  Load("<p a='FFffz' b='' c='0x1F' d='g1' e='123456789' f='-1'></p>");
  const std::pair<const char *, uint32_t> cases[] = {
      {"a", 0xFFFFu}, {"b", 5}, {"c", 0}, {"d", 5}, {"e", 0x23456789u}, {"f", 5}, {"none", 5},
  };
  for (const auto &[name, expected] : cases) {
    EXPECT_EQ(expected, sgGetAttribDWordW(c_, W(name).c_str(), 5)) << name;
    EXPECT_EQ(expected, sgGetAttribDWordA(c_, name, 5)) << name;
  }
}

// ---- Reading, deleting, enumerating ---------------------------------------

TEST_F(Attrib, StringReaderFallsBackOnlyWhenThereIsNoValue) {
  Load("<p a='' b></p>");
  const WString dflt = W("d");
  EXPECT_EQ("", Str(sgGetAttribStringW(c_, W("a").c_str(), dflt.c_str())));
  EXPECT_EQ(dflt.c_str(), sgGetAttribStringW(c_, W("b").c_str(), dflt.c_str()));
  EXPECT_STREQ("d", sgGetAttribStringA(c_, "nope", "d"));
  EXPECT_EQ(1, sgDoesAttribExistW(c_, W("B").c_str()));  // valueless still exists
  EXPECT_EQ(0, sgDoesAttribExistW(c_, W("c").c_str()));
}

TEST_F(Attrib, DeleteRemovesFirstMatchOnly) {
  Load("<p x='1' y='2' X='3'></p>");
  EXPECT_EQ(1, sgDeleteAttribW(c_, W("x").c_str()));
  EXPECT_EQ(1u, sgGetUpdateFlag(c_));
  EXPECT_EQ("3", Get("x"));
  EXPECT_EQ(1, sgDeleteAttribA(c_, "X"));
  EXPECT_EQ(0, sgDeleteAttribA(c_, "x"));
  EXPECT_EQ("y=2", List());
  EXPECT_EQ("<p y='2'></p>", Saved(c_, dir_));
}

TEST_F(Attrib, IndexEnumerationFollowsListOrder) {
  Load("<p one='1' two three=\"3\"></p>");
  EXPECT_EQ("one=1 two=<null> three=3", List());  // two is valueless
  EXPECT_EQ("two", Str(sgGetAttribNameA(c_, 1)));
  EXPECT_EQ("3", Str(sgGetAttribValueA(c_, 2)));
  EXPECT_EQ(nullptr, sgGetAttribNameW(c_, 3));
  EXPECT_EQ(nullptr, sgGetAttribValueA(c_, -1));
  EXPECT_EQ(nullptr, sgGetAttribNameA(c_, INT32_MIN));
  // Narrow results are caches: the same pointer until the text changes.
  const char *cached = sgGetAttribValueA(c_, 0);
  EXPECT_EQ(cached, sgGetAttribValueA(c_, 0));
  ASSERT_EQ(1, sgSetAttribA(c_, "one", "uno"));
  EXPECT_EQ("uno", Str(sgGetAttribValueA(c_, 0)));
}

// ---- Positions -------------------------------------------------------------

TEST_F(Attrib, PositionsComeFromTheParser) {
  //    0123456789012345678
  Load("<a href=\"x\" b></a>");
  EXPECT_EQ(2u, sgGetAttribPosW(c_, W("href").c_str(), 0));  // just behind the tag name
  EXPECT_EQ(8u, sgGetAttribPosW(c_, W("HREF").c_str(), 1));  // just behind the '='
  EXPECT_EQ(8u, sgGetAttribPosA(c_, "href", 1));
  EXPECT_EQ(0xFFFFFFFFu, sgGetAttribPosW(c_, W("b").c_str(), 1));  // no value read
  EXPECT_EQ(0xFFFFFFFFu, sgGetAttribPosW(c_, W("href").c_str(), 2));
  EXPECT_EQ(0xFFFFFFFFu, sgGetAttribPosW(c_, W("zz").c_str(), 0));
  // Setting a parsed value keeps its positions; a new attribute has none.
  ASSERT_EQ(1, sgSetAttribW(c_, W("href").c_str(), W("longer value").c_str()));
  EXPECT_EQ(8u, sgGetAttribPosW(c_, W("href").c_str(), 1));
  ASSERT_EQ(1, sgSetAttribW(c_, W("new").c_str(), W("v").c_str()));
  EXPECT_EQ(0xFFFFFFFFu, sgGetAttribPosW(c_, W("new").c_str(), 0));
  EXPECT_EQ(0xFFFFFFFFu, sgGetAttribPosA(c_, "new", 1));
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_LIST_HEAD));
  EXPECT_EQ(0xFFFFFFFFu, sgGetAttribPosW(c_, W("href").c_str(), 0));
}

// ---- W/A rules (code page 932) ---------------------------------------------

TEST_F(Attrib, ShiftJisNameSetNarrowReadsBackWide) {
  Load("<p></p>");
  const char *nameSjis = "\x96\xBC\x91\x4F";  // 名前
  const char *valueSjis = "\x92\x6C";         // 値
  ASSERT_EQ(1, sgSetAttribA(c_, nameSjis, valueSjis));
  EXPECT_EQ(W("\xE5\x80\xA4"), WString(sgGetAttribW(c_, W("\xE5\x90\x8D\xE5\x89\x8D").c_str())));
  EXPECT_EQ(W("\xE5\x90\x8D\xE5\x89\x8D"), WString(sgGetAttribNameW(c_, 0)));
  EXPECT_STREQ(valueSjis, sgGetAttribA(c_, nameSjis));
  EXPECT_STREQ(nameSjis, sgGetAttribNameA(c_, 0));
  // The narrow setter finds the same attribute again rather than appending.
  ASSERT_EQ(1, sgSetAttribIntA(c_, nameSjis, 12));
  EXPECT_EQ(1u, sgGetAttribCount(c_));
  EXPECT_EQ(12u, sgGetAttribIntW(c_, W("\xE5\x90\x8D\xE5\x89\x8D").c_str(), 0));
  // 0x5C is a trail byte here, not a backslash: 表 is 95 5C.
  ASSERT_EQ(1, sgSetAttribA(c_, "\x95\x5C", "t"));
  EXPECT_EQ(W("\xE8\xA1\xA8"), WString(sgGetAttribNameW(c_, 1)));
}

TEST_F(Attrib, NarrowReadersFoldAsciiCaseAndCompareNarrowNamesSettersCompareWide) {
  Load("<p Data-Id='7'></p>");
  EXPECT_EQ(7u, sgGetAttribIntA(c_, "DATA-ID", 0));
  EXPECT_EQ(1, sgDoesAttribExistA(c_, "data-id"));
  EXPECT_EQ(2u, sgGetAttribPosA(c_, "DATA-id", 0));
  // A name with no Shift-JIS form: its narrow cache is whatever the code page
  // substitutes, so readers find it by that text while setters and deleters,
  // which compare in UTF-16, do not.
  const WString hangul = W("\xED\x95\x9C");  // U+D55C
  ASSERT_EQ(1, sgSetAttribW(c_, hangul.c_str(), W("v").c_str()));
  const std::string narrow = Str(sgGetAttribNameA(c_, 1));
  ASSERT_FALSE(narrow.empty());
  ASSERT_NE(hangul, WString(sgToWCStr(narrow.c_str())));
  EXPECT_EQ(1, sgDoesAttribExistA(c_, narrow.c_str()));
  EXPECT_STREQ("v", sgGetAttribA(c_, narrow.c_str()));
  EXPECT_EQ(0, sgDeleteAttribA(c_, narrow.c_str()));
  EXPECT_EQ(2u, sgGetAttribCount(c_));
  EXPECT_EQ(1, sgSetAttribA(c_, narrow.c_str(), "w"));
  EXPECT_EQ(3u, sgGetAttribCount(c_));  // appended, not matched
  EXPECT_EQ("v", Str(sgGetAttribValueW(c_, 1)));
}

// ---- A real page -----------------------------------------------------------

// Edits the first href of a corpus page and checks that the saved file differs
// from the saved unedited page in exactly that attribute, rewritten as
// name="value".
void CheckOneAttributeEdit(const std::string &page) {
  SCOPED_TRACE(page);
  sprig_test::TempDir dir;
  const std::string path = dir.CopyCorpusFile("html/" + page, "page.html");
  ASSERT_FALSE(path.empty());
  SG_CURSOR c = sgOpenXMLA(path.c_str());
  ASSERT_NE(nullptr, c);
  const std::string before = Saved(c, dir, "before.html");

  const WString href = W("href");
  ASSERT_EQ(1, sgMoveTo(c, SG_MOVE_BASE));
  do {
    ASSERT_EQ(1, sgMoveTo(c, SG_MOVE_NEXT_IN_ORDER)) << "no href";
  } while (!sgGetAttribW(c, href.c_str()));
  std::string name;  // as written
  for (int32_t i = 0; name != "href" && name != "HREF"; ++i) name = Str(sgGetAttribNameW(c, i));
  const std::string oldValue = Str(sgGetAttribW(c, href.c_str()));
  const std::string newValue = "https://example.invalid/sprig-edited";
  ASSERT_EQ(1, sgSetAttribW(c, href.c_str(), W(newValue.c_str()).c_str()));
  const std::string after = Saved(c, dir, "after.html");

  const std::string written = name + "=\"" + newValue + "\"";
  const size_t at = after.find(written);
  ASSERT_NE(std::string::npos, at);
  ASSERT_EQ(std::string::npos, after.find(written, at + 1));
  size_t oldLength = std::string::npos;
  for (const char *quote : {"\"", "'", ""}) {
    const std::string old = name + "=" + quote + oldValue + quote;
    if (oldLength == std::string::npos && before.compare(at, old.size(), old) == 0) {
      oldLength = old.size();
    }
  }
  ASSERT_NE(std::string::npos, oldLength) << "old attribute not at the edited place";
  EXPECT_EQ(before.substr(0, at) + written + before.substr(at + oldLength), after);
  sgDeleteXML(c);  // no write-back to the copy
}

TEST(AttribPage, EditingOneHrefChangesOnlyThatAttributeInTheSavedFile) {
  for (const char *page : {"001.html", "002.html", "aclu.html", "ars-1.html"}) {
    CheckOneAttributeEdit(page);
  }
}

}  // namespace
