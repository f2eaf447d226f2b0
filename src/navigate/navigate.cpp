// Cursor navigation: move codes, seek, position queries, base changes and the
// callback walk. The cursor's three fields are the whole state; the walks
// here use the ring links and owner links only (no recursion, no stack per
// level), so a tree of any depth is walked on a small stack.
//
// Invariant relied on: a node whose parent link is itself is a list head;
// a list head's `child` is its owner (null for the root); an element's
// `child` is its child-list head.
#include "navigate/navigate.h"

#include <string.h>

#include "platform/platform.h"
#include "text/text.h"

namespace {

// Codes 5 and 6: into the current element's non-empty child list.
int32_t MoveToChild(Cursor *cursor, bool last) {
  if (!CursorHasSelection(cursor)) return 0;
  Node *head = NodeChildList(cursor->current);
  if (!head || head->next == head) return 0;
  cursor->list = head;
  cursor->current = last ? head->prev : head->next;
  return 1;
}

// Code 3: to the owner of the cursor's list, unless the list is the base.
int32_t MoveToParent(Cursor *cursor) {
  Node *list = cursor->list;
  if (list == cursor->base) return 0;
  Node *owner = NodeOwner(list);
  if (!owner || !owner->parent) return 0;
  cursor->current = owner;
  cursor->list = owner->parent;
  return 1;
}

// Codes 9 and 10: one step around the ring; 1 when an element is reached.
int32_t MoveInRing(Cursor *cursor, bool forward) {
  Node *node = forward ? cursor->current->next : cursor->current->prev;
  cursor->current = node;
  return node != cursor->list && !NodeIsListHead(node);
}

}  // namespace

Node *NextInOrder(const Node *node, const Node *bound) {
  PrefetchNodesAfter(node);
  // An empty child list leads back to `node` itself: its next sibling is
  // read from `node` directly rather than through the list's owner link.
  if (Node *child = NodeChildList(node)) {
    if (child->next != child) return child->next;
    if (child == bound) return nullptr;
  }
  Node *next = node->next;
  while (NodeIsListHead(next)) {
    if (next == bound) return nullptr;
    Node *owner = NodeOwner(next);
    if (!owner) return nullptr;
    next = owner->next;
  }
  return next;
}

Node *PrevInOrder(const Node *node, const Node *bound) {
  PrefetchNodesBefore(node);
  Node *prev = node->prev;
  if (NodeIsListHead(prev)) {
    if (prev == bound) return nullptr;
    return NodeOwner(prev);
  }
  // Down to the deepest last descendant; an empty child list stops at its
  // owner, which then comes first.
  for (;;) {
    Node *head = NodeChildList(prev);
    if (!head || head->prev == head) return prev;
    prev = head->prev;
  }
}

uint32_t NodeLevelBelow(const Node *node, const Node *base) {
  uint32_t level = 0;
  for (;;) {
    const Node *head = node->parent ? node->parent : node;
    if (head == base) break;
    const Node *owner = NodeOwner(head);
    if (!owner) break;
    node = owner;
    ++level;
  }
  return level;
}

int32_t CursorMoveTo(Cursor *cursor, uint32_t code) {
  if (!cursor->base || !cursor->list || !cursor->current) return 0;
  switch (code) {
    case SG_MOVE_BASE:
      cursor->list = cursor->current = cursor->base;
      return 1;
    case SG_MOVE_BASE_FIRST:
      cursor->list = cursor->base;
      cursor->current = cursor->base->next;
      return cursor->current != cursor->base;
    case SG_MOVE_PARENT:
      return MoveToParent(cursor);
    case SG_MOVE_INTO: {
      if (!CursorHasSelection(cursor)) return 0;
      Node *head = NodeChildList(cursor->current);
      if (!head) return 0;
      cursor->list = cursor->current = head;
      return 1;
    }
    case SG_MOVE_FIRST_CHILD:
      return MoveToChild(cursor, false);
    case SG_MOVE_LAST_CHILD:
      return MoveToChild(cursor, true);
    case SG_MOVE_LIST_HEAD:
      cursor->current = cursor->list;
      return 1;
    case SG_MOVE_FIRST:
      cursor->current = cursor->list->next;
      return cursor->current != cursor->list;
    case SG_MOVE_PREV:
      return MoveInRing(cursor, false);
    case SG_MOVE_NEXT:
      return MoveInRing(cursor, true);
    case SG_MOVE_LAST:
      cursor->current = cursor->list->prev;
      return cursor->current != cursor->list;
    case SG_MOVE_PREV_IN_ORDER:
      // The previous sibling's deepest last descendant, else the owner.
      if (MoveInRing(cursor, false)) {
        while (MoveToChild(cursor, true)) {
        }
        return 1;
      }
      return MoveToParent(cursor);
    case SG_MOVE_NEXT_IN_ORDER:
      // First child, else next sibling, else the next sibling of the
      // nearest owner that has one; the side effects of each step stand.
      if (MoveToChild(cursor, false)) return 1;
      if (MoveInRing(cursor, true)) return 1;
      for (;;) {
        if (!MoveToParent(cursor)) return 0;
        if (MoveInRing(cursor, true)) return 1;
      }
    default:
      return 0;
  }
}

