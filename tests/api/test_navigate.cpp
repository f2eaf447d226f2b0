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

using Names = std::vector<std::string>;

// Places met by repeated `code` moves from the cursor's position, ending with
// where the failing move left the cursor.
Names Walk(SG_CURSOR c, uint32_t code) {
  Names places;
  while (sgMoveTo(c, code)) places.push_back(Place(c));
  places.push_back(Place(c));
  return places;
}

// One call of a sequence: its argument, the result it must give, and where the
// cursor must then stand (see Place; null: not checked).
struct Step {
  int64_t arg;
  int64_t result;
  const char *at;
};

// Runs `call(cursor, arg)` for each step: sgMoveTo, sgSetLevel, sgSetIndex,
// sgSetBase or sgSeek.
template <typename Call>
void ExpectSteps(SG_CURSOR c, Call call, std::initializer_list<Step> steps) {
  int n = 0;
  for (const Step &step : steps) {
    SCOPED_TRACE("step " + std::to_string(n++) + ", argument " + std::to_string(step.arg));
    EXPECT_EQ(static_cast<int64_t>(call(c, step.arg)), step.result);
    if (step.at) {
      EXPECT_EQ(Place(c), step.at);
    }
  }
}

void ExpectMoves(SG_CURSOR c, std::initializer_list<Step> moves) {
  ExpectSteps(c, sgMoveTo, moves);
}

// ---- The callback walk: helpers ---------------------------------------------

// Records each visit as "name depth +" (enter) or "name depth -" (leave),
// separated by blanks, and answers `bits` at the visit named by `at`.
struct Scan {
  std::string at;  // "name+" or "name-"
  uint32_t bits;
  std::string log;
};

uint32_t SG_CALL Record(SG_CURSOR cursor, uint32_t depth, uint32_t phase, intptr_t user) {
  Scan *scan = reinterpret_cast<Scan *>(user);
  const char *sign = phase ? "-" : "+";
  scan->log += (scan->log.empty() ? "" : " ") + Name(cursor) + std::to_string(depth) + sign;
  return Name(cursor) + sign == scan->at ? scan->bits : 0;
}

// "result: visits" of a walk answering `bits` at `at`.
std::string RunScan(SG_CURSOR c, const std::string &at, uint32_t bits) {
  Scan scan{at, bits, ""};
  const int32_t result = sgScanTree(c, Record, reinterpret_cast<intptr_t>(&scan));
  return std::to_string(result) + ": " + scan.log;
}

// r( a( b, c( d ) ), e ), s  -- pre-order r a b c d e s; b, d, e and s are
// empty-element tags, without child list
const char kTree[] = "<r><a><b/><c><d/></c></a><e/></r><s/>";

TEST(Navigate, EmptyDocumentHasNothingToSelect) {
  Doc c(sgCreateXMLW(nullptr, 0, 0));
  ASSERT_NE(static_cast<SG_CURSOR>(c), nullptr);
  const uint32_t root = Id(c);
  ExpectMoves(c, {{SG_MOVE_BASE_FIRST, 0, "head 0"}});
  EXPECT_EQ(Id(c), root);
  ExpectMoves(c, {{SG_MOVE_NEXT_IN_ORDER, 0, "head 0"}, {SG_MOVE_PREV_IN_ORDER, 0, "head 0"}});
  EXPECT_EQ(sgGetIndex(c), kNone);
  EXPECT_EQ(sgTagIndex(c), kNone);
  EXPECT_EQ(sgGetTagPos(c, 0), kNone);
  EXPECT_EQ(RunScan(c, "", 0), "0: ");
}

