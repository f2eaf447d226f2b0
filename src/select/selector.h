// Compiled CSS selector lists (Selectors Level 3 plus :is() and :not() with
// selector lists) and their matching over the element tree.
//
// A compiled selector is one block (SelectorCompile allocates it, SelectorFree
// frees it) holding arrays of lists, complex selectors, compound selectors
// and simple tests, linked by index; it is never written after compiling, so
// any number of threads may match with it at once. Element and attribute
// names are stored lower-cased (ASCII) and compared without regard to ASCII
// case, as HTML does; values are stored with their CSS escapes resolved.
//
// Matching runs right to left from a candidate element along parent and
// sibling links, without recursion per tree level: only :is() and :not()
// recurse, at most kSelectorMaxNesting deep, bounded by the selector text.
#ifndef SPRIG_SELECT_SELECTOR_H
#define SPRIG_SELECT_SELECTOR_H

#include <stdint.h>

#include "model/document.h"
#include "model/node.h"
#include "platform/platform.h"
#include "sprig_exact.h"

enum : uint32_t { kSelNone = 0xFFFFFFFFu };
// Deepest nesting of :is() / :not() a selector may have.
enum : uint32_t { kSelectorMaxNesting = 32 };

enum SelTestKind : uint8_t {
  kTestType,       // element name
  kTestId,         // #value: attribute id equal to the value
  kTestClass,      // .value: the value among the class attribute's words
  kTestAttribute,  // [name op value]
  kTestNth,        // :nth-*() and the :first-/:last-/:only- forms
  kTestEmpty,      // no element child and no text
  kTestRoot,       // a top-level element of the document
  kTestIs,         // matches a selector of `list`
  kTestNot,        // matches no selector of `list`
};

enum SelAttributeOp : uint8_t {
  kAttrExists,     // [a]
  kAttrEquals,     // [a=v]
  kAttrWord,       // [a~=v]: v among the whitespace-separated words
  kAttrDash,       // [a|=v]: v, or v followed by '-'
  kAttrPrefix,     // [a^=v]
  kAttrSuffix,     // [a$=v]
  kAttrContains,   // [a*=v]
};

// Flags of kTestNth.
enum : uint8_t { kNthFromLast = 1, kNthOfType = 2 };

enum SelCombinator : uint8_t {
  kCombDescendant,  // "a b"
  kCombChild,       // "a > b"
  kCombAdjacent,    // "a + b"
  kCombSibling,     // "a ~ b"
};

struct SelTest {
  uint8_t kind;        // SelTestKind
  uint8_t op;          // SelAttributeOp; kTestNth: kNth* flags
  uint8_t ignoreCase;  // attribute value compared without regard to ASCII case
  uint32_t next;       // next test of the compound, kSelNone after the last
  uint32_t name;       // type and attribute: lower-cased name in the pool
  uint32_t nameLength;
  uint32_t nameKey;    // NameKeyOf(name) for the type test
  uint32_t value;      // id, class and attribute value in the pool
  uint32_t valueLength;
  int32_t a, b;        // kTestNth: an+b
  uint32_t list;       // kTestIs, kTestNot: the nested list
};

struct SelCompound {
  uint32_t firstTest;   // kSelNone: universal, matches every element
  uint32_t left;        // the compound on the left, kSelNone for the first
  uint8_t combinator;   // between `left` and this compound
};

struct SelComplex {
  uint32_t rightmost;   // compound matched first
  uint32_t next;        // next complex selector of the list, kSelNone after the last
};

struct SelList {
  uint32_t firstComplex;
};

struct SxSelector {
  uint64_t serial;        // unique per compiled selector in the process
  SelList *lists;         // lists[0] is the whole selector
  SelComplex *complexes;
  SelCompound *compounds;
  SelTest *tests;
  WCHAR *pool;            // names and values, each followed by a zero
};

// Compiles a UTF-8 selector list. Null on failure with `error` (may be null)
// filled: SX_ERR_SELECTOR with the 1-based line and column of the offending
// character, or SX_ERR_MEMORY.
SxSelector *SelectorCompile(const char *text, SX_ERROR *error);
// Frees a compiled selector; null ignored.
void SelectorFree(SxSelector *selector);

// True when `node` is an element a selector can match (kinds plain,
// element, void and empty-tag, in a ring).
bool SelectorIsElement(const Node *node);
// True when element `node` matches a selector of the list.
bool SelectorMatches(const SxSelector *selector, const Node *node);

// sxSelect and sxSelectCount over cursors, as sprig_exact.h describes them;
// both cursors are open. 1 moved / 0 no further match; the count. A walk
// remembers sibling positions and ancestor climbs, so it is linear in the
// elements it walks over; an SX_SELECT_NEXT call that goes on from the
// element the thread's last call found, with no edit since, goes on with
// that call's memory, so stepping through all matches is linear too.
int32_t CursorSelect(Cursor *scope, const SxSelector *selector, Cursor *result, uint32_t mode);
uint32_t CursorSelectCount(Cursor *scope, const SxSelector *selector, uint32_t mode);

#endif
