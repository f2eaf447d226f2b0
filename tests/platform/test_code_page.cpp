// Code-page conversions: Shift-JIS (code page 932, the ANSI code page of
// these tests: always outside Windows, and under Wine with LC_ALL=ja_JP.UTF-8),
// UTF-8 and UTF-7, with Windows' treatment of invalid input, size queries,
// -1 lengths and short output buffers.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "platform_test.h"

using namespace platform_test;

namespace {

const UINT kShiftJis = 932;

// Checks that `units` encode to exactly `bytes` and that `bytes` decode back.
void ExpectRoundTrip(UINT codePage, const Units &units, const std::string &bytes) {
  EXPECT_EQ(Encode(codePage, Wide(units)), bytes) << "code page " << codePage;
  EXPECT_EQ(Decode(codePage, bytes), units) << "code page " << codePage;
}

// A fixed-seed generator, so that the random tests are the same on every run.
struct Random {
  uint32_t seed;
  uint32_t operator()() {
    seed = seed * 1103515245u + 12345u;
    return seed >> 16;
  }
};

}  // namespace

TEST(CodePage, AnsiCodePageIsShiftJis) {
  ExpectRoundTrip(CP_ACP, {0x3042, 0xFF71}, "\x82\xA0\xB1");
}

TEST(CodePage, ShiftJisRoundTripsKanaKanjiHalfWidthKatakanaAndTrailByte5C) {
  // あ ア 漢 ｱ ﾟ, backslash and tilde (not yen and overline), ideographic space.
  ExpectRoundTrip(kShiftJis, {0x3042, 0x30A2, 0x6F22, 0xFF71, 0xFF9F, 0x5C, 0x7E, 0x3000},
                  "\x82\xA0\x83\x41\x8A\xBF\xB1\xDF\x5C\x7E\x81\x40");
  // 表 and ソ end in 0x5C, which is no backslash there; a following real one stays one.
  ExpectRoundTrip(kShiftJis, {0x8868, 0x30BD, 0x5C}, "\x95\x5C\x83\x5C\x5C");
}

TEST(CodePage, ShiftJisExtensionCharactersFollowWindows) {
  // NEC specials (①, ∵), IBM extensions (髙, ⅰ), and the Windows forms of
  // the wave dash, double bar, minus and not sign.
  EXPECT_EQ(Decode(kShiftJis, "\x87\x40\x87\x9A\xFB\xFC\xFA\x40\x81\x60\x81\x61\x81\x7C\x81\xCA"),
            (Units{0x2460, 0x2235, 0x9AD9, 0x2170, 0xFF5E, 0x2225, 0xFF0D, 0xFFE2}));
  EXPECT_EQ(Encode(kShiftJis, Wide(u"\u2460\u9AD9\u2170\uFF5E\u2225\uFF0D\uFFE2")),
            "\x87\x40\xFB\xFC\xFA\x40\x81\x60\x81\x61\x81\x7C\x81\xCA");
  // 纊 has an NEC-selected and an IBM code; both decode, the IBM one is written.
  EXPECT_EQ(Decode(kShiftJis, "\xED\x40\xFA\x5C"), (Units{0x7E8A, 0x7E8A}));
  EXPECT_EQ(Encode(kShiftJis, Wide(u"\u7E8A")), "\xFA\x5C");
  // The user-defined area maps to the private use area.
  EXPECT_EQ(Decode(kShiftJis, "\xF0\x40"), (Units{0xE000}));
}

TEST(CodePage, ShiftJisInvalidBytesBecomeWhatWindowsGives) {
  // A lead byte at the end, a lead byte before an impossible trail byte (the
  // pair is swallowed) and an unassigned pair all give U+30FB.
  EXPECT_EQ(Decode(kShiftJis, "a\x82"), (Units{'a', 0x30FB}));
  EXPECT_EQ(Decode(kShiftJis, "\x82\x20z"), (Units{0x30FB, 'z'}));
  EXPECT_EQ(Decode(kShiftJis, "\x85\x40z"), (Units{0x30FB, 'z'}));
  // A terminating zero behind a lead byte is not swallowed.
  EXPECT_EQ(Decode(kShiftJis, std::string("\x81\0z", 3)), (Units{0x30FB, 0, 'z'}));
  // Single bytes that are no character in standard Shift-JIS.
  EXPECT_EQ(Decode(kShiftJis, "\x80\xA0\xFD\xFE\xFF"),
            (Units{0x80, 0xF8F0, 0xF8F1, 0xF8F2, 0xF8F3}));
}

