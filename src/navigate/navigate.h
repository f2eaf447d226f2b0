// Cursor navigation: the move codes, NodeId seek, level and index queries,
// base narrowing and widening, and the callback walk of sgScanTree.
//
// A cursor stands in one ring (its list) on an element or on the list head
// (no element selected); its base is the list head that bounds every walk.
// Nothing here allocates except the scan walk's skip-flag stack past 2048
// levels, and nothing changes the tree. Every walk follows the rings and the
// owner links iteratively, so any depth runs on a small stack.
#ifndef SPRIG_NAVIGATE_NAVIGATE_H
#define SPRIG_NAVIGATE_NAVIGATE_H

#include <stdint.h>

#include "model/document.h"
#include "model/node.h"
#include "sprig.h"

// The node after `node` in document order (its first child first) inside the
// subtree of list head `bound`, or null past the end. `node` may be a list
// head: its first element is next. A head without owner also ends the walk.
Node *NextInOrder(const Node *node, const Node *bound);
// The node before `node` in document order: the deepest last descendant of
// the previous sibling, else the owner of its list. Null when that list is
// `bound` or has no owner. From a list head: its last element's deepest last
// descendant.
Node *PrevInOrder(const Node *node, const Node *bound);

// Depth of `node` below list head `base` (top level 0; a list head counts at
// the level of its elements). Stops climbing at a head without owner.
uint32_t NodeLevelBelow(const Node *node, const Node *base);

// sgMoveTo: 1 when an element (for codes 1, 4, 7 a list head) was reached.
// Codes 2, 8, 9, 10, 11 move to the list head even when they return 0;
// unknown codes and a cursor without base return 0 unchanged.
int32_t CursorMoveTo(Cursor *cursor, uint32_t code);
// sgSeek: pre-order search below the base for NodeId `id`; 1 found (the
// element and its list become current), 0 not found or no base (unchanged).
int32_t CursorSeek(Cursor *cursor, uint32_t id);
// sgGetLevel / sgSetLevel / sgGetIndex / sgSetIndex, as the public header.
uint32_t CursorGetLevel(const Cursor *cursor);
uint32_t CursorSetLevel(Cursor *cursor, int32_t level);
uint32_t CursorGetIndex(const Cursor *cursor);
uint32_t CursorSetIndex(Cursor *cursor, uint32_t index);
// Number of elements in the current element's child list, 0 if none.
uint32_t CursorGetChildCount(const Cursor *cursor);
// The current node's tag number, 0xFFFFFFFF without current node.
uint32_t CursorGetTagCount(const Cursor *cursor);
// Same-name elements before the current one in document order below the base.
uint32_t CursorTagIndex(const Cursor *cursor);
// 1 when no element is selected (or no base / current), else 0.
int32_t CursorIsEmptyList(const Cursor *cursor);
// Selector 0 tag start, 1 start-tag end, 2 element end; else 0xFFFFFFFF.
uint32_t CursorGetTagPos(const Cursor *cursor, uint32_t selector);
// flag != 0: base := current element's child list; 0: back to the root.
int32_t CursorSetBase(Cursor *cursor, int32_t flag);
// sgScanTree: the callback walk below the base. 1 completed or stopped, 0
// aborted, empty, no base, or out of memory for the skip-flag stack.
int32_t CursorScanTree(Cursor *cursor, SG_SCAN_PROC proc, intptr_t user);

#endif
