// Search through the public API, one group per mode, on trees chosen so that
// a wrong walk order, a wrong base bound or an off-by-one index fails: nested
// same-name elements, mixed-case names, narrowed bases, and paths with
// branches that match only in part. Elements carry their expected ordinal as
// inner text. Narrow names are Shift-JIS (code page 932).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "api_util.h"

namespace {

using namespace api_test;

using Tags = std::vector<std::string>;

// Where the cursor stands in these trees: the current element's inner text
// (its ordinal), "<name>" for an element without one, or "head N" at the head
// of a list at level N.
std::string Tag(SG_CURSOR c) {
  if (sgIsEmptyList(c) == 1) return Place(c);
  const char *inner = sgGetInnerStrA(c);
  return inner ? inner : "<" + Name(c) + ">";
}

// A string list from names joined by '/'.
std::string Path(std::string list) {
  std::replace(list.begin(), list.end(), '/', '\0');
  if (!list.empty()) list.push_back('\0');
  list.push_back('\0');
  return list;
}

// Searches for `name` in UTF-16, or for the PATH modes for the names joined by
// '/' in `name` as a narrow string list.
int32_t Find(SG_CURSOR c, const char *name, uint32_t mode, int32_t index = 0) {
  if (mode == SG_SEARCH_PATH_FIRST || mode == SG_SEARCH_PATH_NEXT) {
    return sgSearchIndexA(c, Path(name).c_str(), mode, index);
  }
  return sgSearchIndexW(c, Utf16(name).c_str(), mode, index);
}

// One step of a sequence: a search (name, mode, index), a move (Move: the
// sgMoveTo code in `mode`) or a base change (Base: the sgSetBase flag in
// `mode`); the result it must give, then the Tag and the level the cursor must
// stand at (null, -1: not checked).
enum Op { kSearch, kMove, kBase };
struct Query {
  const char *name;
  uint32_t mode;
  int32_t index;
  int32_t result;
  const char *tag;
  int64_t level = -1;
  Op op = kSearch;
};

Query Move(uint32_t code, int32_t result, const char *tag) {
  return {"move", code, 0, result, tag, -1, kMove};
}
Query Base(uint32_t flag, int32_t result, const char *tag) {
  return {"base", flag, 0, result, tag, -1, kBase};
}

void ExpectFinds(SG_CURSOR c, std::initializer_list<Query> queries) {
  int n = 0;
  for (const Query &q : queries) {
    SCOPED_TRACE("step " + std::to_string(n++) + ": " + q.name + ", mode " +
                 std::to_string(q.mode) + ", index " + std::to_string(q.index));
    EXPECT_EQ(q.op == kMove   ? sgMoveTo(c, q.mode)
              : q.op == kBase ? sgSetBase(c, static_cast<int32_t>(q.mode))
                              : Find(c, q.name, q.mode, q.index),
              q.result);
    if (q.tag) {
      EXPECT_EQ(Tag(c), q.tag);
    }
    if (q.level >= 0) {
      EXPECT_EQ(sgGetLevel(c), q.level);
    }
  }
}

// Tags met by repeating a search from the cursor, then where the failing one
// left the cursor.
Tags Repeat(SG_CURSOR c, const char *name, uint32_t mode) {
  Tags seen;
  while (Find(c, name, mode)) seen.push_back(Tag(c));
  seen.push_back(Tag(c));
  return seen;
}

// x-named elements 0..4 in document order, nested and in mixed case.
const char kNested[] = "<x>0<y><X>1</X></y><x>2<x>3</x></x></x><z><X>4</X></z>";

TEST(Search, FirstFindsTheIndexthMatchInDocumentOrder) {
  Doc c(kNested);
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(Find(c, i % 2 ? "x" : "X", SG_SEARCH_FIRST, i), 1) << i;
    EXPECT_EQ(Tag(c), std::to_string(i));
    EXPECT_EQ(sgTagIndex(c), static_cast<uint32_t>(i));
  }
  // A negative index counts as 0. Not found: at the base head.
  ExpectFinds(c, {{"x", SG_SEARCH_FIRST, -7, 1, "0"}, {"x", SG_SEARCH_FIRST, 5, 0, "head 0"},
                  // The found element's list is the cursor's list.
                  {"x", SG_SEARCH_FIRST, 3, 1, "3"}, Move(SG_MOVE_PARENT, 1, "2")});
  // Only whole names match.
  for (const char *name : {"", "x ", "xy"}) {
    EXPECT_EQ(sgSearchA(c, name, SG_SEARCH_FIRST), 0) << name;
  }
}

