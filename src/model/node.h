// The Node record and the ring structure of the tree.
//
// Siblings form a ring through next/prev that passes through exactly one
// list head: a Node whose parent link points to itself, with no name and no
// attributes. Every node of a ring has the ring's head as parent. The top
// level's head is the Document's embedded root. An element with children
// has `child` pointing at a separately allocated head whose `child` points
// back at the element (its owner); a head without owner has child == null.
// A detached node has parent == null and next == prev == itself; a chain of
// detached nodes may also form a ring without a head (moved list contents).
//
// Every walk over a subtree here is iterative (links, not recursion), so a
// tree of any depth is destroyed and cloned on a small stack.
#ifndef SPRIG_MODEL_NODE_H
#define SPRIG_MODEL_NODE_H

#include <stdint.h>

#include "model/attrib.h"
#include "model/note_records.h"
#include "platform/platform.h"
#include "platform/simd.h"

enum : uint32_t {
  kKindPlain = 0,
  kKindElement = 1,
  kKindEndTag = 2,
  kKindVoid = 3,
  kKindEmptyTag = 4,
  kKindPi = 5,
  kKindDecl = 6,
  kKindComment = 7,
};

// Edit marks. The editing operations set them as they change a node; the
// reader never does, except kMarkSource, which only the editing layer's reader
// sets on every node it reads. A node is pristine when it came from the source
// and carries no other mark: its subtree can be written as its original bytes.
enum : uint8_t {
  kMarkTag = 0x01,       // name, kind or attributes changed
  kMarkInner = 0x02,     // inner text set
  kMarkAfter = 0x04,     // after text set
  kMarkChildren = 0x08,  // a node was inserted, deleted or moved in its child list
  kMarkBelow = 0x10,     // something in its subtree changed (also set on list heads)
  kMarkEdits = 0x1F,
  kMarkSource = 0x80,    // read from the source (a new node lacks it)
};

// Narrow (CP_ACP) caches of a node's texts, made with the first request for
// any of them; each slot is null until its text is asked for.
struct NodeNarrow {
  char *name;
  char *inner;
  char *after;
};

struct Node {
  int32_t tagNumber;  // ordinal of the tag in the source, -1 none
  uint32_t id;        // NodeId, unique per process until the counter wraps
  uint8_t kind;       // kKind*
  uint8_t marks;      // kMark*: edit marks for format-preserving saves; no
                      // function of the contract reads them
  uint16_t spare;
  int32_t srcStart;   // '<' of the start tag in the source text
  int32_t srcEnd;     // behind the whole element
  int32_t srcTagEnd;  // behind the '>' of the start tag
  uint32_t attribCount;
  uint32_t nameKey;   // NameKeyOf(name), kept by the name setters
  WCHAR *name;        // absent in list heads
  WCHAR *inner;       // text between the start tag and first child/end tag
  WCHAR *after;       // text after the node's end up to the next tag
  NodeNarrow *narrow; // null until a narrow text is first asked for
  NoteRef *refs;      // head of the ring of NoteRefs referring here, made
                      // with the first reference; null before
  Node *child;        // element: its child-list head; head: its owner
  Node *parent;       // ring member: its head; head: itself; detached: null
  Node *next;
  Node *prev;
  Attrib *attribs;    // head of the attribute ring (source order), made with
                      // the first attribute; null before
};

inline bool NodeIsListHead(const Node *node) { return node->parent == node; }
// A member of a ring other than its head: present, with a parent link that
// is not itself (detached nodes and list heads are not).
inline bool NodeIsElement(const Node *node) {
  return node && node->parent && node->parent != node;
}
// A kind that stands for an element as markup knows it (a start tag, a void
// or empty tag, or an element made by editing), not a comment, instruction,
// declaration or end tag.
inline bool NodeKindIsElement(uint32_t kind) {
  return kind == kKindElement || kind == kKindVoid || kind == kKindEmptyTag || kind == kKindPlain;
}
// The child-list head of a node, null for none, for a null node and for a
// list head (whose child link is its owner).
inline Node *NodeChildList(const Node *node) {
  return node && node->parent != node ? node->child : nullptr;
}

// The "none" of the position queries (level, index, tag count, ...).
const uint32_t kNone = 0xFFFFFFFFu;

// A key of a name that a search compares before the name itself, sparing it
// a visit to the text: the first unit folded to lower case when it is an
// ASCII letter or digit (two names whose keys are such and differ never
// compare equal with lstrcmpiW), 0 for an empty name, kNameKeyAny for any
// other first unit or no name (only the whole names can tell).
enum : uint32_t { kNameKeyAny = 0xFFFFFFFFu };
inline uint32_t NameKeyOf(const WCHAR *name) {
  if (!name) return kNameKeyAny;
  const uint32_t first = name[0];
  if (first >= 'A' && first <= 'Z') return first + ('a' - 'A');
  if ((first >= 'a' && first <= 'z') || (first >= '0' && first <= '9') || first == 0) return first;
  return kNameKeyAny;
}
// False only when the keys show that two names differ.
inline bool NameKeysMayMatch(uint32_t a, uint32_t b) {
  return a == b || a == kNameKeyAny || b == kNameKeyAny;
}
// The node's name equals `name` case-insensitively (lstrcmpiW); a node or a
// key without name never matches. The key test reads only the node record,
// where most names are told apart.
inline bool NodeNameIs(const Node *node, const WCHAR *name) {
  return name && NameKeysMayMatch(node->nameKey, NameKeyOf(name)) && node->name &&
         lstrcmpiW(node->name, name) == 0;
}

