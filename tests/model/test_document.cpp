// Documents: the declaration a new document starts with, a flush that cannot
// create its file, and the document copy. Write-back through duplicated
// cursors is exercised through the public API in tests/api.
#include <gtest/gtest.h>

#include <string>

#include "notes/cursor_end.h"
#include "model/document.h"
#include "sprig.h"
#include "support.h"
#include "text/text.h"

using sprig_test::TempDir;
using sprig_test::Utf8;

namespace {

std::string AttribText(const Attrib *a) {
  return (a->name ? Utf8(a->name) : "") + "=" + (a->value ? Utf8(a->value) : "") + "/" +
         std::to_string(a->quote);
}

TEST(DocumentCreate, DeclarationNamesTheEncoding) {
  struct Case {
    uint32_t encoding;
    const char *name;
  } cases[] = {{SG_ENC_UTF8, "UTF-8"}, {SG_ENC_UTF7, "UTF-7"}, {0, "shift-jis"},
               {932, "shift-jis"}, {1252, "shift-jis"}};
  for (const Case &c : cases) {
    SG_CURSOR handle = sgCreateXMLW(nullptr, c.encoding, 1);
    ASSERT_NE(handle, nullptr);
    Cursor *cursor = AsCursor(handle);
    Document *doc = cursor->document;
    Node *decl = doc->root.next;
    ASSERT_NE(decl, &doc->root);
    EXPECT_EQ(decl->next, &doc->root);  // the only top-level node
    EXPECT_EQ(cursor->current, decl);
    EXPECT_EQ(decl->kind, kKindPi);
    EXPECT_EQ(Utf8(decl->name), "xml");
    ASSERT_EQ(decl->attribCount, 2u);
    ASSERT_NE(decl->attribs, nullptr);
    EXPECT_EQ(AttribText(decl->attribs->next), "version=1.0/34");
    EXPECT_EQ(AttribText(decl->attribs->next->next), std::string("encoding=") + c.name + "/34");
    EXPECT_EQ(decl->attribs->next->namePos, -1);
    EXPECT_EQ(decl->attribs->next->valuePos, -1);
    EXPECT_EQ(sgGetUpdateFlag(handle), 1u);
    EXPECT_EQ(sgGetEncoding(handle), c.encoding);
    EXPECT_EQ(sgGetXMLFlag(handle), 1u);
    sgCloseXML(handle);  // no file name: nothing is written
  }
}

TEST(DocumentWriteBack, FlushOfUncreatableFileStillClearsTheFlag) {
  TempDir dir;
  const std::string path = dir.File("missing-dir/x.xml");
  SG_CURSOR handle = sgCreateXMLA(path.c_str(), 0, 1);
  EXPECT_EQ(sgFlushXML(handle), 1);
  EXPECT_EQ(sgGetUpdateFlag(handle), 0u);
  sgCloseXML(handle);
}

TEST(DocumentCopy, CopiesEveryTopLevelNodeAndIsNeverWrittenBack) {
  SG_CURSOR handle = sgCreateXMLW(nullptr, SG_ENC_UTF7, 3);
  Document *doc = AsCursor(handle)->document;
  Node *extra = NodeCreate();
  NodeSetName(extra, WTEXT("root"), -1);
  NodeInsertBefore(&doc->root, extra);
  NodeInsertBefore(NodeCreateChildList(extra), NodeCreate());

  Document *copy = DocumentCopy(doc);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->xmlFlag, 3u);
  EXPECT_EQ(copy->encoding, SG_ENC_UTF7);
  EXPECT_EQ(copy->updateFlag, 0u);
  EXPECT_EQ(copy->writeOnClose, 0u);
  EXPECT_EQ(copy->fileName, nullptr);
  EXPECT_EQ(copy->source, nullptr);
  Node *first = copy->root.next;
  ASSERT_NE(first, &copy->root);
  EXPECT_EQ(Utf8(first->name), "xml");
  Node *second = first->next;
  EXPECT_EQ(Utf8(second->name), "root");
  EXPECT_NE(second->id, extra->id);
  ASSERT_NE(second->child, nullptr);
  EXPECT_EQ(second->next, &copy->root);
  Cursor *cursor = CursorCreate(copy);
  ASSERT_NE(cursor, nullptr);
  EXPECT_EQ(cursor->current, first);
  CursorClose(cursor);
  sgCloseXML(handle);
}

}  // namespace