TEST(CodePage, ShiftJisUnmappableCharactersBecomeBestFitOrQuestionMarks) {
  // Ā, €, and an emoji (one '?' per surrogate).
  EXPECT_EQ(Encode(kShiftJis, Wide(Units{0x0100, 0x20AC, 0xD83D, 0xDE00, 'x'})), "????x");
  // Lone surrogates too.
  EXPECT_EQ(Encode(kShiftJis, Wide(Units{'a', 0xD800, 'b', 0xDC00})), "a?b?");
  // é → e, ¥ → backslash, ¦ → '|', while ¢ £ ¬ have real Shift-JIS codes.
  EXPECT_EQ(Encode(kShiftJis, Wide(u"caf\u00E9\u00A5\u00A6\u00A2\u00A3\u00AC")),
            "cafe\x5C|\x81\x91\x81\x92\x81\xCA");
}

TEST(CodePage, Utf8RoundTripsEveryPlaneAndEveryLengthBoundary) {
  ExpectRoundTrip(CP_UTF8,
                  {'a', 0x7F, 0x80, 0xE9, 0x7FF, 0x800, 0x3042, 0xFFFF, 0xD800, 0xDC00, 0xD83D, 0xDE00,
                   0xDBFF, 0xDFFF, 0},
                  std::string("a\x7F\xC2\x80\xC3\xA9\xDF\xBF\xE0\xA0\x80\xE3\x81\x82\xEF\xBF\xBF"
                              "\xF0\x90\x80\x80\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF\0", 30));
}

TEST(CodePage, Utf8InvalidInputBecomesReplacementCharacters) {
  const int R = 0xFFFD;
  EXPECT_EQ(Decode(CP_UTF8, "\xC0\x80z"), (Units{R, R, 'z'}));  // C0 never leads
  EXPECT_EQ(Decode(CP_UTF8, "\x80\xBFz"), (Units{R, R, 'z'}));  // stray continuations
  EXPECT_EQ(Decode(CP_UTF8, "\xF5\x80z"), (Units{R, R, 'z'}));  // beyond U+10FFFF
  EXPECT_EQ(Decode(CP_UTF8, "\xFE\xFF"), (Units{R, R}));
  // A sequence cut short is one replacement, and the next character survives.
  EXPECT_EQ(Decode(CP_UTF8, "\xE3\x81z"), (Units{R, 'z'}));
  EXPECT_EQ(Decode(CP_UTF8, "\xF0\x9F\x98\x41"), (Units{R, 'A'}));
  EXPECT_EQ(Decode(CP_UTF8, "\xE3\x81\xC2\xA9"), (Units{R, 0xA9}));
  EXPECT_EQ(Decode(CP_UTF8, "a\xE3\x81"), (Units{'a', R}));  // at the very end
  // Lone surrogates encode as the replacement character.
  EXPECT_EQ(Encode(CP_UTF8, Wide(Units{'a', 0xD800, 'b', 0xDC00, 0xD800})),
            "a\xEF\xBF\xBD" "b\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(CodePage, Utf7RoundTripsEveryUnit) {
  EXPECT_EQ(Decode(CP_UTF7, "+MEIwRA-x"), (Units{0x3042, 0x3044, 'x'}));
  EXPECT_EQ(Decode(CP_UTF7, "a+-b"), (Units{'a', '+', 'b'}));
  // '+' is "+-" even next to a base64 run, which is always closed by '-'.
  ExpectRoundTrip(CP_UTF7, UnitsOf(Wide(u"a+~\\!\u3042 z\u3042+")),
                  "a+-+AH4AXAAhMEI- z+MEI-+-");
  // Lone surrogates travel both ways.
  ExpectRoundTrip(CP_UTF7, {'a', 0xD800, 'b', 0xDC00, 'c', 0xD83D, 0xDE00},
                  "a+2AA-b+3AA-c+2D3eAA-");
}

TEST(CodePage, Utf7ToleratesUnfinishedInput) {
  EXPECT_EQ(Decode(CP_UTF7, "+AGE"), (Units{'a'}));  // no closing '-', spare bits
  EXPECT_EQ(Decode(CP_UTF7, "+!x"), (Units{'!', 'x'}));
  EXPECT_EQ(Decode(CP_UTF7, "\x80" "A"), (Units{0x80, 'A'}));
}

TEST(CodePage, MinusOneLengthConvertsAndCountsTheTerminator) {
  WCHAR wide[8];
  EXPECT_EQ(MultiByteToWideChar(kShiftJis, 0, "a\x82\xA0", -1, nullptr, 0), 3);
  ASSERT_EQ(MultiByteToWideChar(kShiftJis, 0, "a\x82\xA0", -1, wide, 8), 3);
  EXPECT_EQ(UnitsOf(wide, 3), (Units{'a', 0x3042, 0}));
  char narrow[8];
  const WideText text = Wide(u"\u3042b");
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr), 5);
  ASSERT_EQ(WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, narrow, 8, nullptr, nullptr), 5);
  EXPECT_EQ(std::string(narrow, 5), std::string("\xE3\x81\x82" "b", 5));
}

