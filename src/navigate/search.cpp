// Search by name (document order forward and backward, siblings, children,
// ancestors, descendants) and by path of names. The index is a count of
// matches to pass over, kept in `remaining`: a match with remaining 0 is the
// one found, any other lowers it by one.
//
// Path walks keep no stack: they descend through child links, come back
// through owner links, and step one name down or up the string list per level.
#include "navigate/search.h"

#include "navigate/navigate.h"
#include "text/text.h"

namespace {

// Counts one match: true when it is the one sought.
inline bool TakeMatch(int32_t *remaining) {
  if (*remaining == 0) return true;
  --*remaining;
  return false;
}

// Makes `found` current with its ring as the cursor's list.
int32_t Select(Cursor *cursor, Node *found) {
  cursor->current = found;
  cursor->list = found->parent;
  return 1;
}

// Forward document order after `start` (its descendants first) inside the
// subtree of list head `bound`.
Node *FindForward(const Node *start, const Node *bound, const WCHAR *name, int32_t *remaining) {
  for (Node *at = NextInOrder(start, bound); at; at = NextInOrder(at, bound)) {
    if (NodeNameIs(at, name) && TakeMatch(remaining)) return at;
  }
  return nullptr;
}

// Backward document order before `start`, not above `bound`.
Node *FindBackward(const Node *start, const Node *bound, const WCHAR *name, int32_t *remaining) {
  for (Node *at = PrevInOrder(start, bound); at; at = PrevInOrder(at, bound)) {
    if (NodeNameIs(at, name) && TakeMatch(remaining)) return at;
  }
  return nullptr;
}

// Siblings from `start` (excluded) forward or backward to the list head.
Node *FindSibling(const Node *start, bool forward, const WCHAR *name, int32_t *remaining) {
  for (Node *at = forward ? start->next : start->prev; !NodeIsListHead(at);
       at = forward ? at->next : at->prev) {
    if (NodeNameIs(at, name) && TakeMatch(remaining)) return at;
  }
  return nullptr;
}

// ---- Paths ------------------------------------------------------------------

// The name after `name` in a string list (empty when `name` is the last).
inline const WCHAR *NextName(const WCHAR *name) {
  while (*name) ++name;
  return name + 1;
}

// The name before `name`, which is not the first of the list at `path`.
const WCHAR *PrevName(const WCHAR *path, const WCHAR *name) {
  const WCHAR *at = name - 2;  // last unit of the previous (non-empty) name
  while (at > path && at[-1] != 0) --at;
  return at;
}

// Walks the ring of `first` from `first` on: an element matching `name`
// counts when `name` is the path's last, else the walk descends into its
// child list with the next name. Coming back up restores the name above.
// The walk ends at the list head of the starting ring.
Node *WalkPath(Node *first, const WCHAR *path, const WCHAR *name, int32_t *remaining) {
  uint32_t depth = 0;  // levels below the starting ring
  Node *at = first;
  for (;;) {
    if (NodeIsListHead(at)) {
      if (depth == 0) return nullptr;
      Node *owner = NodeOwner(at);
      if (!owner) return nullptr;
      --depth;
      name = PrevName(path, name);
      at = owner->next;
      continue;
    }
    if (NodeNameIs(at, name)) {
      const WCHAR *rest = NextName(name);
      if (*rest == 0) {
        if (TakeMatch(remaining)) return at;
      } else if (NodeIsElement(at) && at->child) {
        ++depth;
        name = rest;
        at = at->child->next;
        continue;
      }
    }
    at = at->next;
  }
}

// Mode 11: for the current element and each ancestor X up to the top level
// below the base, walk what follows X in its ring with the part of the path
// that starts at X's level.
Node *FindPathNext(Cursor *cursor, const WCHAR *path, int32_t *remaining) {
  uint32_t names = 0;
  for (const WCHAR *at = path; *at; at = NextName(at)) ++names;
  if (names == 0) return nullptr;
  Node *x = cursor->current;
  const uint32_t level = NodeLevelBelow(x, cursor->base);
  const WCHAR *name = nullptr;  // name number `level - j`, once it exists
  for (uint32_t j = 0;; ++j) {
    const uint32_t index = level - j;
    if (index < names) {
      if (name) {
        name = PrevName(path, name);
      } else {
        name = path;
        for (uint32_t i = 0; i < index; ++i) name = NextName(name);
      }
      Node *found = WalkPath(x->next, path, name, remaining);
      if (found) return found;
    }
    if (j == level) return nullptr;
    Node *owner = NodeOwner(x->parent);
    if (!owner || !owner->parent) return nullptr;
    x = owner;
  }
}

}  // namespace

