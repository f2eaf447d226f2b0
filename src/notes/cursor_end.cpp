// The end of a cursor (see cursor_end.h).
#include "notes/cursor_end.h"

#include "model/document.h"
#include "notes/note_list.h"
#include "output/release.h"
#include "text/text.h"

namespace {

// Frees what the cursor owns: its result buffers, its notes (which may
// release other documents) and the record.
void CursorDestroy(Cursor *cursor) {
  CursorFreeResults(cursor);
  NoteDestroyAll(&cursor->notes);
  FreeBlock(cursor);
}

}  // namespace

void CursorClose(Cursor *cursor) {
  Document *document = cursor->document;
  cursor->document = nullptr;
  cursor->base = cursor->list = cursor->current = nullptr;
  DocumentRelease(document);
  CursorDestroy(cursor);
}

void CursorDelete(Cursor *cursor) {
  CursorFreeResults(cursor);
  Document *document = cursor->document;
  cursor->document = nullptr;
  if (document) {
    document->writeOnClose = 0;
    DocumentRelease(document);
  }
  cursor->base = cursor->list = cursor->current = nullptr;
  CursorDestroy(cursor);
}
