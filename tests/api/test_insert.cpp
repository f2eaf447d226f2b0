// Insertion of new elements through the public API: the place each function
// links to, the child-list flag, kinds, nameless elements, refusals that
// change nothing, and the find-or-create walk along a path of names.
//
// Tests marked "code page 932" rely on the system ANSI code page being
// Shift-JIS (the library's own default natively; LC_ALL=ja_JP.UTF-8 under Wine).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "api_util.h"

namespace {

using namespace api_test;

// A string list: each name ended by a zero, then one more zero.
WString PathW(std::initializer_list<const char *> names) {
  WString list;
  for (const char *name : names) {
    list += W(name);
    list.push_back(0);
  }
  list.push_back(0);
  return list;
}

// Names of the elements of the cursor's list, in order, read on a second
// cursor so that this one stays where it is.
std::string ListNames(SG_CURSOR c) {
  SG_CURSOR walk = sgDupXML(c);
  std::string names;
  for (int32_t more = sgMoveTo(walk, SG_MOVE_FIRST); more; more = sgMoveTo(walk, SG_MOVE_NEXT)) {
    names += (names.empty() ? "" : " ") + Name(walk);
  }
  sgCloseXML(walk);
  return names;
}

class Insert : public ::testing::Test {
 protected:
  void SetUp() override {
    c_ = sgCreateXMLW(nullptr, SG_ENC_UTF8, 0);
    ASSERT_NE(nullptr, c_);
  }
  void TearDown() override { sgCloseXML(c_); }
  SG_CURSOR c_ = nullptr;
  sprig_test::TempDir dir_;
};

// ---- Single insertion ------------------------------------------------------

TEST_F(Insert, AddNodeMakesTheFirstElementThenAppendsWhereverTheCursorStands) {
  EXPECT_EQ(0u, sgGetUpdateFlag(c_));
  ASSERT_EQ(1, sgAddNodeW(c_, W("a").c_str(), 0));
  EXPECT_EQ("a@0.0", At(c_));
  EXPECT_EQ(1u, sgGetUpdateFlag(c_));
  EXPECT_EQ("none 0 0 0", Tags(c_));
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_BASE));
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_BASE_FIRST));
  EXPECT_EQ("a@0.0", At(c_));
  EXPECT_EQ(0u, sgGetAttribCount(c_));
  EXPECT_EQ(nullptr, sgGetInnerStrW(c_));
  ASSERT_EQ(1, sgAddNodeA(c_, "b", 0));
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_FIRST));
  ASSERT_EQ(1, sgAddNode2W(c_, W("c").c_str(), 0, SG_KIND_ELEMENT));
  EXPECT_EQ("c@0.2", At(c_));
  EXPECT_EQ("a b c", ListNames(c_));
}

TEST_F(Insert, BeforeAndAfterTheCurrentElementOrAtTheListHead) {
  ASSERT_EQ(1, sgAddNodeW(c_, W("m").c_str(), 0));
  ASSERT_EQ(1, sgInsertNodeBeforeW(c_, W("b").c_str(), 0));
  EXPECT_EQ("b@0.0", At(c_));
  ASSERT_EQ(1, sgInsertNodeAfterA(c_, "c", 0));  // after b, before m
  EXPECT_EQ("c@0.1", At(c_));
  EXPECT_EQ("b c m", ListNames(c_));
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_LIST_HEAD));
  ASSERT_EQ(1, sgInsertNodeBeforeA(c_, "last", 0));  // at a head: the end
  EXPECT_EQ("last@0.3", At(c_));
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_LIST_HEAD));
  ASSERT_EQ(1, sgInsertNodeAfterW(c_, W("first").c_str(), 0));  // at a head: the start
  EXPECT_EQ("first@0.0", At(c_));
  EXPECT_EQ("first b c m last", ListNames(c_));
}

TEST_F(Insert, ChildListFlagAndKindShowInTheSavedFile) {
  ASSERT_EQ(1, sgAddNodeW(c_, W("div").c_str(), 1));
  EXPECT_EQ(0u, sgGetChildCount(c_));
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_INTO));  // it has a (still empty) child list
  EXPECT_EQ("head@1", At(c_));
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_BASE));
  ASSERT_EQ(1, sgAddNodeW(c_, W("br").c_str(), 0));
  EXPECT_EQ(0, sgMoveTo(c_, SG_MOVE_INTO));  // no child list
  ASSERT_EQ(1, sgAddNode2A(c_, "php", 0, SG_KIND_PI));
  EXPECT_EQ("<div></div><br><?php?>", Saved(c_, dir_));
}

TEST_F(Insert, NullNameMakesANamelessElementThatWritesOnlyItsContent) {
  ASSERT_EQ(1, sgAddNodeW(c_, nullptr, 0));
  EXPECT_EQ(nullptr, sgGetNameW(c_));
  ASSERT_EQ(1, sgAddChildNodeA(c_, "b", 0));
  ASSERT_EQ(1, sgSetAfterStrW(c_, W("x").c_str(), -1));
  EXPECT_EQ("<b>x", Saved(c_, dir_));
}

