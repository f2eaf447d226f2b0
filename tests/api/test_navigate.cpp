// Cursor navigation through the public API on parsed documents: the move
// codes with their failure positions, document-order walks, level and index
// queries, tag numbers and source positions, same-name ordinals, seek, base
// narrowing and widening, and the callback walk with each result bit.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "api_util.h"

namespace {

using namespace api_test;

// Names met by repeated `code` moves from the cursor's position.
std::vector<std::string> Walk(SG_CURSOR c, uint32_t code) {
  std::vector<std::string> names;
  while (sgMoveTo(c, code)) names.push_back(Name(c));
  return names;
}

using Names = std::vector<std::string>;

// r( a( b, c( d ) ), e ), s  -- pre-order r a b c d e s; b, d, e and s are
// empty-element tags, without child list
const char kTree[] = "<r><a><b/><c><d/></c></a><e/></r><s/>";

TEST(Navigate, EmptyDocumentHasNothingToSelect) {
  SG_CURSOR c = sgCreateXMLW(nullptr, 0, 0);
  ASSERT_NE(c, nullptr);
  const uint32_t root = Id(c);
  EXPECT_EQ(sgMoveTo(c, SG_MOVE_BASE_FIRST), 0);
  EXPECT_EQ(Id(c), root);
  EXPECT_EQ(sgIsEmptyList(c), 1);
  EXPECT_EQ(sgMoveTo(c, SG_MOVE_NEXT_IN_ORDER), 0);
  EXPECT_EQ(sgMoveTo(c, SG_MOVE_PREV_IN_ORDER), 0);
  EXPECT_EQ(sgGetIndex(c), kNone);
  EXPECT_EQ(sgGetLevel(c), 0u);
  EXPECT_EQ(sgTagIndex(c), kNone);
  EXPECT_EQ(sgGetTagPos(c, 0), kNone);
  int calls = 0;
  EXPECT_EQ(sgScanTree(
                c,
                [](SG_CURSOR, uint32_t, uint32_t, intptr_t user) -> uint32_t {
                  ++*reinterpret_cast<int *>(user);
                  return 0;
                },
                reinterpret_cast<intptr_t>(&calls)),
            0);
  EXPECT_EQ(calls, 0);
  sgCloseXML(c);
}

TEST(Navigate, SiblingMovesPassThroughTheListHead) {
  Doc c(kTree);
  ASSERT_EQ(Name(c), "r");
  EXPECT_EQ(sgMoveTo(c, SG_MOVE_NEXT), 1);
  EXPECT_EQ(Name(c), "s");
  // Past the last element the cursor stands at the head, then wraps.
  EXPECT_EQ(sgMoveTo(c, SG_MOVE_NEXT), 0);
  EXPECT_EQ(sgIsEmptyList(c), 1);
  EXPECT_EQ(sgMoveTo(c, SG_MOVE_NEXT), 1);
  EXPECT_EQ(Name(c), "r");
  EXPECT_EQ(sgMoveTo(c, SG_MOVE_PREV), 0);
  EXPECT_EQ(sgIsEmptyList(c), 1);
  EXPECT_EQ(sgMoveTo(c, SG_MOVE_PREV), 1);
  EXPECT_EQ(Name(c), "s");
  EXPECT_EQ(sgMoveTo(c, SG_MOVE_FIRST), 1);
  EXPECT_EQ(Name(c), "r");
  EXPECT_EQ(sgMoveTo(c, SG_MOVE_LAST), 1);
  EXPECT_EQ(Name(c), "s");
  EXPECT_EQ(sgMoveTo(c, SG_MOVE_LIST_HEAD), 1);
  EXPECT_EQ(sgIsEmptyList(c), 1);
  EXPECT_EQ(sgMoveTo(c, SG_MOVE_BASE_FIRST), 1);
  EXPECT_EQ(Name(c), "r");
}

TEST(Navigate, ChildAndParentMoves) {
  Doc c(kTree);
  EXPECT_EQ(sgMoveTo(c, SG_MOVE_FIRST_CHILD), 1);
  EXPECT_EQ(Name(c), "a");
  EXPECT_EQ(sgMoveTo(c, SG_MOVE_LAST_CHILD), 1);
  EXPECT_EQ(Name(c), "c");
  EXPECT_EQ(sgMoveTo(c, SG_MOVE_PARENT), 1);
  EXPECT_EQ(Name(c), "a");
  EXPECT_EQ(sgMoveTo(c, SG_MOVE_NEXT), 1);  // the parent's list became the list
  EXPECT_EQ(Name(c), "e");
  EXPECT_EQ(sgMoveTo(c, SG_MOVE_PARENT), 1);
  EXPECT_EQ(Name(c), "r");
  EXPECT_EQ(sgMoveTo(c, SG_MOVE_PARENT), 0);  // the list is the base
  EXPECT_EQ(Name(c), "r");
  // e has no child list: no move.
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_FIRST_CHILD), 1);
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_NEXT), 1);
  EXPECT_EQ(sgMoveTo(c, SG_MOVE_INTO), 0);
  EXPECT_EQ(sgMoveTo(c, SG_MOVE_FIRST_CHILD), 0);
  EXPECT_EQ(Name(c), "e");
  // Into a's list: no element selected, one level deeper, then its first.
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_PREV), 1);
  EXPECT_EQ(sgMoveTo(c, SG_MOVE_INTO), 1);
  EXPECT_EQ(sgIsEmptyList(c), 1);
  EXPECT_EQ(sgGetLevel(c), 2u);
  EXPECT_EQ(sgMoveTo(c, SG_MOVE_INTO), 0);  // nothing selected
  EXPECT_EQ(sgMoveTo(c, SG_MOVE_NEXT), 1);
  EXPECT_EQ(Name(c), "b");
  // From the head of a's list the parent is a.
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_LIST_HEAD), 1);
  EXPECT_EQ(sgMoveTo(c, SG_MOVE_PARENT), 1);
  EXPECT_EQ(Name(c), "a");
  EXPECT_EQ(sgMoveTo(c, SG_MOVE_BASE), 1);
  EXPECT_EQ(sgIsEmptyList(c), 1);
  EXPECT_EQ(sgGetLevel(c), 0u);
}