int32_t CursorSearch(Cursor *cursor, const WCHAR *name, uint32_t mode, int32_t index) {
  Node *base = cursor->base;
  if (!base || !name || mode < SG_SEARCH_FIRST || mode > SG_SEARCH_PATH_NEXT) return 0;
  if (!cursor->list || !cursor->current) return 0;
  int32_t remaining = index < 0 ? 0 : index;
  Node *current = cursor->current;
  const bool selected = CursorHasSelection(cursor);
  Node *found = nullptr;
  switch (mode) {
    case SG_SEARCH_FIRST:
      cursor->list = cursor->current = base;
      found = FindForward(base, base, name, &remaining);
      return found ? Select(cursor, found) : 0;
    case SG_SEARCH_NEXT:
      found = FindForward(current, base, name, &remaining);
      return found ? Select(cursor, found) : 0;
    case SG_SEARCH_PREV:
      found = FindBackward(current, base, name, &remaining);
      return found ? Select(cursor, found) : 0;
    case SG_SEARCH_FIRST_SIBLING:
      cursor->current = cursor->list;
      found = FindSibling(cursor->list, true, name, &remaining);
      break;
    case SG_SEARCH_NEXT_SIBLING:
      found = FindSibling(current, true, name, &remaining);
      break;
    case SG_SEARCH_PREV_SIBLING:
      found = FindSibling(current, false, name, &remaining);
      break;
    case SG_SEARCH_CHILD: {
      if (!selected || !current->child) return 0;
      Node *head = current->child;
      found = FindSibling(head, true, name, &remaining);
      if (!found) return 0;
      cursor->list = head;
      break;
    }
    case SG_SEARCH_ANCESTOR: {
      if (!selected) return 0;
      for (Node *at = current; at->parent && at->parent != base;) {
        at = NodeOwner(at->parent);
        if (!at) break;
        if (NodeNameIs(at, name) && TakeMatch(&remaining)) return Select(cursor, at);
      }
      return 0;
    }
    case SG_SEARCH_DESCENDANT:
      if (!selected || !current->child) return 0;
      found = FindForward(current->child, current->child, name, &remaining);
      return found ? Select(cursor, found) : 0;
    case SG_SEARCH_PATH_FIRST:
      cursor->list = cursor->current = base;
      if (*name == 0) return 0;
      found = WalkPath(base->next, name, name, &remaining);
      return found ? Select(cursor, found) : 0;
    case SG_SEARCH_PATH_NEXT:
      if (!selected) return 0;
      found = FindPathNext(cursor, name, &remaining);
      return found ? Select(cursor, found) : 0;
  }
  if (!found) return 0;
  cursor->current = found;
  return 1;
}

int32_t CursorSearchA(Cursor *cursor, const char *name, uint32_t mode, int32_t index) {
  if (!name) return 0;
  const bool path = mode == SG_SEARCH_PATH_FIRST || mode == SG_SEARCH_PATH_NEXT;
  WCHAR *wide = path ? StringListToWide(name) : ToWide(name, -1, CP_ACP);
  if (!wide) return 0;
  const int32_t result = CursorSearch(cursor, wide, mode, index);
  FreeBlock(wide);
  return result;
}