TEST(Search, FirstStaysInsideANarrowedBase) {
  Doc c(kNested);
  ExpectFinds(c, {Base(1, 1, "<y>"),  // the children of x 0
                  {"x", SG_SEARCH_FIRST, 0, 1, "1"}, {"x", SG_SEARCH_FIRST, 2, 1, "3"},
                  {"x", SG_SEARCH_FIRST, 3, 0, "head 0"},  // 4 lies outside
                  {"z", SG_SEARCH_FIRST, 0, 0, "head 0"}});
}

TEST(Search, NextEnumeratesEveryMatchOnce) {
  Doc c(kNested);
  ExpectFinds(c, {{"x", SG_SEARCH_FIRST, 0, 1, "0"}});
  // A failed search leaves the cursor alone, on the last match.
  EXPECT_EQ(Repeat(c, "X", SG_SEARCH_NEXT), (Tags{"1", "2", "3", "4", "4"}));
  ExpectFinds(c, {{"x", SG_SEARCH_FIRST, 0, 1, "0"}, {"x", SG_SEARCH_NEXT, 2, 1, "3"},
                  // From a list head: the list's first element comes first.
                  Move(SG_MOVE_BASE, 1, "head 0"), {"x", SG_SEARCH_NEXT, 0, 1, "0"},
                  // Bounded by the base: from 1 inside x 0's children, 4 is out of reach.
                  Base(1, 1, "<y>"), {"x", SG_SEARCH_FIRST, 0, 1, "1"},
                  {"x", SG_SEARCH_NEXT, 2, 0, "1"}});
}

TEST(Search, PrevWalksBackwardToTheBase) {
  Doc c(kNested);
  ExpectFinds(c, {{"x", SG_SEARCH_FIRST, 4, 1, "4"}});
  EXPECT_EQ(Repeat(c, "x", SG_SEARCH_PREV), (Tags{"3", "2", "1", "0", "0"}));
  ExpectFinds(c, {{"x", SG_SEARCH_FIRST, 4, 1, "4"}, {"x", SG_SEARCH_PREV, 2, 1, "1"},
                  // From the first child of a same-name parent: the parent.
                  {"x", SG_SEARCH_FIRST, 3, 1, "3"}, {"x", SG_SEARCH_PREV, 0, 1, "2"},
                  // Inside x 2's children the walk stops at the base.
                  Base(1, 1, "3"), {"x", SG_SEARCH_PREV, 0, 0, "3"},
                  // From the base head: the last element in document order comes first.
                  Base(0, 1, nullptr), Move(SG_MOVE_BASE, 1, "head 0"),
                  {"x", SG_SEARCH_PREV, 0, 1, "4"}});
}

// Siblings a0 b1 A2 b3 a4; b1 has a child named a.
const char kSiblings[] = "<l><a>0</a><b>1<a>in</a></b><A>2</A><b>3</b><a>4</a></l>";

