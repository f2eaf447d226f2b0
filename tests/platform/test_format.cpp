// wvsprintfA and wvsprintfW: the wsprintf format language as the library's
// formatted setters use it, and the 1024-character limit. Conversions between
// narrow and wide arguments use the ANSI code page, 932 in these tests.
#include <gtest/gtest.h>

#include <string.h>

#include "platform_test.h"

using namespace platform_test;

namespace {

// Output buffers are larger than the limit; FillA and FillW first fill them
// with a guard, so that a write past the 1024th character shows.
const int kBuffer = 1500;
const char kGuard = '#';

int FillA(char *out, const char *format, ...) {
  memset(out, kGuard, kBuffer);
  va_list args;
  va_start(args, format);
  int count = wvsprintfA(out, format, args);
  va_end(args);
  return count;
}

int FillW(WCHAR *out, const WCHAR *format, ...) {
  for (int i = 0; i < kBuffer; ++i) out[i] = kGuard;
  va_list args;
  va_start(args, format);
  int count = wvsprintfW(out, format, args);
  va_end(args);
  return count;
}

// The formatted text, after checking that the count returned is its length.
template <typename... Args>
std::string FormatA(const char *format, Args... args) {
  char out[kBuffer];
  int count = FillA(out, format, args...);
  EXPECT_EQ(count, lstrlenA(out));
  return out;
}

template <typename... Args>
Units FormatW(const WCHAR *format, Args... args) {
  WCHAR out[kBuffer];
  int count = FillW(out, format, args...);
  EXPECT_EQ(count, lstrlenW(out));
  return UnitsOf(out, lstrlenW(out));
}

}  // namespace

TEST(Format, IntegersInDecimalAndHexWithFlagsWidthAndPrecision) {
  EXPECT_EQ(FormatA("%d|%i|%u|%x|%X", -12, 34, 0xFFFFFFFFu, 0xBEEF, 0xBEEF),
            "-12|34|4294967295|beef|BEEF");
  EXPECT_EQ(FormatA("%d|%u|%x", static_cast<int>(0x80000000u), -1, -1),
            "-2147483648|4294967295|ffffffff");
  EXPECT_EQ(FormatA("%ld|%lu|%lx|%I64d|%I64X", -5, 3000000000u, 0xABCDu, -1234567890123LL,
                    0x1234567890ULL),
            "-5|3000000000|abcd|-1234567890123|1234567890");
  EXPECT_EQ(FormatA("[%5d|%-5d|%05d|%.3d|%03d]", 42, 42, 42, 7, -5),
            "[   42|42   |00042|007|-05]");
  EXPECT_EQ(FormatA("[%#x|%#X|%08X|%-08d]", 255, 255, 0x1F, 3),
            "[0xff|0XFF|0000001F|3       ]");
  // Pointer-sized forms; an unknown conversion leaves its letter alone.
  EXPECT_EQ(FormatA("[%I32d|%Ix|%p|%ws|%q]", 5, static_cast<intptr_t>(0xAB), reinterpret_cast<void *>(0x1F),
                    Wide(u"w").c_str()),
            "[5|ab|" + std::string(2 * sizeof(void *) - 2, '0') + "1F|w|q]");
}

TEST(Format, CharactersAndStrings) {
  EXPECT_EQ(FormatA("[%c|%s|%.2s|%5s|%-5s|%%]", 'q', "str", "abcdef", "ab", "ab"),
            "[q|str|ab|   ab|ab   |%]");
  EXPECT_EQ(FormatA("[%s|%hs]", static_cast<const char *>(nullptr), "h"), "[(null)|h]");
  // Capital letters and the l prefix take the other width.
  EXPECT_EQ(FormatA("[%S|%ls|%hS]", Wide(u"wide").c_str(), Wide(u"l").c_str(), "h"),
            "[wide|l|h]");
  EXPECT_EQ(FormatW(Wide(u"[%s|%S|%hs|%ls|%c|%C|%d|%x]").c_str(), Wide(u"w").c_str(), "n", "h",
                    Wide(u"l").c_str(), 'c', 'C', -7, 0xBEEF),
            UnitsOf(Wide(u"[w|n|h|l|c|C|-7|beef]")));
}

TEST(Format, OtherWidthArgumentsConvertThroughTheAnsiCodePage) {
  EXPECT_EQ(FormatA("[%ls|%C]", Wide(u"\u3042\u3044").c_str(), 0x3042),
            "[\x82\xA0\x82\xA2|\x82\xA0]");
  EXPECT_EQ(FormatW(Wide(u"[%S|%c]").c_str(), "n\x82\xA0", 0x3042),
            (Units{'[', 'n', 0x3042, '|', 0x3042, ']'}));
  // A character Shift-JIS lacks comes out as '?'.
  EXPECT_EQ(FormatA("%ls", Wide(u"a\u0100").c_str()), "a?");
}

TEST(Format, OutputStopsAt1023UnitsAndTheTerminator) {
  char out[kBuffer];
  FillA(out, "ab%sZ", std::string(3000, 'x').c_str());
  EXPECT_EQ(strlen(out), 1023u);
  EXPECT_EQ(out[1024], kGuard);
  EXPECT_EQ(std::string(out, 4), "abxx");
  // A long format is cut the same way, in the middle of a field if need be.
  FillA(out, (std::string(1020, 'y') + "%d").c_str(), 12345);
  EXPECT_EQ(std::string(out + 1018), "yy123");
  EXPECT_EQ(out[1024], kGuard);
  // Exactly what fits is not cut.
  std::string fits(1022, 'z');
  EXPECT_EQ(FillA(out, "%s", fits.c_str()), 1022);
  EXPECT_EQ(out, fits);
  // Wide output stops at 1023 units whichever width the argument has.
  WCHAR wide[kBuffer];
  int count = FillW(wide, Wide(u"%s").c_str(), WideText(2000, 'w').c_str());
  EXPECT_EQ(lstrlenW(wide), 1023);
  EXPECT_GE(count, 1023);  // Windows may report 1024 for a full buffer
  EXPECT_LE(count, 1024);
  EXPECT_EQ(wide[1024], kGuard);
  FillW(wide, Wide(u"%S").c_str(), std::string(2000, 'n').c_str());
  EXPECT_EQ(lstrlenW(wide), 1023);
  EXPECT_EQ(wide[1024], kGuard);
}