TEST(CodePage, OutputTooSmallFailsWithoutOverrun) {
  WCHAR wide[4] = {0x7777, 0x7777, 0x7777, 0x7777};
  EXPECT_EQ(MultiByteToWideChar(kShiftJis, 0, "abc", 3, wide, 2), 0);
  EXPECT_EQ(wide[2], 0x7777);
  char narrow[4] = {'#', '#', '#', '#'};
  const WideText text = Wide(u"a\u3042");
  EXPECT_EQ(WideCharToMultiByte(kShiftJis, 0, text.data(), 2, narrow, 2, nullptr, nullptr), 0);
  EXPECT_EQ(narrow[2], '#');
  // UTF-7 may need more than three bytes per unit: "+MEI-" is five.
  EXPECT_EQ(WideCharToMultiByte(CP_UTF7, 0, text.data() + 1, 1, narrow, 4, nullptr, nullptr), 0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF7, 0, text.data() + 1, 1, nullptr, 0, nullptr, nullptr), 5);
}

TEST(CodePage, UnknownCodePageAndEmptyInputFail) {
  WCHAR wide[4];
  char narrow[4];
  const WideText text = Wide(u"ab");
  EXPECT_EQ(MultiByteToWideChar(12345, 0, "ab", 2, wide, 4), 0);
  EXPECT_EQ(WideCharToMultiByte(12345, 0, text.data(), 2, narrow, 4, nullptr, nullptr), 0);
  EXPECT_EQ(MultiByteToWideChar(1200, 0, "ab", 2, wide, 4), 0);  // UTF-16 is no code page here
  EXPECT_EQ(MultiByteToWideChar(kShiftJis, 0, "ab", 0, wide, 4), 0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, text.data(), 0, narrow, 4, nullptr, nullptr), 0);
}

TEST(CodePage, OtherCodePagesGoThroughTheirOwnTables) {
  EXPECT_EQ(Decode(1252, "\x80\xE9\x9F"), (Units{0x20AC, 0xE9, 0x178}));
  EXPECT_EQ(Encode(1252, Wide(u"\u20AC\u00E9\u3042")), "\x80\xE9?");
  EXPECT_EQ(Decode(1251, "\xC0\xFF"), (Units{0x410, 0x44F}));
  EXPECT_EQ(Decode(28595, "\xB0"), (Units{0x410}));
  ExpectRoundTrip(20932, {0x3042, 0xFF71}, "\xA4\xA2\x8E\xB1");
  EXPECT_EQ(Decode(20127, "a\xE9\x80"), (Units{'a', 0x69, 0}));  // US-ASCII drops the eighth bit
}

TEST(CodePage, EveryLetterComesOutInPlace) {
  // glibc's converters for 1255 and 1258 hold a letter back to join a
  // following mark to it, and its 949 reports the invalid pair A2 E8 only
  // after reading past it: neither may lose, move or overrun anything.
  // Windows has a character at A2 E8 and glibc none, so a 0 takes any unit.
  struct Case {
    UINT codePage;
    std::string bytes;
    Units units;
  } const kCases[] = {
      {1255, "\xF9\xEC\xE5\xED \xF2\xE5\xEC\xED", {0x5E9, 0x5DC, 0x5D5, 0x5DD, ' ', 0x5E2, 0x5D5, 0x5DC, 0x5DD}},
      {1255, "A\xD4 ", {'A', 0x5F0, ' '}},
      {1258, "\xC3", {0x102}},
      {949, "\xA2\xE8", {0}},
      {949, "\xA2\xE8\xB0\xA1", {0, 0xAC00}},
  };
  for (const Case &c : kCases) {
    const Units units = Decode(c.codePage, c.bytes);
    SCOPED_TRACE("code page " + std::to_string(c.codePage) + ", " + std::to_string(c.bytes.size()) + " bytes");
    ASSERT_EQ(units.size(), c.units.size());
    for (size_t i = 0; i < units.size(); ++i) {
      if (c.units[i] != 0) {
        EXPECT_EQ(units[i], c.units[i]) << "unit " << i;
      }
    }
  }
}

