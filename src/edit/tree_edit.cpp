// Delete, move, graft and copy (see tree_edit.h).
//
// Destruction and cloning are the model's (NodeDestroy, NodeDeepClone, both
// iterative). The model's clone keeps what it copied when memory runs out;
// CloneIsComplete compares it with its original in one iterative walk so that
// a short copy is destroyed instead of linked.
#include "edit/tree_edit.h"

#include "output/release.h"
#include "sprig.h"

namespace {

// A node other than a list head; unlike NodeIsElement, a detached node (a
// fresh clone) counts.
bool IsMember(const Node *node) { return !NodeIsListHead(node); }

bool SamePresence(const void *a, const void *b) { return (a == nullptr) == (b == nullptr); }

// Compares the fields one node's clone must carry (not the subtree).
bool SameNodeShape(const Node *original, const Node *copy) {
  if (!SamePresence(original->name, copy->name) || !SamePresence(original->inner, copy->inner) ||
      !SamePresence(original->after, copy->after) ||
      original->attribCount != copy->attribCount) {
    return false;
  }
  if (original->attribCount == 0) return true;
  // Equal counts above 0: both rings have heads.
  const Attrib *a = original->attribs->next;
  const Attrib *b = copy->attribs->next;
  while (a != original->attribs) {
    if (b == copy->attribs || !SamePresence(a->name, b->name) ||
        !SamePresence(a->value, b->value)) {
      return false;
    }
    a = a->next;
    b = b->next;
  }
  return b == copy->attribs;
}

}  // namespace

bool CloneIsComplete(const Node *original, const Node *copy) {
  if (!original || !copy) return false;
  const Node *top = original;  // the list head whose ring ends the walk
  if (IsMember(original)) {
    if (!SameNodeShape(original, copy) || !SamePresence(original->child, copy->child)) return false;
    if (!original->child) return true;
    top = original->child;
    copy = copy->child;
  } else if (IsMember(copy)) {
    return false;
  }
  // Pre-order over both rings in step; (s, c) is the next pair to compare.
  const Node *s = top->next;
  const Node *c = copy->next;
  for (;;) {
    if (!IsMember(s)) {
      if (IsMember(c)) return false;  // the copy's ring is longer
      if (s == top) return true;
      // End of a child list: continue after its owner.
      const Node *owner = s->child;
      const Node *copyOwner = c->child;
      if (!owner || !copyOwner) return false;
      s = owner->next;
      c = copyOwner->next;
      continue;
    }
    if (!IsMember(c)) return false;  // the copy's ring is shorter
    if (!SameNodeShape(s, c) || !SamePresence(s->child, c->child)) return false;
    if (s->child) {
      s = s->child->next;
      c = c->child->next;
    } else {
      s = s->next;
      c = c->next;
    }
  }
}

namespace {

// True when list head `base` lies in the subtree of `element` (walks the
// owner links up from the base, so it costs the base's depth).
bool BaseBelow(const Node *base, const Node *element) {
  for (const Node *owner = NodeOwner(base); owner; owner = NodeOwner(owner->parent)) {
    if (owner == element) return true;
  }
  return false;
}

}  // namespace

int EditDeleteNode(Cursor *cursor) {
  if (!cursor || !cursor->document || !CursorHasSelection(cursor)) return 0;
  Node *element = cursor->current;
  Node *head = element->parent;
  Node *next = element->next;
  Node *prev = element->prev;
  // A base inside the deleted subtree (the emptied list a previous delete
  // left it on, below the element now deleted) would dangle: it becomes the
  // list that held the element.
  if (BaseBelow(cursor->base, element)) cursor->base = head;
  NodeUnlink(element);
  NodeDestroy(element);
  NodeMarkListChanged(head);

  cursor->list = head;
  if (IsMember(next)) {
    cursor->current = next;
  } else if (IsMember(prev)) {
    cursor->current = prev;
  } else {
    // The owner becomes current even when the emptied list is the cursor's
    // base; the base stays as it was.
    Node *owner = NodeOwner(head);
    if (owner) {
      cursor->current = owner;
      cursor->list = owner->parent;
    } else {
      cursor->current = head;
    }
  }
  cursor->document->updateFlag = 1;
  return 1;
}

int EditMoveNode(Cursor *cursor, uint32_t direction) {
  if (!cursor || !cursor->document) return 0;
  if (direction != SG_MOVENODE_FIRST && direction != SG_MOVENODE_LAST) return 0;
  Node *element = cursor->current;
  if (!element || element == cursor->list || !IsMember(element)) return 0;
  Node *head = element->parent;
  NodeUnlink(element);
  if (direction == SG_MOVENODE_FIRST) {
    NodeInsertAfter(head, element);
  } else {
    NodeInsertBefore(head, element);
  }
  cursor->document->updateFlag = 1;
  NodeMarkListChanged(head);
  return 1;
}

int EditInsertTree(Cursor *cursor, Cursor *source, uint32_t place) {
  if (!cursor || !cursor->document || !source || !source->document || !source->current) return 0;
  if (place == SG_INSERT_APPEND) {
    if (!cursor->list) return 0;
  } else if (place == SG_INSERT_BEFORE || place == SG_INSERT_AFTER || place == SG_INSERT_CHILD) {
    if (!CursorHasSelection(cursor)) return 0;
  } else {
    return 0;
  }
  const Node *original = source->current;
  // A list head with an empty ring gives nothing to insert.
  if (!IsMember(original) && original->next == original) return 0;

  Node *clone = NodeDeepClone(original);
  if (!clone) return 0;
  if (!CloneIsComplete(original, clone)) {
    NodeDestroy(clone);
    return 0;
  }
  // The clone is whole: from here on the source may change under the link.
  Node *current = cursor->current;
  Node *inserted = nullptr;
  switch (place) {
    case SG_INSERT_APPEND:
      inserted = NodeInsertBefore(cursor->list, clone);
      break;
    case SG_INSERT_BEFORE:
      inserted = NodeInsertBefore(current, clone);
      break;
    case SG_INSERT_AFTER:
      inserted = NodeInsertAfter(current, clone);
      break;
    case SG_INSERT_CHILD: {
      Node *head = current->child ? current->child : NodeCreateChildList(current);
      if (!head) {
        NodeDestroy(clone);
        return 0;
      }
      inserted = NodeInsertBefore(head, clone);
      if (inserted) cursor->list = head;
      break;
    }
  }
  if (!inserted) return 0;
  cursor->current = inserted;
  cursor->document->updateFlag = 1;
  NodeMarkListChanged(inserted->parent);
  return 1;
}

Cursor *EditCopyTree(Cursor *cursor) {
  if (!cursor || !cursor->document) return nullptr;
  Document *copy = DocumentCopy(cursor->document);
  if (!copy) return nullptr;
  Cursor *result = CursorCreate(copy);
  if (!result) {
    // Count 0 falls to -1: destroyed, and never written (no file name).
    DocumentRelease(copy);
    return nullptr;
  }
  return result;
}
