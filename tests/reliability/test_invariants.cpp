// The invariant checker itself: it accepts sound documents of every shape the
// API makes, and names each kind of damage it is there to catch (each case
// breaks one link of a real document, checks, and repairs it before close).
#include <gtest/gtest.h>

#include <string>

#include "model/document.h"
#include "model/invariants.h"
#include "notes/note_records.h"
#include "sprig.h"
#include "support.h"

namespace {

class Invariants : public ::testing::Test {
 protected:
  void SetUp() override {
    c_ = sgParseXMLA("<r a='1' b='2'><p>x<q/></p><s/></r><t/>", 0xFFFFFFFFu);
    ASSERT_NE(nullptr, c_);
    ASSERT_EQ(1, sgSearchA(c_, "p", SG_SEARCH_FIRST));
  }
  void TearDown() override { sgCloseXML(c_); }

  std::string Check() {
    const Cursor *all[] = {AsCursor(c_)};
    const char *e = CheckInvariants(all, 1);
    return e ? e : "";
  }
  Node *Find(const char *name) {
    SG_CURSOR d = sgDupXML(c_);
    sgSearchA(d, name, SG_SEARCH_FIRST);
    Node *n = AsCursor(d)->current;
    sgCloseXML(d);
    return n;
  }

  SG_CURSOR c_ = nullptr;
};

TEST_F(Invariants, SoundDocumentsPass) {
  EXPECT_EQ("", Check());
  // Every shape editing makes: empty child lists, nameless elements,
  // comments, a graft of the whole top level.
  sgAddChildNodeA(c_, "new", 1);
  sgAddNodeA(c_, nullptr, 1);
  sgAddNode2A(c_, nullptr, 0, SG_KIND_COMMENT);
  SG_CURSOR copy = sgCopyTree(c_);
  sgMoveTo(copy, SG_MOVE_BASE);
  EXPECT_EQ(1, sgInsertTree(c_, copy, SG_INSERT_CHILD));
  const Cursor *all[] = {AsCursor(c_), AsCursor(copy)};
  EXPECT_EQ(nullptr, CheckInvariants(all, 2));
  sgCloseXML(copy);
  EXPECT_EQ("", Check());
}

TEST_F(Invariants, BrokenRingLinksAreNamed) {
  Node *q = Find("q");
  Node *saved = q->prev;
  q->prev = q;
  EXPECT_EQ("sibling ring link broken", Check());
  q->prev = saved;

  Node *s = Find("s");
  Node *parent = s->parent;
  s->parent = &AsCursor(c_)->document->root;
  EXPECT_EQ("node's parent link is not its ring's head", Check());
  s->parent = parent;

  Node *p = Find("p");
  Node *owner = p->child->child;
  p->child->child = s;
  EXPECT_EQ("child-list head not owned by its element", Check());
  p->child->child = owner;
  EXPECT_EQ("", Check());
}

TEST_F(Invariants, AttributeCountMustMatchRing) {
  Node *r = Find("r");
  ++r->attribCount;
  EXPECT_EQ("attribute ring shorter than its count", Check());
  r->attribCount -= 2;
  EXPECT_EQ("attribute ring longer than its count", Check());
  ++r->attribCount;
  EXPECT_EQ("", Check());
}

TEST_F(Invariants, ReferenceCountsCoverCursorsAndNoteReferences) {
  SG_CURSOR other = sgParseXMLA("<o><i/></o>", 0xFFFFFFFFu);
  sgSearchA(other, "i", SG_SEARCH_FIRST);
  SG_NOTE note = sgCreateNoteA(c_, "n");
  sgNoteAddStrA(note, nullptr, "piece");
  ASSERT_EQ(1, sgNoteSetReferenceNode(note, other));
  const Cursor *both[] = {AsCursor(c_), AsCursor(other)};
  EXPECT_EQ(nullptr, CheckInvariants(both, 2));
  // A note the checker is not told about shows as a reference in an
  // element's ring that no known chain holds.
  const Cursor *one[] = {AsCursor(other)};
  EXPECT_STREQ("element rings and note chains disagree", CheckInvariants(one, 1));
  ++AsCursor(other)->document->refCount;
  EXPECT_STREQ("reference count differs from cursors plus references", CheckInvariants(both, 2));
  --AsCursor(other)->document->refCount;
  // The referred document outlives its cursor; the checker still follows it.
  sgCloseXML(other);
  EXPECT_EQ("", Check());
  // Its element's ring and the note's chain must agree.
  NoteRef *ref = AsCursor(c_)->notes.next->refChain;
  Node *element = ref->element;
  ref->element = nullptr;
  EXPECT_EQ("reference to a destroyed element still linked", Check());
  ref->element = element;
  EXPECT_EQ("", Check());
}

TEST_F(Invariants, CursorOutsideItsDocumentIsNamed) {
  SG_CURSOR other = sgParseXMLA("<o/>", 0xFFFFFFFFu);
  Cursor *c = AsCursor(c_);
  Node *saved = c->list;
  Node *savedCurrent = c->current;
  c->list = c->current = &AsCursor(other)->document->root;
  EXPECT_EQ("cursor stands outside its document", Check());
  c->list = saved;
  c->current = &AsCursor(other)->document->root;
  EXPECT_EQ("cursor current node not in its list", Check());
  c->current = savedCurrent;
  EXPECT_EQ("", Check());
  sgCloseXML(other);
}

}  // namespace
