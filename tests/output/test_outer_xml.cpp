// Outer XML and the growable string: what a cursor's selection renders to,
// agreement with the file writer, narrow conversions, capacity steps and
// allocation failure (a million levels: reliability/test_hostile.cpp).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <type_traits>

#include "notes/cursor_end.h"
#include "testing/testing.h"
#include "output/growable_string.h"
#include "output/outer_xml.h"
#include "output/writer.h"
#include "sprig.h"
#include "output_trees.h"
#include "platform/platform.h"
#include "support.h"
#include "text/text.h"

using namespace output_test;
using sprig_test::TempDir;

namespace {

// A cursor made by the model, closed with the object.
struct CursorCloser {
  void operator()(Cursor *cursor) const { CursorClose(cursor); }
};
using OwnedCursor = std::unique_ptr<Cursor, CursorCloser>;

// A new cursor of `document`; with a `list`, it selects `node`, a member of
// the ring of that list head.
OwnedCursor CursorAt(Document *document, Node *list = nullptr, Node *node = nullptr) {
  OwnedCursor cursor(CursorCreate(document));
  if (list) {
    cursor->list = list;
    cursor->current = node;
  }
  return cursor;
}

// Text of a caller-owned block, freed as an application frees it; empty for null.
template <typename Char>
auto Take(Char *block) {
  using Unit = std::conditional_t<sizeof(Char) == 1, char, SG_WCHAR>;
  std::basic_string<Unit> text;
  if (!block) return text;
  text = reinterpret_cast<const Unit *>(block);
  GlobalUnlock(GlobalHandle(block));
  GlobalFree(GlobalHandle(block));
  return text;
}

WString Render(const OwnedCursor &cursor) {
  WCHAR *text = RenderOuterXMLW(cursor.get());
  EXPECT_NE(nullptr, text);
  return Take(text);
}

std::string RenderNarrow(const OwnedCursor &cursor, uint32_t codePage) {
  char *text = RenderOuterXMLA(cursor.get(), codePage);
  EXPECT_NE(nullptr, text);
  return Take(text);
}

// root: <?xml?>, a (inner "1", children b [after "2"] and c), d with after "tail".
struct Sample {
  Node *pi, *a, *b, *c, *d;
};
Sample BuildSample(Node *root) {
  Sample s;
  s.pi = AddNode(root, "xml", kKindPi);
  AddAttrib(s.pi, "version", kQuoteDouble, "1.0");
  s.a = AddNode(root, "a", kKindElement, "1");
  s.b = AddChild(s.a, "b", kKindEmptyTag, nullptr, "2");
  s.c = AddChild(s.a, "c", kKindPlain);
  AddAttrib(s.c, "k", kQuoteSingle, "v");
  s.d = AddNode(root, "d", kKindVoid, nullptr, "tail");
  return s;
}

TEST(OuterXml, ElementComesWithSubtreeAndAfterTextOnly) {
  OwnedDocument html(0), xml(1);
  Sample h = BuildSample(html.root()), x = BuildSample(xml.root());
  EXPECT_EQ(Utf16("<a>1<b/>2<c k='v'></a>"), Render(CursorAt(html.get(), html.root(), h.a)));
  EXPECT_EQ(Utf16("<d>tail"), Render(CursorAt(html.get(), html.root(), h.d)));
  // In an XML document an element without after text ends with a line break.
  EXPECT_EQ(Utf16("<a>1<b/>2\t<c k='v'/>\r\n</a>\r\n"),
            Render(CursorAt(xml.get(), xml.root(), x.a)));
}

// At the head of the top-level list the rendering is the saved file, in UTF-16.
TEST(OuterXml, ListHeadRendersWhatTheWriterSaves) {
  for (uint32_t xml = 0; xml <= 1; ++xml) {
    TempDir dir;
    OwnedDocument doc(xml);
    BuildSample(doc.root());
    Node *j = AddNode(doc.root(), "日本", kKindElement);
    AddChain(NodeCreateChildList(j), 3);
    const WString rendered = Render(CursorAt(doc.get(), doc.root(), doc.root()));
    const std::string path = dir.File("saved.xml");
    ASSERT_EQ(1, SaveDocumentToFileA(doc.get(), path.c_str(), SG_ENC_UTF8));
    EXPECT_EQ(sprig_test::ReadFileBytes(path), sprig_test::Utf8(rendered)) << "XML flag " << xml;
  }
}

TEST(OuterXml, EmptyListGivesEmptyStringNotNull) {
  OwnedDocument doc(1);
  OwnedCursor cursor = CursorAt(doc.get());
  ASSERT_EQ(doc.root(), cursor->current);
  EXPECT_EQ(WString(), Render(cursor));
  EXPECT_EQ("", RenderNarrow(cursor, SG_ENC_UTF8));
}

TEST(OuterXml, NestedElementIsRenderedFromLevelZero) {
  OwnedDocument doc(1);
  AddChain(doc.root(), 5);
  Node *level4 = doc.root()->next;
  for (int i = 0; i < 4; ++i) level4 = level4->child->next;
  Node *e = AddChild(level4, "e", kKindElement);
  AddChild(AddChild(e, "f", kKindElement), "g", kKindEmptyTag);
  EXPECT_EQ(Utf16("<e>\r\n\t<f>\r\n\t\t<g/>\r\n\t</f>\r\n</e>\r\n"),
            Render(CursorAt(doc.get(), level4->child, e)));
}

TEST(OuterXml, RenderingTurnsNodeWithChildLinkIntoElement) {
  OwnedDocument doc(0);
  Node *img = AddNode(doc.root(), "img", kKindVoid);
  NodeCreateChildList(img);
  EXPECT_EQ(Utf16("<img></img>"), Render(CursorAt(doc.get(), doc.root(), img)));
  EXPECT_EQ(kKindElement, img->kind);
}

TEST(OuterXml, NoElementWithoutBase) {
  OwnedDocument doc(0);
  BuildSample(doc.root());
  OwnedCursor cursor = CursorAt(doc.get());
  cursor->base = nullptr;
  EXPECT_EQ(WString(), Render(cursor));
}

TEST(OuterXml, NarrowFormConvertsOnceToTheCodePage) {
  OwnedDocument doc(0);
  Node *p = AddNode(doc.root(), "p", kKindElement, "日本語", "€");
  OwnedCursor cursor = CursorAt(doc.get(), doc.root(), p);
  EXPECT_EQ("<p>\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E</p>\xE2\x82\xAC",
            RenderNarrow(cursor, SG_ENC_UTF8));
  SetAfter(p, "ア");
  EXPECT_EQ("<p>\x93\xFA\x96\x7B\x8C\xEA</p>\x83\x41", RenderNarrow(cursor, 932));
  EXPECT_EQ(RenderNarrow(cursor, 932), RenderNarrow(cursor, SG_ENC_ANSI));
}

TEST(GrowableString, CapacityIsNextMultipleOf4096AboveTheNeed) {
  GrowableString s;
  GrowableStringInit(&s);
  // {units reserved, capacity after it}, one after another on the same string;
  // 4096 fits already after 4095.
  const int32_t steps[][2] = {{1, 4096}, {4095, 4096}, {4096, 4096}, {4097, 8192}};
  for (const auto &step : steps) {
    EXPECT_EQ(1, GrowableStringReserve(&s, step[0]));
    EXPECT_EQ(step[1], s.capacity) << "after reserving " << step[0];
  }
  GrowableStringFree(&s);
  GrowableStringInit(&s);
  EXPECT_EQ(1, GrowableStringReserve(&s, 4096));  // room beyond n: the next step
  EXPECT_EQ(8192, s.capacity);
  GrowableStringFree(&s);
  // A 5000-unit text ends in 8192 units.
  GrowableStringInit(&s);
  const WString piece(1000, u'x');
  for (int i = 0; i < 5; ++i) EXPECT_EQ(1, GrowableStringAppend(&s, W(piece), 1000));
  EXPECT_EQ(5000, s.length);
  EXPECT_EQ(8192, s.capacity);
  EXPECT_EQ(0, s.buffer[5000]);
  GrowableStringFree(&s);
  EXPECT_EQ(nullptr, s.buffer);
}

// Building a long string one unit at a time grows it a logarithmic number of
// times (each step at least doubles) and keeps every unit.
TEST(GrowableString, GrowthIsGeometric) {
  GrowableString s;
  GrowableStringInit(&s);
  int growths = 0;
  int32_t capacity = 0;
  for (int i = 0; i < 1 << 20; ++i) {
    ASSERT_EQ(1, GrowableStringAppendChar(&s, static_cast<WCHAR>('a' + i % 26)));
    if (s.capacity != capacity) {
      EXPECT_EQ(0, s.capacity % kGrowStep);
      EXPECT_GE(s.capacity, 2 * capacity);
      capacity = s.capacity;
      ++growths;
    }
  }
  EXPECT_LE(growths, 10);
  bool intact = true;
  for (int i = 0; i < 1 << 20; ++i) intact = intact && s.buffer[i] == 'a' + i % 26;
  EXPECT_TRUE(intact);
  EXPECT_EQ(1 << 20, s.length);
  GrowableStringFree(&s);
}

TEST(GrowableString, FailedGrowthLeavesStringUnchanged) {
  GrowableString s;
  GrowableStringInit(&s);
  ASSERT_EQ(1, GrowableStringAppend(&s, WTEXT("abc")));
  const WString big(5000, u'z');
  PlatformFailAllocationAt(1);
  EXPECT_EQ(0, GrowableStringAppend(&s, W(big), 5000));
  PlatformFailAllocationAt(0);
  EXPECT_EQ(3, s.length);
  EXPECT_EQ(4096, s.capacity);
  EXPECT_EQ(Utf16("abc"), WString(reinterpret_cast<SG_WCHAR *>(s.buffer)));
  GrowableStringFree(&s);
}

// Each allocation of a rendering fails in turn: the result is null or a
// string missing at most the piece that could not be appended, and nothing
// leaks (checked by the sanitizer build).
// Fails each allocation of `render` in turn: the last one (the result block)
// gives null, any other at most drops one contiguous piece of `full`.
template <typename Text, typename Render>
void SweepRender(const Text &full, Render render) {
  PlatformFailAllocationAt(0);
  const Text probe = Take(render());
  const unsigned long allocations = PlatformAllocationCount();
  ASSERT_EQ(full, probe);
  ASSERT_GE(allocations, 3u);  // two growth steps and the result block
  for (unsigned long n = 1; n <= allocations; ++n) {
    PlatformFailAllocationAt(n);
    auto *block = render();
    PlatformFailAllocationAt(0);
    if (n == allocations) EXPECT_EQ(nullptr, block) << "the result block itself failed";
    if (!block) continue;
    const Text got = Take(block);
    size_t same = 0;
    while (same < got.size() && got[same] == full[same]) ++same;
    ASSERT_LE(got.size(), full.size());
    EXPECT_EQ(full.substr(full.size() - (got.size() - same)), got.substr(same))
        << "failing allocation " << n;
  }
}

TEST(OuterXml, AllocationFailureGivesNullOrSkipsAPiece) {
  OwnedDocument doc(1);
  BuildSample(doc.root());
  std::string big(9000, 'b');
  AddNode(doc.root(), "z", kKindEmptyTag, nullptr, big.c_str());
  OwnedCursor cursor = CursorAt(doc.get(), doc.root(), doc.root());
  SweepRender(Render(cursor), [&] { return RenderOuterXMLW(cursor.get()); });
  SweepRender(RenderNarrow(cursor, SG_ENC_UTF8),
              [&] { return RenderOuterXMLA(cursor.get(), SG_ENC_UTF8); });
}

WString ApiRender(SG_CURSOR cursor) {
  SG_WCHAR *text = sgGetOuterXMLW(cursor);
  EXPECT_NE(nullptr, text);
  return Take(text);
}

TEST(OuterXmlApi, ElementListHeadAndEmptyList) {
  SG_CURSOR c = sgParseXMLA("<a><b>x</b>y</a>z<c/>", 0xFFFFFFFFu);
  ASSERT_NE(nullptr, c);
  EXPECT_EQ(Utf16("<a><b>x</b>y</a>z"), ApiRender(c));
  ASSERT_EQ(1, sgMoveTo(c, SG_MOVE_FIRST_CHILD));
  EXPECT_EQ(Utf16("<b>x</b>y"), ApiRender(c));
  ASSERT_EQ(1, sgMoveTo(c, SG_MOVE_LIST_HEAD));
  EXPECT_EQ(Utf16("<b>x</b>y"), ApiRender(c));
  sgMoveTo(c, SG_MOVE_BASE);
  EXPECT_EQ(Utf16("<a><b>x</b>y</a>z<c/>"), ApiRender(c));
  char *narrow = sgGetOuterXMLA(c, SG_ENC_UTF8);
  ASSERT_NE(nullptr, narrow);
  EXPECT_EQ("<a><b>x</b>y</a>z<c/>", Take(narrow));
  sgCloseXML(c);

  SG_CURSOR empty = sgCreateXMLA(nullptr, SG_ENC_UTF8, 0);
  ASSERT_NE(nullptr, empty);
  EXPECT_EQ(WString(), ApiRender(empty));
  sgCloseXML(empty);
  EXPECT_EQ(nullptr, sgGetOuterXMLW(nullptr));
  EXPECT_EQ(nullptr, sgGetOuterXMLA(nullptr, 0));
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
  Take(block);
  sgCloseXML(doc);
}
