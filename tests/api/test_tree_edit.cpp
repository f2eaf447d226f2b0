// Deleting, moving, grafting and copying subtrees through the public API:
// where the cursor stands afterwards, what the saved file holds, that copies
// are new nodes (ids, tag numbers, positions) that evolve independently, and
// that a 1,000,000-deep subtree is deleted and copied on a 1 MB stack.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "api_util.h"

namespace {

using namespace api_test;

// Moves to the first element named `name` in document order from the base.
void Find(SG_CURSOR c, const char *name) {
  ASSERT_EQ(1, sgMoveTo(c, SG_MOVE_BASE));
  while (sgMoveTo(c, SG_MOVE_NEXT_IN_ORDER)) {
    if (Str(sgGetNameW(c)) == name) return;
  }
  FAIL() << "no element " << name;
}

class TreeEdit : public ::testing::Test {
 protected:
  void TearDown() override {
    if (c_) sgCloseXML(c_);
  }
  void Load(const char *utf8) {
    c_ = Parse(utf8);
    ASSERT_NE(nullptr, c_);
  }
  SG_CURSOR c_ = nullptr;
  sprig_test::TempDir dir_;
};

// ---- Delete ----------------------------------------------------------------

TEST_F(TreeEdit, DeleteMovesToNextThenPreviousThenOwner) {
  Load("<r><a/><b><x/></b><c/></r>");
  Find(c_, "b");
  ASSERT_EQ(1, sgDeleteNode(c_));
  EXPECT_EQ("c", Str(sgGetNameW(c_)));  // the next
  EXPECT_EQ("<r><a/><c/></r>", Saved(c_, dir_));
  ASSERT_EQ(1, sgDeleteNode(c_));
  EXPECT_EQ("a", Str(sgGetNameW(c_)));  // no next: the previous
  ASSERT_EQ(1, sgDeleteNode(c_));
  EXPECT_EQ("r", Str(sgGetNameW(c_)));  // none left: the owner
  EXPECT_EQ(0u, sgGetLevel(c_));
  EXPECT_EQ(0u, sgGetChildCount(c_));
  EXPECT_EQ(1, sgMoveTo(c_, SG_MOVE_INTO));  // the emptied list stays
  EXPECT_EQ("<r></r>", Saved(c_, dir_));
}

TEST_F(TreeEdit, DeletingTheOnlyTopLevelElementLeavesTheRootEmpty) {
  Load("<only><x/></only>");
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_BASE_FIRST));
  ASSERT_EQ(1, sgDeleteNode(c_));
  EXPECT_EQ(1, sgIsEmptyList(c_));
  EXPECT_EQ(1u, sgGetUpdateFlag(c_));
  EXPECT_EQ(0, sgMoveTo(c_, SG_MOVE_BASE_FIRST));
  EXPECT_EQ("", Saved(c_, dir_));
}

TEST_F(TreeEdit, DeleteRefusedWithoutSelection) {
  Load("<a/>");
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_BASE));
  EXPECT_EQ(0, sgDeleteNode(c_));
  EXPECT_EQ(0u, sgGetUpdateFlag(c_));
  EXPECT_EQ("<a/>", Saved(c_, dir_));
}

TEST_F(TreeEdit, DeleteInsideANarrowedBaseStaysInsideIt) {
  Load("<r><only/></r><s/>");
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_BASE_FIRST));
  ASSERT_EQ(1, sgSetBase(c_, 1));
  EXPECT_EQ("only", Str(sgGetNameW(c_)));
  ASSERT_EQ(1, sgDeleteNode(c_));
  EXPECT_EQ(1, sgIsEmptyList(c_));  // at the base's head, not above it
  EXPECT_EQ(0, sgMoveTo(c_, SG_MOVE_PARENT));
  ASSERT_EQ(1, sgSetBase(c_, 0));
  EXPECT_EQ("r", Str(sgGetNameW(c_)));
}

// ---- Move ------------------------------------------------------------------

