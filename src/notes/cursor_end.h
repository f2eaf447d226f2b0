// The end of a cursor: it releases its document first (which may write the
// document back and destroy it) and destroys its notes afterwards, whose
// references may release further documents.
#ifndef SPRIG_NOTES_CURSOR_END_H
#define SPRIG_NOTES_CURSOR_END_H

struct Cursor;

// sgCloseXML: release the document (may write back), then destroy the
// cursor with its notes and results.
void CursorClose(Cursor *cursor);
// sgDeleteXML: forbid write-back of the document, release it, then destroy
// the cursor as CursorClose does.
void CursorDelete(Cursor *cursor);

#endif
