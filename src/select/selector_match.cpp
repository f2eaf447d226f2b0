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
// never recurses per tree level.
//
// A walk (sxSelect, sxSelectCount) keeps a MatchContext of its own: sibling
// positions per list, and per (descendant combinator, node) whether the
// selector left of that combinator matches at or above the node. Both are
// pure functions of the tree, so the compiled selector stays read-only; they
// keep a walk over a long sibling list or a deep tree linear; sxSelect keeps
// its last walk's context per thread, so that stepping from match to match
// stays linear too. Nothing else here allocates except the decoding of an
// attribute value longer than a stack buffer.
#include <new>

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

// The element whose child list holds `node`, or null at the top level (or
// below a node that is no element).
inline const Node *ParentElement(const Node *node) {
  const Node *owner = NodeOwner(node->parent);
  return owner && NodeKindIsElement(owner->kind) ? owner : nullptr;
}

inline const Node *PrevElement(const Node *node) {
  for (const Node *at = node->prev; !NodeIsListHead(at); at = at->prev) {
    if (NodeKindIsElement(at->kind)) return at;
  }
  return nullptr;
}

inline const Node *NextElement(const Node *node) {
  for (const Node *at = node->next; !NodeIsListHead(at); at = at->next) {
    if (NodeKindIsElement(at->kind)) return at;
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

// ---- Per-walk memory ---------------------------------------------------------------

// An element's 1-based position among the elements of its sibling list (of
// its name with ofType), remembered for the last element asked about per
// list; total: the list's count, -1 until counted.
struct NthSlot {
  const Node *head;
  const Node *node;
  int64_t position;
  int64_t total;
  bool ofType;
};

// The answer of a climb: whether the selector from compound `compound` on
// (reached through a descendant combinator) matches at or above `node`.
// rank orders the stores of one climb (the nodes nearest the start win a
// shared slot, a later climb usually rejoins there); fill tells climbs apart.
struct ClimbSlot {
  const Node *node;
  uint32_t compound;
  uint32_t fill;
  uint32_t rank;
  bool result;
};

enum : uint32_t { kNthSlots = 64, kClimbSlots = 2048 };

// What one walk remembers; every answer it gives equals a fresh computation.
struct MatchContext {
  NthSlot nth[kNthSlots];
  ClimbSlot *climbs;  // kClimbSlots, made at the first long climb; null: none yet or no memory
  bool climbsFailed;  // the allocation failed: climbs go unremembered
  uint32_t fill;
};

inline uint32_t HashPointer(const void *p) {
  const uint64_t v = reinterpret_cast<uintptr_t>(p);
  return static_cast<uint32_t>((v >> 4) ^ (v >> 13) ^ (v >> 29));
}

void ContextInit(MatchContext *ctx) {
  for (NthSlot &slot : ctx->nth) slot = NthSlot{nullptr, nullptr, 0, -1, false};
  ctx->climbs = nullptr;
  ctx->climbsFailed = false;
  ctx->fill = 0;
}

void ContextRelease(MatchContext *ctx) {
  if (ctx->climbs) FreeBlock(ctx->climbs);
  ctx->climbs = nullptr;
}

NthSlot *NthSlotOf(MatchContext *ctx, const Node *node, bool ofType) {
  const uint32_t h = HashPointer(node->parent) ^ (ofType ? node->nameKey * 0x9E3779B1u + 1 : 0);
  return &ctx->nth[h & (kNthSlots - 1)];
}

// The slot holds a position for `node`'s list (and name with ofType).
inline bool NthSlotFits(const NthSlot *slot, const Node *node, bool ofType) {
  return slot->head == node->parent && slot->node && slot->ofType == ofType &&
         (!ofType || NamesEqual(slot->node, node));
}

// `node`'s position counted from the first sibling: the count stops at the
// remembered element, which a document-order walk asked about just before.
int64_t NthPosition(MatchContext *ctx, const Node *node, bool ofType) {
  NthSlot *slot = NthSlotOf(ctx, node, ofType);
  const bool fits = NthSlotFits(slot, node, ofType);
  int64_t before = 0;
  for (const Node *at = PrevElement(node); at; at = PrevElement(at)) {
    if (fits && at == slot->node) {
      before += slot->position;
      break;
    }
    if (!ofType || NamesEqual(at, node)) ++before;
  }
  if (!fits) *slot = NthSlot{node->parent, nullptr, 0, -1, ofType};
  slot->node = node;
  slot->position = before + 1;
  return before + 1;
}

// The number of elements (of `node`'s name with ofType) in `node`'s list,
// counted once per list.
int64_t NthTotal(MatchContext *ctx, const Node *node, bool ofType) {
  NthSlot *slot = NthSlotOf(ctx, node, ofType);
  if (NthSlotFits(slot, node, ofType) && slot->total >= 0) return slot->total;
  int64_t total = 0;
  for (const Node *at = node->parent->next; !NodeIsListHead(at); at = at->next) {
    if (NodeKindIsElement(at->kind) && (!ofType || NamesEqual(at, node))) ++total;
  }
  if (NthSlotFits(slot, node, ofType)) slot->total = total;  // NthPosition filled it just before
  return total;
}

// :nth-*(): the element's position (1-based) among its element siblings (of
// its name with kNthOfType), counted from the end with kNthFromLast. A short
// count decides first; a long one goes through the walk's memory when there
// is one (ctx may be null).
bool NthMatches(MatchContext *ctx, const SelTest *test, const Node *node) {
  const bool ofType = (test->op & kNthOfType) != 0;
  const bool fromLast = (test->op & kNthFromLast) != 0;
  int64_t position = 1;
  const int64_t a = test->a, b = test->b;
  // Past this position no larger one can match, so the count may stop.
  const int64_t limit = a > 0 ? INT64_MAX : b;
  uint32_t steps = 0;
  for (const Node *at = fromLast ? NextElement(node) : PrevElement(node); at;
       at = fromLast ? NextElement(at) : PrevElement(at)) {
    if (!ofType || NamesEqual(at, node)) {
      if (++position > limit) return false;
    }
    if (ctx && ++steps == 32) {
      position = NthPosition(ctx, node, ofType);
      if (fromLast) position = NthTotal(ctx, node, ofType) - position + 1;
      break;
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
    if (NodeKindIsElement(at->kind) || (at->after && at->after[0])) return false;
  }
  return true;
}

bool MatchList(MatchContext *ctx, const SxSelector *s, uint32_t list, const Node *node);

bool MatchTest(MatchContext *ctx, const SxSelector *s, const SelTest *test, const Node *node) {
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
      return NthMatches(ctx, test, node);
    case kTestEmpty:
      return IsEmpty(node);
    case kTestRoot:
      return NodeOwner(node->parent) == nullptr;
    case kTestIs:
      return MatchList(ctx, s, test->list, node);
    case kTestNot:
      return !MatchList(ctx, s, test->list, node);
  }
  return false;
}

inline bool MatchCompound(MatchContext *ctx, const SxSelector *s, uint32_t compound, const Node *node) {
  for (uint32_t t = s->compounds[compound].firstTest; t != kSelNone; t = s->tests[t].next) {
    if (!MatchTest(ctx, s, &s->tests[t], node)) return false;
  }
  return true;
}

// The nearest earlier element sibling of `from` that matches `compound`;
// null if none.
inline const Node *FindNearestSibling(MatchContext *ctx, const SxSelector *s, uint32_t compound,
                                      const Node *from) {
  for (const Node *at = PrevElement(from); at; at = PrevElement(at)) {
    if (MatchCompound(ctx, s, compound, at)) return at;
  }
  return nullptr;
}

// Matches the compounds from `k` (already matched at `x`) leftwards through
// '>', '+' and '~' up to the first compound whose combinator is a
// descendant one, or the first compound: true with that compound in *topK
// and its element in *topX. Only the newest '~' choice is retried; every
// choice leaves the same ancestors above *topX, since siblings share them.
bool MatchSegment(MatchContext *ctx, const SxSelector *s, uint32_t k, const Node *x, uint32_t *topK,
                  const Node **topX) {
  uint32_t siblingK = kSelNone;
  const Node *siblingAt = nullptr;
  for (;;) {
    const SelCompound &c = s->compounds[k];
    if (c.left == kSelNone || c.combinator == kCombDescendant) {
      *topK = k;
      *topX = x;
      return true;
    }
    const uint32_t left = c.left;
    const Node *y = nullptr;
    switch (c.combinator) {
      case kCombChild:
        siblingK = kSelNone;  // the parent is the same for every sibling
        y = ParentElement(x);
        if (y && !MatchCompound(ctx, s, left, y)) y = nullptr;
        break;
      case kCombAdjacent:
        y = PrevElement(x);
        if (y && !MatchCompound(ctx, s, left, y)) y = nullptr;
        break;
      default:  // kCombSibling
        siblingK = kSelNone;  // a nearer sibling leaves more room: keep it
        y = FindNearestSibling(ctx, s, left, x);
        if (y) siblingK = left, siblingAt = y;
        break;
    }
    if (y) {
      x = y;
      k = left;
      continue;
    }
    // Retry the open choice with its next candidate.
    if (siblingK == kSelNone) return false;
    y = FindNearestSibling(ctx, s, siblingK, siblingAt);
    if (!y) return false;
    x = siblingAt = y;
    k = siblingK;
  }
}

// A climb's remembered answer for (compound, node): 1 true, 0 false, -1 unknown.
int ClimbLookup(MatchContext *ctx, uint32_t compound, const Node *node) {
  if (!ctx || !ctx->climbs) return -1;
  const ClimbSlot &slot = ctx->climbs[(HashPointer(node) ^ compound * 0x9E3779B1u) & (kClimbSlots - 1)];
  return slot.node == node && slot.compound == compound ? slot.result : -1;
}

void ClimbStore(MatchContext *ctx, uint32_t compound, const Node *node, uint32_t rank, bool result) {
  ClimbSlot &slot = ctx->climbs[(HashPointer(node) ^ compound * 0x9E3779B1u) & (kClimbSlots - 1)];
  if (slot.fill == ctx->fill && slot.node && slot.rank < rank) return;  // keep the nearer node
  slot = ClimbSlot{node, compound, ctx->fill, rank, result};
}

// One level of a match's climb: from `from` up to `stop` (excluded; null:
// the top), every node answered alike for `compound`.
struct ClimbRange {
  uint32_t compound;
  const Node *from;
  const Node *stop;
};

enum : uint32_t { kMaxClimbRanges = 16, kShortClimb = 16 };

// A descendant combinator takes the nearest ancestor at which the selector
// left of it matches up to the next descendant combinator: a farther one has
// only ancestors of the nearer one's ancestors left, so once the nearer one
// is placed a later failure is final. Hence whether the rest matches above a
// node depends on the compound and the node alone, and every node a climb
// passes shares the climb's answer: the walk's memory keeps it, and a later
// climb stops at the first node answered.
bool MatchComplex(MatchContext *ctx, const SxSelector *s, const SelComplex *complex, const Node *node) {
  uint32_t top = complex->rightmost;
  const Node *topX = node;
  if (!MatchCompound(ctx, s, top, node) || !MatchSegment(ctx, s, top, node, &top, &topX)) return false;
  ClimbRange ranges[kMaxClimbRanges];
  uint32_t rangeCount = 0;
  bool result = false;
  uint32_t climbed = 0;
  for (;;) {
    if (s->compounds[top].left == kSelNone) {
      result = true;
      break;
    }
    const uint32_t left = s->compounds[top].left;
    const Node *from = ParentElement(topX);
    const Node *y = from;
    int known = -1;
    for (; y; y = ParentElement(y), ++climbed) {
      known = ClimbLookup(ctx, left, y);
      if (known >= 0) break;
      if (MatchCompound(ctx, s, left, y) && MatchSegment(ctx, s, left, y, &top, &topX)) break;
    }
    // A node placed by a match shares the answer too: remember it, past the range.
    if (rangeCount < kMaxClimbRanges) {
      ranges[rangeCount++] = ClimbRange{left, from, y && known < 0 ? ParentElement(y) : y};
    }
    if (known >= 0) {
      result = known == 1;
      break;
    }
    if (!y) break;  // nothing above matches
  }
  // The memory is made at the first long climb: short ones cost less than it.
  if (ctx && !ctx->climbs && !ctx->climbsFailed && climbed >= kShortClimb) {
    ctx->climbs = static_cast<ClimbSlot *>(AllocBlockRaw(kClimbSlots * sizeof(ClimbSlot)));
    ctx->climbsFailed = ctx->climbs == nullptr;
    if (ctx->climbs) {
      for (uint32_t i = 0; i < kClimbSlots; ++i) ctx->climbs[i] = ClimbSlot{nullptr, 0, 0, 0, false};
    }
  }
  if (ctx && ctx->climbs) {
    ++ctx->fill;
    uint32_t rank = 0;
    for (uint32_t r = 0; r < rangeCount; ++r) {
      for (const Node *at = ranges[r].from; at != ranges[r].stop; at = ParentElement(at)) {
        ClimbStore(ctx, ranges[r].compound, at, rank++, result);
      }
    }
  }
  return result;
}

bool MatchList(MatchContext *ctx, const SxSelector *s, uint32_t list, const Node *node) {
  for (uint32_t c = s->lists[list].firstComplex; c != kSelNone; c = s->complexes[c].next) {
    if (MatchComplex(ctx, s, &s->complexes[c], node)) return true;
  }
  return false;
}

// ---- Walks ------------------------------------------------------------------------

// The first element after `from` in document order inside the subtree of
// list head `bound` that matches, or null; `ctx` is the walk's memory.
Node *FindMatch(MatchContext *ctx, const SxSelector *s, const Node *from, const Node *bound) {
  for (Node *at = NextInOrder(from, bound); at; at = NextInOrder(at, bound)) {
    if (NodeKindIsElement(at->kind) && MatchList(ctx, s, 0, at)) return at;
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
  return node && node->parent && !NodeIsListHead(node) && NodeKindIsElement(node->kind);
}

bool SelectorMatches(const SxSelector *selector, const Node *node) {
  return SelectorIsElement(node) && MatchList(nullptr, selector, 0, node);
}

namespace {

// The memory of the calling thread's last sxSelect walk, and what it was a
// walk of. A next call that starts from the element it found, in the same
// scope with the same selector and no edit since (the selector's serial, the
// element's id and the edit epoch tell reused addresses apart), goes on
// with it: its answers still equal fresh computations. A record of a
// thread-data slot, zero (nothing remembered) when made.
struct WalkMemo {
  uint64_t selector;  // serial; 0: nothing remembered
  const Document *document;
  const Node *bound;
  const Node *found;
  uint32_t foundId;
  uint64_t epoch;
  MatchContext ctx;
};

void WINAPI ReleaseWalk(void *data) {
  WalkMemo *walk = static_cast<WalkMemo *>(data);
  ContextRelease(&walk->ctx);
  delete walk;
}

// The calling thread's walk memory, made on first use; null when it cannot
// be made (the walk then starts afresh every time).
WalkMemo *CurrentWalk() {
  static ThreadDataSlot slot(ReleaseWalk);
  return ThreadRecord<WalkMemo>(&slot, true);
}

}  // namespace

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
  WalkMemo fresh{};  // when the thread has no memory: nothing remembered, nothing kept
  WalkMemo *walk = CurrentWalk();
  if (!walk) walk = &fresh;
  const uint64_t epoch = NodeEditEpoch();
  const bool goesOn = step == SX_SELECT_NEXT && walk->selector == selector->serial &&
                      walk->document == scope->document && walk->bound == bound && walk->found == from &&
                      walk->foundId == from->id && walk->epoch == epoch;
  if (!goesOn) {
    ContextRelease(&walk->ctx);
    ContextInit(&walk->ctx);
  }
  Node *found = FindMatch(&walk->ctx, selector, from, bound);
  walk->selector = found ? selector->serial : 0;
  walk->document = scope->document;
  walk->bound = bound;
  walk->found = found;
  walk->foundId = found ? found->id : 0;
  walk->epoch = epoch;
  if (!found || walk == &fresh) ContextRelease(&walk->ctx);  // the walk is over: its memory goes
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
  MatchContext ctx;
  ContextInit(&ctx);
  for (const Node *at = FindMatch(&ctx, selector, bound, bound); at;
       at = FindMatch(&ctx, selector, at, bound)) {
    ++count;
  }
  ContextRelease(&ctx);
  return count;
}