TEST(CodePage, ThreadsMeetingACodePageAtOnceEncodeAlike) {
  // Every Hangul syllable, met first by several threads at once: each gets
  // the same two bytes a syllable, which decode back to the syllables.
  WideText syllables;
  size_t ascii = 0;
  for (WCHAR unit = 0xAC00; unit <= 0xD7A3; ++unit) {
    syllables += unit;
    if (unit % 64 == 0) syllables += static_cast<WCHAR>('a' + ascii++ % 26);
  }
  std::vector<std::string> results(4);
  std::vector<std::thread> threads;
  for (std::string &result : results)
    threads.emplace_back([&result, &syllables] { result = Encode(949, syllables); });
  for (std::thread &thread : threads) thread.join();
  for (const std::string &result : results) EXPECT_EQ(result, results[0]);
  EXPECT_EQ(results[0].size(), 2 * (syllables.size() - ascii) + ascii);
  EXPECT_EQ(Decode(949, results[0]), UnitsOf(syllables));
}

TEST(CodePage, DecodingIsTheSameWithRoomToSpareOrJustEnough) {
  // Output room of a unit per byte lets a decoder write without checking
  // bounds; an exact room or a size query goes the checked way. Random
  // mixes of ASCII, lead and trail bytes, invalid ones and zeros (at the end
  // too) must decode alike on every way.
  const unsigned char kBytes[] = {'a', '<', 0, 0x20, 0x40, 0x7F, 0x80, 0x81, 0x9F, 0xA0,
                                  0xA4, 0xB1, 0xC2, 0xDF, 0xE0, 0xE3, 0xEF, 0xF0,
                                  0xF4, 0xFC, 0xFD, 0xFF, 0x82, 0xBF};
  Random next{12345};
  for (UINT codePage : {kShiftJis, static_cast<UINT>(CP_UTF8)}) {
    for (int round = 0; round < 3000; ++round) {
      std::string bytes(1 + next() % 48, '\0');
      for (char &b : bytes) {
        // Runs of ASCII long enough for the sixteen-at-a-time paths.
        b = static_cast<char>(next() % 3 ? 'a' + next() % 26 : kBytes[next() % sizeof kBytes]);
      }
      const int n = static_cast<int>(bytes.size());
      const int needed = MultiByteToWideChar(codePage, 0, bytes.data(), n, nullptr, 0);
      ASSERT_GT(needed, 0);
      ASSERT_LE(needed, n);
      std::vector<WCHAR> roomy(static_cast<size_t>(n)), exact(static_cast<size_t>(needed));
      ASSERT_EQ(needed, MultiByteToWideChar(codePage, 0, bytes.data(), n, roomy.data(), n));
      ASSERT_EQ(needed, MultiByteToWideChar(codePage, 0, bytes.data(), n, exact.data(), needed));
      EXPECT_EQ(UnitsOf(roomy.data(), needed), UnitsOf(exact.data(), needed))
          << "code page " << codePage << ", round " << round;
    }
  }
}

TEST(CodePage, TheEndCutsASequenceAsAZeroDoes) {
  // The reader decodes a text with or without the zero behind it: the units
  // up to the first zero must not differ, whatever sequence the end cuts.
  // UTF-8 is the exception: a sequence cut off by the end takes the rest of
  // the input with it, so only a text ending in three ASCII bytes qualifies.
  const unsigned char kBytes[] = {'a', '+', '-', 'A', 'G', '0', 0, 0x81, 0x9F, 0xA4, 0xC3,
                                  0xE3, 0xF0, 0x82, 0xBF, 0xFC, 0xFF};
  Random next{777};
  auto upToZero = [](Units units) {
    units.erase(std::find(units.begin(), units.end(), 0), units.end());
    return units;
  };
  for (UINT codePage : {kShiftJis, static_cast<UINT>(CP_UTF8), static_cast<UINT>(CP_UTF7)}) {
    for (int round = 0; round < 3000; ++round) {
      std::string bytes(1 + next() % 12, '\0');
      for (char &b : bytes) b = static_cast<char>(kBytes[next() % sizeof kBytes]);
      if (codePage == CP_UTF8) bytes += "a-0";
      EXPECT_EQ(upToZero(Decode(codePage, bytes)), upToZero(Decode(codePage, bytes + '\0')))
          << "code page " << codePage << ", round " << round;
    }
  }
}

TEST(CodePage, IsDBCSLeadByteFollowsShiftJis) {
  for (int byte : {0x81, 0x9F, 0xE0, 0xEF, 0xFC}) EXPECT_TRUE(IsDBCSLeadByte(byte)) << byte;
  for (int byte : {0x00, 0x40, 0x5C, 0x80, 0xA0, 0xB1, 0xDF, 0xFD, 0xFF})
    EXPECT_FALSE(IsDBCSLeadByte(byte)) << byte;
}