TEST(Navigate, SiblingMovesPassThroughTheListHead) {
  Doc c(kTree);
  ASSERT_EQ(Name(c), "r");
  // Past the last element the cursor stands at the head, then wraps.
  ExpectMoves(c, {{SG_MOVE_NEXT, 1, "s"}, {SG_MOVE_NEXT, 0, "head 0"}, {SG_MOVE_NEXT, 1, "r"},
                  {SG_MOVE_PREV, 0, "head 0"}, {SG_MOVE_PREV, 1, "s"}, {SG_MOVE_FIRST, 1, "r"},
                  {SG_MOVE_LAST, 1, "s"}, {SG_MOVE_LIST_HEAD, 1, "head 0"},
                  {SG_MOVE_BASE_FIRST, 1, "r"}});
}

TEST(Navigate, ChildAndParentMoves) {
  Doc c(kTree);
  ExpectMoves(c, {{SG_MOVE_FIRST_CHILD, 1, "a"}, {SG_MOVE_LAST_CHILD, 1, "c"},
                  {SG_MOVE_PARENT, 1, "a"},
                  {SG_MOVE_NEXT, 1, "e"},  // the parent's list became the list
                  {SG_MOVE_PARENT, 1, "r"},
                  {SG_MOVE_PARENT, 0, "r"},  // the list is the base
                  // e has no child list: no move.
                  {SG_MOVE_FIRST_CHILD, 1, "a"}, {SG_MOVE_NEXT, 1, "e"}, {SG_MOVE_INTO, 0, "e"},
                  {SG_MOVE_FIRST_CHILD, 0, "e"},
                  // Into a's list: no element selected, one level deeper, then its first.
                  {SG_MOVE_PREV, 1, "a"}, {SG_MOVE_INTO, 1, "head 2"},
                  {SG_MOVE_INTO, 0, "head 2"},  // nothing selected
                  {SG_MOVE_NEXT, 1, "b"},
                  // From the head of a's list the parent is a.
                  {SG_MOVE_LIST_HEAD, 1, "head 2"}, {SG_MOVE_PARENT, 1, "a"},
                  {SG_MOVE_BASE, 1, "head 0"}});
}

TEST(Navigate, UnknownCodesChangeNothing) {
  Doc c(kTree);
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_FIRST_CHILD), 1);
  ExpectMoves(c, {{0, 0, "a"}, {14, 0, "a"}, {0xFFFFFFFFu, 0, "a"}});
}

TEST(Navigate, EmptyChildListIsEnteredButHasNoFirstChild) {
  Doc c(sgCreateXMLW(nullptr, 0, 0));
  ASSERT_NE(static_cast<SG_CURSOR>(c), nullptr);
  ASSERT_EQ(sgAddNodeA(c, "box", 1), 1);
  ExpectMoves(c, {{SG_MOVE_FIRST_CHILD, 0, "box"}, {SG_MOVE_LAST_CHILD, 0, "box"},
                  {SG_MOVE_INTO, 1, "head 1"},
                  {SG_MOVE_FIRST, 0, "head 1"},  // still at the head
                  // Back in order from an empty inner head: the owner.
                  {SG_MOVE_PREV_IN_ORDER, 1, "box"}});
}

TEST(Navigate, DocumentOrderWalksMatchPreOrder) {
  Doc c(kTree);
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_BASE), 1);
  // The failed last step leaves the cursor at the base head.
  EXPECT_EQ(Walk(c, SG_MOVE_NEXT_IN_ORDER), (Names{"r", "a", "b", "c", "d", "e", "s", "head 0"}));
  EXPECT_EQ(Walk(c, SG_MOVE_PREV_IN_ORDER), (Names{"s", "e", "d", "c", "b", "a", "r", "head 0"}));
  // Back in order from a first child is the owner, from an inner head the
  // list's last deepest element; forward from an inner head starts with that
  // list's first element.
  ASSERT_EQ(sgSearchA(c, "b", SG_SEARCH_FIRST), 1);
  ExpectMoves(c, {{SG_MOVE_PREV_IN_ORDER, 1, "a"}, {SG_MOVE_INTO, 1, "head 2"},
                  {SG_MOVE_PREV_IN_ORDER, 1, "d"}, {SG_MOVE_LIST_HEAD, 1, "head 3"}});
  EXPECT_EQ(Walk(c, SG_MOVE_NEXT_IN_ORDER), (Names{"d", "e", "s", "head 0"}));
}

