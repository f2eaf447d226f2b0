// Note records inside the notes subsystem: creation, ring links and
// destruction. A Note is owned by the ring of one cursor; its pieces,
// attributes, results and reference records are owned by the note.
#ifndef SPRIG_NOTES_NOTE_LIST_H
#define SPRIG_NOTES_NOTE_LIST_H

#include <stdint.h>

#include "model/note_records.h"
#include "sprig.h"

inline Note *AsNote(SG_NOTE handle) { return reinterpret_cast<Note *>(handle); }
inline SG_NOTE AsNoteHandle(Note *note) { return reinterpret_cast<SG_NOTE>(note); }

// A new note named by a copy of `name` (null: nameless), linked as the newest
// of the ring headed by `head`; null when the record cannot be allocated. A
// name that cannot be copied leaves the note nameless. The A form converts a
// CP_ACP name.
Note *NoteCreate(Note *head, const WCHAR *name);
Note *NoteCreateA(Note *head, const char *name);
// Number of notes in the ring headed by `head`.
uint32_t NoteCount(const Note *head);
// The note at `index` counted from the oldest (0), or null.
Note *NoteAt(Note *head, uint32_t index);
// The oldest note whose name equals `name` case-insensitively; nameless notes
// never match. Null if none or `name` is null. The A form converts the name
// through the wide result ring first.
Note *NoteFind(Note *head, const WCHAR *name);
Note *NoteFindA(Note *head, const char *name);
// Links a detached note as the newest of the ring headed by `head`.
void NoteLinkLast(Note *head, Note *note);
// Takes a note out of its ring; it points at itself afterwards.
void NoteUnlink(Note *note);
// Unlinks and frees a note with its pieces, attributes and results, then
// releases the document count of each of its reference records. Null ignored.
void NoteDestroy(Note *note);
// Destroys every note of the ring headed by `head`, oldest first, releasing
// their references (which may write back and destroy documents), and frees
// the head's results. Null ignored.
void NoteDestroyAll(Note *head);
// Frees the note's last built results.
void NoteClearResults(Note *note);
// Takes a reference record out of its element's ring (it points at itself).
void NoteRefUnlink(NoteRef *ref);

#endif
