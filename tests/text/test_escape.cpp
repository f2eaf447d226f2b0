// Entity escaping and unescaping (the cases are in tests/text/cases), their
// separate result rings, and the reader's case-folding comparisons.
#include <gtest/gtest.h>

#include <string>

#include "testing/testing.h"
#include "platform/platform.h"
#include "script.h"
#include "support.h"
#include "text/escape.h"
#include "text/text.h"

using sprig_test::Utf16;
using sprig_test::WString;

namespace {

const WCHAR *W(const WString &s) { return reinterpret_cast<const WCHAR *>(s.c_str()); }



}  // namespace

TEST(TextCases, EveryCaseFile) {
  const uint32_t saved = sgGetTextConvFlag();
  sprig_script::RunCaseFolder(sprig_test::NativePath(SPRIG_TESTS_DIR "/text/cases"));
  sgSetTextConvFlag(saved, 0xFFFFFFFFu);
}

TEST(EscapeRing, NullAndEmptyGiveTheConstantWithoutAllocating) {
  PlatformFailAllocationAt(0);
  const SG_WCHAR empty[] = {0};
  const SG_WCHAR *w = sgToQuoteStrTemp16W(nullptr);
  EXPECT_EQ(WString(w), WString());
  EXPECT_EQ(sgToQuoteStrTemp16W(empty), w);
  EXPECT_EQ(sgToNormalStrTemp16W(empty), w);
  const char *a = sgToNormalStrTemp16A(nullptr);
  EXPECT_STREQ(a, "");
  EXPECT_EQ(sgToQuoteStrTemp16A(""), a);
  EXPECT_EQ(PlatformAllocationCount(), 0u);

  // A failed allocation gives the same constant.
  PlatformFailAllocationAt(1);
  EXPECT_EQ(sgToQuoteStrTemp16W(Utf16("x").c_str()), w);
  PlatformFailAllocationAt(1);
  EXPECT_EQ(sgToNormalStrTemp16A("x"), a);
  PlatformFailAllocationAt(0);
}

TEST(EscapeRing, EachFunctionHasItsOwnRing) {
  const SG_WCHAR *normal = sgToNormalStrTemp16W(Utf16("kept&amp;").c_str());
  const char *normalA = sgToNormalStrTemp16A("keptA");
  const SG_WCHAR *quoteFirst = sgToQuoteStrTemp16W(Utf16("first").c_str());
  ASSERT_EQ(WString(quoteFirst), Utf16("first"));
  const SG_WCHAR *quotes[kRingSlots];
  for (int i = 0; i < kRingSlots; ++i) {
    quotes[i] = sgToQuoteStrTemp16W(Utf16(std::to_string(i)).c_str());
  }
  // Results 2 to 17 of the quoting ring and the other rings' results are
  // untouched; ASan reports any of them freed too early.
  for (int i = 0; i < kRingSlots; ++i) EXPECT_EQ(WString(quotes[i]), Utf16(std::to_string(i)));
  EXPECT_EQ(WString(normal), Utf16("kept&"));
  EXPECT_STREQ(normalA, "keptA");
}

TEST(CompareNoCase, AsciiLettersOnly) {
  WString text = Utf16("</SCRIPT>");
  EXPECT_EQ(CompareNoCaseW(W(text), W(Utf16("</script")), 8), 0);
  EXPECT_EQ(CompareNoCaseW(W(text), W(Utf16("</scripx")), 7), 0);  // n limits
  EXPECT_NE(CompareNoCaseW(W(text), W(Utf16("</scripx")), 8), 0);
  EXPECT_EQ(CompareNoCaseW(W(text), W(Utf16("</s")), 100), 0);  // pattern ends
  // '[' and '{' are 32 apart but are no letters; text shorter than pattern.
  EXPECT_NE(CompareNoCaseW(W(Utf16("[")), W(Utf16("{")), 1), 0);
  EXPECT_LT(CompareNoCaseW(W(Utf16("ab")), W(Utf16("abc")), 3), 0);
  EXPECT_EQ(CompareNoCaseA("UTF-8\"", "utf-8", 5), 0);
  EXPECT_NE(CompareNoCaseA("@", "`", 1), 0);
}

TEST(CompareNoCase, NarrowDoubleByteTrailComparedExactly) {
  // 0x83 0x61 and 0x83 0x41 are different katakana: their trail bytes must
  // not be folded like the letters 'a' and 'A'.
  EXPECT_NE(CompareNoCaseA("\x83\x61", "\x83\x41", 2), 0);
  EXPECT_EQ(CompareNoCaseA("\x83\x61", "\x83\x61", 2), 0);
  // Both bytes count against n.
  EXPECT_EQ(CompareNoCaseA("\x95\x5Cx", "\x95\x5Cy", 2), 0);
  EXPECT_NE(CompareNoCaseA("\x95\x5Cx", "\x95\x5Cy", 3), 0);
  EXPECT_EQ(CompareNoCaseA("\x95\x5CX", "\x95\x5Cx", 3), 0);
}

TEST(FindNoCase, Places) {
  WString text = Utf16("text/html; Charset=Shift_JIS");
  const WCHAR *t = W(text);
  EXPECT_EQ(FindNoCaseW(t, W(Utf16("charset="))), t + 11);
  EXPECT_EQ(FindNoCaseW(t, W(Utf16("_jis"))), t + 24);
  EXPECT_EQ(FindNoCaseW(t, W(Utf16("utf-8"))), nullptr);
  EXPECT_EQ(FindNoCaseW(t, W(Utf16("jis!"))), nullptr);  // runs past the end
  EXPECT_EQ(FindNoCaseW(t, W(WString())), t);
  EXPECT_EQ(FindNoCaseW(W(WString()), W(WString())), nullptr);
  EXPECT_EQ(FindNoCaseW(W(Utf16("{")), W(Utf16("["))), nullptr);
}

TEST(FindNoCase, OverlappingNearMatches) {
  WString text = Utf16("aaAaAb");
  EXPECT_EQ(FindNoCaseW(W(text), W(Utf16("AAAB"))), W(text) + 2);
  // A pattern longer than the short table, with a long run of near matches.
  std::string pattern(100, 'a');
  pattern += 'b';
  WString longText = Utf16(std::string(300, 'A') + "b");
  EXPECT_EQ(FindNoCaseW(W(longText), W(Utf16(pattern))), W(longText) + 200);
  EXPECT_EQ(FindNoCaseW(W(Utf16(std::string(300, 'a'))), W(Utf16(pattern))), nullptr);
  // Without memory for the long pattern's table, the plain search answers alike.
  for (const WString &t : {longText, Utf16(std::string(300, 'a'))}) {
    const WCHAR *expected = FindNoCaseW(W(t), W(Utf16(pattern)));
    PlatformFailAllocationAt(1);
    EXPECT_EQ(FindNoCaseW(W(t), W(Utf16(pattern))), expected);
    PlatformFailAllocationAt(0);
  }
}
