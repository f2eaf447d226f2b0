// Node records: construction, the text-field setters with their narrow
// caches, ring linking, and the iterative destroy and deep clone.
//
// Destroy and clone walk the tree through its own links instead of
// recursing: while a subtree is being destroyed, each node taken off its
// ring keeps the node to return to in its (otherwise unused) parent link.
#include "model/node.h"

#include <atomic>

#include "model/ring.h"
#include "platform/simd.h"
#include "text/text.h"

// NodeIds come from one counter for the process, so that they stay unique
// across documents made on any thread. A thread takes them kIdBlock at a
// time and numbers its nodes from its own block: threads that build
// documents at once would otherwise pass the counter's cache line between
// them for every node. A thread alone (any single-threaded program) gets
// the same consecutive ids as from the counter itself; ids of nodes made on
// different threads at once are unique but not ordered by time.
namespace {

const uint32_t kIdBlock = 1024;
alignas(64) std::atomic<uint32_t> gNextIdBlock{1};

struct IdBlock {
  uint32_t next;
  uint32_t end;  // next == end: the block is used up (also before the first)
};
#if defined(__ELF__)
__attribute__((tls_model("initial-exec")))
#endif
thread_local IdBlock tIds;

uint32_t TakeId(void) {
  IdBlock &ids = tIds;
  if (SPRIG_UNLIKELY(ids.next == ids.end)) {
    ids.next = gNextIdBlock.fetch_add(kIdBlock, std::memory_order_relaxed);
    ids.end = ids.next + kIdBlock;
  }
  return ids.next++;
}

}  // namespace

void NodeSkipId(void) { TakeId(); }

void NodeInit(Node *node) {
  node->tagNumber = -1;
  node->id = TakeId();
  node->kind = kKindPlain;
  node->marks = 0;
  node->spare = 0;
  node->srcStart = 0;
  node->srcEnd = 0;
  node->srcTagEnd = 0;
  node->attribCount = 0;
  node->nameKey = kNameKeyAny;
  node->name = nullptr;
  node->inner = nullptr;
  node->after = nullptr;
  node->narrow = nullptr;
  node->refs = nullptr;
  node->attribs = nullptr;
  node->child = nullptr;
  node->parent = nullptr;
  RingInit(node);
}

namespace {
// A cache line of its own: edits on one thread must not slow the reads of
// the others.
struct alignas(64) EditEpoch {
  std::atomic<uint64_t> value;
};
EditEpoch gEditEpoch{{0}};
}  // namespace

uint64_t NodeEditEpoch(void) { return gEditEpoch.value.load(std::memory_order_acquire); }

void NodeMarkEdited(Node *node, uint8_t marks) {
  gEditEpoch.value.fetch_add(1, std::memory_order_acq_rel);
  node->marks |= marks;
  for (Node *head = node->parent; head && !(head->marks & kMarkBelow);) {
    head->marks |= kMarkBelow;
    Node *owner = NodeOwner(head);
    if (!owner || (owner->marks & kMarkBelow)) break;
    owner->marks |= kMarkBelow;
    head = owner->parent;
  }
}

void NodeMarkListChanged(Node *head) {
  Node *owner = NodeOwner(head);
  NodeMarkEdited(owner ? owner : head, kMarkChildren | kMarkBelow);
}

Attrib *NodeAttribHead(Node *node) {
  if (!node->attribs) node->attribs = AttribCreate();  // an empty ring's head
  return node->attribs;
}

Node *NodeCreate(void) {
  // NodeInit writes every field, so the block need not be zero-filled.
  Node *node = static_cast<Node *>(AllocNodeBlock(sizeof(Node)));
  if (node) NodeInit(node);
  return node;
}

// Frees everything a node owns except its child list and the record itself.
static void ReleaseFields(Node *node) {
  FreeBlock(node->name);
  FreeBlock(node->inner);
  FreeBlock(node->after);
  node->name = node->inner = node->after = nullptr;
  node->nameKey = kNameKeyAny;
  if (node->narrow) {
    FreeBlock(node->narrow->name);
    FreeBlock(node->narrow->inner);
    FreeBlock(node->narrow->after);
    FreeBlock(node->narrow);
    node->narrow = nullptr;
  }
  if (node->attribs) {
    AttribDestroyAll(node->attribs, &node->attribCount);
    FreeBlock(node->attribs);
    node->attribs = nullptr;
  }
  if (node->refs) {
    NoteRefsDetachAll(node->refs);
    FreeBlock(node->refs);
    node->refs = nullptr;
  }
}

