// Lifetime of notes: creating and destroying Note records, their pieces and
// their reference records, and the destruction of a closing cursor's notes.
//
// A NoteRef holds one count of its document; destroying the record releases
// that count last, after the record is out of every ring, because the release
// may write the document back and destroy its tree (whose elements then detach
// their remaining reference rings through NoteRefsDetachAll).
#include "notes/note_list.h"

#include "model/document.h"
#include "model/ring.h"
#include "output/release.h"
#include "text/text.h"

void NoteRefUnlink(NoteRef *ref) { RingUnlink(ref); }

Note *NoteCreate(Note *head, const WCHAR *name) {
  Note *note = static_cast<Note *>(AllocBlock(sizeof(Note)));
  if (!note) return nullptr;
  NoteInitEmpty(note);
  // A name that cannot be copied leaves the note nameless, not missing.
  if (name) note->name = CopyTextW(name, -1);
  NoteLinkLast(head, note);
  return note;
}

Note *NoteCreateA(Note *head, const char *name) {
  Note *note = static_cast<Note *>(AllocBlock(sizeof(Note)));
  if (!note) return nullptr;
  NoteInitEmpty(note);
  if (name) note->name = ToWide(name, -1, CP_ACP);
  NoteLinkLast(head, note);
  return note;
}

uint32_t NoteCount(const Note *head) {
  uint32_t count = 0;
  for (const Note *note = head->next; note != head; note = note->next) ++count;
  return count;
}

Note *NoteAt(Note *head, uint32_t index) {
  for (Note *note = head->next; note != head; note = note->next) {
    if (index == 0) return note;
    --index;
  }
  return nullptr;
}

Note *NoteFind(Note *head, const WCHAR *name) {
  if (!name) return nullptr;
  for (Note *note = head->next; note != head; note = note->next) {
    if (note->name && lstrcmpiW(note->name, name) == 0) return note;
  }
  return nullptr;
}

Note *NoteFindA(Note *head, const char *name) {
  if (!name) return nullptr;
  const WCHAR *wide = ToWideRing(name);
  return wide ? NoteFind(head, wide) : nullptr;
}

void NoteLinkLast(Note *head, Note *note) { RingLinkBefore(head, note); }

void NoteUnlink(Note *note) { RingUnlink(note); }

void NoteClearResults(Note *note) {
  FreeBlock(note->resultW);
  note->resultW = nullptr;
  FreeBlock(note->resultA);
  note->resultA = nullptr;
}

void NoteDestroy(Note *note) {
  if (!note) return;
  NoteUnlink(note);
  NoteItem *head = &note->items;
  while (!RingEmpty(head)) {
    NoteItem *item = head->next;
    RingUnlink(item);
    FreeBlock(item->name);
    DualFree(&item->text, &item->textNarrow);
    FreeBlock(item);
  }
  AttribDestroyAll(&note->attribs, &note->attribCount);
  NoteClearResults(note);
  FreeBlock(note->name);
  // Take the whole chain first: releasing a document may destroy elements,
  // which detach (but never free) the records still in their rings.
  NoteRef *ref = note->refChain;
  note->refChain = nullptr;
  while (ref) {
    NoteRef *older = ref->nextInNote;
    NoteRefUnlink(ref);
    Document *document = ref->document;
    FreeBlock(ref);
    if (document) DocumentRelease(document);
    ref = older;
  }
  FreeBlock(note);
}

void NoteDestroyAll(Note *head) {
  if (!head) return;
  while (head->next && head->next != head) NoteDestroy(head->next);
  NoteClearResults(head);
}