TEST(Search, SiblingModesStayInTheList) {
  Doc c(kSiblings);
  ExpectFinds(c, {Move(SG_MOVE_FIRST_CHILD, 1, "0"), {"A", SG_SEARCH_FIRST_SIBLING, 1, 1, "2"},
                  {"a", SG_SEARCH_NEXT_SIBLING, 0, 1, "4"},
                  {"a", SG_SEARCH_NEXT_SIBLING, 0, 0, "4"},
                  {"a", SG_SEARCH_PREV_SIBLING, 0, 1, "2"},
                  {"a", SG_SEARCH_PREV_SIBLING, 0, 1, "0"},  // not b1's child
                  {"a", SG_SEARCH_PREV_SIBLING, 0, 0, "0"},
                  {"a", SG_SEARCH_FIRST_SIBLING, 2, 1, "4"},
                  {"b", SG_SEARCH_PREV_SIBLING, 1, 1, "1"},
                  // Not in the list: the cursor is left at the list head.
                  {"in", SG_SEARCH_FIRST_SIBLING, 0, 0, "head 1"},
                  {"b", SG_SEARCH_NEXT_SIBLING, 0, 1, "1"}});  // from the head: the first
}

TEST(Search, ChildModeSearchesOneListDown) {
  Doc c(kSiblings);
  ExpectFinds(c, {{"b", SG_SEARCH_CHILD, 1, 1, "3"},
                  Move(SG_MOVE_NEXT, 1, "4"),          // the child list is the list
                  {"a", SG_SEARCH_CHILD, 0, 0, "4"},  // a4 has no children
                  Move(SG_MOVE_BASE_FIRST, 1, "<l>"),
                  {"in", SG_SEARCH_CHILD, 0, 0, "<l>"},  // grandchildren are not searched
                  Move(SG_MOVE_LIST_HEAD, 1, "head 0"),
                  {"l", SG_SEARCH_CHILD, 0, 0, nullptr}});  // needs an element
}

TEST(Search, AncestorModeStopsAtTheBaseList) {
  Doc c("<a>outer<b>b<a>inner<c>c</c></a></b></a>");
  ExpectFinds(c, {{"c", SG_SEARCH_FIRST, 0, 1, "c"}, {"A", SG_SEARCH_ANCESTOR, 0, 1, "inner"},
                  {"c", SG_SEARCH_FIRST, 0, 1, "c"}, {"a", SG_SEARCH_ANCESTOR, 1, 1, "outer", 0},
                  {"a", SG_SEARCH_ANCESTOR, 0, 0, nullptr},  // nothing above the top
                  // Narrowed to the outer a's children: b is the highest reachable ancestor.
                  Base(1, 1, "b"), {"c", SG_SEARCH_FIRST, 0, 1, "c"},
                  {"a", SG_SEARCH_ANCESTOR, 1, 0, "c"}, {"b", SG_SEARCH_ANCESTOR, 0, 1, "b"},
                  {"b", SG_SEARCH_ANCESTOR, 0, 0, nullptr}});
}

TEST(Search, DescendantModeEndsWithTheSubtree) {
  Doc c("<d><x>0</x><e><x>1</x></e></d><x>2</x>");
  ExpectFinds(c, {{"x", SG_SEARCH_DESCENDANT, 1, 1, "1", 2},
                  Move(SG_MOVE_BASE_FIRST, 1, "<d>"), {"x", SG_SEARCH_DESCENDANT, 2, 0, "<d>"},
                  {"x", SG_SEARCH_FIRST, 0, 1, "0"},
                  {"x", SG_SEARCH_DESCENDANT, 0, 0, nullptr},  // no child list
                  {"e", SG_SEARCH_FIRST, 0, 1, "<e>"}, {"x", SG_SEARCH_DESCENDANT, 0, 1, "1"}});
}

// Paths a/b: three matches, 0..2; c/b under an a and b at the top are not.
const char kPaths[] = "<a><b>0</b><c><b>no</b></c><b>1</b></a><b>no</b><A><B>2</B></A>";