void NodeReleaseEmbedded(Node *node) { ReleaseFields(node); }

void NodeDestroy(Node *node) {
  if (!node) return;
  if (NodeIsListHead(node)) {
    // An ownerless head (a clone's, or one whose contents were moved).
    NodeDestroyRing(node);
    ReleaseFields(node);
    FreeBlock(node);
    return;
  }
  Node *cur = node;
  for (;;) {
    Node *head = cur->child;
    if (head) {
      Node *first = head->next;
      if (first != head) {
        // Take the first child off the ring and destroy its subtree first;
        // its parent link remembers where to come back to.
        RingUnlink(first);
        first->parent = cur;
        cur = first;
        continue;
      }
      head->child = nullptr;
      ReleaseFields(head);
      FreeBlock(head);
      cur->child = nullptr;
    }
    Node *back = cur == node ? nullptr : cur->parent;
    ReleaseFields(cur);
    FreeBlock(cur);
    if (!back) return;
    cur = back;
  }
}

void NodeDestroyRing(Node *head) {
  while (!RingEmpty(head)) {
    Node *node = head->next;
    RingUnlink(node);
    node->parent = nullptr;
    NodeDestroy(node);
  }
}

// The narrow cache slot of a node's text field; null while the node has no
// caches (nothing to drop).
enum NarrowSlot { kNarrowName, kNarrowInner, kNarrowAfter };
static char **CacheOf(Node *node, NarrowSlot slot) {
  if (!node->narrow) return nullptr;
  switch (slot) {
    case kNarrowName: return &node->narrow->name;
    case kNarrowInner: return &node->narrow->inner;
    default: return &node->narrow->after;
  }
}

// Replaces a text field by `owned` (may be null) and drops its narrow cache.
static void ReplaceField(WCHAR **field, char **cache, WCHAR *owned) {
  FreeBlock(*field);
  *field = owned;
  if (cache) {
    FreeBlock(*cache);
    *cache = nullptr;
  }
}

static int SetField(WCHAR **field, char **cache, const WCHAR *text, int32_t length) {
  WCHAR *copy = nullptr;
  if (text && !(copy = CopyFieldW(text, length))) return 0;
  ReplaceField(field, cache, copy);
  return 1;
}

static int SetFieldA(WCHAR **field, char **cache, const char *text, int32_t length) {
  WCHAR *wide = nullptr;
  if (text && !(wide = ToWide(text, length, CP_ACP))) return 0;
  ReplaceField(field, cache, wide);
  return 1;
}

// Giving a node inner text gives it content: plain, void and empty-tag
// elements become elements with an end tag.
static void RaiseKindForInner(Node *node) {
  if (node->kind == kKindPlain || node->kind == kKindVoid || node->kind == kKindEmptyTag)
    node->kind = kKindElement;
}

int NodeSetName(Node *node, const WCHAR *text, int32_t length) {
  if (!SetField(&node->name, CacheOf(node, kNarrowName), text, length)) return 0;
  node->nameKey = NameKeyOf(node->name);
  return 1;
}

int NodeSetNameA(Node *node, const char *text) {
  if (!SetFieldA(&node->name, CacheOf(node, kNarrowName), text, -1)) return 0;
  node->nameKey = NameKeyOf(node->name);
  return 1;
}

int NodeSetInner(Node *node, const WCHAR *text, int32_t length) {
  if (!SetField(&node->inner, CacheOf(node, kNarrowInner), text, length)) return 0;
  RaiseKindForInner(node);
  return 1;
}

int NodeSetInnerA(Node *node, const char *text, int32_t length) {
  if (!SetFieldA(&node->inner, CacheOf(node, kNarrowInner), text, length)) return 0;
  RaiseKindForInner(node);
  return 1;
}

int NodeSetAfter(Node *node, const WCHAR *text, int32_t length) {
  return SetField(&node->after, CacheOf(node, kNarrowAfter), text, length);
}

int NodeSetAfterA(Node *node, const char *text, int32_t length) {
  return SetFieldA(&node->after, CacheOf(node, kNarrowAfter), text, length);
}

// The narrow form of `text`, cached in the slot; null when the text is
// absent or memory runs out.
static const char *NarrowCache(Node *node, const WCHAR *text, NarrowSlot slot) {
  if (!text) return nullptr;
  if (!node->narrow) {
    node->narrow = static_cast<NodeNarrow *>(AllocBlock(sizeof(NodeNarrow)));
    if (!node->narrow) return nullptr;
  }
  char **cache = CacheOf(node, slot);
  if (!*cache) *cache = ToNarrow(text, CP_ACP, nullptr);
  return *cache;
}

