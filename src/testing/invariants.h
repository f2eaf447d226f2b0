// The document invariant checker, for tests and fuzzers only: it walks a
// document's tree, the cursors that stand in it and the notes they own, and
// reports the first broken invariant. Nothing in the library calls it and
// nothing exports it. It never allocates (so it can run between the steps of
// an allocation-failure sweep without moving the failure) and never recurses
// (so it checks a tree of any depth on a small stack); time is linear in the
// nodes, attributes and references, plus one climb to the root per cursor
// and per reference.
#ifndef SPRIG_TESTING_INVARIANTS_H
#define SPRIG_TESTING_INVARIANTS_H

#include <stddef.h>
#include <stdint.h>

struct Cursor;
struct Document;

// Checks one tree: every ring closed through exactly one list head with
// next/prev agreeing, every member's parent link naming that head, list heads
// nameless and attribute-free, each child-list head owned by the element
// whose child link names it, the root ownerless, attribute rings closed and
// as long as their counts, and every reference record in an element's ring
// naming that element and this document. On success stores the number of
// reference records found in element rings in *treeRefs (may be null).
// Returns null when all hold, else a short static description.
const char *CheckDocumentTree(const Document *document, uint32_t *treeRefs);

// Checks everything reachable from `cursors` (every live cursor of the
// program, each listed once; null entries skipped): each cursor's document
// tree (each document once, including documents kept alive only by note
// references), each cursor's position (base, list and current in its own
// document, list at or below base, current in the list's ring or the list
// itself), each cursor's notes (rings, attribute counts, reference chains
// naming their note, live references inside their element's ring and
// document), and each document's reference count, which must equal the
// cursors on it plus the reference records that name it. Null when all hold,
// else a short static description.
const char *CheckInvariants(const Cursor *const *cursors, size_t count);

#endif
