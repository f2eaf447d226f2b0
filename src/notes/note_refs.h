// References from note pieces to elements of any document. A note keeps at
// most one NoteRef per element; the record sits in the element's reference
// ring and holds one count of the element's document until the note goes.
// Cursors handed out here belong to the caller (sgCloseXML / sgDeleteXML).
#ifndef SPRIG_NOTES_NOTE_REFS_H
#define SPRIG_NOTES_NOTE_REFS_H

#include <stdint.h>

#include "model/note_records.h"

struct Cursor;

// Bit of the reference-lookup mode word: only a piece that owns its
// reference (the first piece that referred through it) counts.
enum : uint32_t { kRefOwnerOnly = 0x100, kRefModeMask = 0xFF };

// Makes the note's newest piece refer to the cursor's current node (the
// document's root when the cursor has none), reusing the note's record for
// that node when there is one. 0 when the note has no piece or memory runs
// out; 1 otherwise, including a cursor without document (nothing changes).
int NoteSetReference(Note *note, Cursor *cursor);
// Recomputes every record's span from the pieces' positions of the build
// that just ran: an owner piece sets the span, other pieces widen it.
void NoteUpdateSpans(Note *note);
// A new cursor on the element referred to by the piece that `mode` chooses
// around `position` (0 covering, 1 nearest after, 2 nearest before, 3
// covering or else last before; kRefOwnerOnly restricts to owner pieces).
// Null when no piece is chosen, its element is gone or memory runs out.
Cursor *NoteGetReference(Note *note, int32_t position, uint32_t mode);
// Start of the span of the note's record for the cursor's current node, or
// 0xFFFFFFFF when there is no such record or no span was computed yet.
uint32_t NoteSearchReference(Note *note, const Cursor *cursor);

#endif
