// Deleting, moving, grafting and copying subtrees through the public API:
// where the cursor stands afterwards, what the saved file holds, that copies
// are new nodes (ids, tag numbers, positions) that evolve independently, and
// that a 1,000,000-deep subtree is deleted and copied on a 1 MB stack.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "api_util.h"

namespace {

using namespace api_test;

class TreeEdit : public ::testing::Test {
 protected:
  void TearDown() override {
    if (c_) sgCloseXML(c_);
    if (src_) sgCloseXML(src_);
  }
  // Parses `utf8` into c_ and, when given, `source` into src_, standing on
  // its first top-level element.
  void Load(const char *utf8, const char *source = nullptr) {
    c_ = Parse(utf8);
    ASSERT_NE(nullptr, c_);
    if (!source) return;
    src_ = Parse(source);
    ASSERT_NE(nullptr, src_);
    ASSERT_EQ(1, sgMoveTo(src_, SG_MOVE_BASE_FIRST));
  }
  SG_CURSOR c_ = nullptr;
  SG_CURSOR src_ = nullptr;
  sprig_test::TempDir dir_;
};

// ---- Delete ----------------------------------------------------------------

TEST_F(TreeEdit, DeleteMovesToNextThenPreviousThenOwner) {
  Load("<r><a/><b><x/></b><c/></r>");
  ASSERT_EQ(1, sgSearchA(c_, "b", SG_SEARCH_FIRST));
  const char *const steps[][2] = {
      {"c@1.1", "<r><a/><c/></r>"},  // the next
      {"a@1.0", "<r><a/></r>"},      // no next: the previous
      {"r@0.0", "<r></r>"},          // none left: the owner
  };
  for (const auto &step : steps) {
    ASSERT_EQ(1, sgDeleteNode(c_));
    EXPECT_EQ(step[0], At(c_));
    EXPECT_EQ(step[1], Saved(c_, dir_));
  }
  EXPECT_EQ(0u, sgGetChildCount(c_));
  EXPECT_EQ(1, sgMoveTo(c_, SG_MOVE_INTO));  // the emptied list stays
}

TEST_F(TreeEdit, DeleteNeedsASelectionAndCanEmptyTheRoot) {
  Load("<only><x/></only>");
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_BASE));
  EXPECT_EQ(0, sgDeleteNode(c_));
  EXPECT_EQ(0u, sgGetUpdateFlag(c_));
  EXPECT_EQ("<only><x/></only>", Saved(c_, dir_));
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_BASE_FIRST));
  ASSERT_EQ(1, sgDeleteNode(c_));
  EXPECT_EQ("head@0", At(c_));
  EXPECT_EQ(1u, sgGetUpdateFlag(c_));
  EXPECT_EQ(0, sgMoveTo(c_, SG_MOVE_BASE_FIRST));
  EXPECT_EQ("", Saved(c_, dir_));
}

TEST_F(TreeEdit, DeletingTheLastOfANarrowedBaseGoesToItsOwner) {
  Load("<r><only/></r><s/>");
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_BASE_FIRST));
  ASSERT_EQ(1, sgSetBase(c_, 1));
  EXPECT_EQ("only@0.0", At(c_));
  ASSERT_EQ(1, sgDeleteNode(c_));
  // The owner and its list, although the emptied list is the cursor's base.
  EXPECT_EQ("r", Name(c_));
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_NEXT));
  EXPECT_EQ("s", Name(c_));
}

// ---- Move ------------------------------------------------------------------

TEST_F(TreeEdit, MoveNodeToEitherEndOfItsListOrRefuses) {
  Load("<r><a/><b/><c/></r>");
  ASSERT_EQ(1, sgSearchA(c_, "a", SG_SEARCH_FIRST));
  EXPECT_EQ(0, sgMoveNode(c_, 3));
  EXPECT_EQ(0, sgMoveNode(c_, 0));
  EXPECT_EQ(0u, sgGetUpdateFlag(c_));
  ASSERT_EQ(1, sgMoveNode(c_, SG_MOVENODE_FIRST));  // already first: still a change
  EXPECT_EQ(1u, sgGetUpdateFlag(c_));
  ASSERT_EQ(1, sgSetUpdateFlag(c_, 0));
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_LAST));
  ASSERT_EQ(1, sgMoveNode(c_, SG_MOVENODE_FIRST));
  EXPECT_EQ("c@1.0", At(c_));
  EXPECT_EQ(1u, sgGetUpdateFlag(c_));
  EXPECT_EQ("<r><c/><a/><b/></r>", Saved(c_, dir_));
  ASSERT_EQ(1, sgMoveNode(c_, SG_MOVENODE_LAST));
  EXPECT_EQ("c@1.2", At(c_));
  EXPECT_EQ("<r><a/><b/><c/></r>", Saved(c_, dir_));
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_LIST_HEAD));
  EXPECT_EQ(0, sgMoveNode(c_, SG_MOVENODE_LAST));
}

