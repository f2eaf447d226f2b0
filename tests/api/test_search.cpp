// Search through the public API, one group per mode, on trees chosen so that
// a wrong walk order, a wrong base bound or an off-by-one index fails: nested
// same-name elements, mixed-case names, narrowed bases, and paths with
// branches that match only in part. Elements carry their expected ordinal as
// inner text. Narrow names are Shift-JIS (code page 932).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "api_util.h"

namespace {

using namespace api_test;

// The current element's inner text (its ordinal in these trees), "-" if none.
std::string Tag(SG_CURSOR c) {
  const char *inner = sgGetInnerStrA(c);
  return inner ? inner : "-";
}

int32_t Find(SG_CURSOR c, const char *name, uint32_t mode, int32_t index = 0) {
  return sgSearchIndexW(c, Utf16(name).c_str(), mode, index);
}

// A string list from names joined by '/'.
std::string Path(const std::string &names) {
  std::string list = names;
  for (char &ch : list) {
    if (ch == '/') ch = '\0';
  }
  if (!list.empty()) list.push_back('\0');
  list.push_back('\0');
  return list;
}

int32_t FindPath(SG_CURSOR c, const std::string &names, uint32_t mode, int32_t index = 0) {
  return sgSearchIndexA(c, Path(names).c_str(), mode, index);
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
  EXPECT_EQ(Find(c, "x", SG_SEARCH_FIRST, -7), 1);  // negative counts as 0
  EXPECT_EQ(Tag(c), "0");
  // Not found: at the base head.
  EXPECT_EQ(Find(c, "x", SG_SEARCH_FIRST, 5), 0);
  EXPECT_EQ(sgIsEmptyList(c), 1);
  EXPECT_EQ(sgGetLevel(c), 0u);
  // The found element's list is the cursor's list.
  ASSERT_EQ(Find(c, "x", SG_SEARCH_FIRST, 3), 1);
  EXPECT_EQ(sgMoveTo(c, SG_MOVE_PARENT), 1);
  EXPECT_EQ(Tag(c), "2");
  // Only whole names match.
  EXPECT_EQ(sgSearchA(c, "", SG_SEARCH_FIRST), 0);
  EXPECT_EQ(sgSearchA(c, "x ", SG_SEARCH_FIRST), 0);
  EXPECT_EQ(sgSearchA(c, "xy", SG_SEARCH_FIRST), 0);
}

TEST(Search, FirstStaysInsideANarrowedBase) {
  Doc c(kNested);
  ASSERT_EQ(sgSetBase(c, 1), 1);  // the children of x 0
  EXPECT_EQ(Find(c, "x", SG_SEARCH_FIRST), 1);
  EXPECT_EQ(Tag(c), "1");
  EXPECT_EQ(Find(c, "x", SG_SEARCH_FIRST, 2), 1);
  EXPECT_EQ(Tag(c), "3");
  EXPECT_EQ(Find(c, "x", SG_SEARCH_FIRST, 3), 0);  // 4 lies outside
  EXPECT_EQ(Find(c, "z", SG_SEARCH_FIRST), 0);
}

TEST(Search, NextEnumeratesEveryMatchOnce) {
  Doc c(kNested);
  ASSERT_EQ(Find(c, "x", SG_SEARCH_FIRST), 1);
  std::vector<std::string> seen{Tag(c)};
  while (Find(c, "X", SG_SEARCH_NEXT)) seen.push_back(Tag(c));
  EXPECT_EQ(seen, (std::vector<std::string>{"0", "1", "2", "3", "4"}));
  EXPECT_EQ(Tag(c), "4");  // a failed search leaves the cursor alone
  ASSERT_EQ(Find(c, "x", SG_SEARCH_FIRST), 1);
  EXPECT_EQ(Find(c, "x", SG_SEARCH_NEXT, 2), 1);
  EXPECT_EQ(Tag(c), "3");
  // From a list head: the list's first element comes first.
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_BASE), 1);
  EXPECT_EQ(Find(c, "x", SG_SEARCH_NEXT), 1);
  EXPECT_EQ(Tag(c), "0");
  // Bounded by the base: from 1 inside x 0's children, 4 is out of reach.
  ASSERT_EQ(sgSetBase(c, 1), 1);
  ASSERT_EQ(Find(c, "x", SG_SEARCH_FIRST), 1);
  EXPECT_EQ(Find(c, "x", SG_SEARCH_NEXT, 2), 0);
  EXPECT_EQ(Tag(c), "1");
}

