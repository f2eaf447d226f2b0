// Note records inside the notes subsystem: creation, ring links and
// destruction. A Note is owned by the ring of one cursor; its pieces,
// attributes, results and reference records are owned by the note.
#ifndef SPRIG_NOTES_NOTE_LIST_H
#define SPRIG_NOTES_NOTE_LIST_H

#include "notes/note_records.h"

// A new detached note named by a copy of `name` (null: nameless), or null
// when memory runs out.
Note *NoteCreate(const WCHAR *name);
// Links a detached note as the newest of the ring headed by `head`.
void NoteLinkLast(Note *head, Note *note);
// Takes a note out of its ring; it points at itself afterwards.
void NoteUnlink(Note *note);
// Unlinks and frees a note with its pieces, attributes and results, then
// releases the document count of each of its reference records. Null ignored.
void NoteDestroy(Note *note);
// Frees the note's last built results.
void NoteClearResults(Note *note);
// Takes a reference record out of its element's ring (it points at itself).
void NoteRefUnlink(NoteRef *ref);

#endif