int32_t CursorSeek(Cursor *cursor, uint32_t id) {
  Node *base = cursor->base;
  if (!base) return 0;
  for (Node *node = NextInOrder(base, base); node; node = NextInOrder(node, base)) {
    if (node->id == id) {
      cursor->current = node;
      cursor->list = node->parent;
      return 1;
    }
  }
  return 0;
}

uint32_t CursorGetLevel(const Cursor *cursor) {
  if (!cursor->current) return kNone;
  return NodeLevelBelow(cursor->current, cursor->base);
}

uint32_t CursorSetLevel(Cursor *cursor, int32_t level) {
  if (!cursor->current) return kNone;
  const int64_t now = static_cast<int32_t>(CursorGetLevel(cursor));
  if (level > now) return 0;
  if (level == now) return 1;
  Node *node = cursor->current;
  for (int64_t steps = now - level; steps > 0; --steps) {
    Node *head = node->parent ? node->parent : node;
    if (head == cursor->base) return 0;
    Node *owner = NodeOwner(head);
    if (!owner || !owner->parent) return 0;
    node = owner;
  }
  cursor->current = node;
  cursor->list = node->parent;
  return 1;
}

uint32_t CursorGetIndex(const Cursor *cursor) {
  const Node *node = cursor->current;
  if (!NodeIsElement(node)) return kNone;
  uint32_t index = 0;
  for (const Node *at = node->prev; !NodeIsListHead(at); at = at->prev) ++index;
  return index;
}

uint32_t CursorSetIndex(Cursor *cursor, uint32_t index) {
  Node *node = cursor->current;
  if (!node) return kNone;
  if (!NodeIsElement(node)) return 0;
  Node *head = node->parent;
  Node *at = head->next;
  if (at == head) return 0;
  for (uint32_t i = 0; i < index; ++i) {
    at = at->next;
    if (at == head) return 0;
  }
  cursor->current = at;
  return 1;
}

uint32_t CursorGetChildCount(const Cursor *cursor) {
  const Node *node = cursor->current;
  if (!node || node == cursor->list) return 0;
  const Node *head = NodeChildList(node);
  if (!head) return 0;
  uint32_t count = 0;
  for (const Node *at = head->next; at != head; at = at->next) ++count;
  return count;
}

uint32_t CursorGetTagCount(const Cursor *cursor) {
  if (!cursor->current) return kNone;
  return static_cast<uint32_t>(cursor->current->tagNumber);
}

uint32_t CursorTagIndex(const Cursor *cursor) {
  if (!cursor->document || !CursorHasSelection(cursor)) return kNone;
  const Node *node = cursor->current;
  uint32_t count = 0;
  if (!node->name) return 0;  // a nameless element has no same-named ones
  for (const Node *at = PrevInOrder(node, cursor->base); at;
       at = PrevInOrder(at, cursor->base)) {
    if (NodeNameIs(at, node->name)) ++count;
  }
  return count;
}

int32_t CursorIsEmptyList(const Cursor *cursor) {
  return CursorHasSelection(cursor) ? 0 : 1;
}

uint32_t CursorGetTagPos(const Cursor *cursor, uint32_t selector) {
  if (!CursorHasSelection(cursor)) return kNone;
  const Node *node = cursor->current;
  switch (selector) {
    case 0: return static_cast<uint32_t>(node->srcStart);
    case 1: return static_cast<uint32_t>(node->srcTagEnd);
    case 2: return static_cast<uint32_t>(node->srcEnd);
    default: return kNone;
  }
}

int32_t CursorSetBase(Cursor *cursor, int32_t flag) {
  if (!cursor->document) return 0;
  if (flag != 0) {
    Node *head = NodeChildList(cursor->current);
    if (!head) return 0;
    cursor->base = cursor->list = head;
    cursor->current = head->next;
    return 1;
  }
  if (!cursor->base) return 0;
  Node *owner = NodeOwner(cursor->base);
  if (!owner || !owner->parent) return 0;
  cursor->current = owner;
  cursor->list = owner->parent;
  cursor->base = &cursor->document->root;
  return 1;
}

// ---- The callback walk ----------------------------------------------------

