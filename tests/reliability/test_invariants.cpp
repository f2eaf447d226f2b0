// The invariant checker that the sweeps and hostile tests trust: it accepts
// sound documents of every shape the API makes and names each kind of damage
// (each case breaks one link of a real document, checks, and repairs it).
#include <gtest/gtest.h>

#include <string>

#include "model/document.h"
#include "testing/invariants.h"
#include "model/note_records.h"
#include "sprig.h"

namespace {

std::string Check(std::initializer_list<SG_CURSOR> cursors) {
  std::vector<const Cursor *> all;
  for (SG_CURSOR c : cursors) all.push_back(AsCursor(c));
  const char *e = CheckInvariants(all.data(), all.size());
  return e ? e : "";
}

// Sets `field` to `broken`, expects the checker to name `damage`, repairs it.
template <typename T>
void ExpectNamed(const std::string &damage, T &field, T broken, std::initializer_list<SG_CURSOR> cs) {
  const T saved = field;
  field = broken;
  EXPECT_EQ(damage, Check(cs));
  field = saved;
  EXPECT_EQ("", Check(cs));
}

Node *Find(SG_CURSOR c, const char *name) {
  SG_CURSOR d = sgDupXML(c);
  sgSearchA(d, name, SG_SEARCH_FIRST);
  Node *n = AsCursor(d)->current;
  sgCloseXML(d);
  return n;
}

TEST(Invariants, SoundShapesPassAndEachDamageIsNamed) {
  SG_CURSOR c = sgParseXMLA("<r a='1' b='2'><p>x<q/></p><s/></r><t/>", 0xFFFFFFFFu);
  SG_CURSOR other = sgParseXMLA("<o><i/></o>", 0xFFFFFFFFu);
  // Empty child lists, nameless elements, comments, a graft of a whole top level.
  sgSearchA(c, "p", SG_SEARCH_FIRST);
  sgAddChildNodeA(c, "new", 1);
  sgAddNodeA(c, nullptr, 1);
  sgAddNode2A(c, nullptr, 0, SG_KIND_COMMENT);
  SG_CURSOR copy = sgCopyTree(c);
  sgMoveTo(copy, SG_MOVE_BASE);
  EXPECT_EQ(1, sgInsertTree(c, copy, SG_INSERT_CHILD));
  EXPECT_EQ("", Check({c, copy, other}));
  sgCloseXML(copy);
  Node *q = Find(c, "q"), *s = Find(c, "s"), *p = Find(c, "p"), *r = Find(c, "r");
  ExpectNamed("sibling ring link broken", q->prev, q, {c});
  ExpectNamed("node's parent link is not its ring's head", s->parent, &AsCursor(c)->document->root, {c});
  ExpectNamed("child-list head not owned by its element", p->child->child, s, {c});
  ExpectNamed("attribute ring shorter than its count", r->attribCount, r->attribCount + 1, {c});
  ExpectNamed("attribute ring longer than its count", r->attribCount, r->attribCount - 1, {c});
  // Cursors outside their document.
  Cursor *cc = AsCursor(c);
  Node *otherRoot = &AsCursor(other)->document->root;
  ExpectNamed("cursor current node not in its list", cc->current, otherRoot, {c});
  Node *list = cc->list, *current = cc->current;
  cc->list = cc->current = otherRoot;
  EXPECT_EQ("cursor stands outside its document", Check({c}));
  cc->list = list, cc->current = current;
  // References of notes: counts cover cursors and references, and the
  // referred document outlives its cursor.
  sgSearchA(other, "i", SG_SEARCH_FIRST);
  SG_NOTE note = sgCreateNoteA(c, "n");
  sgNoteAddStrA(note, nullptr, "piece");
  ASSERT_EQ(1, sgNoteSetReferenceNode(note, other));
  EXPECT_EQ("element rings and note chains disagree", Check({other}));
  ExpectNamed("reference count differs from cursors plus references", AsCursor(other)->document->refCount,
              AsCursor(other)->document->refCount + 1, {c, other});
  sgCloseXML(other);
  ExpectNamed<Node *>("reference to a destroyed element still linked", cc->notes.next->refChain->element,
                      nullptr, {c});
  sgCloseXML(c);
}

}  // namespace