TEST(Navigate, UnknownCodesChangeNothing) {
  Doc c(kTree);
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_FIRST_CHILD), 1);
  for (uint32_t code : {0u, 14u, 0xFFFFFFFFu}) {
    EXPECT_EQ(sgMoveTo(c, code), 0) << code;
    EXPECT_EQ(Name(c), "a") << code;
  }
}

TEST(Navigate, EmptyChildListIsEnteredButHasNoFirstChild) {
  SG_CURSOR c = sgCreateXMLW(nullptr, 0, 0);
  ASSERT_NE(c, nullptr);
  ASSERT_EQ(sgAddNodeA(c, "box", 1), 1);
  EXPECT_EQ(sgMoveTo(c, SG_MOVE_FIRST_CHILD), 0);
  EXPECT_EQ(sgMoveTo(c, SG_MOVE_LAST_CHILD), 0);
  EXPECT_EQ(Name(c), "box");
  EXPECT_EQ(sgMoveTo(c, SG_MOVE_INTO), 1);
  EXPECT_EQ(sgMoveTo(c, SG_MOVE_FIRST), 0);  // still at the head
  EXPECT_EQ(sgIsEmptyList(c), 1);
  // Back in order from an empty inner head: the owner.
  EXPECT_EQ(sgMoveTo(c, SG_MOVE_PREV_IN_ORDER), 1);
  EXPECT_EQ(Name(c), "box");
  sgCloseXML(c);
}