const char *NodeNameNarrow(Node *node) { return NarrowCache(node, node->name, kNarrowName); }
const char *NodeInnerNarrow(Node *node) { return NarrowCache(node, node->inner, kNarrowInner); }
const char *NodeAfterNarrow(Node *node) { return NarrowCache(node, node->after, kNarrowAfter); }

// Turns `item` into a headless chain [first, last]; null when it holds
// nothing to insert (an empty list head, which is destroyed).
static bool TakeChain(Node *item, Node **first, Node **last) {
  if (!NodeIsListHead(item)) {
    *first = item;
    *last = item->prev;
    return true;
  }
  if (item->next == item) {
    item->parent = nullptr;
    item->child = nullptr;
    NodeDestroy(item);
    return false;
  }
  *first = item->next;
  *last = item->prev;
  RingUnlink(item);  // the head leaves; the members close their ring
  item->parent = nullptr;
  item->child = nullptr;
  NodeDestroy(item);
  return true;
}

static void AdoptChain(Node *position, Node *first, Node *last) {
  Node *parent = position->parent ? position->parent : position;
  for (Node *n = first;; n = n->next) {
    n->parent = parent;
    if (n == last) break;
  }
}

Node *NodeInsertBefore(Node *position, Node *item) {
  Node *first, *last;
  if (!TakeChain(item, &first, &last)) return nullptr;
  RingLinkChainBefore(position, first, last);
  AdoptChain(position, first, last);
  return first;
}

Node *NodeInsertAfter(Node *position, Node *item) {
  Node *first, *last;
  if (!TakeChain(item, &first, &last)) return nullptr;
  RingLinkChainAfter(position, first, last);
  AdoptChain(position, first, last);
  return last;
}

void NodeUnlink(Node *node) {
  RingUnlink(node);
  node->parent = nullptr;
}

Node *NodeCreateChildList(Node *element) {
  Node *head = NodeCreate();
  if (!head) return nullptr;
  head->parent = head;
  head->child = element;
  element->child = head;
  return head;
}

Node *NodeShallowCopy(const Node *node) {
  Node *copy = NodeCreate();
  if (!copy) return nullptr;
  NodeSetName(copy, node->name, -1);
  copy->kind = node->kind;
  NodeSetInner(copy, node->inner, -1);  // also raises kinds 0, 3, 4 to 1
  NodeSetAfter(copy, node->after, -1);
  if (node->attribCount) {
    // Without a head for the copies the copy has no attributes, as when
    // every copy fails.
    if (Attrib *head = NodeAttribHead(copy)) copy->attribCount = AttribCopyList(head, node->attribs);
  }
  return copy;
}

// Copies the subtree below `src` under `dst` (a shallow copy of `src`),
// walking both trees in pre-order through their links. A child list whose
// head cannot be made is left out; a list stops at a node that cannot be
// copied.
static void CloneChildren(const Node *src, Node *dst) {
  const Node *s = src;
  Node *d = dst;
  for (;;) {
    // Descend into the first child when there is one to copy.
    if (s->child) {
      Node *head = NodeCreateChildList(d);
      const Node *first = s->child->next;
      if (head && first != s->child) {
        Node *copy = NodeShallowCopy(first);
        if (copy) {
          NodeInsertBefore(head, copy);
          s = first;
          d = copy;
          continue;
        }
      }
    }
    // Then the next sibling, climbing while a list is finished.
    for (;;) {
      if (s == src) return;
      const Node *sibling = s->next;
      if (!NodeIsListHead(sibling)) {
        Node *copy = NodeShallowCopy(sibling);
        if (copy) {
          NodeInsertBefore(d->parent, copy);
          s = sibling;
          d = copy;
          break;
        }
      }
      s = NodeOwner(s->parent);
      d = NodeOwner(d->parent);
    }
  }
}

Node *NodeDeepClone(const Node *node) {
  Node *copy = NodeShallowCopy(node);
  if (!copy) return nullptr;
  if (NodeIsListHead(node)) {
    copy->parent = copy;
    for (const Node *n = node->next; n != node; n = n->next) {
      Node *clone = NodeDeepClone(n);  // elements only: no deeper recursion
      if (!clone) break;
      NodeInsertBefore(copy, clone);
    }
    return copy;
  }
  CloneChildren(node, copy);
  return copy;
}