// ---- Insert a copy ---------------------------------------------------------

TEST_F(TreeEdit, InsertTreeAsChildFromAnotherDocumentMakesNewNodes) {
  Load("<doc><slot/></doc>", "<item k='v'>t<sub>u</sub>w</item>tail");
  const uint32_t srcId = Id(src_);
  ASSERT_EQ(1, sgSearchA(c_, "slot", SG_SEARCH_FIRST));
  ASSERT_EQ(1, sgInsertTree(c_, src_, SG_INSERT_CHILD));
  EXPECT_EQ("item@2.0", At(c_));
  EXPECT_NE(srcId, Id(c_));
  EXPECT_EQ("none 0 0 0", Tags(c_));
  EXPECT_EQ(0xFFFFFFFFu, sgGetAttribPosW(c_, W("k").c_str(), 0));
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_FIRST_CHILD));
  EXPECT_EQ("none 0 0 0", Tags(c_));
  EXPECT_EQ(1u, sgGetUpdateFlag(c_));
  EXPECT_EQ("<doc><slot><item k='v'>t<sub>u</sub>w</item>tail</slot></doc>", Saved(c_, dir_));
  // The source is untouched and keeps its parser positions.
  EXPECT_EQ("0 0 12 33", Tags(src_));
  EXPECT_EQ(0u, sgGetUpdateFlag(src_));
}

TEST_F(TreeEdit, InsertTreeFromAListHeadMovesAllCopiesAsOneChain) {
  Load("<r><m/><z/></r>", "<p><a/><b/><c/></p>");
  ASSERT_EQ(1, sgMoveTo(src_, SG_MOVE_INTO));  // the head of a, b, c
  ASSERT_EQ(1, sgSearchA(c_, "m", SG_SEARCH_FIRST));
  ASSERT_EQ(1, sgInsertTree(c_, src_, SG_INSERT_AFTER));
  EXPECT_EQ("c@1.3", At(c_));  // the last copy
  EXPECT_EQ("<r><m/><a></a><b></b><c></c><z/></r>", Saved(c_, dir_));
  ASSERT_EQ(1, sgSearchA(c_, "z", SG_SEARCH_FIRST));
  ASSERT_EQ(1, sgInsertTree(c_, src_, SG_INSERT_BEFORE));
  EXPECT_EQ("a@1.4", At(c_));  // the first copy
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_LIST_HEAD));
  ASSERT_EQ(1, sgInsertTree(c_, src_, SG_INSERT_APPEND));
  EXPECT_EQ("a@1.8", At(c_));
  EXPECT_EQ("<r><m/><a></a><b></b><c></c><a></a><b></b><c></c><z/><a></a><b></b><c></c></r>",
            Saved(c_, dir_));
  ASSERT_EQ(1, sgMoveTo(src_, SG_MOVE_PARENT));
  EXPECT_EQ(3u, sgGetChildCount(src_));  // the source list is untouched
}

TEST_F(TreeEdit, InsertTreeRefusalsChangeNothing) {
  Load("<r><a/></r>", "<p></p><q/>");
  ASSERT_EQ(1, sgMoveTo(src_, SG_MOVE_INTO));  // an empty list
  ASSERT_EQ(1, sgSearchA(c_, "a", SG_SEARCH_FIRST));
  EXPECT_EQ(0, sgInsertTree(c_, src_, SG_INSERT_APPEND));
  ASSERT_EQ(1, sgMoveTo(src_, SG_MOVE_PARENT));
  EXPECT_EQ(0, sgInsertTree(c_, src_, 4));
  EXPECT_EQ(0, sgInsertTree(c_, nullptr, SG_INSERT_APPEND));
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_LIST_HEAD));
  EXPECT_EQ(0, sgInsertTree(c_, src_, SG_INSERT_BEFORE));  // needs an element
  EXPECT_EQ(0, sgInsertTree(c_, src_, SG_INSERT_CHILD));
  EXPECT_EQ("head@1", At(c_));
  EXPECT_EQ(0u, sgGetUpdateFlag(c_));
  EXPECT_EQ("<r><a/></r>", Saved(c_, dir_));
}

