// The model's share of the note records: initialising the note ring head a
// cursor embeds, and detaching the reference ring an element embeds when the
// element is destroyed. The records' lifetimes are the notes subsystem's.
#include "model/note_records.h"

#include "model/ring.h"

void NoteInitEmpty(Note *note) {
  note->name = nullptr;
  note->resultW = nullptr;
  note->resultA = nullptr;
  NoteItem *items = &note->items;
  items->name = nullptr;
  items->text = nullptr;
  items->textNarrow = nullptr;
  items->lineFlag = 0;
  items->start = -1;
  items->end = -1;
  items->ref = nullptr;
  RingInit(items);
  note->refChain = nullptr;
  note->attribCount = 0;
  AttribInitHead(&note->attribs);
  RingInit(note);
}

void NoteRefsDetachAll(NoteRef *head) {
  if (!head) return;
  // Each record leaves the ring before the next is looked at, so the loop
  // ends with the head alone whatever the ring held.
  while (head->next && head->next != head) {
    NoteRef *ref = head->next;
    RingUnlink(ref);
    ref->element = nullptr;
  }
}