// Nodes are carved one after another in document order (AllocNodeBlock), so
// a walk in document order finds the nodes it visits next in the memory just
// ahead of the current one, and a backward walk just behind it. These hints
// ask the cache for that memory early, so that a long walk does not wait on
// each link in turn. A hint never faults, whatever the address.
const uintptr_t kNodePrefetchBytes = 1024;
inline void PrefetchNodesAfter(const Node *node) {
  PrefetchAt(reinterpret_cast<uintptr_t>(node) + kNodePrefetchBytes);
}
inline void PrefetchNodesBefore(const Node *node) {
  PrefetchAt(reinterpret_cast<uintptr_t>(node) - kNodePrefetchBytes);
}

// Initialises an embedded or freshly allocated node: initial values, a new
// NodeId, empty attribute and reference rings, detached.
void NodeInit(Node *node);
// A new detached node, or null when memory runs out.
Node *NodeCreate(void);
// Destroys a node that is out of any ring, with its whole subtree: texts,
// attributes, child list; NoteRefs pointing at any destroyed node lose their
// element. Null ignored.
void NodeDestroy(Node *node);
// Frees what an embedded node (a document root) owns, after its ring has
// been emptied; the record itself is not freed.
void NodeReleaseEmbedded(Node *node);
// Destroys every node of the ring of list head `head`; the head survives.
void NodeDestroyRing(Node *head);

// Text-field setters (UTF-16 length: negative for the whole text, else that
// many units, none of them zero; null: absent).
// 1, or 0 when memory runs out (field unchanged). Setting the inner text
// turns kinds 0, 3 and 4 into 1.
int NodeSetName(Node *node, const WCHAR *text, int32_t length);
int NodeSetNameA(Node *node, const char *text);  // whole text, CP_ACP
int NodeSetInner(Node *node, const WCHAR *text, int32_t length);
int NodeSetInnerA(Node *node, const char *text, int32_t length);  // bytes
int NodeSetAfter(Node *node, const WCHAR *text, int32_t length);
int NodeSetAfterA(Node *node, const char *text, int32_t length);
// Narrow caches (CP_ACP), made on first request; null when absent.
const char *NodeNameNarrow(Node *node);
const char *NodeInnerNarrow(Node *node);
const char *NodeAfterNarrow(Node *node);

// Links item X before / after position P. X is a detached node, a headless
// ring (inserted whole), or an ownerless list head whose contents are moved
// (the head is destroyed; an empty head is destroyed and null returned).
// Inserted nodes take P's parent (P itself when P has none). Returns the
// first (before) or last (after) inserted node.
Node *NodeInsertBefore(Node *position, Node *item);
Node *NodeInsertAfter(Node *position, Node *item);
// Takes a node out of its ring; it becomes detached.
void NodeUnlink(Node *node);

// Gives `element` a new empty child list and returns its head, or null when
// memory runs out. The element must not have one already.
Node *NodeCreateChildList(Node *element);
// The owner of list head `head` (null for the root or an ownerless head).
inline Node *NodeOwner(const Node *head) { return head->child; }

// A new detached node with the name, kind, inner and after texts and the
// attributes of `node` (no links, positions 0, tag number -1), or null.
Node *NodeShallowCopy(const Node *node);
// A detached copy of `node` with its whole subtree (or a detached ownerless
// list head holding copies of a list head's ring), or null. Every copy gets
// a new NodeId. Memory exhaustion part-way keeps what was copied.
Node *NodeDeepClone(const Node *node);

// Attribute shortcuts on a node's ring.
// The head of the node's attribute ring, made when missing; null when memory
// runs out.
Attrib *NodeAttribHead(Node *node);
inline Attrib *NodeAppendAttrib(Node *node, const WCHAR *name, int32_t length,
                                const int32_t *namePos) {
  Attrib *head = NodeAttribHead(node);
  return head ? AttribAppend(head, &node->attribCount, name, length, namePos) : nullptr;
}
inline Attrib *NodeFindAttrib(Node *node, const WCHAR *name) {
  return node->attribs ? AttribFind(node->attribs, name) : nullptr;
}

// Sets `marks` on `node` and kMarkBelow on every list head and owner above
// it, stopping at the first that has it already (its ancestors have it too).
// Every edit of a tree passes here, and moves the edit epoch on.
void NodeMarkEdited(Node *node, uint8_t marks);
// The process's edit epoch: it changes with every edit of any tree, so that
// what was learnt of a tree at one epoch still holds while it is the same.
uint64_t NodeEditEpoch(void);
// Marks the change of the ring of list head `head`: kMarkChildren on its
// owner (the head itself for the top level) and kMarkBelow above.
void NodeMarkListChanged(Node *head);

// Takes the next NodeId without making a node: the reader spends one on
// every tag it reads, made into a node or not.
void NodeSkipId(void);

#endif