namespace {

// One "skip the rest of this level" flag per depth on the walk's path: the
// phase-0 result of an element whose children are being visited decides
// what happens when the walk comes back to it. The first 2048 levels live
// in the record itself; deeper ones in a block grown by doubling. A flag at
// depth d is always written when the walk descends from d, before it is
// read on the way back; bits beyond the capacity read as 0.
struct SkipFlags {
  uint8_t local[256];
  uint8_t *bits;
  uint32_t capacity;  // in bits
};

void SkipFlagsInit(SkipFlags *flags) {
  memset(flags->local, 0, sizeof flags->local);
  flags->bits = flags->local;
  flags->capacity = sizeof flags->local * 8;
}

void SkipFlagsFree(SkipFlags *flags) {
  if (flags->bits != flags->local) FreeBlock(flags->bits);
}

bool SkipFlagsGet(const SkipFlags *flags, uint32_t depth) {
  if (depth >= flags->capacity) return false;
  return (flags->bits[depth >> 3] >> (depth & 7)) & 1;
}

// Records the flag of `depth`; false when the block cannot grow.
bool SkipFlagsSet(SkipFlags *flags, uint32_t depth, bool value) {
  if (depth >= flags->capacity) {
    if (!value) return true;  // reads as 0 until written
    uint64_t capacity = flags->capacity;
    while (capacity <= depth) capacity *= 2;
    uint8_t *grown = static_cast<uint8_t *>(AllocBlock(static_cast<size_t>(capacity / 8)));
    if (!grown) return false;
    memcpy(grown, flags->bits, flags->capacity / 8);
    SkipFlagsFree(flags);
    flags->bits = grown;
    flags->capacity = static_cast<uint32_t>(capacity);
  }
  const uint8_t mask = static_cast<uint8_t>(1u << (depth & 7));
  if (value) {
    flags->bits[depth >> 3] |= mask;
  } else {
    flags->bits[depth >> 3] &= static_cast<uint8_t>(~mask);
  }
  return true;
}

enum ScanEnd { kScanOn, kScanDone, kScanAbort };

// Runs the walk whose first element (depth 0) the cursor stands on.
ScanEnd ScanWalk(Cursor *cursor, SG_SCAN_PROC proc, intptr_t user, SkipFlags *flags) {
  SG_CURSOR handle = AsHandle(cursor);
  uint32_t depth = 0;
  uint32_t entered = proc(handle, depth, 0, user);
  if (entered & SG_SCAN_STOP) return kScanDone;
  for (;;) {
    // The cursor stands on an element just entered with result `entered`;
    // every callback may have moved it, so positions are read afresh.
    if (entered & SG_SCAN_ABORT) return kScanAbort;
    Node *node = cursor->current;
    Node *head = (entered & SG_SCAN_SKIP_CHILDREN) ? nullptr : NodeChildList(node);
    if (head && head->next != head) {
      if (!SkipFlagsSet(flags, depth, (entered & SG_SCAN_SKIP_SIBLINGS) != 0)) return kScanAbort;
      cursor->list = head;
      cursor->current = head->next;
      ++depth;
      entered = proc(handle, depth, 0, user);
      if (entered & SG_SCAN_STOP) return kScanDone;
      continue;
    }
    bool levelDone = (entered & SG_SCAN_SKIP_SIBLINGS) != 0;
    // Leave the current element, then its level while that is done.
    for (;;) {
      if (!levelDone) {
        uint32_t left = proc(handle, depth, 1, user);
        if (left & SG_SCAN_STOP) return kScanDone;
        if (left & SG_SCAN_ABORT) return kScanAbort;
        if (left & SG_SCAN_SKIP_SIBLINGS) {
          levelDone = true;
        } else {
          Node *next = cursor->current->next;
          cursor->current = next;
          if (NodeIsListHead(next) || next == cursor->list) {
            levelDone = true;
          } else {
            entered = proc(handle, depth, 0, user);
            if (entered & SG_SCAN_STOP) return kScanDone;
            break;
          }
        }
      }
      if (depth == 0) return kScanOn;
      Node *owner = NodeOwner(cursor->list);
      if (!owner || !owner->parent) return kScanOn;
      cursor->current = owner;
      cursor->list = owner->parent;
      --depth;
      levelDone = SkipFlagsGet(flags, depth);
    }
  }
}

}  // namespace

int32_t CursorScanTree(Cursor *cursor, SG_SCAN_PROC proc, intptr_t user) {
  Node *base = cursor->base;
  if (!base || !proc) return 0;
  cursor->list = base;
  cursor->current = base->next;
  if (cursor->current == base) return 0;
  SkipFlags flags;
  SkipFlagsInit(&flags);
  const ScanEnd end = ScanWalk(cursor, proc, user, &flags);
  SkipFlagsFree(&flags);
  return end == kScanAbort ? 0 : 1;
}
