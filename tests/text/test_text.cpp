// Text blocks and conversions: code-page round trips (Shift-JIS as the ANSI
// code page, UTF-7 growth), result rings, string lists, dual-form text, the
// flag word, and the null results of every making operation when an
// allocation fails.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "testing/testing.h"
#include "platform/platform.h"
#include "support.h"
#include "text/text.h"

using sprig_test::Utf16;
using sprig_test::WString;

namespace {

const WCHAR *W(const WString &s) { return reinterpret_cast<const WCHAR *>(s.c_str()); }
WString Str(const WCHAR *p) { return WString(reinterpret_cast<const SG_WCHAR *>(p)); }

// Text of a block made by the library, which is then freed; "(null)" / u"(null)"
// for a null block.
std::string TakeA(char *block) {
  if (!block) return "(null)";
  std::string text(block);
  FreeBlock(block);
  return text;
}
WString TakeW(WCHAR *block) {
  if (!block) return Utf16("(null)");
  WString text = Str(block);
  FreeBlock(block);
  return text;
}

// Runs `make` with the 1st, 2nd, ... allocation failing until it succeeds;
// every failing run must give null. Results are freed unless they belong to
// a ring (`owned` false).
void ExpectNullOnEachFailure(const std::function<const void *()> &make, bool owned = true) {
  for (unsigned long n = 1; n < 16; ++n) {
    PlatformFailAllocationAt(n);
    const void *result = make();
    const bool succeeded = PlatformAllocationCount() < n;  // the failure was never reached
    PlatformFailAllocationAt(0);
    EXPECT_EQ(succeeded, result != nullptr)
        << "allocation " << n << (succeeded ? ": success gave null" : " failed unnoticed");
    if (owned) FreeBlock(result);
    if (succeeded) return;
  }
  ADD_FAILURE() << "never succeeded";
}

}  // namespace

TEST(Convert, LengthsAndEmptyResults) {
  EXPECT_EQ(TakeW(ToWide("abcdef", 3, CP_UTF8)), Utf16("abc"));
  EXPECT_EQ(ToWide(nullptr, -1, CP_ACP), nullptr);
  int32_t count = -1;
  EXPECT_EQ(TakeA(ToNarrow(nullptr, CP_ACP, &count)), "");
  EXPECT_EQ(count, 0);
  EXPECT_EQ(TakeW(CopyTextW(W(Utf16("hello")), 50)), Utf16("hello"));  // stops at the terminator
}

TEST(Convert, Utf7IsNotShortened) {
  // Three kanji take ten UTF-7 bytes, more than three bytes a unit.
  WString text = Utf16("\xE8\xA1\xA8\xE8\xA1\xA8\xE8\xA1\xA8");
  int32_t count = 0;
  char *narrow = ToNarrow(W(text), CP_UTF7, &count);
  ASSERT_NE(narrow, nullptr);
  EXPECT_GT(count, 9);
  EXPECT_EQ(static_cast<int32_t>(std::string(narrow).size()), count);
  EXPECT_EQ(TakeW(ToWide(narrow, count, CP_UTF7)), text);
  FreeBlock(narrow);
}

TEST(Convert, RejectedCodePageGivesEmptyText) {
  EXPECT_EQ(TakeA(ToNarrow(W(Utf16("abc")), 12345, nullptr)), "");
  EXPECT_EQ(TakeW(ToWide("abc", -1, 12345)), WString());
}

TEST(Ring, ExportedResultsLiveForSixteenCalls) {
  const char *first = sgToMBStr(W(Utf16("first")));
  ASSERT_STREQ(first, "first");
  const char *kept[kRingSlots];
  for (int i = 0; i < kRingSlots; ++i) kept[i] = sgToMBStr(W(Utf16(std::to_string(i))));
  // Results 2 to 17 are all readable (freed memory is caught by ASan).
  for (int i = 0; i < kRingSlots; ++i) EXPECT_EQ(std::string(kept[i]), std::to_string(i));

  const SG_WCHAR *wide = sgToWCStr("\x95\x5C");
  ASSERT_NE(wide, nullptr);
  EXPECT_EQ(WString(wide), Utf16("\xE8\xA1\xA8"));
  // The wide ring is separate: 16 narrow results leave it alone.
  for (int i = 0; i < kRingSlots; ++i) sgToMBStr(W(Utf16("x")));
  EXPECT_EQ(WString(wide), Utf16("\xE8\xA1\xA8"));
  // Null and empty texts still give a text.
  EXPECT_STREQ(sgToMBStr(nullptr), "");
  EXPECT_STREQ(sgToMBStr(W(WString())), "");
  EXPECT_EQ(WString(sgToWCStr(nullptr)), WString());
}

