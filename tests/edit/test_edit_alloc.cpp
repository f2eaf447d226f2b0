// Editing under memory exhaustion: every allocation of a set, an insertion
// and a graft is made to fail in turn (n = 1, 2, ... until the call
// succeeds). Each failing call must give its failure result and leave the tree
// and the update flag exactly as they were; leaks are caught by the ASan run.
// Also checks the clone-completeness test that guards grafting.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "testing/testing.h"
#include "edit/tree_edit.h"
#include "model/document.h"
#include "model/node.h"
#include "sprig.h"
#include "support.h"
#include "text/text.h"

namespace {

using sprig_test::Utf16;
using sprig_test::Utf8;
using sprig_test::WString;

// A UTF-16 argument made from UTF-8, alive to the end of the full expression.
struct W {
  explicit W(const char *utf8) : text(Utf16(utf8)) {}
  operator const SG_WCHAR *() const { return text.c_str(); }
  WString text;
};

std::string Text(const WCHAR *text) { return text ? "'" + Utf8(text) + "'" : "-"; }

// A full description of a subtree (small trees only: recursion is fine here).
std::string Dump(const Node *node) {
  std::string out = Text(node->name) + "#" + std::to_string(node->kind) + "[";
  for (const Attrib *a = node->attribs ? node->attribs->next : nullptr; a && a != node->attribs;
       a = a->next) {
    out += Text(a->name) + "=" + Text(a->value) + "/" + std::to_string(a->quote) + " ";
  }
  out += "]" + Text(node->inner) + Text(node->after) + std::to_string(node->attribCount);
  if (node->child) {
    out += "{";
    for (const Node *n = node->child->next; n != node->child; n = n->next) out += Dump(n);
    out += "}";
  }
  return out;
}

std::string DumpDocument(SG_CURSOR handle) {
  const Node *root = &AsCursor(handle)->document->root;
  std::string out;
  for (const Node *n = root->next; n != root; n = n->next) out += Dump(n) + ";";
  return out;
}

SG_CURSOR Parse(const char *utf8) { return sgParseXMLW(W(utf8), 0xFFFFFFFFu); }

// Clears the update flag, then fails allocation n = 1, 2, ... of `edit` until
// it returns non-zero; every failing run must leave the document as it was and
// unmarked. Returns the number of failing runs.
int FailEachAllocation(SG_CURSOR c, const std::function<int()> &edit) {
  EXPECT_EQ(1, sgSetUpdateFlag(c, 0));
  const std::string before = DumpDocument(c);
  Cursor saved = *AsCursor(c);
  for (unsigned long n = 1; n < 200; ++n) {
    SCOPED_TRACE("n=" + std::to_string(n));
    PlatformFailAllocationAt(n);
    const int result = edit();
    const bool reached = PlatformAllocationCount() >= n;
    PlatformFailAllocationAt(0);
    if (result) return static_cast<int>(n - 1);
    EXPECT_TRUE(reached) << "failed without a failing allocation";
    EXPECT_EQ(before, DumpDocument(c));
    EXPECT_EQ(0u, sgGetUpdateFlag(c));
    EXPECT_EQ(saved.list, AsCursor(c)->list);
    EXPECT_EQ(saved.current, AsCursor(c)->current);
  }
  ADD_FAILURE() << "never succeeded";
  return -1;
}

class EditAlloc : public ::testing::Test {
 protected:
  void SetUp() override {
    c_ = Parse("<r><p a='1' b=\"2\">in<q x>t</q>aft</p><s/></r>");
    ASSERT_NE(nullptr, c_);
    ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_BASE_FIRST));
    ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_FIRST_CHILD));  // p
  }
  void TearDown() override {
    PlatformFailAllocationAt(0);
    sgCloseXML(c_);
  }
  SG_CURSOR c_ = nullptr;
};

TEST_F(EditAlloc, AttributeSettersAreAllOrNothing) {
  EXPECT_GT(FailEachAllocation(c_, [&] { return sgSetAttribW(c_, W("new"), W("value")); }), 0);
  EXPECT_EQ(3u, sgGetAttribCount(c_));
  EXPECT_EQ("value", Utf8(sgGetAttribW(c_, W("new"))));
  EXPECT_GT(FailEachAllocation(c_, [&] { return sgSetAttribA(c_, "na", "nv"); }), 0);
  EXPECT_GT(FailEachAllocation(c_, [&] { return sgSetAttribA(c_, "A", "changed"); }), 0);
  EXPECT_GT(FailEachAllocation(c_, [&] { return sgSetAttribIntW(c_, W("pf"), 42); }), 0);
  EXPECT_EQ(42u, sgGetAttribIntW(c_, W("pf"), 0));
  EXPECT_EQ("changed", Utf8(sgGetAttribW(c_, W("a"))));
  EXPECT_EQ(5u, sgGetAttribCount(c_));  // a, b, new, na, pf
}

TEST_F(EditAlloc, InsertionIsAllOrNothing) {
  // p has a child list; q (its child) has none and gets one with a list.
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_FIRST_CHILD));  // q
  EXPECT_GT(FailEachAllocation(c_, [&] { return sgAddChildNodeW(c_, W("child"), 1); }), 1);
  EXPECT_EQ("child", Utf8(sgGetNameW(c_)));
  EXPECT_GT(FailEachAllocation(c_, [&] { return sgInsertNodeAfterA(c_, "sib", 1); }), 1);
  EXPECT_EQ(1u, sgGetIndex(c_));
}

TEST_F(EditAlloc, GraftNeverLinksAPartialCopy) {
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_BASE_FIRST));  // r, with p holding texts and attributes
  SG_CURSOR source = sgDupXML(c_);
  ASSERT_NE(nullptr, source);
  Node *expectedCopy = NodeDeepClone(AsCursor(source)->current);
  ASSERT_NE(nullptr, expectedCopy);
  const std::string expected = Dump(expectedCopy);
  NodeDestroy(expectedCopy);
  ASSERT_EQ(1, sgMoveTo(c_, SG_MOVE_LAST_CHILD));  // s
  // Every text and attribute of the copy was a chance to fail.
  EXPECT_GT(FailEachAllocation(c_, [&] { return sgInsertTree(c_, source, SG_INSERT_CHILD); }), 10);
  EXPECT_EQ(expected, Dump(AsCursor(c_)->current));
  sgCloseXML(source);
}

TEST(CloneCheck, TellsACompleteCloneFromAShortOne) {
  SG_CURSOR c = Parse("<a k='v'>x<b/><c><d/></c></a>");
  ASSERT_NE(nullptr, c);
  Node *a = AsCursor(c)->document->root.next;
  Node *clone = NodeDeepClone(a);
  ASSERT_NE(nullptr, clone);
  EXPECT_TRUE(CloneIsComplete(a, clone));
  // A missing grandchild.
  Node *d = clone->child->prev->child->next;
  NodeUnlink(d);
  EXPECT_FALSE(CloneIsComplete(a, clone));
  NodeInsertBefore(clone->child->prev->child, d);
  EXPECT_TRUE(CloneIsComplete(a, clone));
  // A value that was not copied.
  FreeBlock(clone->attribs->next->value);
  clone->attribs->next->value = nullptr;
  EXPECT_FALSE(CloneIsComplete(a, clone));
  NodeDestroy(clone);
  // A list head's clone holds copies of its whole ring.
  Node *list = NodeDeepClone(&AsCursor(c)->document->root);
  ASSERT_NE(nullptr, list);
  EXPECT_TRUE(CloneIsComplete(&AsCursor(c)->document->root, list));
  NodeDestroy(list);
  sgCloseXML(c);
}

}  // namespace
