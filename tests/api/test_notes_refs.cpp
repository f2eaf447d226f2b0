// Note references through the public API: spans computed by each build, the
// four lookup modes around span borders, references that survive edits and
// lead nowhere once their element is deleted, and the document lifetime they
// extend, including a write-back that waits for the last note.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <tuple>

#include "api_util.h"

namespace {

using namespace api_test;

// Checks lookups {position, mode, name}: the name of the element a reference
// lookup lands on, "" when it finds none.
using Lookup = std::tuple<int32_t, uint32_t, const char *>;
void ExpectFound(SG_NOTE note, std::initializer_list<Lookup> lookups) {
  for (const auto &[position, mode, name] : lookups) {
    SG_CURSOR found = sgNoteGetReferenceNode(note, position, mode);
    EXPECT_EQ(found ? Str(sgGetNameA(found)) : "", name) << "at " << position << ", mode " << mode;
    if (found) sgCloseXML(found);
  }
}

// A note of the document <a>1</a><b>2</b><c>3</c><d>4</d>, with a cursor on
// each of its four elements.
class NoteRef : public ::testing::Test {
 protected:
  void SetUp() override {
    doc_ = sgParseXMLA("<a>1</a><b>2</b><c>3</c><d>4</d>", kNone);
    ASSERT_NE(doc_, nullptr);
    for (uint32_t i = 0; i < 4; ++i) {
      at_[i] = sgDupXML(doc_);
      ASSERT_EQ(sgSetIndex(at_[i], i), 1u);
    }
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
  uint32_t Span(int index) { return sgNoteSearchReferenceNode(note_, at_[index]); }
  SG_CURSOR doc_ = nullptr;
  SG_CURSOR at_[4] = {};
  SG_NOTE note_ = nullptr;
};

// ---- Spans ------------------------------------------------------------------

TEST_F(NoteRef, SpanRunsFromOwnerToLastPiece) {
  Piece("aa", 0);
  Piece("xx", -1);
  Piece("bb", 1);
  ASSERT_EQ(sgNoteSetReferenceNode(note_, at_[0]), 1);  // "bb" now refers to a too
  EXPECT_EQ(Span(0), kNone);                            // no build yet
  ASSERT_STREQ(sgNoteGetStrA(note_), "aaxxbb");
  EXPECT_EQ(Span(0), 0u);
  // b's record kept no piece, so its span was never computed.
  EXPECT_EQ(Span(1), kNone);
  EXPECT_EQ(Span(2), kNone);
  // Inside the span but in an unreferring piece: mode 0 finds nothing, mode 3
  // finds the next referring piece. Only "aa" owns a's record (bit 0x100).
  ExpectFound(note_, {{3, 0, ""}, {3, 3, "a"}, {5, 0, "a"}, {5, 0x100, ""}, {1, 0x100, "a"}});
}

TEST_F(NoteRef, SpansFollowTheUnitsOfEachBuild) {
  ASSERT_EQ(sgNoteAddStrW(note_, nullptr, Utf16("\xE3\x81\x82\xE3\x81\x82").c_str()), 1);
  Piece("b", 1);
  sgNoteGetStrW(note_);
  EXPECT_EQ(Span(1), 2u);
  ExpectFound(note_, {{2, 0, "b"}});
  sgNoteGetStrA(note_);
  EXPECT_EQ(Span(1), 4u);
  ExpectFound(note_, {{2, 0, ""}, {4, 0, "b"}});
  sgNoteGetStrListA(note_);
  EXPECT_EQ(Span(1), 4u);
}

TEST_F(NoteRef, OneRecordPerElement) {
  Piece("aa", 0);
  ASSERT_EQ(sgNoteSetReferenceNode(note_, at_[0]), 1);
  ASSERT_EQ(sgNoteSetReferenceNode(note_, at_[1]), 1);  // the piece moves on to b
  sgNoteGetStrW(note_);
  EXPECT_EQ(Span(1), 0u);
  EXPECT_EQ(Span(0), kNone);
  // The piece made both records, so it owns b's as well as a's.
  ExpectFound(note_, {{0, 0, "b"}, {0, 0x100, "b"}});
}

TEST_F(NoteRef, NeedsAPieceAndTargetsListHeads) {
  EXPECT_EQ(sgNoteSetReferenceNode(sgCreateNoteA(doc_, "empty"), at_[0]), 0);
  EXPECT_EQ(sgNoteSetReferenceNode(note_, nullptr), 0);

  SG_CURSOR head = at_[3];
  ASSERT_EQ(sgMoveTo(head, SG_MOVE_LIST_HEAD), 1);
  ASSERT_EQ(sgIsEmptyList(head), 1);
  Piece("h", -1);
  ASSERT_EQ(sgNoteSetReferenceNode(note_, head), 1);
  sgNoteGetStrW(note_);
  EXPECT_EQ(sgNoteSearchReferenceNode(note_, head), 0u);
  SG_CURSOR found = sgNoteGetReferenceNode(note_, 0, 0);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(Id(found), Id(head));
  EXPECT_EQ(sgIsEmptyList(found), 1);
  sgCloseXML(found);
}

TEST_F(NoteRef, FoundCursorStandsOnTheElement) {
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

// ---- Lookup modes -----------------------------------------------------------

TEST_F(NoteRef, ModesAroundSpanBorders) {
  Piece("aa", 0);  // 0..2
  Piece("bb", 1);  // 2..4
  Piece("cc", 2);  // 4..6
  sgNoteGetStrW(note_);
  // Mode 0: start <= p < end.
  ExpectFound(note_, {{1, 0, "a"}, {2, 0, "b"}, {6, 0, ""}});
  // Mode 1: the nearest piece starting after p.
  ExpectFound(note_, {{2, 1, "c"}, {1, 1, "b"}, {-1, 1, "a"}, {4, 1, ""}});
  // Mode 2: the nearest piece ending before p.
  ExpectFound(note_, {{4, 2, "a"}, {5, 2, "b"}, {2, 2, ""}});
  // Mode 3: covering, else the last piece before p.
  ExpectFound(note_, {{3, 3, "b"}, {6, 3, "c"}});
  // Past every span.
  ExpectFound(note_, {{100, 0, ""}, {100, 1, ""}, {100, 2, "c"}, {100, 3, "c"}});
  // Unknown modes find nothing; bits above the owner bit are ignored.
  ExpectFound(note_, {{1, 4, ""}, {1, 0x10000, "a"}});
}

TEST_F(NoteRef, ModeThreeFallsBackToAnyPiece) {
  Piece("aa", 0);
  Piece("zz", -1);
  sgNoteGetStrA(note_);
  // The last piece before p has no reference: nothing.
  ExpectFound(note_, {{9, 3, ""}, {9, 2, "a"}});
}

// ---- Edits and deletion -----------------------------------------------------

TEST_F(NoteRef, SurvivesMovesAndLeadsNowhereAfterDelete) {
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

  // Deleting b leaves its piece pointing at nothing (mode 1 passes it over);
  // c is untouched.
  ASSERT_STREQ(sgGetNameA(at_[1]), "b");
  ASSERT_EQ(sgDeleteNode(at_[1]), 1);  // at_[1] goes on to d
  ExpectFound(note_, {{0, 0, ""}, {0, 1, "c"}, {2, 0, "c"}});
  sgNoteGetStrA(note_);
  ExpectFound(note_, {{0, 0, ""}});
  EXPECT_EQ(Span(2), 2u);
  // The newest piece moves on to d: lookups follow at once, d's span waits
  // for the next build and c's record keeps the span it had.
  ASSERT_STREQ(sgGetNameA(at_[1]), "d");
  ASSERT_EQ(sgNoteSetReferenceNode(note_, at_[1]), 1);
  ExpectFound(note_, {{2, 0, "d"}});
  EXPECT_EQ(Span(1), kNone);
  sgNoteGetStrA(note_);
  EXPECT_EQ(Span(1), 2u);
  EXPECT_EQ(Span(2), 2u);
}

TEST_F(NoteRef, DeletedSubtreeDetachesAllItsRecords) {
  SG_CURSOR tree = sgParseXMLA("<p><q><r/></q></p><s/>", kNone);
  ASSERT_NE(tree, nullptr);
  SG_CURSOR deep = sgDupXML(tree);
  for (const char *name : {"r", "q"}) {
    ASSERT_EQ(sgSearchA(deep, name, SG_SEARCH_FIRST), 1);
    ASSERT_EQ(sgNoteAddStrA(note_, nullptr, name), 1);
    ASSERT_EQ(sgNoteSetReferenceNode(note_, deep), 1);
  }
  sgNoteGetStrA(note_);
  ExpectFound(note_, {{0, 0, "r"}});
  ASSERT_EQ(sgSearchA(deep, "p", SG_SEARCH_FIRST), 1);
  ASSERT_EQ(sgDeleteNode(deep), 1);
  ExpectFound(note_, {{0, 0, ""}, {1, 0, ""}});
  sgCloseXML(deep);
  sgCloseXML(tree);
  ExpectFound(note_, {{1, 2, ""}});
}

// ---- Document lifetime ------------------------------------------------------

// A file whose document, opened as other_, has a changed <item> and is due
// for write-back; home_ is a document of no file.
class NoteLifetime : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.WriteFile("doc.xml", original_);
    home_ = sgCreateXMLW(nullptr, SG_ENC_UTF8, 0);
    ASSERT_NE(home_, nullptr);
    other_ = sgOpenXMLA(path_.c_str());
    ASSERT_NE(other_, nullptr);
    ASSERT_EQ(sgSearchA(other_, "item", SG_SEARCH_FIRST), 1);
    ASSERT_EQ(sgSetInnerStrA(other_, "changed", -1), 1);
    ASSERT_EQ(sgSetUpdateFlag(other_, 1), 1);
  }
  void TearDown() override {
    if (home_) sgCloseXML(home_);
  }
  std::string Bytes() { return sprig_test::ReadFileBytes(path_); }
  SG_NOTE ReferTo(SG_CURSOR owner, SG_CURSOR target) {
    SG_NOTE note = sgCreateNoteA(owner, "n");
    EXPECT_EQ(sgNoteAddStrA(note, nullptr, "item"), 1);
    EXPECT_EQ(sgNoteSetReferenceNode(note, target), 1);
    return note;
  }
  const std::string original_ = "<root><item>old</item></root>";
  sprig_test::TempDir dir_;
  std::string path_;
  SG_CURSOR home_ = nullptr;
  SG_CURSOR other_ = nullptr;
};

TEST_F(NoteLifetime, WriteBackWaitsForTheNote) {
  SG_NOTE note = ReferTo(home_, other_);
  sgCloseXML(other_);
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
  EXPECT_NE(Bytes().find("changed"), std::string::npos);
}

TEST_F(NoteLifetime, ClosingTheNotesCursorWritesBack) {
  ReferTo(home_, other_);
  ReferTo(home_, other_);
  sgCloseXML(other_);
  EXPECT_EQ(Bytes(), original_);
  sgCloseXML(home_);
  home_ = nullptr;
  EXPECT_NE(Bytes().find("changed"), std::string::npos);
}

TEST_F(NoteLifetime, OwnDocumentGoesAfterItsNotes) {
  ReferTo(other_, other_);
  SG_NOTE second = ReferTo(other_, other_);
  sgNoteGetStrA(second);
  // The cursor releases its document before its notes: the last note's
  // release writes it back.
  sgCloseXML(other_);
  EXPECT_NE(Bytes().find("changed"), std::string::npos);
}

TEST_F(NoteLifetime, DeletedCursorForbidsWriteBack) {
  SG_NOTE note = ReferTo(home_, other_);
  sgDeleteXML(other_);
  sgDeleteNote(note);
  EXPECT_EQ(Bytes(), original_);
}

}  // namespace
