// Documents and cursors: creation, reference counting up to the decision
// that the last release has come (carried out above the model, see
// output/release.h), the XML declaration of a new document, and the document
// copy handed out by sgCopyTree.
#include "model/document.h"

#include "model/ring.h"
#include "text/encodings.h"
#include "text/text.h"

Document *DocumentCreate(uint32_t xmlFlag) {
  Document *document = static_cast<Document *>(AllocBlock(sizeof(Document)));
  if (!document) return nullptr;
  document->fileName = nullptr;
  document->xmlFlag = xmlFlag;
  document->encoding = 0;
  document->source = nullptr;
  NodeInit(&document->root);
  document->root.parent = &document->root;
  document->updateFlag = 0;
  document->writeOnClose = 1;
  document->refCount = 0;
  document->layer = nullptr;
  document->releaseLayer = nullptr;
  return document;
}

bool DocumentDropReference(Document *document) { return --document->refCount <= 0; }

bool DocumentWriteBackDue(const Document *document) {
  return document->writeOnClose && document->updateFlag && document->fileName &&
         document->fileName[0];
}

void DocumentDestroy(Document *document) {
  FreeBlock(document->fileName);
  document->fileName = nullptr;
  DestroySourceText(document->source);
  document->source = nullptr;
  if (document->layer && document->releaseLayer) document->releaseLayer(document->layer);
  document->layer = nullptr;
  Node *root = &document->root;
  while (!RingEmpty(root)) {
    Node *node = root->next;
    NodeUnlink(node);
    NodeDestroy(node);
  }
  NodeReleaseEmbedded(root);
  FreeBlock(document);
}

Document *DocumentCopy(const Document *source) {
  Document *copy = DocumentCreate(source->xmlFlag);
  if (!copy) return nullptr;
  copy->encoding = source->encoding;
  copy->writeOnClose = 0;
  const Node *root = &source->root;
  for (const Node *node = root->next; node != root; node = node->next) {
    Node *clone = NodeDeepClone(node);
    if (!clone) break;
    NodeInsertBefore(&copy->root, clone);
  }
  return copy;
}

void DocumentSetFileName(Document *document, const WCHAR *fileName) {
  FreeBlock(document->fileName);
  document->fileName = fileName ? CopyTextW(fileName, -1) : nullptr;
}

void DocumentSetFileNameA(Document *document, const char *fileName) {
  FreeBlock(document->fileName);
  document->fileName = fileName ? ToWide(fileName, -1, CP_ACP) : nullptr;
}

Cursor *CursorCreate(Document *document) {
  Cursor *cursor = static_cast<Cursor *>(AllocBlock(sizeof(Cursor)));
  if (!cursor) return nullptr;
  NoteInitEmpty(&cursor->notes);
  cursor->document = document;
  ++document->refCount;
  cursor->base = cursor->list = &document->root;
  cursor->current = document->root.next;  // the root itself when empty
  cursor->innerTextW = nullptr;
  cursor->innerTextA = nullptr;
  return cursor;
}

void CursorFreeResults(Cursor *cursor) {
  FreeBlock(cursor->innerTextW);
  FreeBlock(cursor->innerTextA);
  cursor->innerTextW = nullptr;
  cursor->innerTextA = nullptr;
}

SourceText *CreateSourceText(void) {
  // AllocBlock zero-fills: code page 0, no buffers, position and counter 0.
  return static_cast<SourceText *>(AllocBlock(sizeof(SourceText)));
}

void DestroySourceText(SourceText *source) {
  if (!source) return;
  FreeBlock(source->rawBytes);
  FreeBlock(source->text);
  FreeBlock(source);
}

int DocumentAddDeclaration(Cursor *cursor, uint32_t encoding) {
  Document *document = cursor->document;
  if (!document) return 0;
  Node *decl = NodeCreate();
  if (!decl) return 0;
  decl->kind = kKindPi;
  if (!NodeSetName(decl, WTEXT("xml"), -1)) {
    NodeDestroy(decl);
    return 0;
  }
  NodeInsertBefore(cursor->list, decl);
  NodeMarkListChanged(cursor->list);
  cursor->current = decl;
  document->updateFlag = 1;

  Attrib *version = NodeAppendAttrib(decl, WTEXT("version"), -1, nullptr);
  if (version) AttribSetValue(version, kQuoteDouble, WTEXT("1.0"), -1, nullptr);
  Attrib *name = NodeAppendAttrib(decl, WTEXT("encoding"), -1, nullptr);
  if (name) {
    const WCHAR *value = CoreEncodingNameW(CoreEncodingOf(encoding));
    name->quote = kQuoteDouble;
    AttribSetValue(name, kQuoteDouble, value, -1, nullptr);
  }
  return 1;
}
