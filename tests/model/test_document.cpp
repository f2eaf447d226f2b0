// Documents and cursors: creation with and without declaration, reference
// counting across duplicated cursors, document-level values, null handles,
// write-back on the last release, and the document copy.
#include <gtest/gtest.h>

#include <string>

#include "model/document.h"
#include "sprig.h"
#include "support.h"
#include "text/text.h"

using sprig_test::ReadFileBytes;
using sprig_test::TempDir;
using sprig_test::Utf16;
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
    EXPECT_EQ(AttribText(decl->attribs.next), "version=1.0/34");
    EXPECT_EQ(AttribText(decl->attribs.next->next), std::string("encoding=") + c.name + "/34");
    EXPECT_EQ(decl->attribs.next->namePos, -1);
    EXPECT_EQ(decl->attribs.next->valuePos, -1);
    EXPECT_EQ(sgGetUpdateFlag(handle), 1u);
    EXPECT_EQ(sgGetEncoding(handle), c.encoding);
    EXPECT_EQ(sgGetXMLFlag(handle), 1u);
    sgCloseXML(handle);  // no file name: nothing is written
  }
}

TEST(DocumentCreate, WithoutDeclarationIsEmptyAndUnchanged) {
  SG_CURSOR handle = sgCreateXMLA(nullptr, 65001, 0);
  ASSERT_NE(handle, nullptr);
  Cursor *cursor = AsCursor(handle);
  Document *doc = cursor->document;
  EXPECT_EQ(doc->root.next, &doc->root);
  EXPECT_EQ(cursor->current, &doc->root);
  EXPECT_EQ(cursor->base, &doc->root);
  EXPECT_EQ(doc->refCount, 1);
  EXPECT_EQ(sgGetUpdateFlag(handle), 0u);
  EXPECT_EQ(sgGetXMLFlag(handle), 0u);
  uint32_t id = 0;
  EXPECT_EQ(sgGetNodeID(handle, &id), 1);
  EXPECT_EQ(id, doc->root.id);  // no element: the root's id
  EXPECT_EQ(sgGetNodeID(handle, nullptr), 1);
  sgCloseXML(handle);
}

TEST(DocumentCreate, XmlFlagIsStoredUnchanged) {
  SG_CURSOR handle = sgCreateXMLW(nullptr, 0, 2);
  EXPECT_EQ(sgGetXMLFlag(handle), 2u);
  EXPECT_EQ(sgSetXMLFlag(handle, 7), 1);
  EXPECT_EQ(sgGetXMLFlag(handle), 7u);
  EXPECT_EQ(sgSetUpdateFlag(handle, 5), 1);
  EXPECT_EQ(sgGetUpdateFlag(handle), 5u);
  EXPECT_EQ(Version(), 0x202u);
  sgCloseXML(handle);
}

TEST(DocumentCursor, DuplicatesShareTheDocumentUntilTheLastCloses) {
  SG_CURSOR first = sgCreateXMLW(nullptr, 0, 1);
  SG_CURSOR second = sgDupXML(first);
  ASSERT_NE(second, nullptr);
  Document *doc = AsCursor(first)->document;
  EXPECT_EQ(AsCursor(second)->document, doc);
  EXPECT_EQ(AsCursor(second)->current, AsCursor(first)->current);
  EXPECT_EQ(AsCursor(second)->notes.next, &AsCursor(second)->notes);
  EXPECT_EQ(doc->refCount, 2);
  sgCloseXML(first);
  EXPECT_EQ(doc->refCount, 1);
  EXPECT_EQ(sgGetXMLFlag(second), 1u);  // still alive through the duplicate
  sgCloseXML(second);
}

TEST(DocumentCursor, NullHandlesFailWithoutHarm) {
  sgDeleteXML(nullptr);
  sgCloseXML(nullptr);
  EXPECT_EQ(sgDupXML(nullptr), nullptr);
  EXPECT_EQ(sgFlushXML(nullptr), 0);
  EXPECT_EQ(sgSaveAsW(nullptr, WTEXT("x"), 0), 0);
  EXPECT_EQ(sgGetSrcXML(nullptr), nullptr);
  uint32_t length = 99;
  EXPECT_EQ(sgGetTagSrc(nullptr, &length), nullptr);
  EXPECT_EQ(length, 99u);
  EXPECT_EQ(sgGetNodeID(nullptr, &length), 0);
  EXPECT_EQ(sgGetEncoding(nullptr), 0u);
  EXPECT_EQ(sgSetUpdateFlag(nullptr, 1), 0);
  EXPECT_EQ(sgOpenXMLA(nullptr), nullptr);
  EXPECT_EQ(sgParseXMLW(nullptr, 0), nullptr);
  SG_CURSOR handle = sgCreateXMLW(nullptr, 0, 1);
  EXPECT_EQ(sgGetTagSrc(handle, nullptr), nullptr);
  EXPECT_EQ(sgGetTagSrc(handle, &length), nullptr);  // no source text
  EXPECT_EQ(sgGetSrcXML(handle), nullptr);
  sgCloseXML(handle);
}

TEST(DocumentWriteBack, LastCloseWritesOnceAndDeleteForbidsIt) {
  TempDir dir;
  const std::string path = dir.File("made.xml");
  SG_CURSOR first = sgCreateXMLA(path.c_str(), SG_ENC_UTF8, 1);
  SG_CURSOR second = sgDupXML(first);
  sgCloseXML(first);
  EXPECT_FALSE(sprig_test::FileExists(path));  // a holder remains
  sgCloseXML(second);
  ASSERT_TRUE(sprig_test::FileExists(path));
  EXPECT_NE(ReadFileBytes(path).find("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"),
            std::string::npos);

  const std::string other = dir.File("deleted.xml");
  first = sgCreateXMLA(other.c_str(), 0, 1);
  second = sgDupXML(first);
  sgDeleteXML(first);
  sgCloseXML(second);
  EXPECT_FALSE(sprig_test::FileExists(other));
}

TEST(DocumentWriteBack, UnchangedDocumentIsNotWritten) {
  TempDir dir;
  const std::string path = dir.File("quiet.xml");
  sgCloseXML(sgCreateXMLA(path.c_str(), 0, 0));
  EXPECT_FALSE(sprig_test::FileExists(path));
}

TEST(DocumentWriteBack, FlushWritesClearsAndThenCloseStaysQuiet) {
  TempDir dir;
  const std::string path = dir.File("flushed.xml");
  SG_CURSOR handle = sgCreateXMLA(path.c_str(), 0, 1);
  EXPECT_EQ(sgFlushXML(handle), 1);
  EXPECT_EQ(sgGetUpdateFlag(handle), 0u);
  ASSERT_TRUE(sprig_test::FileExists(path));
  sprig_test::WriteFileBytes(path, "marker");
  EXPECT_EQ(sgFlushXML(handle), 0);  // nothing changed since
  sgCloseXML(handle);
  EXPECT_EQ(ReadFileBytes(path), "marker");
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
