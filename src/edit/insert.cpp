// Insertion of new elements and the path walk (see insert.h).
//
// Preconditions are checked before anything is allocated, so a refused call
// consumes no NodeId. A new element is fully made (name, child list) before
// it is linked; the only allocation after that is the current element's
// child list for kInsertAsLastChild, and its failure destroys the new node.
#include "edit/insert.h"

#include "model/node.h"
#include "text/text.h"

namespace {

bool PlaceAllowed(const Cursor *cursor, InsertPlace place) {
  if (!cursor || !cursor->document || !cursor->list) return false;
  switch (place) {
    case kInsertAtEnd:
      return true;
    case kInsertBeforeCurrent:
    case kInsertAfterCurrent:
      return cursor->current != nullptr;
    case kInsertAsLastChild:
      return CursorHasSelection(cursor);
  }
  return false;
}

// Finishes a new node: kind and optional empty child list. Destroys the node
// and returns null when the child list cannot be made.
Node *FinishElement(Node *node, uint32_t childList, uint32_t kind) {
  node->kind = kind;
  if (childList && !NodeCreateChildList(node)) {
    NodeDestroy(node);
    return nullptr;
  }
  return node;
}

// Links the made element at `place` (already checked) and selects it; on
// failure destroys it. 1 / 0.
int LinkElement(Cursor *cursor, InsertPlace place, Node *element) {
  Node *linked = nullptr;
  switch (place) {
    case kInsertAtEnd:
      linked = NodeInsertBefore(cursor->list, element);
      break;
    case kInsertBeforeCurrent:
      linked = NodeInsertBefore(cursor->current, element);
      break;
    case kInsertAfterCurrent:
      linked = NodeInsertAfter(cursor->current, element);
      break;
    case kInsertAsLastChild: {
      Node *owner = cursor->current;
      Node *head = owner->child ? owner->child : NodeCreateChildList(owner);
      if (!head) {
        NodeDestroy(element);
        return 0;
      }
      linked = NodeInsertBefore(head, element);
      if (linked) cursor->list = head;
      break;
    }
  }
  if (!linked) return 0;
  cursor->current = linked;
  cursor->document->updateFlag = 1;
  NodeMarkListChanged(linked->parent);
  return 1;
}

// True when `node` is an element named `name` (lstrcmpiW); nameless
// elements never match.
bool NameMatches(const Node *node, const WCHAR *name) {
  return node->name && lstrcmpiW(node->name, name) == 0;
}

}  // namespace

int EditInsertElementW(Cursor *cursor, InsertPlace place, const WCHAR *name,
                       uint32_t childList, uint32_t kind) {
  if (!PlaceAllowed(cursor, place)) return 0;
  Node *node = NodeCreate();
  if (!node) return 0;
  if (name && !NodeSetName(node, name, -1)) {
    NodeDestroy(node);
    return 0;
  }
  node = FinishElement(node, childList, kind);
  return node ? LinkElement(cursor, place, node) : 0;
}

int EditInsertElementA(Cursor *cursor, InsertPlace place, const char *name,
                       uint32_t childList, uint32_t kind) {
  if (!PlaceAllowed(cursor, place)) return 0;
  Node *node = NodeCreate();
  if (!node) return 0;
  if (name && !NodeSetNameA(node, name)) {
    NodeDestroy(node);
    return 0;
  }
  node = FinishElement(node, childList, kind);
  return node ? LinkElement(cursor, place, node) : 0;
}

int EditAddNodePathW(Cursor *cursor, const WCHAR *path, uint32_t enter) {
  if (!cursor || !path) return 0;
  if (path[0] == 0) return 1;
  if (!cursor->list) return 0;
  const WCHAR *name = path;
  for (;;) {
    Node *head = cursor->list;
    cursor->current = head;
    if (cursor->base) {
      for (Node *node = head->next; node != head; node = node->next) {
        if (NameMatches(node, name)) {
          cursor->current = node;
          break;
        }
      }
    }
    if (cursor->current == head) {
      if (!cursor->document) return 0;
      Node *node = NodeCreate();
      if (!node) return 0;
      if (!NodeSetName(node, name, -1)) {
        NodeDestroy(node);
        return 0;
      }
      cursor->current = NodeInsertBefore(head, node);
      cursor->document->updateFlag = 1;
      NodeMarkListChanged(head);
    }
    while (*name) ++name;
    ++name;
    if (*name == 0 && !enter) return 1;
    Node *element = cursor->current;
    Node *children = element->child ? element->child : NodeCreateChildList(element);
    if (!children) return 0;
    cursor->list = children;
    cursor->current = children;
    if (*name == 0) return 1;
  }
}

int EditAddNodePathA(Cursor *cursor, const char *path, uint32_t enter) {
  if (!cursor || !path) return 0;
  if (path[0] == 0) return 1;
  WCHAR *wide = StringListToWide(path);
  if (!wide) return 0;
  int result = EditAddNodePathW(cursor, wide, enter);
  FreeBlock(wide);
  return result;
}
