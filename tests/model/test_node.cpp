// Node records: the kind an inner text gives, ring linking (list heads
// included) and deep clones (a million levels: reliability/test_hostile.cpp).
// Text fields, attributes, copies and references are exercised through the
// public API in tests/api.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "model/document.h"
#include "output/release.h"
#include "model/node.h"
#include "support.h"
#include "text/text.h"

using sprig_test::Utf16;
using sprig_test::Utf8;

namespace {

Node *Named(const char *name) {
  Node *node = NodeCreate();
  EXPECT_NE(node, nullptr);
  NodeSetName(node, Utf16(name).c_str(), -1);
  return node;
}

// Names of a ring's members in order, joined with ','.
std::string RingNames(const Node *head) {
  std::string names;
  for (const Node *n = head->next; n != head; n = n->next) {
    if (!names.empty()) names += ',';
    names += n->name ? Utf8(n->name) : "?";
    EXPECT_EQ(n->parent, head);
    EXPECT_EQ(n->next->prev, n);
  }
  return names;
}

// Pre-order names of a subtree, children in brackets: a[b,c[d]].
std::string Shape(const Node *node) {
  std::string out = node->name ? Utf8(node->name) : "";
  if (node->child) {
    out += '[';
    const Node *head = node->child;
    EXPECT_EQ(head->parent, head);
    EXPECT_EQ(NodeOwner(head), node);
    for (const Node *n = head->next; n != head; n = n->next) {
      if (n != head->next) out += ',';
      out += Shape(n);  // test trees are shallow
    }
    out += ']';
  }
  return out;
}

// An ownerless list head holding new nodes of these names, as a clone's list.
Node *LooseList(std::initializer_list<const char *> names) {
  Node *head = NodeCreate();
  head->parent = head;
  for (const char *name : names) NodeInsertBefore(head, Named(name));
  return head;
}

void AddChild(Node *parent, Node *child) {
  Node *head = parent->child ? parent->child : NodeCreateChildList(parent);
  ASSERT_NE(head, nullptr);
  NodeInsertBefore(head, child);
}

TEST(NodeRecord, InnerTextRaisesPlainVoidAndEmptyKinds) {
  // Plain, void and empty-tag nodes become elements, even for a null inner
  // text; the others keep their kind.
  const uint32_t kinds[] = {kKindPlain, kKindVoid, kKindEmptyTag,
                            kKindPi, kKindDecl, kKindComment, 9};
  for (uint32_t kind : kinds) {
    const bool raised = kind == kKindPlain || kind == kKindVoid || kind == kKindEmptyTag;
    Node *node = NodeCreate();
    node->kind = kind;
    ASSERT_EQ(NodeSetInner(node, raised ? nullptr : WTEXT("x"), -1), 1) << kind;
    EXPECT_EQ(node->kind, raised ? uint32_t{kKindElement} : kind) << kind;
    EXPECT_EQ(node->inner == nullptr, raised) << kind;
    NodeDestroy(node);
  }
}

TEST(NodeRing, InsertBeforeAndAfterJoinTheRing) {
  Node head;
  NodeInit(&head);
  head.parent = &head;
  Node *a = Named("a"), *b = Named("b"), *c = Named("c"), *d = Named("d");
  EXPECT_EQ(NodeInsertBefore(&head, a), a);  // before a head: append
  EXPECT_EQ(NodeInsertBefore(&head, b), b);
  EXPECT_EQ(NodeInsertAfter(&head, c), c);   // after a head: prepend
  EXPECT_EQ(NodeInsertAfter(a, d), d);       // beside an element
  EXPECT_EQ(RingNames(&head), "c,a,d,b");
  NodeUnlink(d);
  EXPECT_EQ(d->parent, nullptr);
  EXPECT_EQ(d->next, d);
  EXPECT_EQ(RingNames(&head), "c,a,b");
  NodeUnlink(d);  // detached: nothing but the parent link changes
  EXPECT_EQ(d->next, d);
  NodeDestroy(d);
  NodeDestroyRing(&head);
  EXPECT_EQ(head.next, &head);
  EXPECT_EQ(head.prev, &head);
  NodeReleaseEmbedded(&head);
}

TEST(NodeRing, InsertingAListHeadMovesItsContents) {
  Node target;
  NodeInit(&target);
  target.parent = &target;
  NodeInsertBefore(&target, Named("x"));

  // The inserted head is destroyed; insert-before returns the first node moved.
  Node *first = NodeInsertBefore(&target, LooseList({"a", "b", "c"}));
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(Utf8(first->name), "a");
  EXPECT_EQ(RingNames(&target), "x,a,b,c");

  Node *q = NodeInsertAfter(target.next, LooseList({"p", "q"}));
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(Utf8(q->name), "q");  // insert-after returns the last
  EXPECT_EQ(RingNames(&target), "x,p,q,a,b,c");

  EXPECT_EQ(NodeInsertBefore(&target, LooseList({})), nullptr);  // destroyed, nothing added
  EXPECT_EQ(RingNames(&target), "x,p,q,a,b,c");
  NodeDestroyRing(&target);
  NodeReleaseEmbedded(&target);
}

TEST(NodeCopy, DeepCloneKeepsShapeAndChildListPresence) {
  Node *root = Named("a"), *b = Named("b"), *c = Named("c");
  for (Node *kid : {b, c, Named("f")}) AddChild(root, kid);
  AddChild(c, Named("d"));
  AddChild(c, Named("e"));
  ASSERT_NE(NodeCreateChildList(b), nullptr);  // empty child list; f has none

  Node *clone = NodeDeepClone(root);
  ASSERT_NE(clone, nullptr);
  EXPECT_EQ(Shape(clone), "a[b[],c[d,e],f]");
  EXPECT_EQ(clone->parent, nullptr);
  Node *cb = clone->child->next;
  ASSERT_NE(cb->child, nullptr);
  EXPECT_EQ(cb->child->next, cb->child);  // empty, but present
  EXPECT_EQ(clone->child->prev->child, nullptr);
  // Every clone is a new node.
  EXPECT_NE(cb->id, b->id);
  EXPECT_GT(cb->id, root->id);
  NodeDestroy(clone);
  EXPECT_EQ(Shape(root), "a[b[],c[d,e],f]");  // source untouched
  NodeDestroy(root);
}

}  // namespace