TEST(Navigate, DocumentOrderWalksMatchPreOrder) {
  Doc c(kTree);
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_BASE), 1);
  EXPECT_EQ(Walk(c, SG_MOVE_NEXT_IN_ORDER), (Names{"r", "a", "b", "c", "d", "e", "s"}));
  // The failed last step leaves the cursor at the base head.
  EXPECT_EQ(sgIsEmptyList(c), 1);
  EXPECT_EQ(sgGetLevel(c), 0u);
  EXPECT_EQ(Walk(c, SG_MOVE_PREV_IN_ORDER), (Names{"s", "e", "d", "c", "b", "a", "r"}));
  EXPECT_EQ(sgIsEmptyList(c), 1);
  EXPECT_EQ(sgGetLevel(c), 0u);
  // From a first child, back in order is the owner.
  ASSERT_EQ(sgSearchA(c, "b", SG_SEARCH_FIRST), 1);
  EXPECT_EQ(sgMoveTo(c, SG_MOVE_PREV_IN_ORDER), 1);
  EXPECT_EQ(Name(c), "a");
  // From an inner head, back in order is the list's last deepest element.
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_INTO), 1);
  EXPECT_EQ(sgMoveTo(c, SG_MOVE_PREV_IN_ORDER), 1);
  EXPECT_EQ(Name(c), "d");
  // Forward from an inner head starts with that list's first element.
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_LIST_HEAD), 1);
  EXPECT_EQ(Walk(c, SG_MOVE_NEXT_IN_ORDER), (Names{"d", "e", "s"}));
}

TEST(Navigate, LevelQueriesAndClimbing) {
  Doc c(kTree);
  ASSERT_EQ(sgSearchA(c, "d", SG_SEARCH_FIRST), 1);
  EXPECT_EQ(sgGetLevel(c), 3u);
  EXPECT_EQ(sgSetLevel(c, 3), 1u);
  EXPECT_EQ(Name(c), "d");
  EXPECT_EQ(sgSetLevel(c, 4), 0u);
  EXPECT_EQ(Name(c), "d");
  EXPECT_EQ(sgSetLevel(c, -1), 0u);
  EXPECT_EQ(Name(c), "d");
  EXPECT_EQ(sgSetLevel(c, 1), 1u);
  EXPECT_EQ(Name(c), "a");
  EXPECT_EQ(sgMoveTo(c, SG_MOVE_NEXT), 1);  // the ancestor's list is the list
  EXPECT_EQ(Name(c), "e");
  EXPECT_EQ(sgSetLevel(c, 0), 1u);
  EXPECT_EQ(Name(c), "r");
}

TEST(Navigate, IndexQueriesAndSelection) {
  Doc c(kTree);
  EXPECT_EQ(sgGetIndex(c), 0u);
  EXPECT_EQ(sgGetChildCount(c), 2u);
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_LAST), 1);
  EXPECT_EQ(sgGetIndex(c), 1u);
  EXPECT_EQ(sgGetChildCount(c), 0u);
  ASSERT_EQ(sgSearchA(c, "b", SG_SEARCH_FIRST), 1);
  EXPECT_EQ(sgSetIndex(c, 1), 1u);
  EXPECT_EQ(Name(c), "c");
  EXPECT_EQ(sgGetIndex(c), 1u);
  EXPECT_EQ(sgSetIndex(c, 2), 0u);  // equal to the number of elements
  EXPECT_EQ(Name(c), "c");
  EXPECT_EQ(sgSetIndex(c, 0xFFFFFFFFu), 0u);
  EXPECT_EQ(Name(c), "c");
  EXPECT_EQ(sgSetIndex(c, 0), 1u);
  EXPECT_EQ(Name(c), "b");
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_LIST_HEAD), 1);
  EXPECT_EQ(sgGetIndex(c), kNone);
  EXPECT_EQ(sgSetIndex(c, 0), 0u);
  EXPECT_EQ(sgGetChildCount(c), 0u);
  EXPECT_EQ(sgIsEmptyList(c), 1);
}