TEST(Search, PrevWalksBackwardToTheBase) {
  Doc c(kNested);
  ASSERT_EQ(Find(c, "x", SG_SEARCH_FIRST, 4), 1);
  std::vector<std::string> seen;
  while (Find(c, "x", SG_SEARCH_PREV)) seen.push_back(Tag(c));
  EXPECT_EQ(seen, (std::vector<std::string>{"3", "2", "1", "0"}));
  EXPECT_EQ(Tag(c), "0");
  ASSERT_EQ(Find(c, "x", SG_SEARCH_FIRST, 4), 1);
  EXPECT_EQ(Find(c, "x", SG_SEARCH_PREV, 2), 1);
  EXPECT_EQ(Tag(c), "1");
  // From the first child of a same-name parent: the parent.
  ASSERT_EQ(Find(c, "x", SG_SEARCH_FIRST, 3), 1);
  EXPECT_EQ(Find(c, "x", SG_SEARCH_PREV), 1);
  EXPECT_EQ(Tag(c), "2");
  // Inside x 2's children the walk stops at the base.
  ASSERT_EQ(sgSetBase(c, 1), 1);
  EXPECT_EQ(Tag(c), "3");
  EXPECT_EQ(Find(c, "x", SG_SEARCH_PREV), 0);
  EXPECT_EQ(Tag(c), "3");
  // From the base head: the last element in document order comes first.
  ASSERT_EQ(sgSetBase(c, 0), 1);
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_BASE), 1);
  EXPECT_EQ(Find(c, "x", SG_SEARCH_PREV), 1);
  EXPECT_EQ(Tag(c), "4");
}

// Siblings a0 b1 A2 b3 a4; b1 has a child named a.
const char kSiblings[] = "<l><a>0</a><b>1<a>in</a></b><A>2</A><b>3</b><a>4</a></l>";

TEST(Search, SiblingModesStayInTheList) {
  Doc c(kSiblings);
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_FIRST_CHILD), 1);
  EXPECT_EQ(Find(c, "A", SG_SEARCH_FIRST_SIBLING, 1), 1);
  EXPECT_EQ(Tag(c), "2");
  EXPECT_EQ(Find(c, "a", SG_SEARCH_NEXT_SIBLING), 1);
  EXPECT_EQ(Tag(c), "4");
  EXPECT_EQ(Find(c, "a", SG_SEARCH_NEXT_SIBLING), 0);
  EXPECT_EQ(Tag(c), "4");
  EXPECT_EQ(Find(c, "a", SG_SEARCH_PREV_SIBLING), 1);
  EXPECT_EQ(Tag(c), "2");
  EXPECT_EQ(Find(c, "a", SG_SEARCH_PREV_SIBLING), 1);  // not b1's child
  EXPECT_EQ(Tag(c), "0");
  EXPECT_EQ(Find(c, "a", SG_SEARCH_PREV_SIBLING), 0);
  EXPECT_EQ(Tag(c), "0");
  ASSERT_EQ(Find(c, "a", SG_SEARCH_FIRST_SIBLING, 2), 1);
  EXPECT_EQ(Find(c, "b", SG_SEARCH_PREV_SIBLING, 1), 1);
  EXPECT_EQ(Tag(c), "1");
  // Not in the list: the cursor is left at the list head.
  EXPECT_EQ(Find(c, "in", SG_SEARCH_FIRST_SIBLING), 0);
  EXPECT_EQ(sgIsEmptyList(c), 1);
  EXPECT_EQ(Find(c, "b", SG_SEARCH_NEXT_SIBLING), 1);  // from the head: the first
  EXPECT_EQ(Tag(c), "1");
}

