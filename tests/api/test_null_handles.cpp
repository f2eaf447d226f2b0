// A null cursor or note given to any exported function gives that function's
// failure result (0, null, 0xFFFFFFFF or the caller's default) and never
// crashes; one table covers every family of the public header.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>

#include "api_util.h"

namespace {

using namespace api_test;

const SG_WCHAR kName[] = {'a', 0};

struct Call {
  const char *name;
  std::function<bool()> failed;  // true when the call gave its failure result
};

TEST(NullHandles, EveryFamilyGivesItsFailureResult) {
  uint32_t number = 99;
  const Call calls[] = {
      // Documents and cursors.
      {"sgDupXML", [] { return sgDupXML(nullptr) == nullptr; }},
      {"sgFlushXML", [] { return sgFlushXML(nullptr) == 0; }},
      {"sgSaveAsW", [] { return sgSaveAsW(nullptr, kName, 0) == 0; }},
      {"sgGetSrcXML", [] { return sgGetSrcXML(nullptr) == nullptr; }},
      {"sgGetTagSrc", [&] { return sgGetTagSrc(nullptr, &number) == nullptr && number == 99; }},
      {"sgGetNodeID", [&] { return sgGetNodeID(nullptr, &number) == 0; }},
      {"sgGetEncoding", [] { return sgGetEncoding(nullptr) == 0; }},
      {"sgSetUpdateFlag", [] { return sgSetUpdateFlag(nullptr, 1) == 0; }},
      {"sgOpenXMLA", [] { return sgOpenXMLA(nullptr) == nullptr; }},
      {"sgParseXMLW", [] { return sgParseXMLW(nullptr, 0) == nullptr; }},
      {"sgCloseXML", [] { sgCloseXML(nullptr), sgDeleteXML(nullptr); return true; }},
      // Navigation and search.
      {"sgMoveTo", [] { return sgMoveTo(nullptr, SG_MOVE_BASE) == 0; }},
      {"sgSeek", [] { return sgSeek(nullptr, 1) == 0; }},
      {"sgGetLevel", [] { return sgGetLevel(nullptr) == kNone; }},
      {"sgSetIndex", [] { return sgSetIndex(nullptr, 0) == kNone; }},
      {"sgTagIndex", [] { return sgTagIndex(nullptr) == kNone; }},
      {"sgIsEmptyList", [] { return sgIsEmptyList(nullptr) == 1; }},
      {"sgSetBase", [] { return sgSetBase(nullptr, 1) == 0; }},
      {"sgScanTree", [] { return sgScanTree(nullptr, nullptr, 0) == 0; }},
      {"sgSearchW", [] { return sgSearchW(nullptr, kName, SG_SEARCH_FIRST) == 0; }},
      {"sgSearchIndexA", [] { return sgSearchIndexA(nullptr, "a", SG_SEARCH_FIRST, 0) == 0; }},
      // Text fields.
      {"sgGetNameW", [] { return sgGetNameW(nullptr) == nullptr; }},
      {"sgSetInnerStrW", [] { return sgSetInnerStrW(nullptr, nullptr, -1) == 0; }},
      {"sgGetInnerTextA", [] { return sgGetInnerTextA(nullptr) == nullptr; }},
      // Attributes.
      {"sgSetAttribW", [] { return sgSetAttribW(nullptr, kName, kName) == 0; }},
      {"sgSetAttribStringA", [] { return sgSetAttribStringA(nullptr, "a", "b") == 0; }},
      {"sgSetAttribDWordW", [] { return sgSetAttribDWordW(nullptr, kName, 1) == 0; }},
      {"sgAttribPrintFW", [] { return sgAttribPrintFW(nullptr, kName, kName) == 0; }},
      {"sgGetAttribA", [] { return sgGetAttribA(nullptr, "a") == nullptr; }},
      {"sgGetAttribStringW", [] { return sgGetAttribStringW(nullptr, kName, kName) == kName; }},
      {"sgGetAttribIntA", [] { return sgGetAttribIntA(nullptr, "a", 9) == 9; }},
      {"sgGetAttribDWordW", [] { return sgGetAttribDWordW(nullptr, kName, 9) == 9; }},
      {"sgDoesAttribExistW", [] { return sgDoesAttribExistW(nullptr, kName) == 0; }},
      {"sgDeleteAttribA", [] { return sgDeleteAttribA(nullptr, "a") == 0; }},
      {"sgGetAttribCount", [] { return sgGetAttribCount(nullptr) == 0; }},
      {"sgGetAttribValueA", [] { return sgGetAttribValueA(nullptr, 0) == nullptr; }},
      {"sgGetAttribPosA", [] { return sgGetAttribPosA(nullptr, "a", 0) == kNone; }},
      // Insertion and tree edits.
      {"sgAddNodeW", [] { return sgAddNodeW(nullptr, kName, 0) == 0; }},
      {"sgAddNodePathA", [] { return sgAddNodePathA(nullptr, "x\0", 0) == 0; }},
      {"sgDeleteNode", [] { return sgDeleteNode(nullptr) == 0; }},
      {"sgMoveNode", [] { return sgMoveNode(nullptr, SG_MOVENODE_LAST) == 0; }},
      {"sgInsertTree", [] { return sgInsertTree(nullptr, nullptr, SG_INSERT_APPEND) == 0; }},
      {"sgCopyTree", [] { return sgCopyTree(nullptr) == nullptr; }},
      // Outer XML.
      {"sgGetOuterXMLW", [] { return sgGetOuterXMLW(nullptr) == nullptr; }},
      {"sgGetOuterXMLA", [] { return sgGetOuterXMLA(nullptr, 0) == nullptr; }},
      // Notes.
      {"sgCreateNoteA", [] { return sgCreateNoteA(nullptr, "x") == nullptr; }},
      {"sgNoteGetCount", [] { return sgNoteGetCount(nullptr) == 0; }},
      {"sgNoteGetByIndex", [] { return sgNoteGetByIndex(nullptr, 0) == nullptr; }},
      {"sgNoteGetByNameA", [] { return sgNoteGetByNameA(nullptr, "x") == nullptr; }},
      {"sgNoteAddStrLnW", [] { return sgNoteAddStrLnW(nullptr, nullptr, nullptr) == 0; }},
      {"sgNotePrintFA", [] { return sgNotePrintFA(nullptr, nullptr, "%d", 1) == 0; }},
      {"sgNoteGetStrW", [] { return sgNoteGetStrW(nullptr) == nullptr; }},
      {"sgNoteGetStrListA", [] { return sgNoteGetStrListA(nullptr) == nullptr; }},
      {"sgNoteGetPosA", [] { return sgNoteGetPosA(nullptr, "x") == kNone; }},
      {"sgNoteSetAttribA", [] { return sgNoteSetAttribA(nullptr, "x", "y") == 0; }},
      {"sgNoteGetAttribA", [] { return sgNoteGetAttribA(nullptr, "x") == nullptr; }},
      {"sgNoteDoesAttribExistW", [] { return sgNoteDoesAttribExistW(nullptr, nullptr) == 0; }},
      {"sgNoteSetReferenceNode", [] { return sgNoteSetReferenceNode(nullptr, nullptr) == 0; }},
      {"sgNoteGetReferenceNode", [] { return sgNoteGetReferenceNode(nullptr, 0, 0) == nullptr; }},
      {"sgNoteSearchReferenceNode",
       [] { return sgNoteSearchReferenceNode(nullptr, nullptr) == kNone; }},
      {"sgDeleteNote", [] { sgDeleteNote(nullptr); return true; }},
  };
  for (const Call &call : calls) EXPECT_TRUE(call.failed()) << call.name;

  // A live cursor without source text fails the source queries the same way.
  SG_CURSOR made = sgCreateXMLW(nullptr, 0, 1);
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(sgGetTagSrc(made, nullptr), nullptr);
  EXPECT_EQ(sgGetSrcXML(made), nullptr);
  sgCloseXML(made);
}

}  // namespace
