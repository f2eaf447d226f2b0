// Hostile inputs through the public API: a million levels of nesting for every
// operation that walks a tree, a tag with 100,000 attributes, a million
// siblings, a 100 MB text run, floods of stray '<', broken encodings, and
// files and folders that cannot be read or written. Sizes are chosen so that
// a quadratic step would run for minutes (there are no timing asserts: a
// superlinear algorithm shows as a test that never ends); deep-tree work runs
// on a 1 MiB stack so a recursion per level crashes instead of passing.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "model/document.h"
#include "testing/invariants.h"
#include "sprig.h"
#include "support.h"

namespace {

using sprig_test::TempDir;
using sprig_test::Utf16;
using sprig_test::WString;

namespace fs = std::filesystem;

void ExpectSound(SG_CURSOR c) {
  const Cursor *all[] = {AsCursor(c)};
  EXPECT_EQ(nullptr, CheckInvariants(all, 1));
}

void CheckAndClose(SG_CURSOR c) {
  ExpectSound(c);
  sgCloseXML(c);
}

void FreeOuter(void *block) {
  ASSERT_NE(nullptr, block);
  GlobalUnlock(GlobalHandle(block));
  GlobalFree(GlobalHandle(block));
}

// The text of an outer-XML block, which is freed; a null block fails the test.
template <typename Char>
std::basic_string<Char> TakeOuter(Char *block) {
  std::basic_string<Char> text;
  if (block) text = block;
  FreeOuter(block);
  return text;
}

// A null text fails the test and has no length that any check expects.
size_t LengthW(const SG_WCHAR *text) {
  EXPECT_NE(nullptr, text);
  return text ? std::char_traits<SG_WCHAR>::length(text) : SIZE_MAX;
}

std::string Repeat(const std::string &unit, size_t times) {
  std::string out;
  out.reserve(unit.size() * times);
  while (times--) out += unit;
  return out;
}

uint32_t NodeId(SG_CURSOR c) {
  uint32_t id = 0;
  sgGetNodeID(c, &id);
  return id;
}

// A parse of exactly `bytes`, from a block of exactly that size so that any
// read past the end shows under ASan.
SG_CURSOR ParseExact(const std::string &bytes) {
  std::vector<char> block(bytes.begin(), bytes.end());
  return sgParseXMLA(block.empty() ? "" : block.data(), static_cast<uint32_t>(block.size()));
}

// Counts entering visits in [0], the greatest depth in [1], leaving visits in [2].
uint32_t SG_CALL CountVisits(SG_CURSOR, uint32_t depth, uint32_t phase, intptr_t user) {
  auto *counts = reinterpret_cast<uint32_t *>(user);
  ++counts[phase == 0 ? 0 : 2];
  if (depth > counts[1]) counts[1] = depth;
  return 0;
}

// Skip-siblings on every entry: one visit per element of the chain, nothing
// else, if the bit of every level is remembered on the way back.
uint32_t SG_CALL SkipEverySibling(SG_CURSOR, uint32_t, uint32_t phase, intptr_t user) {
  ++*reinterpret_cast<uint32_t *>(user);
  return phase == 0 ? SG_SCAN_SKIP_SIBLINGS : 0;
}

// The counts of CountVisits over a scan from the base list.
std::array<uint32_t, 3> Scan(SG_CURSOR c) {
  std::array<uint32_t, 3> counts{};
  sgMoveTo(c, SG_MOVE_BASE);
  EXPECT_EQ(1, sgScanTree(c, CountVisits, reinterpret_cast<intptr_t>(counts.data())));
  return counts;
}

std::string SaveAndRead(SG_CURSOR c, const std::string &path, uint32_t codePage) {
  EXPECT_EQ(1, sgSaveAsA(c, path.c_str(), codePage));
  return sprig_test::ReadFileBytes(path);
}

// ---------------------------------------------------------------------------
// A million levels
// ---------------------------------------------------------------------------

constexpr uint32_t kDepth = 1000000;

TEST(HostileDeep, EveryTreeWalkOnAMillionLevels) {
  TempDir dir;
  const std::string text = Repeat("<a>", kDepth) + "core" + Repeat("</a>", kDepth) + "<b/>";
  sprig_test::RunOnSmallStack([&] {
    SG_CURSOR c = sgParseXMLA(text.c_str(), static_cast<uint32_t>(text.size()));
    ASSERT_NE(nullptr, c);
    ExpectSound(c);

    // Down to the deepest element through the document order.
    ASSERT_EQ(1, sgSearchA(c, "a", SG_SEARCH_FIRST));
    const uint32_t topId = NodeId(c);
    ASSERT_EQ(1, sgSearchIndexA(c, "a", SG_SEARCH_DESCENDANT, static_cast<int32_t>(kDepth - 2)));
    EXPECT_EQ(kDepth - 1, sgGetLevel(c));
    EXPECT_STREQ("core", sgGetInnerStrA(c));
    const uint32_t deepId = NodeId(c);
    EXPECT_EQ(kDepth - 1, sgTagIndex(c));
    ASSERT_EQ(1, sgMoveTo(c, SG_MOVE_PARENT));
    EXPECT_EQ(kDepth - 2, sgTagIndex(c));
    EXPECT_EQ(0, sgSearchA(c, "zz", SG_SEARCH_ANCESTOR));
    EXPECT_EQ(0, sgSearchA(c, "zz", SG_SEARCH_PREV));
    EXPECT_EQ(1, sgSearchA(c, "b", SG_SEARCH_NEXT));
    EXPECT_EQ(1, sgSearchA(c, "a", SG_SEARCH_PREV));  // the deepest again
    EXPECT_EQ(kDepth - 1, sgGetLevel(c));
    EXPECT_EQ(1, sgMoveTo(c, SG_MOVE_NEXT_IN_ORDER));  // climbs a million owners to b
    EXPECT_STREQ("b", sgGetNameA(c));
    EXPECT_EQ(1, sgMoveTo(c, SG_MOVE_PREV_IN_ORDER));  // descends back to the deepest
    EXPECT_EQ(kDepth - 1, sgGetLevel(c));
    EXPECT_EQ(1, sgMoveTo(c, SG_MOVE_PARENT));
    EXPECT_EQ(1, sgSearchA(c, "a", SG_SEARCH_CHILD));
    EXPECT_EQ(1, sgSearchA(c, "a", SG_SEARCH_FIRST_SIBLING));
    EXPECT_EQ(0, sgSearchA(c, "a", SG_SEARCH_NEXT_SIBLING));
    EXPECT_EQ(0, sgSearchA(c, "a", SG_SEARCH_PREV_SIBLING));
    EXPECT_EQ(1u, sgSetLevel(c, 0));
    EXPECT_EQ(0, sgSearchA(c, "zz", SG_SEARCH_DESCENDANT));
    EXPECT_EQ(1, sgSearchIndexA(c, "a", SG_SEARCH_DESCENDANT, static_cast<int32_t>(kDepth - 2)));
    EXPECT_EQ(1, sgSearchIndexA(c, "a", SG_SEARCH_ANCESTOR, static_cast<int32_t>(kDepth - 2)));
    EXPECT_EQ(0u, sgGetLevel(c));

    // A path of a million names.
    const std::string path = Repeat(std::string("a\0", 2), kDepth) + '\0';
    EXPECT_EQ(1, sgSearchA(c, path.c_str(), SG_SEARCH_PATH_FIRST));
    EXPECT_EQ(kDepth - 1, sgGetLevel(c));
    EXPECT_EQ(0, sgSearchA(c, path.c_str(), SG_SEARCH_PATH_NEXT));

    EXPECT_EQ(1, sgSeek(c, deepId));
    EXPECT_EQ(0, sgSeek(c, 0xFFFFFFF0u));
    EXPECT_EQ(1, sgSeek(c, topId));
    EXPECT_EQ("core", sprig_test::Utf8(sgGetInnerTextW(c)));  // a null text gives ""
    // EXPECT_TRUE, not EXPECT_EQ: 7 MB on failure. The top a is all but "<b/>".
    EXPECT_TRUE(Utf16(text.substr(0, text.size() - 4)) == TakeOuter(sgGetOuterXMLW(c)));

    EXPECT_EQ((std::array<uint32_t, 3>{kDepth + 1, kDepth - 1, kDepth + 1}), Scan(c));
    uint32_t visits = 0;
    EXPECT_EQ(1, sgScanTree(c, SkipEverySibling, reinterpret_cast<intptr_t>(&visits)));
    EXPECT_EQ(kDepth, visits);
    sgMoveTo(c, SG_MOVE_BASE);
    EXPECT_TRUE(Utf16(text) == TakeOuter(sgGetOuterXMLW(c)));  // from the base list
    EXPECT_EQ(text, SaveAndRead(c, dir.File("deep.xml"), SG_ENC_UTF8));

    // A copy, a graft of the whole tree below b, then deletes and closes.
    SG_CURSOR copy = sgCopyTree(c);
    ASSERT_NE(nullptr, copy);
    ExpectSound(copy);
    ASSERT_EQ(1, sgSearchA(c, "b", SG_SEARCH_FIRST));
    ASSERT_EQ(1, sgSearchA(copy, "a", SG_SEARCH_FIRST));
    EXPECT_EQ(1, sgInsertTree(c, copy, SG_INSERT_CHILD));
    ExpectSound(c);
    sgCloseXML(copy);
    ASSERT_EQ(1, sgSearchA(c, "a", SG_SEARCH_FIRST));
    EXPECT_EQ(1, sgDeleteNode(c));  // the first million levels
    EXPECT_STREQ("b", sgGetNameA(c));
    CheckAndClose(c);  // the grafted million levels go with the document
  });
}

// An open document of a million levels (no end tags) opened from a file, its
// inner text joined, closed without any other walk.
TEST(HostileDeep, UnclosedMillionLevelsFromAFile) {
  TempDir dir;
  const std::string text = Repeat("<x a=1>t", kDepth);
  const std::string path = dir.WriteFile("open.html", text);
  sprig_test::RunOnSmallStack([&] {
    SG_CURSOR c = sgOpenXMLA(path.c_str());
    ASSERT_NE(nullptr, c);
    EXPECT_EQ(kDepth, LengthW(sgGetInnerTextW(c)));
    EXPECT_EQ(std::string(kDepth, 't'), sgGetInnerTextA(c));
    EXPECT_EQ(1, sgSetAttribA(c, "k", "v"));
    sgCloseXML(c);  // writes back: update flag set and a file name
  });
  // Every open element is written back with its end tag.
  EXPECT_EQ(text.size() + std::string(" k=\"v\"").size() + kDepth * std::string("</x>").size(),
            sprig_test::ReadFileBytes(path).size());
}

// A million levels made one by one through the API, copied, grafted beside
// itself and deleted.
TEST(HostileDeep, MillionLevelsBuiltByEdits) {
  sprig_test::RunOnSmallStack([&] {
    SG_CURSOR c = sgCreateXMLA(nullptr, SG_ENC_UTF8, 0);
    ASSERT_EQ(1, sgAddNodeA(c, "d", 0));
    for (uint32_t i = 1; i < kDepth; ++i) ASSERT_EQ(1, sgAddChildNodeA(c, "d", 0));
    ASSERT_EQ(kDepth - 1, sgGetLevel(c));
    sgCloseXML(sgCopyTree(c));
    ASSERT_EQ(1, sgMoveTo(c, SG_MOVE_BASE_FIRST));
    ASSERT_EQ(1, sgInsertTree(c, c, SG_INSERT_AFTER));
    EXPECT_EQ(1u, sgGetIndex(c));
    ASSERT_EQ(1, sgMoveTo(c, SG_MOVE_FIRST));
    ASSERT_EQ(1, sgDeleteNode(c));
    EXPECT_EQ(0u, sgGetIndex(c));  // the copy remains
    CheckAndClose(c);
  });
}

// ---------------------------------------------------------------------------
// Wide and long
// ---------------------------------------------------------------------------

TEST(HostileWide, HundredThousandAttributesInOneTag) {
  const uint32_t count = 100000;
  std::string text = "<e";
  for (uint32_t i = 0; i < count; ++i) {
    text += " k" + std::to_string(i) + "=\"v" + std::to_string(i) + "\"";
  }
  text += "/>";
  SG_CURSOR c = ParseExact(text);
  ASSERT_NE(nullptr, c);
  EXPECT_EQ(count, sgGetAttribCount(c));
  EXPECT_STREQ("v99999", sgGetAttribA(c, "K99999"));
  EXPECT_STREQ("k99999", sgGetAttribNameA(c, static_cast<int32_t>(count - 1)));
  EXPECT_EQ(1, sgSetAttribA(c, "new", "n"));
  EXPECT_EQ(1, sgDeleteAttribA(c, "k50000"));
  EXPECT_EQ(count, sgGetAttribCount(c));
  EXPECT_EQ(text.size() - strlen(" k50000=\"v50000\"") + strlen(" new=\"n\""),
            TakeOuter(sgGetOuterXMLW(c)).size());
  SG_CURSOR copy = sgCopyTree(c);
  ASSERT_NE(nullptr, copy);
  EXPECT_EQ(count, sgGetAttribCount(copy));
  CheckAndClose(copy);
  CheckAndClose(c);
}

TEST(HostileWide, MillionSiblings) {
  const uint32_t count = 1000000;
  const std::string text = "<r>" + Repeat("<i/>", count) + "<last/></r>";
  TempDir dir;
  SG_CURSOR c = ParseExact(text);
  ASSERT_NE(nullptr, c);
  EXPECT_EQ(count + 1, sgGetChildCount(c));
  ASSERT_EQ(1, sgMoveTo(c, SG_MOVE_LAST_CHILD));
  EXPECT_EQ(count, sgGetIndex(c));
  EXPECT_EQ(0u, sgTagIndex(c));
  EXPECT_EQ(1, sgSearchA(c, "i", SG_SEARCH_PREV_SIBLING));
  EXPECT_EQ(count - 1, sgTagIndex(c));
  EXPECT_EQ(1u, sgSetIndex(c, count - 1));
  EXPECT_EQ(1, sgSearchIndexA(c, "i", SG_SEARCH_FIRST_SIBLING, static_cast<int32_t>(count - 1)));
  EXPECT_EQ(count - 1, sgGetIndex(c));
  EXPECT_EQ(1, sgSearchA(c, "last", SG_SEARCH_FIRST));
  EXPECT_EQ(1, sgSeek(c, NodeId(c)));
  EXPECT_EQ(count + 2, Scan(c)[0]);
  ASSERT_EQ(1, sgSearchA(c, "r", SG_SEARCH_FIRST));
  EXPECT_EQ(0u, LengthW(sgGetInnerTextW(c)));
  EXPECT_EQ(text.size(), TakeOuter(sgGetOuterXMLW(c)).size());
  EXPECT_EQ(text, SaveAndRead(c, dir.File("wide.xml"), 0));
  SG_CURSOR copy = sgCopyTree(c);
  ASSERT_NE(nullptr, copy);
  sgCloseXML(copy);
  // Delete every sibling one by one; each delete is a constant step.
  ASSERT_EQ(1, sgSearchA(c, "i", SG_SEARCH_FIRST));
  uint32_t deleted = 0;
  while (sgGetNameA(c) && std::string(sgGetNameA(c)) == "i" && sgDeleteNode(c)) ++deleted;
  EXPECT_EQ(count, deleted);
  EXPECT_STREQ("last", sgGetNameA(c));
  CheckAndClose(c);
}

// 100 MB of text in one element, read, copied, rendered and saved. About
// 1 GB at the peak (raw bytes, UTF-16 source, the node's copy, the rendered
// and saved forms), which the native, ASan and Wine runs all afford.
TEST(HostileWide, HundredMegabyteTextRun) {
  const size_t size = 100u * 1024 * 1024;
  std::string text = "<p>" + std::string(size, 'x') + "</p>tail";
  SG_CURSOR c = ParseExact(text);
  ASSERT_NE(nullptr, c);
  text.clear();
  text.shrink_to_fit();
  ASSERT_EQ(1, sgMoveTo(c, SG_MOVE_FIRST));
  EXPECT_EQ(size, LengthW(sgGetInnerStrW(c)));
  EXPECT_EQ(size, LengthW(sgGetInnerTextW(c)));
  TempDir dir;
  const std::string saved = dir.File("big.xml");
  EXPECT_EQ(1, sgSaveAsA(c, saved.c_str(), SG_ENC_UTF8));
  EXPECT_EQ(static_cast<uintmax_t>(size + 11), fs::file_size(fs::u8path(saved)));
  fs::remove(fs::u8path(saved));
  char *outer = sgGetOuterXMLA(c, SG_ENC_UTF8);  // not copied: 100 MB more at the peak
  ASSERT_NE(nullptr, outer);
  EXPECT_EQ('l', outer[size + 10]);
  FreeOuter(outer);
  sgCloseXML(c);
}

// ---------------------------------------------------------------------------
// Floods and broken encodings
// ---------------------------------------------------------------------------

TEST(HostileText, FloodOfStrayLessThanSigns) {
  const size_t count = 2000000;
  // Inside an element every '<' that starts no tag stays text.
  SG_CURSOR c = ParseExact("<p>" + Repeat("<<< ", count / 2) + "</p>");
  ASSERT_NE(nullptr, c);
  ASSERT_EQ(1, sgMoveTo(c, SG_MOVE_FIRST));
  EXPECT_EQ(count * 2, LengthW(sgGetInnerStrW(c)));
  CheckAndClose(c);
  // Nothing but '<': the first one ends the parse at the top level.
  SG_CURSOR only = ParseExact(std::string(count, '<'));
  if (only) {
    EXPECT_EQ(1, sgIsEmptyList(only));
    sgCloseXML(only);
  }
  // Between tags, unending '<' after text, in UTF-16.
  WString wide = Utf16("<a>t");
  wide.append(count, u'<');
  SG_CURSOR w = sgParseXMLW(wide.c_str(), static_cast<uint32_t>(wide.size()));
  ASSERT_NE(nullptr, w);
  CheckAndClose(w);
}

TEST(HostileText, TruncatedMultibyteSequencesAtTheEnd) {
  const char *const tails[] = {"\xE3", "\xE3\x81", "\xF0\x9F\x98", "\xC3", "\x82",
                               "\x81", "+AGE",     "+",            "\xFF"};
  const char *const heads[] = {"<?xml version=\"1.0\" encoding=\"utf-8\"?><a>\xE3\x81\x82",
                               "<?xml version=\"1.0\" encoding=\"shift-jis\"?><a>\x82\xA0",
                               "<?xml version=\"1.0\" encoding=\"utf-7\"?><a>+MEI-", "<a>plain"};
  for (const char *head : heads) {
    for (const char *tail : tails) {
      SCOPED_TRACE(std::string(head) + " + " + tail);
      SG_CURSOR c = ParseExact(std::string(head) + tail);
      ASSERT_NE(nullptr, c);
      ExpectSound(c);
      ASSERT_EQ(1, sgSearchA(c, "a", SG_SEARCH_FIRST));
      EXPECT_GE(LengthW(sgGetInnerStrW(c)), 1u);
      FreeOuter(sgGetOuterXMLA(c, sgGetEncoding(c)));
      sgCloseXML(c);
    }
  }
}

TEST(HostileText, NulBytesInsideTheText) {
  const std::string text("<a k='\0'>x\0y</a>\0<b/>", 22);
  SG_CURSOR c = ParseExact(text);
  ASSERT_NE(nullptr, c);
  ExpectSound(c);
  FreeOuter(sgGetOuterXMLW(c));
  sgCloseXML(c);
  TempDir dir;
  const std::string path = dir.WriteFile("nul.xml", text + std::string(100, '\0'));
  SG_CURSOR f = sgOpenXMLA(path.c_str());
  ASSERT_NE(nullptr, f);
  CheckAndClose(f);
}

TEST(HostileText, LoneSurrogates) {
  const SG_WCHAR text[] = {'<', 0xD800, ' ', 'k', '=', 0xDC00, '>', 0xDBFF, 'x', '<', '/', 0xD800,
                           '>', 0xDFFF, 0xD83D};
  SG_CURSOR c = sgParseXMLW(text, static_cast<uint32_t>(sizeof text / sizeof text[0]));
  ASSERT_NE(nullptr, c);
  ExpectSound(c);
  // Every narrow form converts something in place of the lone units.
  sgMoveTo(c, SG_MOVE_BASE);
  while (sgMoveTo(c, SG_MOVE_NEXT_IN_ORDER)) {
    EXPECT_NE(nullptr, sgGetNameA(c));
    for (int32_t i = 0; i < static_cast<int32_t>(sgGetAttribCount(c)); ++i) {
      sgGetAttribValueA(c, i);
    }
    sgGetInnerStrA(c);
    sgGetAfterStrA(c);
  }
  TempDir dir;
  for (uint32_t cp : {0u, 932u, 65001u, 65000u, 1252u}) {
    EXPECT_EQ(1, sgSaveAsA(c, dir.File("s.xml").c_str(), cp)) << cp;
    FreeOuter(sgGetOuterXMLA(c, cp));
  }
  const SG_WCHAR lone[] = {0xDC00, 'a', 0xD800, 0};
  EXPECT_NE(nullptr, sgToMBStr(lone));
  EXPECT_NE(nullptr, sgToQuoteStrTemp16W(lone));
  sgCloseXML(c);
}

// A declaration that switches the reader to UTF-7 over bytes that are no
// UTF-7 at all: the text decodes to something, the tree stays sound.
TEST(HostileText, Utf7DeclarationOverGarbage) {
  std::string garbage;
  uint32_t seed = 12345;
  for (int i = 0; i < 200000; ++i) {
    seed = seed * 1103515245u + 12345u;
    garbage.push_back(static_cast<char>(seed >> 24));
    if (i % 97 == 0) garbage += "+-+AAA";
  }
  const std::string text = "<?xml version=\"1.0\" encoding=\"UTF-7\"?><r>" + garbage;
  TempDir dir;
  const std::string path = dir.WriteFile("utf7.xml", text);
  SG_CURSOR c = sgOpenXMLA(path.c_str());
  ASSERT_NE(nullptr, c);
  EXPECT_EQ(SG_ENC_UTF7, sgGetEncoding(c));
  ExpectSound(c);
  EXPECT_EQ(1, sgSaveAsA(c, dir.File("back.xml").c_str(), SG_ENC_UTF7));
  sgCloseXML(c);
  SG_CURSOR m = ParseExact(text);
  ASSERT_NE(nullptr, m);
  CheckAndClose(m);
}

// ---------------------------------------------------------------------------
// Files that cannot be read or written
// ---------------------------------------------------------------------------

TEST(HostileFiles, UnreadableSourcesGiveNull) {
  TempDir dir;
  const std::string gone = dir.WriteFile("gone.xml", "<a/>");
  fs::remove(fs::u8path(gone));
  // A folder, a file that vanished, a missing folder, an empty name.
  for (const std::string &path : {dir.path(), gone, dir.File("missing/none.xml"), std::string()}) {
    EXPECT_EQ(nullptr, sgOpenXMLA(path.c_str())) << path;
  }
  EXPECT_EQ(nullptr, sgOpenXMLW(Utf16(dir.path()).c_str()));
  SG_CURSOR empty = sgOpenXMLA(dir.WriteFile("empty.xml", "").c_str());
  if (empty) {
    EXPECT_EQ(1, sgIsEmptyList(empty));
    sgCloseXML(empty);
  }
}

TEST(HostileFiles, FileWithoutReadPermission) {
  TempDir dir;
  const std::string path = dir.WriteFile("locked.xml", "<a/>");
  fs::permissions(fs::u8path(path), fs::perms::none);
  std::ifstream probe(fs::u8path(path));
  if (!probe.good()) {
    EXPECT_EQ(nullptr, sgOpenXMLA(path.c_str()));
  } else {
    // Root reads anything: the open is tried by an unprivileged child, which
    // reaches the folder (it opens a readable file beside) but not the file.
    fs::permissions(fs::u8path(dir.path()), fs::perms::owner_all | fs::perms::group_exec |
                                                fs::perms::others_exec);
    const std::string readable = dir.WriteFile("open.xml", "<a/>");
    fs::permissions(fs::u8path(readable), fs::perms::owner_all | fs::perms::others_read);
    const int unreadable = sprig_test::RunUnprivileged([&] {
      SG_CURSOR open = sgOpenXMLA(readable.c_str());
      SG_CURSOR locked = sgOpenXMLA(path.c_str());
      if (open) sgCloseXML(open);
      if (locked) sgCloseXML(locked);
      return open != nullptr && locked == nullptr;
    });
    fs::permissions(fs::u8path(path), fs::perms::owner_all);
    if (unreadable < 0) GTEST_SKIP() << "this user reads files without read permission (Windows)";
    EXPECT_EQ(1, unreadable);
  }
  fs::permissions(fs::u8path(path), fs::perms::owner_all);
}

TEST(HostileFiles, SavesThatCannotBeWrittenChangeNothing) {
  TempDir dir;
  SG_CURSOR c = sgParseXMLA("<a>x</a>", 0xFFFFFFFFu);
  ASSERT_NE(nullptr, c);
  const std::string plain = dir.WriteFile("plain.txt", "keep");
  // A path below a regular file, a folder, a missing folder.
  for (const std::string &path : {plain + "/out.xml", dir.path(), dir.File("missing/out.xml")}) {
    EXPECT_EQ(0, sgSaveAsA(c, path.c_str(), 0)) << path;
  }
  EXPECT_EQ(0, sgSaveAsW(c, Utf16(dir.path()).c_str(), SG_ENC_UTF8));
  EXPECT_EQ(0, sgSaveAsW(c, nullptr, SG_ENC_UTF8));
  EXPECT_FALSE(fs::exists(fs::u8path(dir.File("missing"))));
  EXPECT_EQ("keep", sprig_test::ReadFileBytes(plain));
  EXPECT_TRUE(fs::is_directory(fs::u8path(dir.path())));
  // An unknown code page: 0 and the existing file untouched.
  EXPECT_EQ(0, sgSaveAsA(c, plain.c_str(), 12345));
  EXPECT_EQ(0, sgSaveAsW(c, Utf16(plain).c_str(), 0xFFFFFFFFu));
  EXPECT_EQ("keep", sprig_test::ReadFileBytes(plain));
  CheckAndClose(c);

  // A document whose own file cannot be written: flush reports the attempt,
  // write-back on close fails quietly, nothing appears.
  SG_CURSOR d = sgCreateXMLA(dir.File("missing/doc.xml").c_str(), SG_ENC_UTF8, 1);
  ASSERT_NE(nullptr, d);
  EXPECT_EQ(1, sgFlushXML(d));
  EXPECT_EQ(0u, sgGetUpdateFlag(d));
  EXPECT_EQ(1, sgAddNodeA(d, "n", 0));
  sgCloseXML(d);
  EXPECT_FALSE(fs::exists(fs::u8path(dir.File("missing"))));
  // A document whose own file name names a folder.
  SG_CURSOR e = sgCreateXMLA(dir.path().c_str(), 0, 1);
  ASSERT_NE(nullptr, e);
  sgCloseXML(e);
  EXPECT_TRUE(fs::is_directory(fs::u8path(dir.path())));
}

}  // namespace
