// Exported note functions: the note list of a cursor, note pieces and
// attributes, and note references. Each entry checks its handles (a null
// cursor or note gives the failure result) and calls the notes subsystem.
// Results that are texts belong to the note or to its attribute records.
#include <stdarg.h>

#include "model/document.h"
#include "notes/note_list.h"
#include "notes/note_refs.h"
#include "notes/note_text.h"
#include "sprig.h"

// ---- Note list --------------------------------------------------------------

SG_API SG_NOTE SG_CALL sgCreateNoteW(SG_CURSOR cursor, const SG_WCHAR *name) {
  if (!cursor) return nullptr;
  return AsNoteHandle(NoteCreate(&AsCursor(cursor)->notes, name));
}

SG_API SG_NOTE SG_CALL sgCreateNoteA(SG_CURSOR cursor, const char *name) {
  if (!cursor) return nullptr;
  return AsNoteHandle(NoteCreateA(&AsCursor(cursor)->notes, name));
}

SG_API uint32_t SG_CALL sgNoteGetCount(SG_CURSOR cursor) {
  if (!cursor) return 0;
  return NoteCount(&AsCursor(cursor)->notes);
}

SG_API SG_NOTE SG_CALL sgNoteGetByIndex(SG_CURSOR cursor, uint32_t index) {
  if (!cursor) return nullptr;
  return AsNoteHandle(NoteAt(&AsCursor(cursor)->notes, index));
}

SG_API SG_NOTE SG_CALL sgNoteGetByNameW(SG_CURSOR cursor, const SG_WCHAR *name) {
  if (!cursor) return nullptr;
  return AsNoteHandle(NoteFind(&AsCursor(cursor)->notes, name));
}

SG_API SG_NOTE SG_CALL sgNoteGetByNameA(SG_CURSOR cursor, const char *name) {
  if (!cursor) return nullptr;
  return AsNoteHandle(NoteFindA(&AsCursor(cursor)->notes, name));
}

SG_API void SG_CALL sgDeleteNote(SG_NOTE note) { NoteDestroy(AsNote(note)); }

// ---- Pieces -------------------------------------------------------------------

SG_API int32_t SG_CALL sgNoteAddStrW(SG_NOTE note, const SG_WCHAR *name, const SG_WCHAR *text) {
  if (!note) return 0;
  return NoteAddPiece(AsNote(note), name, text, 0);
}

SG_API int32_t SG_CALL sgNoteAddStrA(SG_NOTE note, const char *name, const char *text) {
  if (!note) return 0;
  return NoteAddPieceA(AsNote(note), name, text, 0);
}

SG_API int32_t SG_CALL sgNoteAddStrLnW(SG_NOTE note, const SG_WCHAR *name, const SG_WCHAR *text) {
  if (!note) return 0;
  return NoteAddPiece(AsNote(note), name, text, 1);
}

SG_API int32_t SG_CALL sgNoteAddStrLnA(SG_NOTE note, const char *name, const char *text) {
  if (!note) return 0;
  return NoteAddPieceA(AsNote(note), name, text, 1);
}

SG_API int32_t SG_CALL sgNotePrintFW(SG_NOTE note, const SG_WCHAR *name, const SG_WCHAR *format, ...) {
  if (!note) return 0;
  va_list args;
  va_start(args, format);
  int result = NotePrintF(AsNote(note), name, format, args);
  va_end(args);
  return result;
}

SG_API int32_t SG_CALL sgNotePrintFA(SG_NOTE note, const char *name, const char *format, ...) {
  if (!note) return 0;
  va_list args;
  va_start(args, format);
  int result = NotePrintFA(AsNote(note), name, format, args);
  va_end(args);
  return result;
}

SG_API const SG_WCHAR *SG_CALL sgNoteGetStrW(SG_NOTE note) {
  if (!note) return nullptr;
  return NoteJoin(AsNote(note));
}

SG_API const char *SG_CALL sgNoteGetStrA(SG_NOTE note) {
  if (!note) return nullptr;
  return NoteJoinA(AsNote(note));
}

SG_API const SG_WCHAR *SG_CALL sgNoteGetStrListW(SG_NOTE note) {
  if (!note) return nullptr;
  return NoteList(AsNote(note));
}

SG_API const char *SG_CALL sgNoteGetStrListA(SG_NOTE note) {
  if (!note) return nullptr;
  return NoteListA(AsNote(note));
}

SG_API uint32_t SG_CALL sgNoteGetPosW(SG_NOTE note, const SG_WCHAR *name) {
  if (!note) return 0xFFFFFFFFu;
  return NotePiecePos(AsNote(note), name);
}

SG_API uint32_t SG_CALL sgNoteGetPosA(SG_NOTE note, const char *name) {
  if (!note) return 0xFFFFFFFFu;
  return NotePiecePosA(AsNote(note), name);
}

// ---- Attributes -------------------------------------------------------------

SG_API int32_t SG_CALL sgNoteSetAttribW(SG_NOTE note, const SG_WCHAR *name, const SG_WCHAR *value) {
  if (!note) return 0;
  return NoteSetAttrib(AsNote(note), name, value);
}

SG_API int32_t SG_CALL sgNoteSetAttribA(SG_NOTE note, const char *name, const char *value) {
  if (!note) return 0;
  return NoteSetAttribA(AsNote(note), name, value);
}

SG_API int32_t SG_CALL sgNoteDeleteAttribW(SG_NOTE note, const SG_WCHAR *name) {
  if (!note) return 0;
  return NoteDeleteAttrib(AsNote(note), name);
}

SG_API int32_t SG_CALL sgNoteDeleteAttribA(SG_NOTE note, const char *name) {
  if (!note) return 0;
  return NoteDeleteAttribA(AsNote(note), name);
}

SG_API const SG_WCHAR *SG_CALL sgNoteGetAttribW(SG_NOTE note, const SG_WCHAR *name) {
  if (!note) return nullptr;
  Attrib *attrib = NoteFindAttrib(AsNote(note), name);
  return attrib ? attrib->value : nullptr;
}

SG_API const char *SG_CALL sgNoteGetAttribA(SG_NOTE note, const char *name) {
  if (!note) return nullptr;
  Attrib *attrib = NoteFindAttribA(AsNote(note), name);
  return attrib ? AttribValueNarrow(attrib) : nullptr;
}

SG_API int32_t SG_CALL sgNoteDoesAttribExistW(SG_NOTE note, const SG_WCHAR *name) {
  if (!note) return 0;
  return NoteFindAttrib(AsNote(note), name) ? 1 : 0;
}

SG_API int32_t SG_CALL sgNoteDoesAttribExistA(SG_NOTE note, const char *name) {
  if (!note) return 0;
  return NoteFindAttribA(AsNote(note), name) ? 1 : 0;
}

// ---- References -------------------------------------------------------------

SG_API int32_t SG_CALL sgNoteSetReferenceNode(SG_NOTE note, SG_CURSOR cursor) {
  if (!note || !cursor) return 0;
  return NoteSetReference(AsNote(note), AsCursor(cursor));
}

SG_API SG_CURSOR SG_CALL sgNoteGetReferenceNode(SG_NOTE note, int32_t position, uint32_t mode) {
  if (!note) return nullptr;
  return AsHandle(NoteGetReference(AsNote(note), position, mode));
}

SG_API uint32_t SG_CALL sgNoteSearchReferenceNode(SG_NOTE note, SG_CURSOR cursor) {
  if (!note || !cursor) return 0xFFFFFFFFu;
  return NoteSearchReference(AsNote(note), AsCursor(cursor));
}