TEST_F(TreeEdit, InsertTreeOfItselfCopiesTheElementAsItWasBefore) {
  Load("<a x='1'><b/></a>");
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_BASE_FIRST));
  ASSERT_EQ(1, sgInsertTree(c_, c_, SG_INSERT_CHILD));
  EXPECT_EQ("a@1.1", At(c_));
  EXPECT_EQ("<a x='1'><b/><a x='1'><b></b></a></a>", Saved(c_, dir_));
  // Its own list head as source: the list is copied whole, then appended.
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_LIST_HEAD));
  ASSERT_EQ(1, sgInsertTree(c_, c_, SG_INSERT_APPEND));
  EXPECT_EQ("b@1.2", At(c_));
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_PARENT));
  EXPECT_EQ(4u, sgGetChildCount(c_));
}

// ---- Copy the document -----------------------------------------------------

TEST_F(TreeEdit, CopyTreeCopiesTheWholeDocumentWhateverTheBase) {
  Load("<a><b><c/></b></a><d/>");
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_BASE_FIRST));
  ASSERT_EQ(1, sgSetBase(c_, 1));
  SG_CURSOR copy = sgCopyTree(c_);
  ASSERT_NE(nullptr, copy);
  EXPECT_EQ("a@0.0", At(copy));
  EXPECT_EQ("none 0 0 0", Tags(copy));
  EXPECT_EQ(0u, sgGetUpdateFlag(copy));
  EXPECT_EQ(sgGetXMLFlag(c_), sgGetXMLFlag(copy));
  EXPECT_EQ(sgGetEncoding(c_), sgGetEncoding(copy));
  EXPECT_EQ(nullptr, sgGetSrcXML(copy));
  // Copies are elements with end tags: an empty-element tag is not kept.
  EXPECT_EQ("<a><b><c></c></b></a><d></d>", Saved(copy, dir_, "copy.html"));
  EXPECT_EQ("<a><b><c/></b></a><d/>", Saved(c_, dir_, "src.html"));
  // Every copied node is new: the two documents hold 8 different ids.
  std::set<uint32_t> ids;
  ASSERT_EQ(1, sgSetBase(c_, 0));
  for (SG_CURSOR doc : {c_, copy}) {
    ASSERT_EQ(1, sgMoveTo(doc, SG_MOVE_BASE));
    while (sgMoveTo(doc, SG_MOVE_NEXT_IN_ORDER)) ids.insert(Id(doc));
  }
  EXPECT_EQ(8u, ids.size());
  sgCloseXML(copy);
}

TEST_F(TreeEdit, CopyAndSourceEvolveIndependently) {
  const std::string path = dir_.WriteFile("page.html", "<p a='1'><b/></p>");
  SG_CURSOR c = sgOpenXMLA(path.c_str());
  ASSERT_NE(nullptr, c);
  SG_CURSOR copy = sgCopyTree(c);
  ASSERT_NE(nullptr, copy);
  ASSERT_EQ(1, sgSetAttribW(copy, W("a").c_str(), W("copy").c_str()));
  ASSERT_EQ(1, sgAddChildNodeW(copy, W("new").c_str(), 0));
  ASSERT_EQ(1, sgSetAttribW(c, W("a").c_str(), W("source").c_str()));
  ASSERT_EQ(1, sgSearchA(c, "b", SG_SEARCH_FIRST));
  ASSERT_EQ(1, sgDeleteNode(c));
  EXPECT_EQ("<p a=\"copy\"><b></b><new></p>", Saved(copy, dir_, "copy.html"));
  EXPECT_EQ("<p a=\"source\"></p>", Saved(c, dir_, "source.html"));
  sgCloseXML(copy);  // a copy is never written back
  EXPECT_EQ("<p a='1'><b/></p>", sprig_test::ReadFileBytes(path));
  sgCloseXML(c);  // the source is
  EXPECT_EQ("<p a=\"source\"></p>", sprig_test::ReadFileBytes(path));
}

TEST_F(TreeEdit, CopyOfAnEmptyDocumentStandsAtItsRoot) {
  c_ = sgCreateXMLW(nullptr, SG_ENC_UTF8, 0);
  ASSERT_NE(nullptr, c_);
  SG_CURSOR copy = sgCopyTree(c_);
  ASSERT_NE(nullptr, copy);
  EXPECT_EQ("head@0", At(copy));
  EXPECT_EQ(SG_ENC_UTF8, sgGetEncoding(copy));
  sgCloseXML(copy);
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
