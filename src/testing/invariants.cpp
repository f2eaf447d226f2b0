// The invariant checker (see invariants.h). Every ring is walked forward
// while checking that each step's target links back (next->prev == from):
// since no two visited records can then share a successor, a walk from a
// head either returns to that head or reports a broken link; it cannot spin
// in a loop that misses the head. The tree is walked in pre-order through
// its own links (child link down, owner link up), never by recursion.
#include "testing/invariants.h"

#include "model/document.h"
#include "model/node.h"
#include "model/note_records.h"

namespace {

// Most distinct documents one check follows; a program under test holds a
// handful, so the table lives on the stack and nothing is allocated.
enum { kMaxDocuments = 64 };

struct DocumentTally {
  const Document *document;
  uint32_t cursors;   // cursors standing in it
  uint32_t refs;      // reference records naming it
  uint32_t liveRefs;  // of those, the ones whose element still exists
};

const char *CheckAttribRing(const Attrib *head, uint32_t count) {
  uint32_t seen = 0;
  for (const Attrib *a = head;;) {
    const Attrib *next = a->next;
    if (!next || next->prev != a) return "attribute ring link broken";
    if (next == head) break;
    if (++seen > count) return "attribute ring longer than its count";
    a = next;
  }
  if (seen != count) return "attribute ring shorter than its count";
  if (head->name || head->value) return "attribute ring head carries text";
  return nullptr;
}

// The reference ring of `node`, when it has one: every record names the node and the
// document, and belongs to a note.
const char *CheckRefRing(const Node *node, const Document *document, uint32_t *refs) {
  const NoteRef *head = node->refs;
  if (!head) return nullptr;
  if (head->element || head->document) return "reference ring head names an element";
  for (const NoteRef *r = head;;) {
    const NoteRef *next = r->next;
    if (!next || next->prev != r) return "reference ring link broken";
    if (next == head) return nullptr;
    if (next->element != node) return "reference in the ring of another element";
    if (next->document != document) return "reference names another document";
    if (!next->note) return "reference without note";
    ++*refs;
    r = next;
  }
}

// Fields every node of a tree must hold, list heads or not.
const char *CheckNodeFields(const Node *node, const Document *document, uint32_t *refs) {
  if (node->nameKey != NameKeyOf(node->name)) return "name key does not match the name";
  if (!node->attribs) {
    if (node->attribCount != 0) return "attribute count without a ring";
  } else if (const char *e = CheckAttribRing(node->attribs, node->attribCount)) {
    return e;
  }
  return CheckRefRing(node, document, refs);
}

const char *CheckHead(const Node *head, const Document *document, uint32_t *refs) {
  if (head->parent != head) return "list head's parent link is not itself";
  if (head->name) return "list head has a name";
  if (head->attribCount != 0) return "list head has attributes";
  return CheckNodeFields(head, document, refs);
}

// The root of the document holding `node` (a list head or a ring member),
// found by climbing owner links; null when the climb leaves every tree.
const Node *RootOf(const Node *node) {
  const Node *head = NodeIsListHead(node) ? node : node->parent;
  while (head) {
    if (!NodeIsListHead(head)) return nullptr;
    const Node *owner = head->child;
    if (!owner) return head;
    head = owner->parent;
  }
  return nullptr;
}

DocumentTally *Tally(DocumentTally *table, size_t *used, const Document *document) {
  for (size_t i = 0; i < *used; ++i) {
    if (table[i].document == document) return &table[i];
  }
  if (*used == kMaxDocuments) return nullptr;
  DocumentTally *t = &table[(*used)++];
  t->document = document;
  t->cursors = t->refs = t->liveRefs = 0;
  return t;
}

const char *CheckCursorPosition(const Cursor *cursor) {
  const Document *document = cursor->document;
  const Node *base = cursor->base;
  const Node *list = cursor->list;
  const Node *current = cursor->current;
  if (!base || !list || !current) return "cursor without base, list or current node";
  if (!NodeIsListHead(base)) return "cursor base is not a list head";
  if (!NodeIsListHead(list)) return "cursor list is not a list head";
  if (current != list && current->parent != list) return "cursor current node not in its list";
  bool belowBase = false;
  const Node *head = list;
  for (;;) {
    if (head == base) belowBase = true;
    const Node *owner = head->child;
    if (!owner) break;
    head = owner->parent;
    if (!head || !NodeIsListHead(head)) return "cursor list hangs below a detached element";
  }
  if (head != &document->root) return "cursor stands outside its document";
  if (!belowBase) {
    // Deleting the last element of the base's list moves the cursor to the
    // list's owner and leaves the base on the emptied list, below the
    // cursor's list; the base must still hang in the document.
    for (head = base; head->child;) {
      head = head->child->parent;
      if (!head || !NodeIsListHead(head)) return "cursor base hangs below a detached element";
    }
    if (head != &document->root) return "cursor list is not at or below its base";
  }
  return nullptr;
}

const char *CheckNote(const Note *note, DocumentTally *table, size_t *used) {
  if (const char *e = CheckAttribRing(&note->attribs, note->attribCount)) return e;
  const NoteItem *items = &note->items;
  for (const NoteItem *item = items;;) {
    const NoteItem *next = item->next;
    if (!next || next->prev != item) return "note piece ring link broken";
    if (next == items) break;
    if (next->ref && next->ref->note != note) return "piece refers through another note's record";
    item = next;
  }
  for (const NoteRef *r = note->refChain; r; r = r->nextInNote) {
    if (r->note != note) return "reference chained into another note";
    if (!r->document) return "reference without document";
    DocumentTally *t = Tally(table, used, r->document);
    if (!t) return "more documents than the checker follows";
    ++t->refs;
    if (r->element) {
      ++t->liveRefs;
      if (r->next->prev != r || r->prev->next != r) return "live reference out of its element's ring";
      if (RootOf(r->element) != &r->document->root) return "reference element outside its document";
    } else if (r->next != r || r->prev != r) {
      return "reference to a destroyed element still linked";
    }
  }
  return nullptr;
}

const char *CheckNotes(const Cursor *cursor, DocumentTally *table, size_t *used) {
  const Note *head = &cursor->notes;
  if (head->name || head->refChain || head->attribCount) return "note ring head carries a note";
  for (const Note *n = head;;) {
    const Note *next = n->next;
    if (!next || next->prev != n) return "note ring link broken";
    if (next == head) return nullptr;
    if (const char *e = CheckNote(next, table, used)) return e;
    n = next;
  }
}

}  // namespace

