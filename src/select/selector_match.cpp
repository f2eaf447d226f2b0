// Matching compiled selectors against elements, and the document-order
// walks of sxSelect / sxSelectCount over cursors.
//
// A complex selector is matched from its rightmost compound outwards. The
// combinators that offer a choice (descendant: which ancestor; '~': which
// earlier sibling) take the nearest candidate whose part of the selector up
// to the next choice matches; a failure further left retries only the
// newest open choice. This greedy order finds a match whenever one exists:
// a nearer ancestor leaves every farther ancestor to the rest of the
// selector, and a nearer earlier sibling leaves every sibling before it,
// while the parent ('>') and the ancestors above a sibling list are the same
// for every sibling. So matching needs two remembered choices, no stack, and
// never recurses per tree level. Nothing here allocates except the decoding
// of an attribute value longer than a stack buffer.
#include "navigate/navigate.h"
#include "select/selector.h"
#include "text/entities.h"
#include "text/text.h"

namespace {

inline WCHAR FoldAscii(WCHAR c) { return (c >= 'A' && c <= 'Z') ? static_cast<WCHAR>(c + 32) : c; }

inline bool IsBlank(WCHAR c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

// A node's name against a lower-cased name of `length` units.
inline bool NameEquals(const WCHAR *name, const WCHAR *lower, uint32_t length) {
  if (!name) return false;
  for (uint32_t i = 0; i < length; ++i) {
    if (FoldAscii(name[i]) != lower[i]) return false;  // also stops at name's end
  }
  return name[length] == 0;
}

// Two node names without regard to ASCII case (absent names never equal).
inline bool NamesEqual(const Node *a, const Node *b) {
  if (!a->name || !b->name || !NameKeysMayMatch(a->nameKey, b->nameKey)) return false;
  const WCHAR *x = a->name, *y = b->name;
  for (; *x && FoldAscii(*x) == FoldAscii(*y); ++x, ++y) {
  }
  return FoldAscii(*x) == FoldAscii(*y);
}

inline bool IsElementKind(uint32_t kind) {
  return kind == kKindElement || kind == kKindVoid || kind == kKindEmptyTag || kind == kKindPlain;
}

// The element whose child list holds `node`, or null at the top level (or
// below a node that is no element).
inline const Node *ParentElement(const Node *node) {
  const Node *owner = NodeOwner(node->parent);
  return owner && IsElementKind(owner->kind) ? owner : nullptr;
}

inline const Node *PrevElement(const Node *node) {
  for (const Node *at = node->prev; !NodeIsListHead(at); at = at->prev) {
    if (IsElementKind(at->kind)) return at;
  }
  return nullptr;
}

inline const Node *NextElement(const Node *node) {
  for (const Node *at = node->next; !NodeIsListHead(at); at = at->next) {
    if (IsElementKind(at->kind)) return at;
  }
  return nullptr;
}

// ---- Attribute values -----------------------------------------------------------

inline WCHAR Fold(WCHAR c, bool ignoreCase) { return ignoreCase ? FoldAscii(c) : c; }

bool SameText(const WCHAR *a, const WCHAR *b, uint32_t length, bool ignoreCase) {
  for (uint32_t i = 0; i < length; ++i) {
    if (Fold(a[i], ignoreCase) != Fold(b[i], ignoreCase)) return false;
  }
  return true;
}

// The operator of `test` on a decoded value of `length` units.
bool ValueMatches(const SelTest *test, const WCHAR *want, const WCHAR *value, uint32_t length) {
  const uint32_t n = test->valueLength;
  const bool ic = test->ignoreCase != 0;
  switch (test->op) {
    case kAttrEquals:
      return length == n && SameText(value, want, n, ic);
    case kAttrPrefix:
      return n > 0 && length >= n && SameText(value, want, n, ic);
    case kAttrSuffix:
      return n > 0 && length >= n && SameText(value + length - n, want, n, ic);
    case kAttrDash:
      return length >= n && SameText(value, want, n, ic) && (length == n || value[n] == '-');
    case kAttrContains:
      if (n == 0 || length < n) return false;
      for (uint32_t at = 0; at + n <= length; ++at) {
        if (SameText(value + at, want, n, ic)) return true;
      }
      return false;
    case kAttrWord: {
      if (n == 0) return false;
      for (uint32_t i = 0; i < n; ++i) {
        if (IsBlank(want[i])) return false;
      }
      for (uint32_t at = 0; at < length;) {
        while (at < length && IsBlank(value[at])) ++at;
        uint32_t end = at;
        while (end < length && !IsBlank(value[end])) ++end;
        if (end - at == n && SameText(value + at, want, n, ic)) return true;
        at = end;
      }
      return false;
    }
  }
  return true;  // kAttrExists
}

// The operator of `test` on raw attribute value `raw` (null: empty), after
// its character references are decoded.
bool AttributeValueMatches(const SelTest *test, const WCHAR *want, const WCHAR *raw) {
  static const WCHAR kEmpty[1] = {0};
  if (!raw) raw = kEmpty;
  // References change a value only from its first '&' on: a prefix test (=,
  // ^= and |= start as one) decides on the units before it without decoding.
  const uint32_t n = test->valueLength;
  if (test->op == kAttrEquals || test->op == kAttrPrefix || test->op == kAttrDash) {
    const bool ic = test->ignoreCase != 0;
    uint32_t i = 0;
    for (; i < n && raw[i] && raw[i] != '&'; ++i) {
      if (Fold(raw[i], ic) != Fold(want[i], ic)) return false;
    }
    if (i < n && raw[i] != '&') return false;  // the value is shorter
    if (i == n) {
      if (test->op == kAttrPrefix) return n > 0;
      const WCHAR after = raw[n];
      if (after != '&') return after == 0 || (test->op == kAttrDash && after == '-');
    }
  }
  uint32_t length = 0;
  bool references = false;
  for (; raw[length]; ++length) references |= raw[length] == '&';
  if (!references) return ValueMatches(test, want, raw, length);
  WCHAR local[256];
  WCHAR *decoded = local;
  if (length > 256) {
    decoded = static_cast<WCHAR *>(AllocBlockRaw(length * sizeof(WCHAR)));
    if (!decoded) return false;
  }
  const int32_t units =
      DecodeReferences(raw, static_cast<int32_t>(length), true, decoded, static_cast<int32_t>(length));
  const bool result = ValueMatches(test, want, decoded, static_cast<uint32_t>(units));
  if (decoded != local) FreeBlock(decoded);
  return result;
}

// The first attribute of `node` named `lower` (lower-cased), or null.
const Attrib *FindAttribute(const Node *node, const WCHAR *lower, uint32_t length) {
  const Attrib *head = node->attribs;
  if (!head) return nullptr;
  for (const Attrib *at = head->next; at != head; at = at->next) {
    if (NameEquals(at->name, lower, length)) return at;
  }
  return nullptr;
}

// ---- Structural tests -------------------------------------------------------------

// :nth-*(): the element's position (1-based) among its element siblings (of
// its name with kNthOfType), counted from the end with kNthFromLast.
bool NthMatches(const SelTest *test, const Node *node) {
  const bool ofType = (test->op & kNthOfType) != 0;
  const bool fromLast = (test->op & kNthFromLast) != 0;
  int64_t position = 1;
  const int64_t a = test->a, b = test->b;
  // Past this position no larger one can match, so the count may stop.
  const int64_t limit = a > 0 ? INT64_MAX : b;
  for (const Node *at = fromLast ? NextElement(node) : PrevElement(node); at;
       at = fromLast ? NextElement(at) : PrevElement(at)) {
    if (!ofType || NamesEqual(at, node)) {
      if (++position > limit) return false;
    }
  }
  if (a == 0) return position == b;
  return (position - b) % a == 0 && (position - b) / a >= 0;
}

// :empty: no element child and no text (comments and processing
// instructions do not count, their following text does).
bool IsEmpty(const Node *node) {
  if (node->inner && node->inner[0]) return false;
  const Node *head = node->child;
  if (!head) return true;
  for (const Node *at = head->next; at != head; at = at->next) {
    if (IsElementKind(at->kind) || (at->after && at->after[0])) return false;
  }
  return true;
}

bool MatchList(const SxSelector *s, uint32_t list, const Node *node);

bool MatchTest(const SxSelector *s, const SelTest *test, const Node *node) {
  switch (test->kind) {
    case kTestType:
      return NameKeysMayMatch(node->nameKey, test->nameKey) &&
             NameEquals(node->name, s->pool + test->name, test->nameLength);
    case kTestId:
    case kTestClass: {
      static const WCHAR kId[] = {'i', 'd', 0}, kClass[] = {'c', 'l', 'a', 's', 's', 0};
      const bool id = test->kind == kTestId;
      const Attrib *attrib = FindAttribute(node, id ? kId : kClass, id ? 2 : 5);
      return attrib && AttributeValueMatches(test, s->pool + test->value, attrib->value);
    }
    case kTestAttribute: {
      const Attrib *attrib = FindAttribute(node, s->pool + test->name, test->nameLength);
      return attrib && (test->op == kAttrExists ||
                        AttributeValueMatches(test, s->pool + test->value, attrib->value));
    }
    case kTestNth:
      return NthMatches(test, node);
    case kTestEmpty:
      return IsEmpty(node);
    case kTestRoot:
      return NodeOwner(node->parent) == nullptr;
    case kTestIs:
      return MatchList(s, test->list, node);
    case kTestNot:
      return !MatchList(s, test->list, node);
  }
  return false;
}

inline bool MatchCompound(const SxSelector *s, uint32_t compound, const Node *node) {
  for (uint32_t t = s->compounds[compound].firstTest; t != kSelNone; t = s->tests[t].next) {
    if (!MatchTest(s, &s->tests[t], node)) return false;
  }
  return true;
}

// The nearest element from `from` on (excluded), stepping to the parent
// (`up`) or the previous sibling, that matches `compound`; null if none.
inline const Node *FindNearest(const SxSelector *s, uint32_t compound, const Node *from, bool up) {
  for (const Node *at = up ? ParentElement(from) : PrevElement(from); at;
       at = up ? ParentElement(at) : PrevElement(at)) {
    if (MatchCompound(s, compound, at)) return at;
  }
  return nullptr;
}

bool MatchComplex(const SxSelector *s, const SelComplex *complex, const Node *node) {
  uint32_t k = complex->rightmost;
  if (!MatchCompound(s, k, node)) return false;
  const Node *x = node;
  // The open choices: the compound placed by choice and where it stands.
  uint32_t ancestorK = kSelNone, siblingK = kSelNone;
  const Node *ancestorAt = nullptr, *siblingAt = nullptr;
  for (;;) {
    const SelCompound &c = s->compounds[k];
    if (c.left == kSelNone) return true;
    const uint32_t left = c.left;
    const Node *y = nullptr;
    switch (c.combinator) {
      case kCombChild:
        siblingK = kSelNone;  // the parent is the same for every sibling
        y = ParentElement(x);
        if (y && !MatchCompound(s, left, y)) y = nullptr;
        break;
      case kCombAdjacent:
        y = PrevElement(x);
        if (y && !MatchCompound(s, left, y)) y = nullptr;
        break;
      case kCombSibling:
        siblingK = kSelNone;  // a nearer sibling leaves more room: keep it
        y = FindNearest(s, left, x, false);
        if (y) siblingK = left, siblingAt = y;
        break;
      case kCombDescendant:
        siblingK = ancestorK = kSelNone;
        y = FindNearest(s, left, x, true);
        if (y) ancestorK = left, ancestorAt = y;
        break;
    }
    if (y) {
      x = y;
      k = left;
      continue;
    }
    // Retry the newest open choice with its next candidate.
    if (siblingK != kSelNone) {
      y = FindNearest(s, siblingK, siblingAt, false);
      if (y) {
        x = siblingAt = y;
        k = siblingK;
        continue;
      }
      siblingK = kSelNone;
    }
    if (ancestorK == kSelNone) return false;
    y = FindNearest(s, ancestorK, ancestorAt, true);
    if (!y) return false;
    x = ancestorAt = y;
    k = ancestorK;
  }
}

bool MatchList(const SxSelector *s, uint32_t list, const Node *node) {
  for (uint32_t c = s->lists[list].firstComplex; c != kSelNone; c = s->complexes[c].next) {
    if (MatchComplex(s, &s->complexes[c], node)) return true;
  }
  return false;
}

// ---- Walks ------------------------------------------------------------------------

// The first element after `from` in document order inside the subtree of
// list head `bound` that matches, or null.
Node *FindMatch(const SxSelector *s, const Node *from, const Node *bound) {
  for (Node *at = NextInOrder(from, bound); at; at = NextInOrder(at, bound)) {
    if (IsElementKind(at->kind) && MatchList(s, 0, at)) return at;
  }
  return nullptr;
}

// True when `node` lies in the subtree of list head `bound`.
bool IsInside(const Node *node, const Node *bound) {
  for (const Node *head = node->parent; head;) {
    if (head == bound) return true;
    const Node *owner = NodeOwner(head);
    if (!owner) return false;
    head = owner->parent;
  }
  return false;
}

// Levels above `node` (0 at the top level).
uint32_t Depth(const Node *node) {
  uint32_t depth = 0;
  for (const Node *owner = NodeOwner(node->parent); owner; owner = NodeOwner(owner->parent)) ++depth;
  return depth;
}

// True when `a` comes before `b`, or is `b`, in document order (an ancestor
// comes before its descendants); both are ring members of one tree.
bool Precedes(const Node *a, const Node *b) {
  uint32_t da = Depth(a), db = Depth(b);
  for (; db > da; --db) b = NodeOwner(b->parent);
  if (a == b) return true;
  for (; da > db; --da) a = NodeOwner(a->parent);
  if (a == b) return false;  // b is an ancestor of a
  while (a->parent != b->parent) {
    a = NodeOwner(a->parent);
    b = NodeOwner(b->parent);
  }
  for (const Node *at = a->next; !NodeIsListHead(at); at = at->next) {
    if (at == b) return true;
  }
  return false;
}

// The list head that bounds a walk of `scope`'s cursor in `mode`, or null
// when there is nothing to walk.
Node *ScopeBound(Cursor *scope, uint32_t mode) {
  if (mode & SX_SELECT_DOCUMENT) return &scope->document->root;
  if (!CursorHasSelection(scope)) return nullptr;
  return scope->current->child;  // null when the element has no children
}

}  // namespace

bool SelectorIsElement(const Node *node) {
  return node && node->parent && !NodeIsListHead(node) && IsElementKind(node->kind);
}

bool SelectorMatches(const SxSelector *selector, const Node *node) {
  return SelectorIsElement(node) && MatchList(selector, 0, node);
}

int32_t CursorSelect(Cursor *scope, const SxSelector *selector, Cursor *result, uint32_t mode) {
  if (!scope->document || scope->document != result->document) return 0;
  const uint32_t step = mode & ~SX_SELECT_DOCUMENT;
  if (step != SX_SELECT_FIRST && step != SX_SELECT_NEXT) return 0;
  Node *bound = ScopeBound(scope, mode);
  if (!bound) return 0;
  const Node *from = bound;
  if (step == SX_SELECT_NEXT) {
    if (!CursorHasSelection(result)) return 0;
    from = result->current;
    // An element outside the scope: the walk starts at the scope when the
    // element comes before it, and finds nothing when it comes after.
    if (!(mode & SX_SELECT_DOCUMENT) && !IsInside(from, bound)) {
      if (!Precedes(from, NodeOwner(bound))) return 0;
      from = bound;
    }
  }
  Node *found = FindMatch(selector, from, bound);
  if (!found) return 0;
  // The result cursor stands in the found element's ring; its base widens to
  // the document when the element lies outside it.
  if (result->base != &result->document->root && !IsInside(found, result->base)) {
    result->base = &result->document->root;
  }
  result->current = found;
  result->list = found->parent;
  return 1;
}

uint32_t CursorSelectCount(Cursor *scope, const SxSelector *selector, uint32_t mode) {
  if (!scope->document || (mode & ~SX_SELECT_DOCUMENT) != 0) return 0;
  Node *bound = ScopeBound(scope, mode);
  if (!bound) return 0;
  uint32_t count = 0;
  for (const Node *at = FindMatch(selector, bound, bound); at; at = FindMatch(selector, at, bound)) {
    ++count;
  }
  return count;
}
