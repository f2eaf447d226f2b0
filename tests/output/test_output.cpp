// Output under allocation failure and the growable string it renders into;
// every other behaviour of the writer and of outer XML is in tests/output/cases.
#include <gtest/gtest.h>

#include <string>

#include "model/document.h"
#include "output/growable_string.h"
#include "output/outer_xml.h"
#include "output/writer.h"
#include "platform/platform.h"
#include "script.h"
#include "testing/testing.h"

namespace {

using sprig_test::ReadFileBytes;
using sprig_test::Utf16;
using sprig_test::WString;

TEST(OutputCases, EveryCaseFile) {
  sprig_script::RunCaseFolder(sprig_test::NativePath(SPRIG_TESTS_DIR "/output/cases"));
}

// Every allocation of a save fails in turn: the save still creates the file,
// and what fails (the buffer, the scratch block for a fragment larger than the
// buffer) changes no byte but that fragment's.
TEST(Output, SaveUnderAllocationFailureChangesNoByte) {
  sprig_test::TempDir dir;
  const std::string huge(70000, 'y');
  SG_CURSOR c = sgParseXMLW(Utf16("<?xml version='1.0'?><a><b/><c>x</c></a><big/>" + huge).c_str(), ~0u);
  Document *doc = AsCursor(c)->document;
  const std::string path = dir.File("oom.xml");
  PlatformFailAllocationAt(0);  // counts from here
  ASSERT_EQ(1, SaveDocumentToFileA(doc, path.c_str(), SG_ENC_UTF8));
  const std::string expected = ReadFileBytes(path);
  const unsigned long allocations = PlatformAllocationCount();
  int skipped = 0;
  for (unsigned long n = 1; n <= allocations; ++n) {
    PlatformFailAllocationAt(n);
    const int result = SaveDocumentToFileA(doc, path.c_str(), SG_ENC_UTF8);
    PlatformFailAllocationAt(0);
    if (result == 0) continue;  // the platform's own path conversion failed
    const std::string bytes = ReadFileBytes(path);
    if (bytes == expected) continue;
    EXPECT_EQ(expected.size() - huge.size(), bytes.size()) << "failing allocation " << n;
    ++skipped;
  }
  EXPECT_EQ(1, skipped) << "one of " << allocations << " allocations is the scratch block";
  sgCloseXML(c);
}

template <typename Char>
std::basic_string<Char> Take(Char *block) {
  std::basic_string<Char> text(block);
  GlobalFree(GlobalHandle(block));
  return text;
}

// Fails each allocation of `render` in turn: the last one (the result block)
// gives null, any other drops at most one contiguous piece of `full`.
template <typename Text, typename Render>
void SweepRender(const Text &full, Render render) {
  PlatformFailAllocationAt(0);  // counts from here
  ASSERT_EQ(full, Take(render()));
  const unsigned long allocations = PlatformAllocationCount();
  ASSERT_GE(allocations, 3u);  // two growth steps and the result block
  for (unsigned long n = 1; n <= allocations; ++n) {
    PlatformFailAllocationAt(n);
    auto *block = render();
    PlatformFailAllocationAt(0);
    if (n == allocations) {
      EXPECT_EQ(nullptr, block) << "the result block itself failed";
    }
    if (!block) continue;
    const Text got = Take(block);
    size_t same = 0;
    while (same < got.size() && got[same] == full[same]) ++same;
    ASSERT_LE(got.size(), full.size());
    EXPECT_EQ(full.substr(full.size() - (got.size() - same)), got.substr(same)) << "failing allocation " << n;
  }
}

TEST(Output, RenderingUnderAllocationFailureGivesNullOrSkipsAPiece) {
  SG_CURSOR c = sgParseXMLW(Utf16("<?xml version='1.0'?><a>1<b/>2<c k='v'/></a><d>tail<z/>" +
                                  std::string(9000, 'b')).c_str(), ~0u);
  sgMoveTo(c, SG_MOVE_BASE);
  Cursor *cursor = AsCursor(c);
  SweepRender(Take(RenderOuterXMLW(cursor)), [&] { return RenderOuterXMLW(cursor); });
  SweepRender(Take(RenderOuterXMLA(cursor, SG_ENC_UTF8)), [&] { return RenderOuterXMLA(cursor, SG_ENC_UTF8); });
  sgCloseXML(c);
}

// UTF-7 can need more than three bytes a unit ("€" alone is "+IKw-"): such
// fragments are written whole, never shortened.
TEST(Output, Utf7FragmentsAreNotShortened) {
  sprig_test::TempDir dir;
  const std::string text = "<p v='€'>€</p>a€b€c€d\xC2\x80";  // U+0080 is no ASCII
  SG_CURSOR c = sgParseXMLW(Utf16(text).c_str(), ~0u);
  ASSERT_EQ(1, sgSaveAsA(c, dir.File("u7").c_str(), SG_ENC_UTF7));
  const std::string bytes = ReadFileBytes(dir.File("u7"));
  WCHAR decoded[64] = {0};
  const int units = MultiByteToWideChar(CP_UTF7, 0, bytes.data(), static_cast<int>(bytes.size()), decoded, 63);
  EXPECT_EQ(Utf16(text), WString(reinterpret_cast<SG_WCHAR *>(decoded), units > 0 ? units : 0));
  sgCloseXML(c);
}

TEST(Output, FailedGrowthLeavesTheStringUnchanged) {
  GrowableString s;
  GrowableStringInit(&s);
  ASSERT_EQ(1, GrowableStringAppend(&s, reinterpret_cast<const WCHAR *>(Utf16("abc").c_str())));
  EXPECT_EQ(1, GrowableStringReserve(&s, 10));  // room enough: nothing to do
  const WString big(5000, u'z');
  PlatformFailAllocationAt(1);
  EXPECT_EQ(0, GrowableStringAppend(&s, reinterpret_cast<const WCHAR *>(big.c_str()), 5000));
  PlatformFailAllocationAt(0);
  EXPECT_EQ(3, s.length);
  EXPECT_EQ(Utf16("abc"), WString(reinterpret_cast<SG_WCHAR *>(s.buffer)));
  GrowableStringFree(&s);
}

}  // namespace

TEST(OuterXml, NarrowBlockHoldsThreeBytesAUnitZeroFilled) {
  static const SG_WCHAR kText[] = {'<', 'a', '>', 0xE9, '<', '/', 'a', '>', 0};  // 8 units
  SG_CURSOR doc = sgParseXMLW(kText, 0xFFFFFFFFu);
  ASSERT_NE(nullptr, doc);
  char *block = sgGetOuterXMLA(doc, SG_ENC_UTF8);
  ASSERT_NE(nullptr, block);
  EXPECT_EQ(std::string("<a>\xC3\xA9</a>"), block);  // 9 bytes
  // Bytes 9 to 24 of the 3 * 8 + 1 are there and zero (a shorter block is
  // caught by AddressSanitizer).
  for (size_t i = 9; i < 3 * 8 + 1; ++i) EXPECT_EQ(0, block[i]) << i;
  sprig_test::FreeGlobalBlock(block);
  sgCloseXML(doc);
}