TEST(Search, ChildModeSearchesOneListDown) {
  Doc c(kSiblings);
  EXPECT_EQ(Find(c, "b", SG_SEARCH_CHILD, 1), 1);
  EXPECT_EQ(Tag(c), "3");
  EXPECT_EQ(sgMoveTo(c, SG_MOVE_NEXT), 1);  // the child list is the list
  EXPECT_EQ(Tag(c), "4");
  EXPECT_EQ(Find(c, "a", SG_SEARCH_CHILD), 0);  // a4 has no children
  EXPECT_EQ(Tag(c), "4");
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_BASE_FIRST), 1);
  EXPECT_EQ(Find(c, "in", SG_SEARCH_CHILD), 0);  // grandchildren are not searched
  EXPECT_EQ(Name(c), "l");
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_LIST_HEAD), 1);
  EXPECT_EQ(Find(c, "l", SG_SEARCH_CHILD), 0);  // needs an element
}

TEST(Search, AncestorModeStopsAtTheBaseList) {
  Doc c("<a>outer<b>b<a>inner<c>c</c></a></b></a>");
  ASSERT_EQ(Find(c, "c", SG_SEARCH_FIRST), 1);
  EXPECT_EQ(Find(c, "A", SG_SEARCH_ANCESTOR), 1);
  EXPECT_EQ(Tag(c), "inner");
  ASSERT_EQ(Find(c, "c", SG_SEARCH_FIRST), 1);
  EXPECT_EQ(Find(c, "a", SG_SEARCH_ANCESTOR, 1), 1);
  EXPECT_EQ(Tag(c), "outer");
  EXPECT_EQ(sgGetLevel(c), 0u);
  EXPECT_EQ(Find(c, "a", SG_SEARCH_ANCESTOR), 0);  // nothing above the top
  // Narrowed to the outer a's children: b is the highest reachable ancestor.
  ASSERT_EQ(sgSetBase(c, 1), 1);
  ASSERT_EQ(Find(c, "c", SG_SEARCH_FIRST), 1);
  EXPECT_EQ(Find(c, "a", SG_SEARCH_ANCESTOR, 1), 0);
  EXPECT_EQ(Tag(c), "c");
  EXPECT_EQ(Find(c, "b", SG_SEARCH_ANCESTOR), 1);
  EXPECT_EQ(Tag(c), "b");
  EXPECT_EQ(Find(c, "b", SG_SEARCH_ANCESTOR), 0);
}

TEST(Search, DescendantModeEndsWithTheSubtree) {
  Doc c("<d><x>0</x><e><x>1</x></e></d><x>2</x>");
  EXPECT_EQ(Find(c, "x", SG_SEARCH_DESCENDANT, 1), 1);
  EXPECT_EQ(Tag(c), "1");
  EXPECT_EQ(sgGetLevel(c), 2u);
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_BASE_FIRST), 1);
  EXPECT_EQ(Find(c, "x", SG_SEARCH_DESCENDANT, 2), 0);
  EXPECT_EQ(Name(c), "d");
  ASSERT_EQ(Find(c, "x", SG_SEARCH_FIRST), 1);
  EXPECT_EQ(Find(c, "x", SG_SEARCH_DESCENDANT), 0);  // no child list
  ASSERT_EQ(Find(c, "e", SG_SEARCH_FIRST), 1);
  EXPECT_EQ(Find(c, "x", SG_SEARCH_DESCENDANT), 1);
  EXPECT_EQ(Tag(c), "1");
}

// Paths a/b: three matches, 0..2; c/b under an a and b at the top are not.
const char kPaths[] = "<a><b>0</b><c><b>no</b></c><b>1</b></a><b>no</b><A><B>2</B></A>";

