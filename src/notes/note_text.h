// The pieces and attributes of a note: appending pieces, building the joined
// and listed results with each piece's position, finding named pieces, and
// the note's own attribute ring. Results are owned by the note (resultW,
// resultA) and replaced by the next build; attribute texts by their records.
#ifndef SPRIG_NOTES_NOTE_TEXT_H
#define SPRIG_NOTES_NOTE_TEXT_H

#include <stdarg.h>
#include <stdint.h>

#include "model/note_records.h"

// Appends a piece (name and text may be null; lineFlag 0 or 1). The W form
// stores a UTF-16 copy, the A form the caller's bytes unchanged and a name
// converted from CP_ACP. 1, or 0 when memory runs out (note unchanged).
int NoteAddPiece(Note *note, const WCHAR *name, const WCHAR *text, uint32_t lineFlag);
int NoteAddPieceA(Note *note, const char *name, const char *text, uint32_t lineFlag);
// Formats into a buffer of 4096 units / bytes (output that does not fit is
// cut, never overrun) and appends the result as a piece without line flag.
// 0 for a null format or when memory runs out.
int NotePrintF(Note *note, const WCHAR *name, const WCHAR *format, va_list args);
int NotePrintFA(Note *note, const char *name, const char *format, va_list args);

// Every piece with text, in order, joined into one result (W: a piece with
// the line flag ends with LF; A: with CR LF). Pieces are placed in the units
// of this result and the reference spans updated. Both previous results are
// released first; null (positions untouched) when memory runs out.
const WCHAR *NoteJoin(Note *note);
const char *NoteJoinA(Note *note);
// The pieces as a string list: pieces run together, a line-flag piece closes
// a non-empty string; the list ends with an empty string. Placement and
// failure as NoteJoin.
const WCHAR *NoteList(Note *note);
const char *NoteListA(Note *note);
// Start of the first piece named `name` (case-insensitive) in the last build,
// or 0xFFFFFFFF when there is none or it was never placed. The A form converts
// the name through the wide result ring.
uint32_t NotePiecePos(Note *note, const WCHAR *name);
uint32_t NotePiecePosA(Note *note, const char *name);

// Note attributes. Set: an existing attribute takes a non-null value (quote
// 34); a missing one is appended, with the value when given. 1, or 0 when
// memory runs out (note unchanged). The A form finds by the name converted
// to UTF-16 and stores narrow name and value through the CP_ACP setters.
int NoteSetAttrib(Note *note, const WCHAR *name, const WCHAR *value);
int NoteSetAttribA(Note *note, const char *name, const char *value);
// Destroys the first attribute of that name (A: compared in UTF-16). 1 or 0.
int NoteDeleteAttrib(Note *note, const WCHAR *name);
int NoteDeleteAttribA(Note *note, const char *name);
// The first attribute of that name, or null. The A form compares the
// attribute's narrow name with `name` by lstrcmpiA.
Attrib *NoteFindAttrib(Note *note, const WCHAR *name);
Attrib *NoteFindAttribA(Note *note, const char *name);

#endif