const char *CheckDocumentTree(const Document *document, uint32_t *treeRefs) {
  if (!document) return "no document";
  const Node *root = &document->root;
  if (root->child) return "root has an owner";
  uint32_t refs = 0;
  if (const char *e = CheckHead(root, document, &refs)) return e;
  const Node *head = root;   // head of the ring being walked
  const Node *from = root;   // the record whose next link is followed
  for (;;) {
    const Node *node = from->next;
    if (!node || node->prev != from) return "sibling ring link broken";
    if (node == head) {
      if (head == root) break;
      // End of a child list: go on after its owner.
      from = head->child;
      head = from->parent;
      continue;
    }
    if (NodeIsListHead(node)) return "a second list head in one ring";
    if (node->parent != head) return "node's parent link is not its ring's head";
    if (const char *e = CheckNodeFields(node, document, &refs)) return e;
    const Node *childHead = node->child;
    if (childHead) {
      if (childHead->child != node) return "child-list head not owned by its element";
      if (const char *e = CheckHead(childHead, document, &refs)) return e;
      head = childHead;
      from = childHead;
    } else {
      from = node;
    }
  }
  if (treeRefs) *treeRefs = refs;
  return nullptr;
}

const char *CheckInvariants(const Cursor *const *cursors, size_t count) {
  DocumentTally table[kMaxDocuments];
  size_t used = 0;
  for (size_t i = 0; i < count; ++i) {
    const Cursor *cursor = cursors[i];
    if (!cursor) continue;
    if (!cursor->document) return "live cursor without document";
    DocumentTally *t = Tally(table, &used, cursor->document);
    if (!t) return "more documents than the checker follows";
    ++t->cursors;
    if (const char *e = CheckNotes(cursor, table, &used)) return e;
  }
  for (size_t i = 0; i < used; ++i) {
    uint32_t treeRefs = 0;
    if (const char *e = CheckDocumentTree(table[i].document, &treeRefs)) return e;
    if (treeRefs != table[i].liveRefs) return "element rings and note chains disagree";
    if (table[i].document->refCount != static_cast<int32_t>(table[i].cursors + table[i].refs))
      return "reference count differs from cursors plus references";
  }
  // Positions last: their climbs rely on trees already found sound.
  for (size_t i = 0; i < count; ++i) {
    if (!cursors[i]) continue;
    if (const char *e = CheckCursorPosition(cursors[i])) return e;
  }
  return nullptr;
}