TEST(Search, PathFirstCountsFullMatchesInDocumentOrder) {
  Doc c(kPaths);
  ExpectFinds(c, {{"a/b", SG_SEARCH_PATH_FIRST, 0, 1, "0"},
                  {"a/b", SG_SEARCH_PATH_FIRST, 1, 1, "1"},
                  {"a/b", SG_SEARCH_PATH_FIRST, 2, 1, "2"},
                  {"a/b", SG_SEARCH_PATH_FIRST, 3, 0, "head 0"},
                  {"a/c/b", SG_SEARCH_PATH_FIRST, 0, 1, "no"},
                  Move(SG_MOVE_PARENT, 1, "<c>"),  // its list is the cursor's list
                  {"b", SG_SEARCH_PATH_FIRST, 0, 1, "no", 0},
                  {"a/b/x", SG_SEARCH_PATH_FIRST, 0, 0, nullptr},
                  {"", SG_SEARCH_PATH_FIRST, 0, 0, nullptr},  // no names at all
                  // Paths start at the base list.
                  {"a/c", SG_SEARCH_PATH_FIRST, 0, 1, "<c>"}, Base(1, 1, "no"),
                  {"b", SG_SEARCH_PATH_FIRST, 0, 1, "no"},
                  {"a/b", SG_SEARCH_PATH_FIRST, 0, 0, nullptr}});
}

TEST(Search, PathNextContinuesAfterTheCurrentSubtree) {
  Doc c(kPaths);
  ExpectFinds(c, {{"a/b", SG_SEARCH_PATH_FIRST, 0, 1, "0"}});
  EXPECT_EQ(Repeat(c, "a/b", SG_SEARCH_PATH_NEXT), (Tags{"1", "2", "2"}));
  ExpectFinds(c, {{"a/b", SG_SEARCH_PATH_FIRST, 0, 1, "0"},
                  {"a/b", SG_SEARCH_PATH_NEXT, 1, 1, "2"},
                  // From a top-level element the whole path is matched after it.
                  Move(SG_MOVE_BASE, 1, "head 0"), {"b", SG_SEARCH_FIRST_SIBLING, 0, 1, "no"},
                  {"a/b", SG_SEARCH_PATH_NEXT, 0, 1, "2"},
                  // The current element's own subtree is not searched.
                  {"a", SG_SEARCH_PATH_FIRST, 0, 1, "<a>"}, {"a/b", SG_SEARCH_PATH_NEXT, 0, 1, "2"},
                  // Needs an element and at least one name.
                  Move(SG_MOVE_LIST_HEAD, 1, "head 1"), {"a/b", SG_SEARCH_PATH_NEXT, 0, 0, nullptr},
                  Move(SG_MOVE_FIRST, 1, nullptr), {"", SG_SEARCH_PATH_NEXT, 0, 0, nullptr}});
}

TEST(Search, PathNextFromADeeperElementUsesTheLaterNames) {
  // From a/c/b the walk tries the later siblings of b with "b", then those
  // of c with "c/b", then those of a with the whole path. A path shorter than
  // the current level has no name for the deepest levels; they are skipped.
  Doc c("<a><c><b>0</b><b>1</b></c><b>x</b><c><b>2</b></c></a><a><c><b>3</b></c></a>");
  ExpectFinds(c, {{"a/c/b", SG_SEARCH_PATH_FIRST, 0, 1, "0"}});
  EXPECT_EQ(Repeat(c, "a/c/b", SG_SEARCH_PATH_NEXT), (Tags{"1", "2", "3", "3"}));
  ExpectFinds(c, {{"a/c/b", SG_SEARCH_PATH_FIRST, 0, 1, "0"},
                  {"a/c", SG_SEARCH_PATH_NEXT, 0, 1, "<c>", 1}});  // from level 2, "c" at level 1
  EXPECT_EQ(sgGetChildCount(c), 1u);  // the second c, not the first
}