TEST(Navigate, LevelQueriesAndClimbing) {
  Doc c(kTree);
  ASSERT_EQ(sgSearchA(c, "d", SG_SEARCH_FIRST), 1);
  EXPECT_EQ(sgGetLevel(c), 3u);
  ExpectSteps(c, sgSetLevel, {{3, 1, "d"}, {4, 0, "d"}, {-1, 0, "d"}, {1, 1, "a"}});
  ExpectMoves(c, {{SG_MOVE_NEXT, 1, "e"}});  // the ancestor's list is the list
  ExpectSteps(c, sgSetLevel, {{0, 1, "r"}});
}

TEST(Navigate, IndexQueriesAndSelection) {
  Doc c(kTree);
  // Index in the list and number of children, at r then at s.
  EXPECT_EQ(sgGetIndex(c), 0u);
  EXPECT_EQ(sgGetChildCount(c), 2u);
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_LAST), 1);
  EXPECT_EQ(sgGetIndex(c), 1u);
  EXPECT_EQ(sgGetChildCount(c), 0u);
  ASSERT_EQ(sgSearchA(c, "b", SG_SEARCH_FIRST), 1);
  ExpectSteps(c, sgSetIndex, {{1, 1, "c"}});
  EXPECT_EQ(sgGetIndex(c), 1u);
  // 2 is the number of elements in the list.
  ExpectSteps(c, sgSetIndex, {{2, 0, "c"}, {0xFFFFFFFFu, 0, "c"}, {0, 1, "b"}});
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_LIST_HEAD), 1);
  EXPECT_EQ(sgGetIndex(c), kNone);
  EXPECT_EQ(sgGetChildCount(c), 0u);
  ExpectSteps(c, sgSetIndex, {{0, 0, "head 2"}});
}

TEST(Navigate, TagNumbersAndSourcePositions) {
  const char text[] = "<r>\n <a x='1'>t</a><b/>\n</r>";
  Doc c(text);
  ASSERT_NE(sgGetSrcXML(c), nullptr);
  const WString source(sgGetSrcXML(c));
  // Each element's start tag and whole text: from its '<' to behind its end
  // tag, which for r is the whole source.
  const struct {
    const char *name, *startTag, *element;
  } elements[] = {{"r", "<r>", text}, {"a", "<a x='1'>", "<a x='1'>t</a>"}, {"b", "<b/>", "<b/>"}};
  int64_t lastTag = -1;  // tag numbers grow in document order
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_BASE), 1);
  for (const auto &k : elements) {
    ASSERT_EQ(sgMoveTo(c, SG_MOVE_NEXT_IN_ORDER), 1);
    ASSERT_EQ(Name(c), k.name);
    const uint32_t start = sgGetTagPos(c, 0), tagEnd = sgGetTagPos(c, 1), end = sgGetTagPos(c, 2);
    ASSERT_LE(start, tagEnd);
    ASSERT_LE(tagEnd, end);
    ASSERT_LE(end, source.size());
    EXPECT_EQ(Utf8(source.substr(start, tagEnd - start)), k.startTag);
    EXPECT_EQ(Utf8(source.substr(start, end - start)), k.element);
    EXPECT_EQ(sgGetTagPos(c, 3), kNone);
    const uint32_t tag = sgGetTagCount(c);
    EXPECT_NE(tag, kNone);
    EXPECT_GT(tag, lastTag) << k.name;
    lastTag = tag;
  }
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
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_BASE), 1);
  while (sgMoveTo(c, SG_MOVE_NEXT_IN_ORDER)) ids.push_back(Id(c));
  // Each element in pre-order, and the first element of its list, which must
  // become the cursor's list.
  const Names names = {"r", "a", "b", "c", "d", "e", "s"};
  const Names firsts = {"r", "a", "b", "b", "d", "a", "r"};
  ASSERT_EQ(ids.size(), names.size());
  for (size_t i = 0; i < ids.size(); ++i) {
    ASSERT_EQ(sgMoveTo(c, SG_MOVE_BASE), 1);
    ExpectSteps(c, sgSeek, {{ids[i], 1, names[i].c_str()}});
    ExpectMoves(c, {{SG_MOVE_FIRST, 1, firsts[i].c_str()}});
  }
  // Not found (the root is no element below the base): unchanged.
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_BASE), 1);
  const uint32_t root = Id(c);
  ASSERT_EQ(sgSearchA(c, "c", SG_SEARCH_FIRST), 1);
  ExpectSteps(c, sgSeek, {{root, 0, "c"}});
  // Narrowed to a's children: r and s are outside, d inside.
  ASSERT_EQ(sgSearchA(c, "a", SG_SEARCH_FIRST), 1);
  ASSERT_EQ(sgSetBase(c, 1), 1);
  ExpectSteps(c, sgSeek, {{ids[0], 0, "b"}, {ids[6], 0, "b"}, {ids[4], 1, "d"}});
}

