// The invariant checker itself: it accepts sound documents of every shape the
// API makes, and names each kind of damage it is there to catch (each case
// breaks one link of a real document, checks, and repairs it before close).
#include <gtest/gtest.h>

#include <string>

#include "model/document.h"
#include "testing/invariants.h"
#include "model/note_records.h"
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
  // Sets `field` to `broken`, expects the checker to name `damage`, and repairs it.
  template <typename T>
  void ExpectNamed(const char *damage, T &field, T broken) {
    const T saved = field;
    field = broken;
    EXPECT_EQ(damage, Check());
    field = saved;
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

TEST_F(Invariants, BrokenLinksAndCountsAreNamed) {
  Node *q = Find("q"), *s = Find("s"), *p = Find("p"), *r = Find("r");
  ExpectNamed("sibling ring link broken", q->prev, q);
  ExpectNamed("node's parent link is not its ring's head", s->parent,
              &AsCursor(c_)->document->root);
  ExpectNamed("child-list head not owned by its element", p->child->child, s);
  ExpectNamed("attribute ring shorter than its count", r->attribCount, r->attribCount + 1);
  ExpectNamed("attribute ring longer than its count", r->attribCount, r->attribCount - 1);
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
  ExpectNamed<Node *>("reference to a destroyed element still linked", ref->element, nullptr);
  EXPECT_EQ("", Check());
}

TEST_F(Invariants, CursorOutsideItsDocumentIsNamed) {
  SG_CURSOR other = sgParseXMLA("<o/>", 0xFFFFFFFFu);
  Cursor *c = AsCursor(c_);
  Node *otherRoot = &AsCursor(other)->document->root;
  ExpectNamed("cursor current node not in its list", c->current, otherRoot);
  Node *saved = c->list;
  c->list = otherRoot;
  ExpectNamed("cursor stands outside its document", c->current, otherRoot);
  c->list = saved;
  EXPECT_EQ("", Check());
  sgCloseXML(other);
}

}  // namespace