TEST(Search, NarrowNamesAndPathsUseTheSystemCodePage) {
  // r( 日本 ): the reader takes ASCII names only, so the tree is built by edits.
  Doc c(sgCreateXMLW(nullptr, 0, 0));
  ASSERT_NE(static_cast<SG_CURSOR>(c), nullptr);
  ASSERT_EQ(sgAddNodeA(c, "r", 1), 1);
  ASSERT_EQ(sgAddChildNodeW(c, Utf16("\xE6\x97\xA5\xE6\x9C\xAC").c_str(), 0), 1);
  ASSERT_EQ(sgSetInnerStrA(c, "1", -1), 1);
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_BASE), 1);
  const char nihon[] = "\x93\xFA\x96\x7B";  // Shift-JIS
  const std::string path = Path(std::string("r/") + nihon);
  EXPECT_EQ(sgSearchA(c, nihon, SG_SEARCH_FIRST), 1);
  EXPECT_EQ(Tag(c), "1");
  EXPECT_EQ(sgSearchIndexA(c, path.c_str(), SG_SEARCH_PATH_FIRST, 0), 1);
  EXPECT_EQ(Tag(c), "1");
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_BASE_FIRST), 1);
  EXPECT_EQ(sgSearchA(c, path.c_str(), SG_SEARCH_PATH_NEXT), 0);
  EXPECT_EQ(sgSearchA(c, nihon, SG_SEARCH_CHILD), 1);
  EXPECT_EQ(Tag(c), "1");
  EXPECT_EQ(sgSearchA(c, "\x93\xFA", SG_SEARCH_FIRST), 0);  // half the name
}

// Names that start with a capital, a digit, a non-ASCII letter with a case
// partner or a mark that is no letter: each is found under its other-case
// spelling and only there, inserted in either form.
TEST(Search, NamesMatchWhateverTheirFirstUnit) {
  Doc c("<r></r>");
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_FIRST), 1);
  ASSERT_EQ(sgAddChildNodeW(c, Utf16("Item").c_str(), 0), 1);
  for (const char *name : {"9lives", "\xc3\x84rger", "_u", "-v", "\xc5\xbftrange"}) {
    ASSERT_EQ(sgAddNodeW(c, Utf16(name).c_str(), 0), 1);
  }
  ASSERT_EQ(sgAddNodeA(c, "Narrow", 0), 1);
  const struct {
    const char *query;  // UTF-8
    const char *found;  // UTF-8 name found, or null
  } cases[] = {
      {"item", "Item"},          {"ITEM", "Item"},       {"9LIVES", "9lives"},
      {"\xc3\xa4RGER", "\xc3\x84rger"}, {"_U", "_u"},  {"-V", "-v"},
      {"narrow", "Narrow"},      {"tem", nullptr},       {"lives", nullptr},
      {"rger", nullptr},         {"Items", nullptr},     {"\xc5\xbftrange", "\xc5\xbftrange"},
  };
  for (const auto &k : cases) {
    ASSERT_EQ(sgMoveTo(c, SG_MOVE_BASE_FIRST), 1);
    EXPECT_EQ(sgSearchW(c, Utf16(k.query).c_str(), SG_SEARCH_FIRST), k.found ? 1 : 0) << k.query;
    EXPECT_EQ(Place(c), k.found ? k.found : "head 0") << k.query;  // not found: at the base head
  }
}

// Elements with end tags and nothing between have empty child lists: the
// walks pass over them to the next sibling, or climb when they end a level.
TEST(Search, DocumentOrderPassesOverEmptyChildLists) {
  Doc c("<r><a>1</a><b>2<c>3</c></b><d>4</d></r><e>5</e>");
  ExpectFinds(c, {{"r", SG_SEARCH_FIRST, 0, 1, "<r>", 0}, {"a", SG_SEARCH_NEXT, 0, 1, "1", 1},
                  {"b", SG_SEARCH_NEXT, 0, 1, "2", 1}, {"c", SG_SEARCH_NEXT, 0, 1, "3", 2},
                  {"d", SG_SEARCH_NEXT, 0, 1, "4", 1}, {"e", SG_SEARCH_NEXT, 0, 1, "5", 0},
                  {"e", SG_SEARCH_NEXT, 0, 0, "5"}, {"e", SG_SEARCH_FIRST, 0, 1, "5"},
                  {"d", SG_SEARCH_PREV, 0, 1, "4"}, {"c", SG_SEARCH_PREV, 0, 1, "3"},
                  {"b", SG_SEARCH_PREV, 0, 1, "2"}, {"a", SG_SEARCH_PREV, 0, 1, "1"},
                  {"r", SG_SEARCH_PREV, 0, 1, "<r>"}, {"a", SG_SEARCH_FIRST, 0, 1, "1"},
                  {"b", SG_SEARCH_DESCENDANT, 0, 0, "1"}});
}