TEST_F(Insert, RefusalsChangeNothing) {
  EXPECT_EQ(0, sgAddChildNodeW(c_, W("x").c_str(), 0));  // empty document
  ASSERT_EQ(1, sgAddNodeW(c_, W("a").c_str(), 0));
  ASSERT_EQ(1, sgSetUpdateFlag(c_, 0));
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_LIST_HEAD));
  EXPECT_EQ(0, sgAddChildNodeW(c_, W("x").c_str(), 1));
  EXPECT_EQ(0, sgAddChildNodeA(c_, "x", 0));
  EXPECT_EQ(0u, sgGetUpdateFlag(c_));
  EXPECT_EQ("head@0", At(c_));
  EXPECT_EQ("<a>", Saved(c_, dir_));
}

// ---- Path insertion --------------------------------------------------------

TEST_F(Insert, PathCreatesEachLevelOnceAndReusesIt) {
  const WString path = PathW({"a", "b", "c"});
  ASSERT_EQ(1, sgAddNodePathW(c_, path.c_str(), 0));
  EXPECT_EQ("c@2.0", At(c_));
  EXPECT_EQ(1u, sgGetUpdateFlag(c_));
  const uint32_t first = Id(c_);

  ASSERT_EQ(1, sgSetUpdateFlag(c_, 0));
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_BASE));
  ASSERT_EQ(1, sgAddNodePathW(c_, path.c_str(), 0));
  EXPECT_EQ(first, Id(c_));
  EXPECT_EQ(0u, sgGetUpdateFlag(c_));
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_BASE));
  EXPECT_EQ("a", ListNames(c_));
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_BASE_FIRST));
  EXPECT_EQ(1u, sgGetChildCount(c_));  // a holds only b
}

TEST_F(Insert, PathWithEnterLeavesTheCursorInsideTheLastElement) {
  ASSERT_EQ(1, sgAddNodePathW(c_, PathW({"a", "b", "c"}).c_str(), 1));
  EXPECT_EQ("head@3", At(c_));
  ASSERT_EQ(1, sgAddNodeW(c_, W("d").c_str(), 0));
  EXPECT_EQ("d@3.0", At(c_));
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_PARENT));
  EXPECT_EQ("c@2.0", At(c_));
  // An existing last element with no child list gets an empty one without
  // counting as a change.
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_BASE));
  ASSERT_EQ(1, sgSetUpdateFlag(c_, 0));
  ASSERT_EQ(1, sgAddNodePathW(c_, PathW({"a", "b", "c", "d"}).c_str(), 1));
  EXPECT_EQ("head@4", At(c_));
  EXPECT_EQ(0u, sgGetUpdateFlag(c_));
}

TEST_F(Insert, PathMatchesNamesInAnyLetterCaseAndAnEmptyOneDoesNothing) {
  ASSERT_EQ(1, sgAddNodeW(c_, W("Body").c_str(), 0));
  ASSERT_EQ(1, sgSetUpdateFlag(c_, 0));
  const WString empty(2, 0);
  EXPECT_EQ(1, sgAddNodePathW(c_, empty.c_str(), 1));
  EXPECT_EQ(1, sgAddNodePathA(c_, "\0", 0));
  EXPECT_EQ("Body@0.0", At(c_));
  EXPECT_EQ(0u, sgGetUpdateFlag(c_));
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_BASE));
  ASSERT_EQ(1, sgAddNodePathA(c_, "BODY\0P\0", 0));
  EXPECT_EQ("P@1.0", At(c_));
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_PARENT));
  EXPECT_EQ("Body@0.0", At(c_));
  EXPECT_EQ(1u, sgGetUpdateFlag(c_));  // P was created
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_BASE));
  EXPECT_EQ("Body", ListNames(c_));
}

TEST_F(Insert, PathIsRelativeToTheCursorsList) {
  ASSERT_EQ(1, sgAddNodePathW(c_, PathW({"root"}).c_str(), 1));
  ASSERT_EQ(1, sgAddNodePathW(c_, PathW({"root", "x"}).c_str(), 0));
  EXPECT_EQ("x@2.0", At(c_));  // root/root/x, not root/x
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_BASE));
  EXPECT_EQ("root", ListNames(c_));
}

TEST_F(Insert, NarrowNamesAndPathsAreShiftJis) {  // code page 932
  ASSERT_EQ(1, sgAddNodePathA(c_, "\x96\xBC\x91\x4F\0\x95\x5C\0", 0));  // 名前 / 表
  EXPECT_EQ(W("\xE8\xA1\xA8"), WString(sgGetNameW(c_)));
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_PARENT));
  EXPECT_EQ(W("\xE5\x90\x8D\xE5\x89\x8D"), WString(sgGetNameW(c_)));
  EXPECT_STREQ("\x96\xBC\x91\x4F", sgGetNameA(c_));
  ASSERT_EQ(1, sgAddNodeA(c_, "\x95\x5C", 0));
  EXPECT_EQ(W("\xE8\xA1\xA8"), WString(sgGetNameW(c_)));
}

TEST_F(Insert, NewElementsJoinAParsedTreeAndItsSavedFile) {
  sgCloseXML(c_);
  c_ = Parse("<ul><li>one</li><li>two</li></ul>");
  ASSERT_NE(nullptr, c_);
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_BASE_FIRST));
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_LAST_CHILD));
  ASSERT_EQ(1, sgInsertNodeAfterW(c_, W("li").c_str(), 0));
  ASSERT_EQ(1, sgSetInnerStrW(c_, W("three").c_str(), -1));
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_FIRST));
  ASSERT_EQ(1, sgInsertNodeBeforeA(c_, "li", 1));
  EXPECT_EQ("<ul><li></li><li>one</li><li>two</li><li>three</li></ul>", Saved(c_, dir_));
}

}  // namespace
