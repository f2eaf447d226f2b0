// Text fields of the cursor's current element and the assembled inner text.
// Field storage, narrow caches and the kind change on setting the inner text
// belong to the node operations; this file selects the node and assembles.
// The assembly walks the subtree through child and owner links (no
// recursion), once to measure and once to fill.
#include "model/text_fields.h"

#include <string.h>

#include "text/text.h"

namespace {

Node *SelectedNode(const Cursor *cursor) {
  return CursorHasSelection(cursor) ? cursor->current : nullptr;
}

// Visits, in document order below `node`, every inner text and every after
// text of its descendants: `inner(n)` on entering n, `after(n)` on leaving
// it. `node`'s own texts are not visited.
template <typename Inner, typename After>
void WalkTexts(const Node *node, Inner inner, After after) {
  const Node *head = NodeChildList(node);
  if (!head) return;
  const Node *at = head->next;
  for (;;) {
    if (NodeIsListHead(at)) {
      // A ring is finished: its owner is left.
      const Node *owner = NodeOwner(at);
      if (!owner || owner == node) return;
      after(owner);
      at = owner->next;
      continue;
    }
    inner(at);
    const Node *children = NodeChildList(at);
    if (children) {
      at = children->next;  // an empty list leads back to `at` at once
      continue;
    }
    after(at);
    at = at->next;
  }
}

}  // namespace

const WCHAR *CursorGetField(Cursor *cursor, TextField field) {
  Node *node = SelectedNode(cursor);
  if (!node) return nullptr;
  switch (field) {
    case kFieldName: return node->name;
    case kFieldInner: return node->inner;
    case kFieldAfter: return node->after;
  }
  return nullptr;
}

const char *CursorGetFieldA(Cursor *cursor, TextField field) {
  Node *node = SelectedNode(cursor);
  if (!node) return nullptr;
  switch (field) {
    case kFieldName: return NodeNameNarrow(node);
    case kFieldInner: return NodeInnerNarrow(node);
    case kFieldAfter: return NodeAfterNarrow(node);
  }
  return nullptr;
}

// Edit marks of a text field set on `node`, whose kind was `kind` before: a
// kind raised to 1 by an inner text changes the start tag as well.
static void MarkFieldSet(Node *node, TextField field, uint8_t kind) {
  uint8_t marks = field == kFieldInner ? kMarkInner : kMarkAfter;
  if (node->kind != kind) marks |= kMarkTag;
  NodeMarkEdited(node, marks);
}

int32_t CursorSetField(Cursor *cursor, TextField field, const WCHAR *text, int32_t length) {
  Node *node = SelectedNode(cursor);
  if (!node) return 0;
  if (!text) {
    length = 0;
  } else if (length < 0) {
    length = lstrlenW(text);
  } else {
    // The caller's length may reach past the text's terminator.
    length = static_cast<int32_t>(BoundedLengthW(text, static_cast<size_t>(length)));
  }
  const uint8_t kind = node->kind;
  int32_t done = 0;
  switch (field) {
    case kFieldInner: done = NodeSetInner(node, text, length); break;
    case kFieldAfter: done = NodeSetAfter(node, text, length); break;
    case kFieldName: break;  // names are never set through the cursor
  }
  if (done) MarkFieldSet(node, field, kind);
  return done;
}

int32_t CursorSetFieldA(Cursor *cursor, TextField field, const char *text, int32_t length) {
  Node *node = SelectedNode(cursor);
  if (!node) return 0;
  if (!text) {
    length = 0;
  } else if (length < 0) {
    length = lstrlenA(text);
  }
  const uint8_t kind = node->kind;
  int32_t done = 0;
  switch (field) {
    case kFieldInner: done = NodeSetInnerA(node, text, length); break;
    case kFieldAfter: done = NodeSetAfterA(node, text, length); break;
    case kFieldName: break;
  }
  if (done) MarkFieldSet(node, field, kind);
  return done;
}

WCHAR *AssembleInnerText(const Node *node) {
  if (NodeIsListHead(node)) return static_cast<WCHAR *>(AllocBlock(sizeof(WCHAR)));
  uint64_t total = static_cast<uint32_t>(TextLengthW(node->inner));
  const auto measure = [&total](const WCHAR *text) {
    total += static_cast<uint32_t>(TextLengthW(text));
  };
  WalkTexts(node, [&](const Node *n) { measure(n->inner); },
            [&](const Node *n) { measure(n->after); });
  if (total >= 0x7FFFFFFFu) return nullptr;
  WCHAR *block = static_cast<WCHAR *>(AllocBlock(static_cast<size_t>(total + 1) * sizeof(WCHAR)));
  if (!block) return nullptr;
  WCHAR *out = block;
  const auto fill = [&out](const WCHAR *text) {
    const int32_t length = TextLengthW(text);
    if (length > 0) memcpy(out, text, static_cast<size_t>(length) * sizeof(WCHAR));
    out += length > 0 ? length : 0;
  };
  fill(node->inner);
  WalkTexts(node, [&](const Node *n) { fill(n->inner); }, [&](const Node *n) { fill(n->after); });
  *out = 0;
  return block;
}

const WCHAR *CursorGetInnerText(Cursor *cursor) {
  Node *node = SelectedNode(cursor);
  WCHAR *text = node ? AssembleInnerText(node) : nullptr;
  FreeBlock(cursor->innerTextW);
  cursor->innerTextW = text;
  return text;
}

const char *CursorGetInnerTextA(Cursor *cursor) {
  Node *node = SelectedNode(cursor);
  WCHAR *text = node ? AssembleInnerText(node) : nullptr;
  if (!text) return nullptr;
  char *narrow = ToNarrow(text, CP_ACP, nullptr);
  FreeBlock(text);
  FreeBlock(cursor->innerTextA);
  cursor->innerTextA = narrow;
  return narrow;
}