TEST(Search, PathFirstCountsFullMatchesInDocumentOrder) {
  Doc c(kPaths);
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(FindPath(c, "a/b", SG_SEARCH_PATH_FIRST, i), 1) << i;
    EXPECT_EQ(Tag(c), std::to_string(i));
  }
  EXPECT_EQ(FindPath(c, "a/b", SG_SEARCH_PATH_FIRST, 3), 0);
  EXPECT_EQ(sgIsEmptyList(c), 1);
  EXPECT_EQ(sgGetLevel(c), 0u);
  EXPECT_EQ(FindPath(c, "a/c/b", SG_SEARCH_PATH_FIRST), 1);
  EXPECT_EQ(Tag(c), "no");
  EXPECT_EQ(sgMoveTo(c, SG_MOVE_PARENT), 1);  // its list is the cursor's list
  EXPECT_EQ(Name(c), "c");
  EXPECT_EQ(FindPath(c, "b", SG_SEARCH_PATH_FIRST), 1);
  EXPECT_EQ(sgGetLevel(c), 0u);
  EXPECT_EQ(FindPath(c, "a/b/x", SG_SEARCH_PATH_FIRST), 0);
  EXPECT_EQ(FindPath(c, "", SG_SEARCH_PATH_FIRST), 0);  // no names at all
  // Paths start at the base list.
  ASSERT_EQ(FindPath(c, "a/c", SG_SEARCH_PATH_FIRST), 1);
  ASSERT_EQ(sgSetBase(c, 1), 1);
  EXPECT_EQ(FindPath(c, "b", SG_SEARCH_PATH_FIRST), 1);
  EXPECT_EQ(Tag(c), "no");
  EXPECT_EQ(FindPath(c, "a/b", SG_SEARCH_PATH_FIRST), 0);
}

TEST(Search, PathNextContinuesAfterTheCurrentSubtree) {
  Doc c(kPaths);
  ASSERT_EQ(FindPath(c, "a/b", SG_SEARCH_PATH_FIRST), 1);
  std::vector<std::string> seen{Tag(c)};
  while (FindPath(c, "a/b", SG_SEARCH_PATH_NEXT)) seen.push_back(Tag(c));
  EXPECT_EQ(seen, (std::vector<std::string>{"0", "1", "2"}));
  EXPECT_EQ(Tag(c), "2");
  ASSERT_EQ(FindPath(c, "a/b", SG_SEARCH_PATH_FIRST), 1);
  EXPECT_EQ(FindPath(c, "a/b", SG_SEARCH_PATH_NEXT, 1), 1);
  EXPECT_EQ(Tag(c), "2");
  // From a top-level element the whole path is matched after it.
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_BASE), 1);
  ASSERT_EQ(Find(c, "b", SG_SEARCH_FIRST_SIBLING), 1);
  EXPECT_EQ(Tag(c), "no");
  EXPECT_EQ(FindPath(c, "a/b", SG_SEARCH_PATH_NEXT), 1);
  EXPECT_EQ(Tag(c), "2");
  // The current element's own subtree is not searched.
  ASSERT_EQ(FindPath(c, "a", SG_SEARCH_PATH_FIRST), 1);
  EXPECT_EQ(FindPath(c, "a/b", SG_SEARCH_PATH_NEXT), 1);
  EXPECT_EQ(Tag(c), "2");
  // Needs an element and at least one name.
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_LIST_HEAD), 1);
  EXPECT_EQ(FindPath(c, "a/b", SG_SEARCH_PATH_NEXT), 0);
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_FIRST), 1);
  EXPECT_EQ(FindPath(c, "", SG_SEARCH_PATH_NEXT), 0);
}

TEST(Search, PathNextFromADeeperElementUsesTheLaterNames) {
  // From a/c/b the walk tries the later siblings of b with "b", then those
  // of c with "c/b", then those of a with the whole path. A path shorter than
  // the current level has no name for the deepest levels; they are skipped.
  Doc c("<a><c><b>0</b><b>1</b></c><b>x</b><c><b>2</b></c></a><a><c><b>3</b></c></a>");
  ASSERT_EQ(FindPath(c, "a/c/b", SG_SEARCH_PATH_FIRST), 1);
  std::vector<std::string> seen{Tag(c)};
  while (FindPath(c, "a/c/b", SG_SEARCH_PATH_NEXT)) seen.push_back(Tag(c));
  EXPECT_EQ(seen, (std::vector<std::string>{"0", "1", "2", "3"}));
  ASSERT_EQ(FindPath(c, "a/c/b", SG_SEARCH_PATH_FIRST), 1);
  EXPECT_EQ(FindPath(c, "a/c", SG_SEARCH_PATH_NEXT), 1);  // from level 2, "c" at level 1
  EXPECT_EQ(Name(c), "c");
  EXPECT_EQ(sgGetLevel(c), 1u);
  EXPECT_EQ(sgGetChildCount(c), 1u);  // the second c, not the first
}