TEST(Navigate, TagNumbersAndSourcePositions) {
  const std::string text = "<r>\n <a x='1'>t</a><b/>\n</r>";
  Doc c(text);
  const SG_WCHAR *src = sgGetSrcXML(c);
  ASSERT_NE(src, nullptr);
  const WString source(src);
  uint32_t lastTag = 0;
  bool first = true;
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_BASE), 1);
  for (const char *name : {"r", "a", "b"}) {
    ASSERT_EQ(sgMoveTo(c, SG_MOVE_NEXT_IN_ORDER), 1);
    ASSERT_EQ(Name(c), name);
    const uint32_t start = sgGetTagPos(c, 0), tagEnd = sgGetTagPos(c, 1), end = sgGetTagPos(c, 2);
    ASSERT_LT(start, tagEnd);
    ASSERT_LE(tagEnd, end);
    ASSERT_LE(end, source.size());
    EXPECT_EQ(Utf8(source.substr(start, 1 + std::string(name).size())), std::string("<") + name);
    EXPECT_EQ(source[tagEnd - 1], u'>');
    EXPECT_EQ(sgGetTagPos(c, 3), kNone);
    const uint32_t tag = sgGetTagCount(c);
    EXPECT_NE(tag, kNone);
    if (!first) {
      EXPECT_GT(tag, lastTag) << name;
    }
    lastTag = tag;
    first = false;
  }
  // a: from its '<' to behind "</a>"; r ends with the source.
  ASSERT_EQ(sgSearchA(c, "a", SG_SEARCH_FIRST), 1);
  EXPECT_EQ(Utf8(source.substr(sgGetTagPos(c, 0), sgGetTagPos(c, 2) - sgGetTagPos(c, 0))),
            "<a x='1'>t</a>");
  ASSERT_EQ(sgSearchA(c, "r", SG_SEARCH_FIRST), 1);
  EXPECT_EQ(sgGetTagPos(c, 0), 0u);
  EXPECT_EQ(sgGetTagPos(c, 2), source.size());
  // An element made by editing has no source.
  ASSERT_EQ(sgAddChildNodeA(c, "n", 0), 1);
  ASSERT_EQ(Name(c), "n");
  for (uint32_t selector : {0u, 1u, 2u}) EXPECT_EQ(sgGetTagPos(c, selector), 0u);
  EXPECT_EQ(sgGetTagCount(c), kNone);
}

TEST(Navigate, TagIndexCountsSameNamesInAnyCaseInsideTheBase) {
  // x elements in document order: X x x X; q and y in between do not count.
  Doc c("<p><X></X><q></q><x><y></y><x></x></x></p><X></X>");
  std::vector<uint32_t> ordinals;
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_BASE), 1);
  while (sgMoveTo(c, SG_MOVE_NEXT_IN_ORDER)) {
    if (Name(c) == "x" || Name(c) == "X") ordinals.push_back(sgTagIndex(c));
  }
  EXPECT_EQ(ordinals, (std::vector<uint32_t>{0, 1, 2, 3}));
  ASSERT_EQ(sgSearchA(c, "q", SG_SEARCH_FIRST), 1);
  EXPECT_EQ(sgTagIndex(c), 0u);
  // With the base narrowed to the second x's children, the inner x is first.
  ASSERT_EQ(sgSearchIndexA(c, "x", SG_SEARCH_FIRST, 1), 1);
  ASSERT_EQ(sgSetBase(c, 1), 1);
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_LAST), 1);
  EXPECT_EQ(sgTagIndex(c), 0u);
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_LIST_HEAD), 1);
  EXPECT_EQ(sgTagIndex(c), kNone);
}

TEST(Navigate, SeekFindsEveryElementBelowTheBase) {
  Doc c(kTree);
  std::vector<uint32_t> ids;
  Names names;
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_BASE), 1);
  while (sgMoveTo(c, SG_MOVE_NEXT_IN_ORDER)) {
    ids.push_back(Id(c));
    names.push_back(Name(c));
  }
  // The first element of each found element's list, which must become the
  // cursor's list.
  const Names firsts = {"r", "a", "b", "b", "d", "a", "r"};
  for (size_t i = 0; i < ids.size(); ++i) {
    ASSERT_EQ(sgMoveTo(c, SG_MOVE_BASE), 1);
    ASSERT_EQ(sgSeek(c, ids[i]), 1);
    EXPECT_EQ(Name(c), names[i]);
    ASSERT_EQ(sgMoveTo(c, SG_MOVE_FIRST), 1);
    EXPECT_EQ(Name(c), firsts[i]);
  }
  // Not found (the root is no element below the base): unchanged.
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_BASE), 1);
  const uint32_t root = Id(c);
  ASSERT_EQ(sgSearchA(c, "c", SG_SEARCH_FIRST), 1);
  EXPECT_EQ(sgSeek(c, root), 0);
  EXPECT_EQ(Name(c), "c");
  // Narrowed to a's children: r and s are outside, d inside.
  ASSERT_EQ(sgSearchA(c, "a", SG_SEARCH_FIRST), 1);
  ASSERT_EQ(sgSetBase(c, 1), 1);
  EXPECT_EQ(sgSeek(c, ids[0]), 0);
  EXPECT_EQ(sgSeek(c, ids[6]), 0);
  EXPECT_EQ(Name(c), "b");
  EXPECT_EQ(sgSeek(c, ids[4]), 1);
  EXPECT_EQ(Name(c), "d");
}