TEST(Search, EmptyNameMatchesOnlyEmptyNames) {
  Doc c("<r><a></a><!--note--><b></b></r>");
  ASSERT_EQ(sgSearchW(c, Utf16("").c_str(), SG_SEARCH_FIRST), 1);
  ASSERT_NE(sgGetNameW(c), nullptr);
  EXPECT_EQ(Name(c), "");
  EXPECT_EQ(sgGetIndex(c), 1u);
}

TEST(Search, BadModesAndArgumentsChangeNothing) {
  Doc c(kNested);
  ExpectFinds(c, {{"x", SG_SEARCH_FIRST, 2, 1, "2"}, {"x", 0, 0, 0, "2"}, {"x", 12, 0, 0, "2"},
                  {"x", 0xFFFFFFFFu, 0, 0, "2"}});
  EXPECT_EQ(sgSearchW(c, nullptr, SG_SEARCH_FIRST), 0);
  EXPECT_EQ(sgSearchA(c, nullptr, SG_SEARCH_FIRST), 0);
  EXPECT_EQ(Tag(c), "2");
}

TEST(DeepTree, EverySearchModeOnAMillionLevels) {
  const int deep = 1000000;
  std::string text, names;  // names: a/a/.../a/b
  text.reserve(3 * deep + 8);
  names.reserve(2 * deep + 2);
  for (int i = 1; i < deep; ++i) {
    text += "<a>";
    names += "a/";
  }
  text += "<b>";
  names += "b";
  const std::string path = Path(names);
  const std::string shorter = Path(names.substr(2));
  const uint32_t innermost = deep - 1;
  sprig_test::RunOnSmallStack([&] {
    Doc c(text);
    ASSERT_NE(static_cast<SG_CURSOR>(c), nullptr);
    ExpectFinds(c, {{"zz", SG_SEARCH_FIRST, 0, 0, nullptr},
                    {"b", SG_SEARCH_FIRST, 0, 1, "<b>", innermost},
                    {"zz", SG_SEARCH_PREV, 0, 0, nullptr},
                    {"zz", SG_SEARCH_ANCESTOR, 0, 0, nullptr},
                    {"a", SG_SEARCH_ANCESTOR, deep - 2, 1, "<a>", 0},
                    {"b", SG_SEARCH_DESCENDANT, 0, 1, "<b>", innermost},
                    {"a", SG_SEARCH_PREV, deep - 2, 1, "<a>", 0},
                    {"b", SG_SEARCH_NEXT, 0, 1, nullptr}, {"b", SG_SEARCH_NEXT, 0, 0, nullptr},
                    Move(SG_MOVE_PARENT, 1, nullptr), {"b", SG_SEARCH_CHILD, 0, 1, nullptr},
                    {"b", SG_SEARCH_FIRST_SIBLING, 0, 1, nullptr},
                    {"b", SG_SEARCH_NEXT_SIBLING, 0, 0, nullptr},
                    {"b", SG_SEARCH_PREV_SIBLING, 0, 0, nullptr}});
    ASSERT_EQ(sgSearchA(c, path.c_str(), SG_SEARCH_PATH_FIRST), 1);
    EXPECT_EQ(Tag(c), "<b>");
    EXPECT_EQ(sgGetLevel(c), innermost);
    EXPECT_EQ(sgSearchA(c, path.c_str(), SG_SEARCH_PATH_NEXT), 0);
    EXPECT_EQ(Tag(c), "<b>");
    // A path that matches all the way down but one level too short.
    EXPECT_EQ(sgSearchA(c, shorter.c_str(), SG_SEARCH_PATH_FIRST), 0);
  });
}

}  // namespace