TEST(Search, NarrowNamesAndPathsUseTheSystemCodePage) {
  // r( 日本 ): the reader takes ASCII names only, so the tree is built by edits.
  SG_CURSOR c = sgCreateXMLW(nullptr, 0, 0);
  ASSERT_NE(c, nullptr);
  ASSERT_EQ(sgAddNodeA(c, "r", 1), 1);
  ASSERT_EQ(sgAddChildNodeW(c, Utf16("\xE6\x97\xA5\xE6\x9C\xAC").c_str(), 0), 1);
  ASSERT_EQ(sgSetInnerStrA(c, "1", -1), 1);
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_BASE), 1);
  const char nihon[] = "\x93\xFA\x96\x7B";  // Shift-JIS
  EXPECT_EQ(sgSearchA(c, nihon, SG_SEARCH_FIRST), 1);
  EXPECT_EQ(Tag(c), "1");
  EXPECT_EQ(sgSearchIndexA(c, Path(std::string("r/") + nihon).c_str(), SG_SEARCH_PATH_FIRST, 0), 1);
  EXPECT_EQ(Tag(c), "1");
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_BASE_FIRST), 1);
  EXPECT_EQ(sgSearchA(c, Path(std::string("r/") + nihon).c_str(), SG_SEARCH_PATH_NEXT), 0);
  EXPECT_EQ(sgSearchA(c, nihon, SG_SEARCH_CHILD), 1);
  EXPECT_EQ(Tag(c), "1");
  EXPECT_EQ(sgSearchA(c, "\x93\xFA", SG_SEARCH_FIRST), 0);  // half the name
  sgCloseXML(c);
}

// Names that start with a capital, a digit, a non-ASCII letter with a case
// partner or a mark that is no letter: each is found under its other-case
// spelling and only there, inserted in either form.
TEST(Search, NamesMatchWhateverTheirFirstUnit) {
  Doc c("<r></r>");
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_FIRST), 1);
  const std::vector<WString> names = {
      Utf16("Item"), Utf16("9lives"), Utf16("\xc3\x84rger"), Utf16("_u"), Utf16("-v"),
      Utf16("\xc5\xbftrange")};
  ASSERT_EQ(sgAddChildNodeW(c, names[0].c_str(), 0), 1);
  for (size_t i = 1; i < names.size(); ++i) ASSERT_EQ(sgAddNodeW(c, names[i].c_str(), 0), 1);
  ASSERT_EQ(sgAddNodeA(c, "Narrow", 0), 1);
  const struct {
    const char *query;  // UTF-8
    const char *found;  // UTF-8 name found, or null
  } cases[] = {
      {"item", "Item"},          {"ITEM", "Item"},       {"9LIVES", "9lives"},
      {"\xc3\xa4RGER", "\xc3\x84rger"}, {"_U", "_u"},  {"-V", "-v"},
      {"narrow", "Narrow"},      {"tem", nullptr},       {"lives", nullptr},
      {"rger", nullptr},         {"Items", nullptr},
  };
  for (const auto &k : cases) {
    SCOPED_TRACE(k.query);
    ASSERT_EQ(sgMoveTo(c, SG_MOVE_BASE_FIRST), 1);
    const int32_t found = sgSearchW(c, Utf16(k.query).c_str(), SG_SEARCH_FIRST);
    EXPECT_EQ(found, k.found ? 1 : 0);
    if (found && k.found) {
      EXPECT_EQ(Name(c), k.found);
    }
  }
}