TEST(Navigate, BaseNarrowsAndWidensBackToTheRoot) {
  Doc c(kTree);
  EXPECT_EQ(sgSetBase(c, 0), 0);  // already the root
  ASSERT_EQ(sgSearchA(c, "a", SG_SEARCH_FIRST), 1);
  ASSERT_EQ(sgSetBase(c, 1), 1);
  EXPECT_EQ(Name(c), "b");
  EXPECT_EQ(sgGetLevel(c), 0u);
  EXPECT_EQ(sgMoveTo(c, SG_MOVE_PARENT), 0);
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_BASE), 1);
  EXPECT_EQ(Walk(c, SG_MOVE_NEXT_IN_ORDER), (Names{"b", "c", "d"}));
  EXPECT_EQ(Walk(c, SG_MOVE_PREV_IN_ORDER), (Names{"d", "c", "b"}));
  EXPECT_EQ(sgSetBase(c, 1), 0);  // nothing selected
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_BASE_FIRST), 1);
  EXPECT_EQ(sgSetBase(c, 1), 0);  // b has no child list
  // Narrow once more, to c's children; widening returns to the root at once.
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_NEXT), 1);
  ASSERT_EQ(sgSetBase(c, 1), 1);
  EXPECT_EQ(Name(c), "d");
  EXPECT_EQ(sgSetBase(c, 0), 1);
  EXPECT_EQ(Name(c), "c");
  EXPECT_EQ(sgGetLevel(c), 2u);
  EXPECT_EQ(sgSetBase(c, 0), 0);
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_BASE), 1);
  EXPECT_EQ(Walk(c, SG_MOVE_NEXT_IN_ORDER).size(), 7u);
}

// ---- The callback walk -------------------------------------------------------

// Records each visit as "name depth +" (enter) or "name depth -" (leave) and
// answers `bits` at the visit named by `at`.
struct Scan {
  std::string at;  // "name+" or "name-"
  uint32_t bits = 0;
  Names log;
};

uint32_t SG_CALL Record(SG_CURSOR cursor, uint32_t depth, uint32_t phase, intptr_t user) {
  Scan *scan = reinterpret_cast<Scan *>(user);
  const std::string visit = Name(cursor) + (phase ? "-" : "+");
  scan->log.push_back(Name(cursor) + std::to_string(depth) + (phase ? "-" : "+"));
  return visit == scan->at ? scan->bits : 0;
}

Names RunScan(SG_CURSOR c, const std::string &at, uint32_t bits, int32_t *result) {
  Scan scan;
  scan.at = at;
  scan.bits = bits;
  *result = sgScanTree(c, Record, reinterpret_cast<intptr_t>(&scan));
  return scan.log;
}

// r( a( a1 ), b( b1 ), c ), z
const char kScanTree[] = "<r><a><a1></a1></a><b><b1></b1></b><c></c></r><z></z>";

// Splits "r0+ a1+" into its visits.
Names Visits(const std::string &text) {
  Names out;
  for (size_t at = 0; at < text.size();) {
    const size_t blank = text.find(' ', at);
    out.push_back(text.substr(at, blank == std::string::npos ? std::string::npos : blank - at));
    at = blank == std::string::npos ? text.size() : blank + 1;
  }
  return out;
}