TEST_F(TreeEdit, MoveNodeToEitherEndOfItsList) {
  Load("<r><a/><b/><c/></r>");
  Find(c_, "c");
  ASSERT_EQ(1, sgMoveNode(c_, SG_MOVENODE_FIRST));
  EXPECT_EQ(0u, sgGetIndex(c_));
  EXPECT_EQ("c", Str(sgGetNameW(c_)));
  EXPECT_EQ(1u, sgGetUpdateFlag(c_));
  EXPECT_EQ("<r><c/><a/><b/></r>", Saved(c_, dir_));
  ASSERT_EQ(1, sgMoveNode(c_, SG_MOVENODE_LAST));
  EXPECT_EQ(2u, sgGetIndex(c_));
  EXPECT_EQ(1u, sgGetLevel(c_));
  EXPECT_EQ("<r><a/><b/><c/></r>", Saved(c_, dir_));
}

TEST_F(TreeEdit, MoveNodeRefusals) {
  Load("<r><a/><b/></r>");
  Find(c_, "a");
  EXPECT_EQ(0, sgMoveNode(c_, 3));
  EXPECT_EQ(0, sgMoveNode(c_, 0));
  EXPECT_EQ(0u, sgGetUpdateFlag(c_));
  ASSERT_EQ(1, sgMoveNode(c_, SG_MOVENODE_FIRST));  // already first: still a change
  EXPECT_EQ(1u, sgGetUpdateFlag(c_));
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_LIST_HEAD));
  EXPECT_EQ(0, sgMoveNode(c_, SG_MOVENODE_LAST));
}

// ---- Insert a copy ---------------------------------------------------------

TEST_F(TreeEdit, InsertTreeAsChildFromAnotherDocumentMakesNewNodes) {
  Load("<doc><slot/></doc>");
  SG_CURSOR src = Parse("<item k='v'>t<sub>u</sub>w</item>tail");
  ASSERT_NE(nullptr, src);
  ASSERT_EQ(1, sgMoveTo(src, SG_MOVE_BASE_FIRST));
  const uint32_t srcId = Id(src);
  Find(c_, "slot");
  ASSERT_EQ(1, sgInsertTree(c_, src, SG_INSERT_CHILD));
  EXPECT_EQ("item", Str(sgGetNameW(c_)));
  EXPECT_EQ(2u, sgGetLevel(c_));
  EXPECT_NE(srcId, Id(c_));
  EXPECT_EQ(0xFFFFFFFFu, sgGetTagCount(c_));
  EXPECT_EQ(0xFFFFFFFFu, sgGetAttribPosW(c_, W("k").c_str(), 0));
  for (uint32_t s = 0; s < 3; ++s) EXPECT_EQ(0u, sgGetTagPos(c_, s));
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_FIRST_CHILD));
  EXPECT_EQ(0xFFFFFFFFu, sgGetTagCount(c_));
  EXPECT_EQ(0u, sgGetTagPos(c_, 1));
  EXPECT_EQ(1u, sgGetUpdateFlag(c_));
  EXPECT_EQ("<doc><slot><item k='v'>t<sub>u</sub>w</item>tail</slot></doc>", Saved(c_, dir_));
  // The source is untouched and keeps its parser positions.
  EXPECT_NE(0u, sgGetTagPos(src, 1));
  EXPECT_EQ(0u, sgGetTagCount(src));
  EXPECT_EQ(0u, sgGetUpdateFlag(src));
  sgCloseXML(src);
}

TEST_F(TreeEdit, InsertTreeFromAListHeadMovesAllCopiesAsOneChain) {
  Load("<r><m/><z/></r>");
  SG_CURSOR src = Parse("<p><a/><b/><c/></p>");
  ASSERT_NE(nullptr, src);
  ASSERT_EQ(1, sgMoveTo(src, SG_MOVE_BASE_FIRST));
  ASSERT_EQ(1, sgMoveTo(src, SG_MOVE_INTO));  // the head of a, b, c
  Find(c_, "m");
  ASSERT_EQ(1, sgInsertTree(c_, src, SG_INSERT_AFTER));
  EXPECT_EQ("c", Str(sgGetNameW(c_)));  // the last copy
  EXPECT_EQ(3u, sgGetIndex(c_));
  EXPECT_EQ("<r><m/><a></a><b></b><c></c><z/></r>", Saved(c_, dir_));
  Find(c_, "z");
  ASSERT_EQ(1, sgInsertTree(c_, src, SG_INSERT_BEFORE));
  EXPECT_EQ("a", Str(sgGetNameW(c_)));  // the first copy
  EXPECT_EQ(4u, sgGetIndex(c_));
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_LIST_HEAD));
  ASSERT_EQ(1, sgInsertTree(c_, src, SG_INSERT_APPEND));
  EXPECT_EQ("a", Str(sgGetNameW(c_)));
  EXPECT_EQ(8u, sgGetIndex(c_));
  EXPECT_EQ("<r><m/><a></a><b></b><c></c><a></a><b></b><c></c><z/><a></a><b></b><c></c></r>",
            Saved(c_, dir_));
  ASSERT_EQ(1, sgMoveTo(src, SG_MOVE_PARENT));
  EXPECT_EQ(3u, sgGetChildCount(src));  // the source list is untouched
  sgCloseXML(src);
}