// Elements with end tags and nothing between have empty child lists: the
// walks pass over them to the next sibling, or climb when they end a level.
TEST(Search, DocumentOrderPassesOverEmptyChildLists) {
  Doc c("<r><a>1</a><b>2<c>3</c></b><d>4</d></r><e>5</e>");
  const char *names[] = {"r", "a", "b", "c", "d", "e"};
  ASSERT_EQ(Find(c, "r", SG_SEARCH_FIRST), 1);
  for (int i = 1; i < 6; ++i) {
    ASSERT_EQ(Find(c, names[i], SG_SEARCH_NEXT), 1) << names[i];
    EXPECT_EQ(sgGetLevel(c), i == 5 ? 0u : i == 3 ? 2u : 1u) << names[i];
  }
  EXPECT_EQ(Find(c, "e", SG_SEARCH_NEXT), 0);
  ASSERT_EQ(Find(c, "e", SG_SEARCH_FIRST), 1);
  for (int i = 4; i >= 0; --i) ASSERT_EQ(Find(c, names[i], SG_SEARCH_PREV), 1) << names[i];
  ASSERT_EQ(Find(c, "a", SG_SEARCH_FIRST), 1);
  EXPECT_EQ(Find(c, "b", SG_SEARCH_DESCENDANT), 0);
  EXPECT_EQ(Tag(c), "1");
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
  ASSERT_EQ(Find(c, "x", SG_SEARCH_FIRST, 2), 1);
  for (uint32_t mode : {0u, 12u, 0xFFFFFFFFu}) {
    EXPECT_EQ(Find(c, "x", mode), 0) << mode;
    EXPECT_EQ(Tag(c), "2") << mode;
  }
  EXPECT_EQ(sgSearchW(c, nullptr, SG_SEARCH_FIRST), 0);
  EXPECT_EQ(sgSearchA(c, nullptr, SG_SEARCH_FIRST), 0);
  EXPECT_EQ(Tag(c), "2");
}

TEST(DeepTree, EverySearchModeOnAMillionLevels) {
  const int deep = 1000000;
  std::string text;
  text.reserve(3 * deep + 8);
  for (int i = 1; i < deep; ++i) text += "<a>";
  text += "<b>";
  std::string path;  // a/a/.../a/b as a string list
  path.reserve(2 * deep + 2);
  for (int i = 1; i < deep; ++i) path += std::string("a") + '\0';
  path += std::string("b") + '\0' + '\0';
  const uint32_t innermost = deep - 1;
  sprig_test::RunOnSmallStack([&] {
    Doc c(text);
    ASSERT_NE(static_cast<SG_CURSOR>(c), nullptr);
    EXPECT_EQ(Find(c, "zz", SG_SEARCH_FIRST), 0);
    ASSERT_EQ(Find(c, "b", SG_SEARCH_FIRST), 1);
    EXPECT_EQ(sgGetLevel(c), innermost);
    EXPECT_EQ(Find(c, "zz", SG_SEARCH_PREV), 0);
    EXPECT_EQ(Find(c, "zz", SG_SEARCH_ANCESTOR), 0);
    EXPECT_EQ(Find(c, "a", SG_SEARCH_ANCESTOR, deep - 2), 1);
    EXPECT_EQ(sgGetLevel(c), 0u);
    EXPECT_EQ(Find(c, "b", SG_SEARCH_DESCENDANT), 1);
    EXPECT_EQ(sgGetLevel(c), innermost);
    EXPECT_EQ(Find(c, "a", SG_SEARCH_PREV, deep - 2), 1);
    EXPECT_EQ(sgGetLevel(c), 0u);
    EXPECT_EQ(Find(c, "b", SG_SEARCH_NEXT), 1);
    EXPECT_EQ(Find(c, "b", SG_SEARCH_NEXT), 0);
    EXPECT_EQ(sgMoveTo(c, SG_MOVE_PARENT), 1);
    EXPECT_EQ(Find(c, "b", SG_SEARCH_CHILD), 1);
    EXPECT_EQ(Find(c, "b", SG_SEARCH_FIRST_SIBLING), 1);
    EXPECT_EQ(Find(c, "b", SG_SEARCH_NEXT_SIBLING), 0);
    EXPECT_EQ(Find(c, "b", SG_SEARCH_PREV_SIBLING), 0);
    ASSERT_EQ(sgSearchA(c, path.c_str(), SG_SEARCH_PATH_FIRST), 1);
    EXPECT_EQ(Name(c), "b");
    EXPECT_EQ(sgGetLevel(c), innermost);
    EXPECT_EQ(sgSearchA(c, path.c_str(), SG_SEARCH_PATH_NEXT), 0);
    EXPECT_EQ(Name(c), "b");
    // A path that matches all the way down but one level too short.
    const std::string shorter = path.substr(2);
    EXPECT_EQ(sgSearchA(c, shorter.c_str(), SG_SEARCH_PATH_FIRST), 0);
  });
}

}  // namespace