TEST(Scan, EachResultBitShapesTheWalk) {
  const std::string all = "r0+ a1+ a12+ a12- a1- b1+ b12+ b12- b1- c1+ c1- r0- z0+ z0-";
  struct Case {
    const char *at;  // the visit answered with `bits`
    uint32_t bits;
    std::string visits;
    int32_t result;
    const char *standsOn;  // "" for the base head, null when not checked
  } cases[] = {
      {"", 0, all, 1, ""},
      // Stop ends the walk on the element, and wins over abort.
      {"b+", SG_SCAN_STOP, "r0+ a1+ a12+ a12- a1- b1+", 1, "b"},
      {"a-", SG_SCAN_STOP | SG_SCAN_ABORT, "r0+ a1+ a12+ a12- a1-", 1, "a"},
      // Abort gives 0 at any depth, even at the very last visit.
      {"b1+", SG_SCAN_ABORT, "r0+ a1+ a12+ a12- a1- b1+ b12+", 0, nullptr},
      {"a1-", SG_SCAN_ABORT, "r0+ a1+ a12+ a12-", 0, nullptr},
      {"z-", SG_SCAN_ABORT, all, 0, nullptr},
      // Skipping children keeps the leaving visit; it means nothing when leaving.
      {"r+", SG_SCAN_SKIP_CHILDREN, "r0+ r0- z0+ z0-", 1, nullptr},
      {"a-", SG_SCAN_SKIP_CHILDREN, all, 1, nullptr},
      // Skipping siblings when entering still visits the children, but not the
      // element's own leaving visit; at the top level the walk ends there.
      {"a+", SG_SCAN_SKIP_SIBLINGS, "r0+ a1+ a12+ a12- r0- z0+ z0-", 1, nullptr},
      {"a+", SG_SCAN_SKIP_SIBLINGS | SG_SCAN_SKIP_CHILDREN, "r0+ a1+ r0- z0+ z0-", 1, nullptr},
      {"r+", SG_SCAN_SKIP_SIBLINGS, "r0+ a1+ a12+ a12- a1- b1+ b12+ b12- b1- c1+ c1-", 1, nullptr},
      {"a-", SG_SCAN_SKIP_SIBLINGS, "r0+ a1+ a12+ a12- a1- r0- z0+ z0-", 1, nullptr},
  };
  for (const Case &k : cases) {
    SCOPED_TRACE(std::string(k.at) + " " + std::to_string(k.bits));
    Doc c(kScanTree);
    int32_t result = -1;
    EXPECT_EQ(RunScan(c, k.at, k.bits, &result), Visits(k.visits));
    EXPECT_EQ(result, k.result);
    if (k.standsOn && !*k.standsOn) {
      EXPECT_EQ(sgIsEmptyList(c), 1);
      EXPECT_EQ(sgGetLevel(c), 0u);
    } else if (k.standsOn) {
      EXPECT_EQ(Name(c), k.standsOn);
    }
  }
}

TEST(Scan, DepthCountsFromANarrowedBase) {
  Doc c(kScanTree);
  ASSERT_EQ(sgSetBase(c, 1), 1);  // r's children
  int32_t result = -1;
  EXPECT_EQ(RunScan(c, "", 0, &result),
            (Names{"a0+", "a11+", "a11-", "a0-", "b0+", "b11+", "b11-", "b0-", "c0+", "c0-"}));
  EXPECT_EQ(result, 1);
}

// ---- Deep trees (a million levels: reliability/test_hostile.cpp) ----------

// Skip-siblings on entry at every level must be remembered on the way back.
uint32_t SG_CALL SkipEverySibling(SG_CURSOR, uint32_t, uint32_t phase, intptr_t user) {
  ++*reinterpret_cast<uint32_t *>(user);
  return phase == 0 ? SG_SCAN_SKIP_SIBLINGS : 0;
}

TEST(DeepTree, ScanRemembersSkipBitsOfEveryLevel) {
  std::string text;
  for (int i = 0; i < 5000; ++i) text += "<a>";
  // Siblings after the nested chain: none of them may be visited.
  for (int i = 0; i < 5000; ++i) text += "</a><c></c>";
  Doc c(text);
  ASSERT_NE(static_cast<SG_CURSOR>(c), nullptr);
  uint32_t calls = 0;
  EXPECT_EQ(sgScanTree(c, SkipEverySibling, reinterpret_cast<intptr_t>(&calls)), 1);
  EXPECT_EQ(calls, 5000u);  // one entering visit per a, nothing else
}

}  // namespace
