// Exported entry points of the document and cursor family: create, open,
// parse, duplicate, close, delete, flush, save, source text, document-level
// values and Version. Each checks its handle and calls the model, the reader
// or the writer.
#include "model/document.h"
#include "notes/cursor_end.h"
#include "output/release.h"
#include "output/writer.h"
#include "parse/source_text.h"
#include "sprig.h"

namespace {

// Wraps a freshly made document in its first cursor; on failure the
// document is destroyed (without write-back: nothing has changed it).
SG_CURSOR FirstCursor(Document *document) {
  Cursor *cursor = CursorCreate(document);
  if (!cursor) {
    DocumentRelease(document);
    return nullptr;
  }
  return AsHandle(cursor);
}

Document *DocumentOf(SG_CURSOR handle) {
  Cursor *cursor = AsCursor(handle);
  return cursor ? cursor->document : nullptr;
}

SG_CURSOR CreateDocument(Document *document, uint32_t encoding, uint32_t withDecl) {
  document->encoding = encoding;
  SG_CURSOR handle = FirstCursor(document);
  if (handle && withDecl) DocumentAddDeclaration(AsCursor(handle), encoding);
  return handle;
}

}  // namespace

SG_API SG_CURSOR SG_CALL sgCreateXMLW(const SG_WCHAR *fileName, uint32_t encoding, uint32_t withDecl) {
  Document *document = DocumentCreate(withDecl);
  if (!document) return nullptr;
  DocumentSetFileName(document, fileName);
  return CreateDocument(document, encoding, withDecl);
}

SG_API SG_CURSOR SG_CALL sgCreateXMLA(const char *fileName, uint32_t encoding, uint32_t withDecl) {
  Document *document = DocumentCreate(withDecl);
  if (!document) return nullptr;
  DocumentSetFileNameA(document, fileName);
  return CreateDocument(document, encoding, withDecl);
}

SG_API SG_CURSOR SG_CALL sgOpenXMLW(const SG_WCHAR *fileName) {
  if (!fileName) return nullptr;
  Document *document = DocumentCreate(0);
  if (!document) return nullptr;
  if (!ParseDocumentFromFileW(document, fileName)) {
    DocumentRelease(document);
    return nullptr;
  }
  DocumentSetFileName(document, fileName);
  return FirstCursor(document);
}

SG_API SG_CURSOR SG_CALL sgOpenXMLA(const char *fileName) {
  if (!fileName) return nullptr;
  Document *document = DocumentCreate(0);
  if (!document) return nullptr;
  if (!ParseDocumentFromFileA(document, fileName)) {
    DocumentRelease(document);
    return nullptr;
  }
  DocumentSetFileNameA(document, fileName);
  return FirstCursor(document);
}

// The length is unsigned in the interface but read as signed: any value
// with the top bit set means "up to the terminator".
SG_API SG_CURSOR SG_CALL sgParseXMLW(const SG_WCHAR *text, uint32_t length) {
  if (!text) return nullptr;
  Document *document = DocumentCreate(0);
  if (!document) return nullptr;
  if (!ParseDocumentFromTextW(document, text, static_cast<int32_t>(length))) {
    DocumentRelease(document);
    return nullptr;
  }
  return FirstCursor(document);
}

SG_API SG_CURSOR SG_CALL sgParseXMLA(const char *text, uint32_t length) {
  if (!text) return nullptr;
  Document *document = DocumentCreate(0);
  if (!document) return nullptr;
  if (!ParseDocumentFromTextA(document, text, static_cast<int32_t>(length))) {
    DocumentRelease(document);
    return nullptr;
  }
  return FirstCursor(document);
}

SG_API SG_CURSOR SG_CALL sgDupXML(SG_CURSOR handle) {
  Cursor *source = AsCursor(handle);
  if (!source || !source->document) return nullptr;
  Cursor *cursor = CursorCreate(source->document);
  if (!cursor) return nullptr;
  cursor->base = source->base;
  cursor->list = source->list;
  cursor->current = source->current;
  return AsHandle(cursor);
}

SG_API void SG_CALL sgCloseXML(SG_CURSOR handle) {
  if (Cursor *cursor = AsCursor(handle)) CursorClose(cursor);
}

SG_API void SG_CALL sgDeleteXML(SG_CURSOR handle) {
  if (Cursor *cursor = AsCursor(handle)) CursorDelete(cursor);
}

SG_API int32_t SG_CALL sgFlushXML(SG_CURSOR handle) {
  Document *document = DocumentOf(handle);
  if (!document || !document->fileName || !document->fileName[0] || !document->updateFlag)
    return 0;
  DocumentWriteBack(document);  // a file that cannot be created still counts
  document->updateFlag = 0;
  return 1;
}

SG_API int32_t SG_CALL sgSaveAsW(SG_CURSOR handle, const SG_WCHAR *fileName, uint32_t encoding) {
  Document *document = DocumentOf(handle);
  if (!document || !fileName) return 0;
  return SaveDocumentToFileW(document, fileName, encoding);
}

SG_API int32_t SG_CALL sgSaveAsA(SG_CURSOR handle, const char *fileName, uint32_t encoding) {
  Document *document = DocumentOf(handle);
  if (!document || !fileName) return 0;
  return SaveDocumentToFileA(document, fileName, encoding);
}

SG_API const SG_WCHAR *SG_CALL sgGetSrcXML(SG_CURSOR handle) {
  Document *document = DocumentOf(handle);
  if (!document || !document->source) return nullptr;
  return document->source->text;
}

SG_API const SG_WCHAR *SG_CALL sgGetTagSrc(SG_CURSOR handle, uint32_t *length) {
  Cursor *cursor = AsCursor(handle);
  if (!cursor || !length || !cursor->document || !CursorHasSelection(cursor)) return nullptr;
  const SourceText *source = cursor->document->source;
  if (!source || !source->text) return nullptr;
  const Node *node = cursor->current;
  *length = static_cast<uint32_t>(node->srcTagEnd - node->srcStart);
  return source->text + node->srcStart;
}

SG_API int32_t SG_CALL sgGetNodeID(SG_CURSOR handle, uint32_t *id) {
  Cursor *cursor = AsCursor(handle);
  if (!cursor || !cursor->document) return 0;
  if (id && cursor->current) *id = cursor->current->id;
  return 1;
}

SG_API uint32_t SG_CALL sgGetEncoding(SG_CURSOR handle) {
  Document *document = DocumentOf(handle);
  return document ? document->encoding : 0;
}

SG_API uint32_t SG_CALL sgGetXMLFlag(SG_CURSOR handle) {
  Document *document = DocumentOf(handle);
  return document ? document->xmlFlag : 0;
}

SG_API int32_t SG_CALL sgSetXMLFlag(SG_CURSOR handle, uint32_t value) {
  Document *document = DocumentOf(handle);
  if (!document) return 0;
  document->xmlFlag = value;
  return 1;
}

SG_API uint32_t SG_CALL sgGetUpdateFlag(SG_CURSOR handle) {
  Document *document = DocumentOf(handle);
  return document ? document->updateFlag : 0;
}

SG_API int32_t SG_CALL sgSetUpdateFlag(SG_CURSOR handle, uint32_t value) {
  Document *document = DocumentOf(handle);
  if (!document) return 0;
  document->updateFlag = value;
  return 1;
}

SG_API uint32_t SG_CALL Version(void) { return 0x00000202u; }
