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
  const char *text;
  std::function<bool()> failed;  // true when the call gave its failure result
};

// A call on null handles and the failure result it must give.
#define FAILS(call, failure) Call{#call, [&] { return (call) == (failure); }}

TEST(NullHandles, EveryFamilyGivesItsFailureResult) {
  uint32_t length = 99, id = 99;
  const Call calls[] = {
      // Documents and cursors.
      FAILS(sgDupXML(nullptr), nullptr), FAILS(sgFlushXML(nullptr), 0),
      FAILS(sgSaveAsW(nullptr, kName, 0), 0), FAILS(sgGetSrcXML(nullptr), nullptr),
      FAILS(sgGetTagSrc(nullptr, &length), nullptr), FAILS(sgGetNodeID(nullptr, &id), 0),
      FAILS(sgGetEncoding(nullptr), 0u), FAILS(sgSetUpdateFlag(nullptr, 1), 0),
      FAILS(sgOpenXMLA(nullptr), nullptr), FAILS(sgParseXMLW(nullptr, 0), nullptr),
      // Navigation and search.
      FAILS(sgMoveTo(nullptr, SG_MOVE_BASE), 0), FAILS(sgSeek(nullptr, 1), 0),
      FAILS(sgGetLevel(nullptr), kNone), FAILS(sgSetIndex(nullptr, 0), kNone),
      FAILS(sgTagIndex(nullptr), kNone), FAILS(sgIsEmptyList(nullptr), 1),
      FAILS(sgSetBase(nullptr, 1), 0), FAILS(sgScanTree(nullptr, nullptr, 0), 0),
      FAILS(sgSearchW(nullptr, kName, SG_SEARCH_FIRST), 0),
      FAILS(sgSearchIndexA(nullptr, "a", SG_SEARCH_FIRST, 0), 0),
      // Text fields.
      FAILS(sgGetNameW(nullptr), nullptr), FAILS(sgSetInnerStrW(nullptr, nullptr, -1), 0),
      FAILS(sgGetInnerTextA(nullptr), nullptr),
      // Attributes.
      FAILS(sgSetAttribW(nullptr, kName, kName), 0),
      FAILS(sgSetAttribStringA(nullptr, "a", "b"), 0),
      FAILS(sgSetAttribDWordW(nullptr, kName, 1), 0),
      FAILS(sgAttribPrintFW(nullptr, kName, kName), 0), FAILS(sgGetAttribA(nullptr, "a"), nullptr),
      FAILS(sgGetAttribStringW(nullptr, kName, kName), kName),
      FAILS(sgGetAttribIntA(nullptr, "a", 9), 9u), FAILS(sgGetAttribDWordW(nullptr, kName, 9), 9u),
      FAILS(sgDoesAttribExistW(nullptr, kName), 0), FAILS(sgDeleteAttribA(nullptr, "a"), 0),
      FAILS(sgGetAttribCount(nullptr), 0u), FAILS(sgGetAttribValueA(nullptr, 0), nullptr),
      FAILS(sgGetAttribPosA(nullptr, "a", 0), kNone),
      // Insertion and tree edits.
      FAILS(sgAddNodeW(nullptr, kName, 0), 0), FAILS(sgAddNodePathA(nullptr, "x\0", 0), 0),
      FAILS(sgDeleteNode(nullptr), 0), FAILS(sgMoveNode(nullptr, SG_MOVENODE_LAST), 0),
      FAILS(sgInsertTree(nullptr, nullptr, SG_INSERT_APPEND), 0),
      FAILS(sgCopyTree(nullptr), nullptr),
      // Outer XML.
      FAILS(sgGetOuterXMLW(nullptr), nullptr), FAILS(sgGetOuterXMLA(nullptr, 0), nullptr),
      // Notes.
      FAILS(sgCreateNoteA(nullptr, "x"), nullptr), FAILS(sgNoteGetCount(nullptr), 0u),
      FAILS(sgNoteGetByIndex(nullptr, 0), nullptr), FAILS(sgNoteGetByNameA(nullptr, "x"), nullptr),
      FAILS(sgNoteAddStrLnW(nullptr, nullptr, nullptr), 0),
      FAILS(sgNotePrintFA(nullptr, nullptr, "%d", 1), 0), FAILS(sgNoteGetStrW(nullptr), nullptr),
      FAILS(sgNoteGetStrListA(nullptr), nullptr), FAILS(sgNoteGetPosA(nullptr, "x"), kNone),
      FAILS(sgNoteSetAttribA(nullptr, "x", "y"), 0),
      FAILS(sgNoteGetAttribA(nullptr, "x"), nullptr),
      FAILS(sgNoteDoesAttribExistW(nullptr, nullptr), 0),
      FAILS(sgNoteSetReferenceNode(nullptr, nullptr), 0),
      FAILS(sgNoteGetReferenceNode(nullptr, 0, 0), nullptr),
      FAILS(sgNoteSearchReferenceNode(nullptr, nullptr), kNone),
  };
  for (const Call &call : calls) EXPECT_TRUE(call.failed()) << call.text;
  EXPECT_EQ(length, 99u);  // sgGetTagSrc wrote no length
  // Releasing null handles does nothing.
  sgCloseXML(nullptr);
  sgDeleteXML(nullptr);
  sgDeleteNote(nullptr);

  // A live cursor without source text fails the source queries the same way.
  Doc made(sgCreateXMLW(nullptr, 0, 1));
  ASSERT_NE(static_cast<SG_CURSOR>(made), nullptr);
  EXPECT_EQ(sgGetTagSrc(made, nullptr), nullptr);
  EXPECT_EQ(sgGetSrcXML(made), nullptr);
}

}  // namespace