TEST(StringList, ToWide) {
  // A double-byte name becomes one unit: the list gets shorter, not corrupt.
  const char list[] = "a\0\x95\x5C\0";  // plus the literal's zero
  WCHAR *wide = StringListToWide(list);
  ASSERT_NE(wide, nullptr);
  const SG_WCHAR expect[] = {'a', 0, 0x8868, 0, 0};
  EXPECT_EQ(WString(reinterpret_cast<SG_WCHAR *>(wide), 5), WString(expect, 5));
  FreeBlock(wide);
  wide = StringListToWide("");
  ASSERT_NE(wide, nullptr);
  EXPECT_EQ(0, wide[0]);
  FreeBlock(wide);
  EXPECT_EQ(StringListToWide(nullptr), nullptr);
}

TEST(DualForm, CachesTheOtherForm) {
  WCHAR *wide = nullptr;
  char *narrow = nullptr;
  ASSERT_EQ(DualSetNarrow(&wide, &narrow, "\x95\x5Cz"), 1);
  EXPECT_EQ(wide, nullptr);
  PlatformFailAllocationAt(0);
  const WCHAR *got = DualGetWide(&wide, &narrow);
  EXPECT_EQ(Str(got), Utf16("\xE8\xA1\xA8z"));
  EXPECT_EQ(DualGetWide(&wide, &narrow), got);  // converted once
  EXPECT_EQ(PlatformAllocationCount(), 1u);
  EXPECT_STREQ(DualGetNarrow(&wide, &narrow), "\x95\x5Cz");

  // Setting UTF-16 drops the narrow form; a narrow request rebuilds it.
  WString text = Utf16("new");
  ASSERT_EQ(DualSetWide(&wide, &narrow, W(text)), 1);
  EXPECT_EQ(narrow, nullptr);
  EXPECT_STREQ(DualGetNarrow(&wide, &narrow), "new");

  ASSERT_EQ(DualSetWide(&wide, &narrow, nullptr), 1);
  EXPECT_EQ(DualGetWide(&wide, &narrow), nullptr);
  EXPECT_EQ(DualGetNarrow(&wide, &narrow), nullptr);
  DualFree(&wide, &narrow);
}

TEST(OutOfMemory, MakingOperationsGiveNull) {
  WString text = Utf16("\xE8\xA1\xA8\xE8\xA1\xA8\xE8\xA1\xA8");
  ExpectNullOnEachFailure([&] { return ToNarrow(W(text), CP_ACP, nullptr); });
  // The UTF-7 retry allocates twice; failing either leaks nothing.
  ExpectNullOnEachFailure([&] { return ToNarrow(W(text), CP_UTF7, nullptr); });
  ExpectNullOnEachFailure([&] { return ToWide("abc", -1, CP_ACP); });
  ExpectNullOnEachFailure([&] { return CopyTextW(W(text), -1); });
  ExpectNullOnEachFailure([&] { return StringListToWide("a\0b\0"); });
  // Ring results: null, and nothing put into the ring.
  ExpectNullOnEachFailure([&] { return sgToMBStr(W(text)); }, false);
  ExpectNullOnEachFailure([&] { return sgToWCStr("abc"); }, false);
  // A failed dual-form set leaves both slots empty.
  WCHAR *wide = nullptr;
  char *narrow = nullptr;
  ASSERT_EQ(DualSetNarrow(&wide, &narrow, "keep"), 1);
  PlatformFailAllocationAt(1);
  EXPECT_EQ(DualSetWide(&wide, &narrow, W(Utf16("x"))), 0);
  PlatformFailAllocationAt(0);
  EXPECT_TRUE(wide == nullptr && narrow == nullptr);
}
