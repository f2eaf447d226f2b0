// Note references through the public API: spans computed by each build, the
// four lookup modes around span borders, references that survive edits and
// lead nowhere once their element is deleted, and the document lifetime they
// extend, including a write-back that waits for the last note.
#include <gtest/gtest.h>

#include <string>

#include "api_util.h"

namespace {

using namespace api_test;

using sprig_test::TempDir;

// A second cursor on `cursor`'s document, standing on top-level element
// `index` (0 = first).
SG_CURSOR At(SG_CURSOR cursor, int index) {
  SG_CURSOR at = sgDupXML(cursor);
  EXPECT_NE(at, nullptr);
  EXPECT_EQ(sgMoveTo(at, SG_MOVE_FIRST), 1);
  for (int i = 0; i < index; ++i) EXPECT_EQ(sgMoveTo(at, SG_MOVE_NEXT), 1);
  return at;
}

// The name of the element a reference lookup lands on ("" for none or for a
// cursor without selection); closes the returned cursor.
std::string Found(SG_NOTE note, int32_t position, uint32_t mode) {
  SG_CURSOR found = sgNoteGetReferenceNode(note, position, mode);
  if (!found) return "";
  const char *name = sgGetNameA(found);
  std::string result = name ? name : "(no name)";
  sgCloseXML(found);
  return result;
}

class NoteRefTest : public ::testing::Test {
 protected:
  void SetUp() override {
    doc_ = sgParseXMLA("<a>1</a><b>2</b><c>3</c><d>4</d>", kNone);
    ASSERT_NE(doc_, nullptr);
    for (int i = 0; i < 4; ++i) at_[i] = At(doc_, i);
    note_ = sgCreateNoteA(doc_, "refs");
    ASSERT_NE(note_, nullptr);
  }
  void TearDown() override {
    for (SG_CURSOR at : at_) sgCloseXML(at);
    sgCloseXML(doc_);
  }
  // Appends `text` and makes it refer to top-level element `index` (-1: none).
  void Piece(const char *text, int index) {
    ASSERT_EQ(sgNoteAddStrA(note_, text, text), 1);
    if (index >= 0) {
      ASSERT_EQ(sgNoteSetReferenceNode(note_, at_[index]), 1);
    }
  }
  SG_CURSOR doc_ = nullptr;
  SG_CURSOR at_[4] = {};
  SG_NOTE note_ = nullptr;
};

using NoteRef = NoteRefTest;
using NoteRefMode = NoteRefTest;
using NoteRefEdit = NoteRefTest;

// ---- Spans ------------------------------------------------------------------

TEST_F(NoteRef, SpanRunsFromOwnerToLastPiece) {
  Piece("aa", 0);
  Piece("xx", -1);
  Piece("bb", 1);
  ASSERT_EQ(sgNoteSetReferenceNode(note_, at_[0]), 1);  // "bb" now refers to a too
  EXPECT_EQ(sgNoteSearchReferenceNode(note_, at_[0]), kNone);  // no build yet
  ASSERT_STREQ(sgNoteGetStrA(note_), "aaxxbb");
  EXPECT_EQ(sgNoteSearchReferenceNode(note_, at_[0]), 0u);
  // b's record kept no piece, so its span was never computed.
  EXPECT_EQ(sgNoteSearchReferenceNode(note_, at_[1]), kNone);
  EXPECT_EQ(sgNoteSearchReferenceNode(note_, at_[2]), kNone);
  // Inside the span but in an unreferring piece: mode 0 finds nothing, mode 3
  // finds the next referring piece.
  EXPECT_EQ(Found(note_, 3, 0), "");
  EXPECT_EQ(Found(note_, 3, 3), "a");
  EXPECT_EQ(Found(note_, 5, 0), "a");
  // Only "aa" owns a's record.
  EXPECT_EQ(Found(note_, 5, 0x100), "");
  EXPECT_EQ(Found(note_, 1, 0x100), "a");
}

TEST_F(NoteRef, SpansFollowTheUnitsOfEachBuild) {
  ASSERT_EQ(sgNoteAddStrW(note_, nullptr, Utf16("\xE3\x81\x82\xE3\x81\x82").c_str()), 1);
  Piece("b", 1);
  sgNoteGetStrW(note_);
  EXPECT_EQ(sgNoteSearchReferenceNode(note_, at_[1]), 2u);
  EXPECT_EQ(Found(note_, 2, 0), "b");
  sgNoteGetStrA(note_);
  EXPECT_EQ(sgNoteSearchReferenceNode(note_, at_[1]), 4u);
  EXPECT_EQ(Found(note_, 2, 0), "");
  EXPECT_EQ(Found(note_, 4, 0), "b");
  sgNoteGetStrListA(note_);
  EXPECT_EQ(sgNoteSearchReferenceNode(note_, at_[1]), 4u);
}

TEST_F(NoteRef, OneRecordPerElement) {
  Piece("aa", 0);
  ASSERT_EQ(sgNoteSetReferenceNode(note_, at_[0]), 1);
  ASSERT_EQ(sgNoteSetReferenceNode(note_, at_[1]), 1);  // the piece moves on to b
  sgNoteGetStrW(note_);
  EXPECT_EQ(sgNoteSearchReferenceNode(note_, at_[1]), 0u);
  EXPECT_EQ(sgNoteSearchReferenceNode(note_, at_[0]), kNone);
  EXPECT_EQ(Found(note_, 0, 0), "b");
  // The piece made both records, so it owns b's as well as a's.
  EXPECT_EQ(Found(note_, 0, 0x100), "b");
}

TEST_F(NoteRef, NeedsAPieceAndTargetsListHeads) {
  SG_NOTE empty = sgCreateNoteA(doc_, "empty");
  EXPECT_EQ(sgNoteSetReferenceNode(empty, at_[0]), 0);
  EXPECT_EQ(sgNoteSetReferenceNode(note_, nullptr), 0);

  SG_CURSOR head = sgDupXML(doc_);
  ASSERT_EQ(sgMoveTo(head, SG_MOVE_LIST_HEAD), 1);
  ASSERT_EQ(sgIsEmptyList(head), 1);
  uint32_t headId = 0;
  ASSERT_EQ(sgGetNodeID(head, &headId), 1);
  Piece("h", -1);
  ASSERT_EQ(sgNoteSetReferenceNode(note_, head), 1);
  sgNoteGetStrW(note_);
  EXPECT_EQ(sgNoteSearchReferenceNode(note_, head), 0u);
  SG_CURSOR found = sgNoteGetReferenceNode(note_, 0, 0);
  ASSERT_NE(found, nullptr);
  uint32_t foundId = 0;
  EXPECT_EQ(sgGetNodeID(found, &foundId), 1);
  EXPECT_EQ(foundId, headId);
  EXPECT_EQ(sgIsEmptyList(found), 1);
  sgCloseXML(found);
  sgCloseXML(head);
}

// ---- Lookup modes -----------------------------------------------------------

TEST_F(NoteRefMode, AroundSpanBorders) {
  Piece("aa", 0);  // 0..2
  Piece("bb", 1);  // 2..4
  Piece("cc", 2);  // 4..6
  sgNoteGetStrW(note_);
  // Mode 0: start <= p < end.
  EXPECT_EQ(Found(note_, 1, 0), "a");
  EXPECT_EQ(Found(note_, 2, 0), "b");
  EXPECT_EQ(Found(note_, 6, 0), "");
  // Mode 1: the nearest piece starting after p.
  EXPECT_EQ(Found(note_, 2, 1), "c");
  EXPECT_EQ(Found(note_, 1, 1), "b");
  EXPECT_EQ(Found(note_, -1, 1), "a");
  EXPECT_EQ(Found(note_, 4, 1), "");
  // Mode 2: the nearest piece ending before p.
  EXPECT_EQ(Found(note_, 4, 2), "a");
  EXPECT_EQ(Found(note_, 5, 2), "b");
  EXPECT_EQ(Found(note_, 2, 2), "");
  // Mode 3: covering, else the last piece before p.
  EXPECT_EQ(Found(note_, 3, 3), "b");
  EXPECT_EQ(Found(note_, 6, 3), "c");
  // Past every span.
  EXPECT_EQ(Found(note_, 100, 0), "");
  EXPECT_EQ(Found(note_, 100, 1), "");
  EXPECT_EQ(Found(note_, 100, 2), "c");
  EXPECT_EQ(Found(note_, 100, 3), "c");
  // Unknown modes find nothing; bits above the owner bit are ignored.
  EXPECT_EQ(Found(note_, 1, 4), "");
  EXPECT_EQ(Found(note_, 1, 0x10000), "a");
}

TEST_F(NoteRefMode, ThreeFallsBackToAnyPiece) {
  Piece("aa", 0);
  Piece("zz", -1);
  sgNoteGetStrA(note_);
  // The last piece before p has no reference: nothing.
  EXPECT_EQ(Found(note_, 9, 3), "");
  EXPECT_EQ(Found(note_, 9, 2), "a");
}

TEST_F(NoteRef, CursorStandsOnTheElement) {
  Piece("cc", 2);
  sgNoteGetStrW(note_);
  SG_CURSOR found = sgNoteGetReferenceNode(note_, 0, 0);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(sgNoteGetCount(found), 0u);
  EXPECT_EQ(sgGetIndex(found), 2u);
  ASSERT_EQ(sgMoveTo(found, SG_MOVE_NEXT), 1);
  EXPECT_STREQ(sgGetNameA(found), "d");
  ASSERT_EQ(sgMoveTo(found, SG_MOVE_FIRST), 1);
  EXPECT_STREQ(sgGetNameA(found), "a");
  sgCloseXML(found);
}

// ---- Edits and deletion -----------------------------------------------------

TEST_F(NoteRefEdit, SurvivesMovesAndLeadsNowhereAfterDelete) {
  Piece("bb", 1);
  Piece("cc", 2);
  sgNoteGetStrW(note_);
  // c moves to the front of its list; its reference follows it.
  ASSERT_EQ(sgMoveNode(at_[2], SG_MOVENODE_FIRST), 1);
  SG_CURSOR found = sgNoteGetReferenceNode(note_, 2, 0);
  ASSERT_NE(found, nullptr);
  EXPECT_STREQ(sgGetNameA(found), "c");
  EXPECT_EQ(sgGetIndex(found), 0u);
  sgCloseXML(found);

  // Deleting b leaves its piece pointing at nothing; c is untouched.
  ASSERT_STREQ(sgGetNameA(at_[1]), "b");
  ASSERT_EQ(sgDeleteNode(at_[1]), 1);  // at_[1] goes on to d
  EXPECT_EQ(Found(note_, 0, 0), "");
  EXPECT_EQ(Found(note_, 0, 1), "c");  // the dead piece is passed over
  EXPECT_EQ(Found(note_, 2, 0), "c");
  sgNoteGetStrA(note_);
  EXPECT_EQ(Found(note_, 0, 0), "");
  EXPECT_EQ(sgNoteSearchReferenceNode(note_, at_[2]), 2u);
  // The newest piece moves on to d: lookups follow at once, d's span waits
  // for the next build and c's record keeps the span it had.
  ASSERT_STREQ(sgGetNameA(at_[1]), "d");
  ASSERT_EQ(sgNoteSetReferenceNode(note_, at_[1]), 1);
  EXPECT_EQ(Found(note_, 2, 0), "d");
  EXPECT_EQ(sgNoteSearchReferenceNode(note_, at_[1]), kNone);
  sgNoteGetStrA(note_);
  EXPECT_EQ(sgNoteSearchReferenceNode(note_, at_[1]), 2u);
  EXPECT_EQ(sgNoteSearchReferenceNode(note_, at_[2]), 2u);
}

TEST_F(NoteRefEdit, DeletedSubtreeDetachesAllItsRecords) {
  SG_CURSOR tree = sgParseXMLA("<p><q><r/></q></p><s/>", kNone);
  ASSERT_NE(tree, nullptr);
  SG_CURSOR deep = sgDupXML(tree);
  ASSERT_EQ(sgSearchA(deep, "r", SG_SEARCH_FIRST), 1);
  ASSERT_EQ(sgNoteAddStrA(note_, nullptr, "r"), 1);
  ASSERT_EQ(sgNoteSetReferenceNode(note_, deep), 1);
  ASSERT_EQ(sgSearchA(deep, "q", SG_SEARCH_FIRST), 1);
  ASSERT_EQ(sgNoteAddStrA(note_, nullptr, "q"), 1);
  ASSERT_EQ(sgNoteSetReferenceNode(note_, deep), 1);
  sgNoteGetStrA(note_);
  EXPECT_EQ(Found(note_, 0, 0), "r");
  ASSERT_EQ(sgSearchA(deep, "p", SG_SEARCH_FIRST), 1);
  ASSERT_EQ(sgDeleteNode(deep), 1);
  EXPECT_EQ(Found(note_, 0, 0), "");
  EXPECT_EQ(Found(note_, 1, 0), "");
  sgCloseXML(deep);
  sgCloseXML(tree);
  EXPECT_EQ(Found(note_, 1, 2), "");
}

// ---- Document lifetime ------------------------------------------------------

class NoteLifetimeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.WriteFile("doc.xml", original_);
    home_ = sgCreateXMLW(nullptr, SG_ENC_UTF8, 0);
    ASSERT_NE(home_, nullptr);
  }
  void TearDown() override { sgCloseXML(home_); }
  // Opens the file, makes the document due for write-back with a changed
  // inner text, and returns the cursor standing on <item>.
  SG_CURSOR OpenChanged() {
    SG_CURSOR cursor = sgOpenXMLA(path_.c_str());
    EXPECT_NE(cursor, nullptr);
    if (!cursor) return nullptr;
    EXPECT_EQ(sgSearchA(cursor, "item", SG_SEARCH_FIRST), 1);
    EXPECT_EQ(sgSetInnerStrA(cursor, "changed", -1), 1);
    EXPECT_EQ(sgSetUpdateFlag(cursor, 1), 1);
    return cursor;
  }
  std::string Bytes() { return sprig_test::ReadFileBytes(path_); }
  SG_NOTE ReferTo(SG_CURSOR owner, SG_CURSOR target) {
    SG_NOTE note = sgCreateNoteA(owner, "n");
    EXPECT_EQ(sgNoteAddStrA(note, nullptr, "item"), 1);
    EXPECT_EQ(sgNoteSetReferenceNode(note, target), 1);
    return note;
  }
  const std::string original_ = "<root><item>old</item></root>";
  TempDir dir_;
  std::string path_;
  SG_CURSOR home_ = nullptr;
};