TEST_F(TreeEdit, InsertTreeRefusalsChangeNothing) {
  Load("<r><a/></r>");
  SG_CURSOR src = Parse("<p></p><q/>");
  ASSERT_NE(nullptr, src);
  ASSERT_EQ(1, sgMoveTo(src, SG_MOVE_BASE_FIRST));
  ASSERT_EQ(1, sgMoveTo(src, SG_MOVE_INTO));  // an empty list
  Find(c_, "a");
  EXPECT_EQ(0, sgInsertTree(c_, src, SG_INSERT_APPEND));
  ASSERT_EQ(1, sgMoveTo(src, SG_MOVE_PARENT));
  EXPECT_EQ(0, sgInsertTree(c_, src, 4));
  EXPECT_EQ(0, sgInsertTree(c_, nullptr, SG_INSERT_APPEND));
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_LIST_HEAD));
  EXPECT_EQ(0, sgInsertTree(c_, src, SG_INSERT_BEFORE));  // needs an element
  EXPECT_EQ(0, sgInsertTree(c_, src, SG_INSERT_CHILD));
  EXPECT_EQ(1, sgIsEmptyList(c_));
  EXPECT_EQ(0u, sgGetUpdateFlag(c_));
  EXPECT_EQ("<r><a/></r>", Saved(c_, dir_));
  sgCloseXML(src);
}

TEST_F(TreeEdit, InsertTreeOfItselfCopiesTheElementAsItWasBefore) {
  Load("<a x='1'><b/></a>");
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_BASE_FIRST));
  ASSERT_EQ(1, sgInsertTree(c_, c_, SG_INSERT_CHILD));
  EXPECT_EQ(1u, sgGetLevel(c_));
  EXPECT_EQ(1u, sgGetIndex(c_));
  EXPECT_EQ("<a x='1'><b/><a x='1'><b></b></a></a>", Saved(c_, dir_));
  // Its own list head as source: the list is copied whole, then appended.
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_LIST_HEAD));
  ASSERT_EQ(1, sgInsertTree(c_, c_, SG_INSERT_APPEND));
  EXPECT_EQ(2u, sgGetIndex(c_));
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_PARENT));
  EXPECT_EQ(4u, sgGetChildCount(c_));
}

// ---- Copy the document -----------------------------------------------------

TEST_F(TreeEdit, CopyTreeCopiesTheWholeDocumentWhateverTheBase) {
  Load("<a><b><c/></b></a><d/>");
  Find(c_, "a");
  ASSERT_EQ(1, sgSetBase(c_, 1));
  SG_CURSOR copy = sgCopyTree(c_);
  ASSERT_NE(nullptr, copy);
  EXPECT_EQ("a", Str(sgGetNameW(copy)));
  EXPECT_EQ(0u, sgGetLevel(copy));
  EXPECT_EQ(0u, sgGetUpdateFlag(copy));
  EXPECT_EQ(sgGetXMLFlag(c_), sgGetXMLFlag(copy));
  EXPECT_EQ(sgGetEncoding(c_), sgGetEncoding(copy));
  EXPECT_EQ(nullptr, sgGetSrcXML(copy));
  EXPECT_EQ(0xFFFFFFFFu, sgGetTagCount(copy));
  EXPECT_EQ(0u, sgGetTagPos(copy, 2));
  // Copies are elements with end tags: an empty-element tag is not kept.
  EXPECT_EQ("<a><b><c></c></b></a><d></d>", Saved(copy, dir_, "copy.html"));
  EXPECT_EQ("<a><b><c/></b></a><d/>", Saved(c_, dir_, "src.html"));
  // Every copied node is new.
  std::vector<uint32_t> ids;
  ASSERT_EQ(1, sgSetBase(c_, 0));
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_BASE));
  while (sgMoveTo(c_, SG_MOVE_NEXT_IN_ORDER)) ids.push_back(Id(c_));
  ASSERT_EQ(4u, ids.size());
  ASSERT_EQ(1, sgMoveTo(copy, SG_MOVE_BASE));
  while (sgMoveTo(copy, SG_MOVE_NEXT_IN_ORDER)) {
    for (uint32_t id : ids) EXPECT_NE(id, Id(copy));
  }
  sgCloseXML(copy);
}

