// lstrlen, lstrcpyn and the case-insensitive comparisons, whose
// equality the library relies on for every name lookup. The narrow forms read
// the ANSI code page, 932 in these tests.
#include <gtest/gtest.h>

#include "platform_test.h"

using namespace platform_test;

namespace {

bool EqualIgnoringCase(const char16_t *a, const char16_t *b) {
  return lstrcmpiW(Wide(a).c_str(), Wide(b).c_str()) == 0;
}

}  // namespace

TEST(Strings, LengthsCountUnitsWithoutTerminator) {
  EXPECT_EQ(lstrlenA("abc"), 3);
  EXPECT_EQ(lstrlenA("\x82\xA0z"), 3);
  EXPECT_EQ(lstrlenW(Wide(u"\u3042\U0001F600").c_str()), 3);
  EXPECT_EQ(lstrlenA(""), 0);
  EXPECT_EQ(lstrlenA(nullptr), 0);
  EXPECT_EQ(lstrlenW(nullptr), 0);
}

TEST(Strings, CopyNStopsAtTheLimitAndAlwaysTerminates) {
  const WideText text = Wide(u"abcdef");
  WCHAR out[8];
  EXPECT_EQ(lstrcpynW(out, text.c_str(), 4), out);
  EXPECT_EQ(UnitsOf(out, 4), (Units{'a', 'b', 'c', 0}));
  lstrcpynW(out, text.c_str(), 1);
  EXPECT_EQ(out[0], 0);
  // A shorter text stops at its terminator and leaves the rest alone.
  for (WCHAR &unit : out) unit = '#';
  lstrcpynW(out, Wide(u"ab").c_str(), 8);
  EXPECT_EQ(UnitsOf(out, 4), (Units{'a', 'b', 0, '#'}));
  // A limit of 0 writes nothing.
  lstrcpynW(out, text.c_str(), 0);
  EXPECT_EQ(out[0], 'a');
}

TEST(Strings, CompareIgnoresAsciiCase) {
  EXPECT_TRUE(EqualIgnoringCase(u"Content-Type", u"CONTENT-type"));
  EXPECT_TRUE(EqualIgnoringCase(u"", u""));
  EXPECT_FALSE(EqualIgnoringCase(u"abc", u"abd"));
  EXPECT_FALSE(EqualIgnoringCase(u"ab", u"abc"));
  EXPECT_FALSE(EqualIgnoringCase(u"a", u""));
  EXPECT_LT(lstrcmpiW(Wide(u"abc").c_str(), Wide(u"ABD").c_str()), 0);
  EXPECT_GT(lstrcmpiW(Wide(u"b").c_str(), Wide(u"A").c_str()), 0);
  // A null text sorts before every other, an empty one included.
  EXPECT_LT(lstrcmpiW(nullptr, Wide(u"").c_str()), 0);
  EXPECT_GT(lstrcmpiA("", nullptr), 0);
  EXPECT_EQ(lstrcmpiA(nullptr, nullptr), 0);
}

TEST(Strings, CompareFoldsLettersBeyondAscii) {
  const char16_t *pairs[][2] = {
      {u"\u00C9t\u00C9", u"\u00E9T\u00E9"},  // Latin-1
      {u"\u0100\u017D\u0178", u"\u0101\u017E\u00FF"},  // Latin Extended-A
      {u"\u01C4\u01F1\u024E", u"\u01C6\u01F3\u024F"},  // Latin Extended-B
      {u"\u0391\u03A3\u0386", u"\u03B1\u03C3\u03AC"},  // Greek
      {u"\u03A3", u"\u03C2"},                          // final sigma
      {u"\u0416\u0401", u"\u0436\u0451"},              // Cyrillic
      {u"\u0531", u"\u0561"},                          // Armenian
      {u"\u10A0", u"\u2D00"},                          // Georgian
      {u"\uFF21\uFF3A", u"\uFF41\uFF5A"},              // full-width Latin
      {u"\u2160\u24B6", u"\u2170\u24D0"},              // Roman numerals, circled
      {u"\u212A\u1E9E", u"k\u00DF"},                   // Kelvin sign, capital sharp s
  };
  for (const auto &pair : pairs)
    EXPECT_TRUE(EqualIgnoringCase(pair[0], pair[1])) << UnitsOf(Wide(pair[0]))[0];
}

TEST(Strings, CompareKeepsDifferentCharactersApart) {
  EXPECT_FALSE(EqualIgnoringCase(u"\uFF71", u"\u30A2"));  // half- and full-width kana
  EXPECT_FALSE(EqualIgnoringCase(u"1", u"\uFF11"));       // digit widths
  EXPECT_FALSE(EqualIgnoringCase(u"a", u"\u00E0"));       // accents
  EXPECT_FALSE(EqualIgnoringCase(u"\u0131", u"I"));       // dotless i
  EXPECT_FALSE(EqualIgnoringCase(u"\u0130", u"i"));       // dotted capital I
  EXPECT_FALSE(EqualIgnoringCase(u"\u017F", u"s"));       // long s
}

TEST(Strings, NarrowCompareFoldsInTheAnsiCodePage) {
  EXPECT_EQ(lstrcmpiA("META", "meta"), 0);
  EXPECT_EQ(lstrcmpiA("x\x82\x60y", "X\x82\x81Y"), 0);  // Ａ and ａ
  EXPECT_NE(lstrcmpiA("abc", "abd"), 0);
  // Trail bytes are not letters: ア (83 41) is not ヂ (83 61).
  EXPECT_NE(lstrcmpiA("\x83\x41", "\x83\x61"), 0);
  EXPECT_NE(lstrcmpiA("\x83\x41", "\xB1"), 0);  // ア and ｱ
  // Σ (83 B0) and σ (83 D0).
  EXPECT_EQ(lstrcmpiA("\x83\xB0", "\x83\xD0"), 0);
}
