// Note references. The record of a note for an element is found through the
// element's reference ring (records whose `note` is this note; there is at
// most one), which gives the same record as a walk of the note's chain while
// keeping repeated references linear in the note's size. Records of destroyed
// elements are out of every ring and never match a live node.
#include "notes/note_refs.h"

#include "model/document.h"
#include "model/ring.h"
#include "text/text.h"

namespace {

NoteRef *FindRecord(Note *note, Node *element) {
  NoteRef *head = element->refs;
  if (!head) return nullptr;
  for (NoteRef *ref = head->next; ref && ref != head; ref = ref->next) {
    if (ref->note == note) return ref;
  }
  return nullptr;
}

bool Qualifies(const NoteItem *item, bool ownerOnly) {
  return item->ref && (!ownerOnly || item->ref->owner == item);
}

// The piece that `mode` chooses around position p, or null.
const NoteItem *ChoosePiece(Note *note, int32_t p, uint32_t mode) {
  const NoteItem *head = &note->items;
  bool ownerOnly = (mode & kRefOwnerOnly) != 0;
  const NoteItem *chosen = nullptr;
  switch (mode & kRefModeMask) {
    case 0:
      for (const NoteItem *item = head->next; item != head; item = item->next) {
        if (Qualifies(item, ownerOnly) && item->start <= p && p < item->end) return item;
      }
      return nullptr;
    case 1:
      // Back from the newest while pieces start after p: the last qualifying
      // piece met is the nearest after p.
      for (const NoteItem *item = head->prev; item != head && item->start > p; item = item->prev) {
        if (Qualifies(item, ownerOnly)) chosen = item;
      }
      return chosen;
    case 2:
      for (const NoteItem *item = head->next; item != head && item->end < p; item = item->next) {
        if (Qualifies(item, ownerOnly)) chosen = item;
      }
      return chosen;
    case 3:
      // The first qualifying piece ending after p; failing that, the last
      // piece of any kind that ends at or before p.
      for (const NoteItem *item = head->next; item != head; item = item->next) {
        if (Qualifies(item, ownerOnly) && p < item->end) return item;
        if (item->end <= p) chosen = item;
      }
      return chosen;
    default:
      return nullptr;
  }
}

}  // namespace

int NoteSetReference(Note *note, Cursor *cursor) {
  NoteItem *newest = note->items.prev;
  if (newest == &note->items) return 0;
  Document *document = cursor->document;
  if (!document) return 1;
  Node *target = cursor->current ? cursor->current : &document->root;
  NoteRef *ref = FindRecord(note, target);
  if (ref) {
    newest->ref = ref;
    return 1;
  }
  if (!target->refs) {
    // The element's first reference brings its ring head: an empty record.
    NoteRef *head = static_cast<NoteRef *>(AllocBlock(sizeof(NoteRef)));
    if (!head) return 0;
    head->start = head->end = -1;
    RingInit(head);
    target->refs = head;
  }
  ref = static_cast<NoteRef *>(AllocBlock(sizeof(NoteRef)));
  if (!ref) return 0;
  ref->start = -1;
  ref->end = -1;
  ref->document = document;
  ++document->refCount;
  ref->element = target;
  ref->note = note;
  ref->owner = newest;
  RingLinkBefore(target->refs, ref);
  ref->nextInNote = note->refChain;
  note->refChain = ref;
  newest->ref = ref;
  return 1;
}

void NoteUpdateSpans(Note *note) {
  NoteItem *head = &note->items;
  for (NoteItem *item = head->next; item != head; item = item->next) {
    NoteRef *ref = item->ref;
    if (!ref) continue;
    if (ref->owner == item) {
      ref->start = item->start;
      ref->end = item->end;
    } else {
      if (item->start < ref->start) ref->start = item->start;
      if (item->end > ref->end) ref->end = item->end;
    }
  }
}

Cursor *NoteGetReference(Note *note, int32_t position, uint32_t mode) {
  const NoteItem *item = ChoosePiece(note, position, mode);
  if (!item || !item->ref || !item->ref->element) return nullptr;
  NoteRef *ref = item->ref;
  Node *element = ref->element;
  // An element outside every list (taken out and not yet put back) offers no
  // place for a cursor to stand.
  if (!element->parent) return nullptr;
  Cursor *cursor = CursorCreate(ref->document);
  if (!cursor) return nullptr;
  cursor->base = &ref->document->root;
  cursor->list = element->parent;
  cursor->current = element;
  return cursor;
}

uint32_t NoteSearchReference(Note *note, const Cursor *cursor) {
  if (!cursor->current) return 0xFFFFFFFFu;
  NoteRef *ref = FindRecord(note, cursor->current);
  return ref ? static_cast<uint32_t>(ref->start) : 0xFFFFFFFFu;
}