using NoteLifetime = NoteLifetimeTest;

TEST_F(NoteLifetime, WriteBackWaitsForTheNote) {
  SG_CURSOR other = OpenChanged();
  ASSERT_NE(other, nullptr);
  SG_NOTE note = ReferTo(home_, other);
  sgCloseXML(other);
  EXPECT_EQ(Bytes(), original_);
  // The document, tree included, is still reachable through the note.
  sgNoteGetStrW(note);
  SG_CURSOR found = sgNoteGetReferenceNode(note, 0, 0);
  ASSERT_NE(found, nullptr);
  EXPECT_STREQ(sgGetNameA(found), "item");
  EXPECT_STREQ(sgGetInnerStrA(found), "changed");
  EXPECT_EQ(sgGetUpdateFlag(found), 1u);
  sgDeleteNote(note);
  EXPECT_EQ(Bytes(), original_);  // the found cursor still holds it
  sgCloseXML(found);
  EXPECT_NE(Bytes(), original_);
  EXPECT_NE(Bytes().find("changed"), std::string::npos);
}

TEST_F(NoteLifetime, ClosingTheNotesCursorWritesBack) {
  SG_CURSOR other = OpenChanged();
  ASSERT_NE(other, nullptr);
  ReferTo(home_, other);
  ReferTo(home_, other);
  sgCloseXML(other);
  EXPECT_EQ(Bytes(), original_);
  sgCloseXML(home_);
  home_ = nullptr;
  EXPECT_NE(Bytes().find("changed"), std::string::npos);
  home_ = sgCreateXMLW(nullptr, SG_ENC_UTF8, 0);
}

TEST_F(NoteLifetime, OwnDocumentGoesAfterItsNotes) {
  SG_CURSOR own = OpenChanged();
  ASSERT_NE(own, nullptr);
  ReferTo(own, own);
  SG_NOTE second = ReferTo(own, own);
  sgNoteGetStrA(second);
  // The cursor releases its document before its notes: the last note's
  // release writes it back.
  sgCloseXML(own);
  EXPECT_NE(Bytes().find("changed"), std::string::npos);
}

TEST_F(NoteLifetime, DeletedCursorForbidsWriteBack) {
  SG_CURSOR other = OpenChanged();
  ASSERT_NE(other, nullptr);
  SG_NOTE note = ReferTo(home_, other);
  sgDeleteXML(other);
  sgDeleteNote(note);
  EXPECT_EQ(Bytes(), original_);
}

}  // namespace