TEST(Navigate, BaseNarrowsAndWidensBackToTheRoot) {
  Doc c(kTree);
  ExpectSteps(c, sgSetBase, {{0, 0, "r"}});  // already the root
  ASSERT_EQ(sgSearchA(c, "a", SG_SEARCH_FIRST), 1);
  ExpectSteps(c, sgSetBase, {{1, 1, "b"}});
  EXPECT_EQ(sgGetLevel(c), 0u);
  ExpectMoves(c, {{SG_MOVE_PARENT, 0, "b"}, {SG_MOVE_BASE, 1, "head 0"}});
  EXPECT_EQ(Walk(c, SG_MOVE_NEXT_IN_ORDER), (Names{"b", "c", "d", "head 0"}));
  EXPECT_EQ(Walk(c, SG_MOVE_PREV_IN_ORDER), (Names{"d", "c", "b", "head 0"}));
  ExpectSteps(c, sgSetBase, {{1, 0, "head 0"}});  // nothing selected
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_BASE_FIRST), 1);
  ExpectSteps(c, sgSetBase, {{1, 0, "b"}});  // b has no child list
  // Narrow once more, to c's children; widening returns to the root at once.
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_NEXT), 1);
  ExpectSteps(c, sgSetBase, {{1, 1, "d"}, {0, 1, "c"}});
  EXPECT_EQ(sgGetLevel(c), 2u);
  ExpectSteps(c, sgSetBase, {{0, 0, "c"}});
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_BASE), 1);
  EXPECT_EQ(Walk(c, SG_MOVE_NEXT_IN_ORDER), (Names{"r", "a", "b", "c", "d", "e", "s", "head 0"}));
}

// ---- The callback walk -------------------------------------------------------

// r( a( a1 ), b( b1 ), c ), z
const char kScanTree[] = "<r><a><a1></a1></a><b><b1></b1></b><c></c></r><z></z>";

TEST(Scan, EachResultBitShapesTheWalk) {
  const std::string all = "r0+ a1+ a12+ a12- a1- b1+ b12+ b12- b1- c1+ c1- r0- z0+ z0-";
  struct Case {
    const char *at;  // the visit answered with `bits`
    uint32_t bits;
    std::string visits;
    int32_t result;
    const char *standsOn;  // see Place; null when not checked
  } cases[] = {
      {"", 0, all, 1, "head 0"},
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
    EXPECT_EQ(RunScan(c, k.at, k.bits), std::to_string(k.result) + ": " + k.visits);
    if (k.standsOn) {
      EXPECT_EQ(Place(c), k.standsOn);
    }
  }
}

TEST(Scan, DepthCountsFromANarrowedBase) {
  Doc c(kScanTree);
  ASSERT_EQ(sgSetBase(c, 1), 1);  // r's children
  EXPECT_EQ(RunScan(c, "", 0), "1: a0+ a11+ a11- a0- b0+ b11+ b11- b0- c0+ c0-");
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
