// Notes through the public API: the note list of a cursor, joined and listed
// results with the positions of named pieces, the two text forms of a piece,
// formatted pieces and note attributes. Narrow texts are in the system ANSI
// code page, Shift-JIS (932), on every build these tests run on.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "api_util.h"

namespace {

using namespace api_test;

WString Ws(const SG_WCHAR *text) { return text ? WString(text) : WString(); }

// The first `count` units of a result that holds zeros (empty for null).
template <typename Char>
std::basic_string<Char> Units(const Char *text, size_t count) {
  return text ? std::basic_string<Char>(text, count) : std::basic_string<Char>();
}

using Positions = std::vector<uint32_t>;

class Note : public ::testing::Test {
 protected:
  void SetUp() override {
    cursor_ = sgCreateXMLW(nullptr, SG_ENC_UTF8, 0);
    ASSERT_NE(cursor_, nullptr);
  }
  void TearDown() override { sgCloseXML(cursor_); }
  SG_NOTE NewNote(const char *name = "n") { return sgCreateNoteA(cursor_, name); }
  // The notes by index, from 0 to one past the count.
  std::vector<SG_NOTE> ByIndex() {
    std::vector<SG_NOTE> notes;
    for (uint32_t i = 0; i <= sgNoteGetCount(cursor_); ++i) {
      notes.push_back(sgNoteGetByIndex(cursor_, i));
    }
    return notes;
  }
  // The pieces "ab", "cd" (ending a line) and "ef", named p1..p3.
  SG_NOTE ThreePieces(bool narrow) {
    SG_NOTE note = NewNote();
    if (narrow) {
      EXPECT_EQ(sgNoteAddStrA(note, "p1", "ab"), 1);
      EXPECT_EQ(sgNoteAddStrLnA(note, "p2", "cd"), 1);
      EXPECT_EQ(sgNoteAddStrA(note, "p3", "ef"), 1);
    } else {
      EXPECT_EQ(sgNoteAddStrW(note, W("p1").c_str(), W("ab").c_str()), 1);
      EXPECT_EQ(sgNoteAddStrLnW(note, W("p2").c_str(), W("cd").c_str()), 1);
      EXPECT_EQ(sgNoteAddStrW(note, W("p3").c_str(), W("ef").c_str()), 1);
    }
    return note;
  }
  Positions Starts(SG_NOTE note) {
    return {sgNoteGetPosA(note, "p1"), sgNoteGetPosA(note, "p2"),
            sgNoteGetPosW(note, W("P3").c_str())};
  }
  SG_CURSOR cursor_ = nullptr;
};

// ---- The note list of a cursor ----------------------------------------------

TEST_F(Note, ListCountIndexNameAndDeletion) {
  SG_NOTE a1 = sgCreateNoteW(cursor_, W("a").c_str());
  SG_NOTE b = sgCreateNoteA(cursor_, "b");
  SG_NOTE a2 = sgCreateNoteA(cursor_, "a");
  ASSERT_TRUE(a1 && b && a2);
  EXPECT_EQ(ByIndex(), (std::vector<SG_NOTE>{a1, b, a2, nullptr}));
  EXPECT_EQ(sgNoteGetByNameW(cursor_, W("A").c_str()), a1);
  EXPECT_EQ(sgNoteGetByNameA(cursor_, "B"), b);
  EXPECT_EQ(sgNoteGetByNameA(cursor_, "c"), nullptr);
  // Deleting renumbers the others; a null note is ignored.
  sgDeleteNote(b);
  sgDeleteNote(nullptr);
  EXPECT_EQ(ByIndex(), (std::vector<SG_NOTE>{a1, a2, nullptr}));
  EXPECT_EQ(sgNoteGetByNameA(cursor_, "b"), nullptr);
  sgDeleteNote(a1);
  sgDeleteNote(a2);
  EXPECT_EQ(ByIndex(), std::vector<SG_NOTE>{nullptr});
}

TEST_F(Note, ListFindsNamelessAndNonAsciiNames) {
  SG_NOTE nameless = sgCreateNoteW(cursor_, nullptr);
  ASSERT_NE(nameless, nullptr);
  EXPECT_EQ(sgNoteGetByIndex(cursor_, 0), nameless);
  EXPECT_EQ(sgNoteGetByNameW(cursor_, W("").c_str()), nullptr);
  EXPECT_EQ(sgNoteGetByNameA(cursor_, ""), nullptr);
  // A Shift-JIS name and its UTF-16 form find the same note.
  SG_NOTE kana = sgCreateNoteA(cursor_, "\x82\xA0");
  EXPECT_EQ(sgNoteGetByNameW(cursor_, W("\xE3\x81\x82").c_str()), kana);
}

TEST_F(Note, ListBelongsToItsCursor) {
  SG_NOTE note = NewNote("kept");
  sgNoteAddStrA(note, "k", "text");
  sgNoteSetAttribA(note, "a", "1");
  SG_CURSOR dup = sgDupXML(cursor_);
  ASSERT_NE(dup, nullptr);
  EXPECT_EQ(sgNoteGetCount(dup), 0u);
  SG_NOTE own = sgCreateNoteA(dup, "own");
  sgNoteAddStrLnA(own, nullptr, "line");
  EXPECT_EQ(sgNoteGetByNameA(cursor_, "own"), nullptr);
  EXPECT_EQ(sgNoteGetByNameA(dup, "kept"), nullptr);
  sgCloseXML(dup);  // frees `own` with its piece
  EXPECT_EQ(sgNoteGetCount(cursor_), 1u);
}

// ---- Joined results ---------------------------------------------------------

TEST_F(Note, WideJoinsWithLineFeedNarrowWithCrLfInBytes) {
  SG_NOTE wide = ThreePieces(false);
  EXPECT_EQ(Starts(wide), (Positions{kNone, kNone, kNone}));
  EXPECT_EQ(Ws(sgNoteGetStrW(wide)), W("abcd\nef"));
  EXPECT_EQ(Starts(wide), (Positions{0, 2, 5}));
  SG_NOTE narrow = ThreePieces(true);
  EXPECT_STREQ(sgNoteGetStrA(narrow), "abcd\r\nef");
  EXPECT_EQ(Starts(narrow), (Positions{0, 2, 6}));
}

TEST_F(Note, PositionsInUnitsOfLastBuild) {
  SG_NOTE note = NewNote();
  // Two units, four bytes.
  sgNoteAddStrW(note, W("kana").c_str(), W("\xE3\x81\x82\xE3\x81\x84").c_str());
  sgNoteAddStrA(note, "tail", "z");
  sgNoteGetStrW(note);
  EXPECT_EQ(sgNoteGetPosA(note, "tail"), 2u);
  EXPECT_STREQ(sgNoteGetStrA(note), "\x82\xA0\x82\xA2z");
  EXPECT_EQ(sgNoteGetPosA(note, "tail"), 4u);
  sgNoteGetStrListW(note);
  EXPECT_EQ(sgNoteGetPosW(note, W("TAIL").c_str()), 2u);
}

TEST_F(Note, EmptyNoteAndTextlessPieces) {
  SG_NOTE note = NewNote();
  EXPECT_EQ(Ws(sgNoteGetStrW(note)), W(""));
  EXPECT_STREQ(sgNoteGetStrA(note), "");
  // Listed, an empty note is the empty list.
  EXPECT_EQ(Units(sgNoteGetStrListW(note), 2), WString(2, 0));
  EXPECT_EQ(Units(sgNoteGetStrListA(note), 2), std::string("\0\0", 2));
  EXPECT_EQ(sgNoteAddStrLnW(note, W("gap").c_str(), nullptr), 1);
  EXPECT_EQ(sgNoteAddStrA(note, "x", "x"), 1);
  // A piece without text takes no room, not even for its line break.
  EXPECT_EQ(Ws(sgNoteGetStrW(note)), W("x"));
  EXPECT_EQ(sgNoteGetPosA(note, "gap"), kNone);
  EXPECT_EQ(sgNoteGetPosA(note, "x"), 0u);
  EXPECT_EQ(sgNoteGetPosA(note, "absent"), kNone);
}

// ---- Listed results ---------------------------------------------------------

TEST_F(Note, ListedLinesCloseStringsAndEmptyLinesNothing) {
  SG_NOTE note = ThreePieces(false);
  EXPECT_EQ(Units(sgNoteGetStrListW(note), 9), W("abcd") + WString(1, 0) + W("ef") + WString(2, 0));
  EXPECT_EQ(Starts(note), (Positions{0, 2, 5}));
  EXPECT_EQ(Units(sgNoteGetStrListA(note), 9), std::string("abcd\0ef\0\0", 9));
  EXPECT_EQ(Starts(note), (Positions{0, 2, 5}));

  SG_NOTE gaps = NewNote();
  sgNoteAddStrLnA(gaps, "a", "a");
  sgNoteAddStrLnA(gaps, "empty", "");
  sgNoteAddStrLnA(gaps, "b", "b");
  sgNoteAddStrA(gaps, "c", "c");
  EXPECT_EQ(Units(sgNoteGetStrListA(gaps), 7), std::string("a\0b\0c\0\0", 7));
  EXPECT_EQ(sgNoteGetPosA(gaps, "empty"), 2u);
  EXPECT_EQ(sgNoteGetPosA(gaps, "b"), 2u);
  EXPECT_EQ(sgNoteGetPosA(gaps, "c"), 4u);
}

// ---- Text forms -------------------------------------------------------------

TEST_F(Note, NarrowBytesKeptExactly) {
  // Bytes that are not valid Shift-JIS survive a wide build untouched.
  const std::string odd = "\x81\xFF\x80 \xA0\xFD";
  SG_NOTE note = NewNote();
  sgNoteAddStrA(note, nullptr, odd.c_str());
  ASSERT_NE(sgNoteGetStrW(note), nullptr);
  EXPECT_EQ(std::string(sgNoteGetStrA(note)), odd);
  EXPECT_EQ(std::string(sgNoteGetStrListA(note)), odd);
}

TEST_F(Note, PrintFFormatsArgumentsAndCutsLongOutput) {
  SG_NOTE note = NewNote();
  EXPECT_EQ(
      sgNotePrintFW(note, W("w").c_str(), W("%d-%s|%04X").c_str(), -42, W("wide").c_str(), 0xBEEFu),
      1);
  EXPECT_EQ(sgNotePrintFA(note, "a", "[%u:%s:%c]", 7u, "narrow", 'q'), 1);
  EXPECT_EQ(Ws(sgNoteGetStrW(note)), W("-42-wide|BEEF[7:narrow:q]"));
  EXPECT_EQ(sgNoteGetPosA(note, "a"), 13u);
  EXPECT_EQ(sgNotePrintFA(note, nullptr, nullptr), 0);
  // Long output is cut instead of overrunning.
  SG_NOTE cut = NewNote();
  std::string longText(10000, 'x');
  WString longWide(10000, 'y');
  EXPECT_EQ(sgNotePrintFA(cut, "a", "%s%s", longText.c_str(), longText.c_str()), 1);
  EXPECT_EQ(sgNotePrintFW(cut, W("w").c_str(), W("%s").c_str(), longWide.c_str()), 1);
  std::string joined = sgNoteGetStrA(cut);
  uint32_t second = sgNoteGetPosA(cut, "w");
  ASSERT_LT(second, 4096u);
  EXPECT_GT(second, 0u);
  EXPECT_EQ(joined.substr(0, second), std::string(second, 'x'));
  EXPECT_LT(joined.size() - second, 4096u);
  EXPECT_EQ(joined.substr(second), std::string(joined.size() - second, 'y'));
}

// ---- Attributes -------------------------------------------------------------

TEST_F(Note, AttribSetGetDeleteAcrossForms) {
  SG_NOTE note = NewNote();
  EXPECT_EQ(sgNoteGetAttribW(note, W("color").c_str()), nullptr);
  EXPECT_EQ(sgNoteSetAttribW(note, W("Color").c_str(), W("red").c_str()), 1);
  EXPECT_EQ(Ws(sgNoteGetAttribW(note, W("COLOR").c_str())), W("red"));
  EXPECT_STREQ(sgNoteGetAttribA(note, "color"), "red");
  // A null value keeps an existing value and makes a new attribute valueless.
  EXPECT_EQ(sgNoteSetAttribW(note, W("color").c_str(), nullptr), 1);
  EXPECT_EQ(Ws(sgNoteGetAttribW(note, W("color").c_str())), W("red"));
  EXPECT_EQ(sgNoteSetAttribA(note, "flag", nullptr), 1);
  EXPECT_EQ(sgNoteDoesAttribExistA(note, "FLAG"), 1);
  EXPECT_EQ(sgNoteGetAttribW(note, W("flag").c_str()), nullptr);
  EXPECT_EQ(sgNoteGetAttribA(note, "flag"), nullptr);
  EXPECT_EQ(sgNoteSetAttribA(note, "COLOR", "blue"), 1);
  EXPECT_EQ(Ws(sgNoteGetAttribW(note, W("color").c_str())), W("blue"));

  EXPECT_EQ(sgNoteDeleteAttribW(note, W("color").c_str()), 1);
  EXPECT_EQ(sgNoteDeleteAttribW(note, W("color").c_str()), 0);
  EXPECT_EQ(sgNoteDoesAttribExistW(note, W("color").c_str()), 0);
  EXPECT_EQ(sgNoteDeleteAttribA(note, "Flag"), 1);
  EXPECT_EQ(sgNoteDoesAttribExistA(note, "flag"), 0);
  EXPECT_EQ(sgNoteGetAttribA(note, "flag"), nullptr);
  // Narrow names and values are Shift-JIS; the wide forms see their UTF-16.
  EXPECT_EQ(sgNoteSetAttribA(note, "\x96\xBC", "\x92\x6C"), 1);  // 名 = 値
  EXPECT_EQ(Ws(sgNoteGetAttribW(note, W("\xE5\x90\x8D").c_str())), W("\xE5\x80\xA4"));
  EXPECT_EQ(sgNoteSetAttribW(note, W("k").c_str(), W("\xE3\x81\x82").c_str()), 1);
  EXPECT_STREQ(sgNoteGetAttribA(note, "K"), "\x82\xA0");
  EXPECT_EQ(sgNoteDoesAttribExistW(note, W("\xE5\x90\x8D").c_str()), 1);
  EXPECT_EQ(sgNoteDeleteAttribA(note, "\x96\xBC"), 1);
  EXPECT_EQ(sgNoteDoesAttribExistA(note, "\x96\xBC"), 0);
  EXPECT_EQ(sgNoteDoesAttribExistA(note, "k"), 1);
}

}  // namespace
