// Document (one tree, shared by its holders) and Cursor (the handle an
// application holds: a position in one document, its notes and two inner-text
// result buffers).
//
// Reference counting: every cursor on a document and every NoteRef that
// refers into it holds one count. When the count falls to 0 or below the
// document is written back (write-on-close and update flags set, file name
// present and not empty) and destroyed. The model decides that the last
// release has come and whether it must write; the writer carries the release
// out (output/release.h), and the end of a cursor, which releases its
// document first and destroys its notes afterwards, is notes/cursor_end.h.
#ifndef SPRIG_MODEL_DOCUMENT_H
#define SPRIG_MODEL_DOCUMENT_H

#include <stdint.h>

#include "model/node.h"
#include "model/note_records.h"
#include "model/source_text.h"
#include "platform/platform.h"
#include "sprig.h"

struct Document {
  WCHAR *fileName;        // target of write-back and flush, or null
  uint32_t xmlFlag;       // non-zero: the writers add line breaks and tabs
  uint32_t encoding;      // code page of write-back and flush
  SourceText *source;     // the text the tree was parsed from, owned
  Node root;              // head of the top-level ring
  uint32_t updateFlag;    // set by edits, cleared by flush
  uint32_t writeOnClose;  // cleared for good by sgDeleteXML
  int32_t refCount;       // cursors plus NoteRefs holding the document
  void *layer;            // a record of the editing layer, or null; the model
                          // never looks inside, and frees it with the document
                          // through releaseLayer
  void (*releaseLayer)(void *layer);
};

struct Cursor {
  Document *document;     // holds one reference; null after release
  Node *base;             // the cursor's virtual root (a list head)
  Node *list;             // head of the ring the cursor stands in
  Node *current;          // element of that ring, or the head itself
  Note notes;             // head of the cursor's note ring
  WCHAR *innerTextW;      // last sgGetInnerTextW result, owned
  char *innerTextA;       // last sgGetInnerTextA result, owned
};

inline Cursor *AsCursor(SG_CURSOR handle) { return reinterpret_cast<Cursor *>(handle); }
inline SG_CURSOR AsHandle(Cursor *cursor) { return reinterpret_cast<SG_CURSOR>(cursor); }

// An element is selected: base and current present, current not the list.
inline bool CursorHasSelection(const Cursor *cursor) {
  return cursor->base && cursor->current && cursor->current != cursor->list;
}

// A new document with initial values and the given XML flag (count 0), or
// null when memory runs out.
Document *DocumentCreate(uint32_t xmlFlag);
// Lowers the count. True when it fell to 0 or below: the caller then ends the
// document (DocumentRelease of output/release.h does all of it).
bool DocumentDropReference(Document *document);
// True when the end of the document must first write it back: write-on-close
// and update flags set, file name present and not empty.
bool DocumentWriteBackDue(const Document *document);
// Frees the document with its file name, source and tree (no write-back).
void DocumentDestroy(Document *document);
// A new document holding deep clones of every top-level node of `source`
// (same XML flag and encoding, no file name or source, update flag 0,
// write-on-close 0). Stops at the first failed clone. Null when the record
// cannot be allocated.
Document *DocumentCopy(const Document *source);
// Stores a copy of a UTF-16 / CP_ACP file name; failure leaves it absent.
void DocumentSetFileName(Document *document, const WCHAR *fileName);
void DocumentSetFileNameA(Document *document, const char *fileName);

// A new cursor placed on `document` (count + 1): base = list = root,
// current = first top-level node (root when empty). Null when memory runs out
// (the document's count is then unchanged).
Cursor *CursorCreate(Document *document);
// Frees the cursor's two inner-text results.
void CursorFreeResults(Cursor *cursor);
// Appends an XML declaration for `encoding` at the end of the cursor's list,
// selects it and sets the update flag. 1, or 0 when it could not be made.
int DocumentAddDeclaration(Cursor *cursor, uint32_t encoding);

#endif