TEST_F(TreeEdit, CopyAndSourceEvolveIndependently) {
  sprig_test::TempDir dir;
  const std::string path = dir.WriteFile("page.html", "<p a='1'><b/></p>");
  SG_CURSOR c = sgOpenXMLA(path.c_str());
  ASSERT_NE(nullptr, c);
  SG_CURSOR copy = sgCopyTree(c);
  ASSERT_NE(nullptr, copy);
  ASSERT_EQ(1, sgSetAttribW(copy, W("a").c_str(), W("copy").c_str()));
  ASSERT_EQ(1, sgAddChildNodeW(copy, W("new").c_str(), 0));
  ASSERT_EQ(1, sgSetAttribW(c, W("a").c_str(), W("source").c_str()));
  Find(c, "b");
  ASSERT_EQ(1, sgDeleteNode(c));
  EXPECT_EQ("<p a=\"copy\"><b></b><new></p>", Saved(copy, dir, "copy.html"));
  EXPECT_EQ("<p a=\"source\"></p>", Saved(c, dir, "source.html"));
  sgCloseXML(copy);  // a copy is never written back
  EXPECT_EQ("<p a='1'><b/></p>", sprig_test::ReadFileBytes(path));
  sgCloseXML(c);  // the source is
  EXPECT_EQ("<p a=\"source\"></p>", sprig_test::ReadFileBytes(path));
}

TEST(TreeEditCopy, CopyOfAnEmptyDocumentStandsAtItsRoot) {
  SG_CURSOR c = sgCreateXMLW(nullptr, SG_ENC_UTF8, 0);
  ASSERT_NE(nullptr, c);
  SG_CURSOR copy = sgCopyTree(c);
  ASSERT_NE(nullptr, copy);
  EXPECT_EQ(1, sgIsEmptyList(copy));
  EXPECT_EQ(SG_ENC_UTF8, sgGetEncoding(copy));
  sgCloseXML(copy);
  sgCloseXML(c);
}

// ---- Depth -----------------------------------------------------------------

TEST(TreeEditDeep, MillionDeepSubtreeIsCopiedGraftedAndDeletedOnASmallStack) {
  constexpr uint32_t kDepth = 1000000;
  sprig_test::RunOnSmallStack([&] {
    SG_CURSOR c = sgCreateXMLW(nullptr, SG_ENC_UTF8, 0);
    ASSERT_NE(nullptr, c);
    const WString name = W("d");
    ASSERT_EQ(1, sgAddNodeW(c, name.c_str(), 0));
    for (uint32_t i = 1; i < kDepth; ++i) ASSERT_EQ(1, sgAddChildNodeW(c, name.c_str(), 0));
    ASSERT_EQ(kDepth - 1, sgGetLevel(c));

    SG_CURSOR copy = sgCopyTree(c);
    ASSERT_NE(nullptr, copy);
    sgCloseXML(copy);

    ASSERT_EQ(1, sgMoveTo(c, SG_MOVE_BASE_FIRST));
    ASSERT_EQ(1, sgInsertTree(c, c, SG_INSERT_AFTER));
    EXPECT_EQ(1u, sgGetIndex(c));
    ASSERT_EQ(1, sgMoveTo(c, SG_MOVE_FIRST));
    ASSERT_EQ(1, sgDeleteNode(c));
    EXPECT_EQ(0u, sgGetIndex(c));  // the copy remains
    sgCloseXML(c);
  });
}

}  // namespace
