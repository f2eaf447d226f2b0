// Whole-subtree edits through a cursor: delete, move within a list, graft a
// copy of another cursor's position, and copy a whole document.
//
// Every walk here is iterative, so subtrees of any depth are handled on a
// small stack. Other cursors on the same document are not adjusted: a cursor
// whose position lay in a deleted subtree must not be used afterwards.
#ifndef SPRIG_EDIT_TREE_EDIT_H
#define SPRIG_EDIT_TREE_EDIT_H

#include <stdint.h>

#include "model/document.h"
#include "model/node.h"

// Deletes the current element with its subtree (NoteRefs into it lose their
// element). The cursor goes to the next element, else the previous one, else
// (the list is now empty) to the list's owner, whose list becomes the
// cursor's; at the base or the document root it stays at the emptied list's
// head. The owner keeps its empty child list. 1 done; 0 no element selected.
int EditDeleteNode(Cursor *cursor);

// Moves the current element to the start (direction 1) or the end
// (direction 2) of its list; it stays current. 1 done; 0 no document, no
// element selected or another direction.
int EditMoveNode(Cursor *cursor, uint32_t direction);

// Links a deep copy of `source`'s current node at `place` (SG_INSERT_*):
// 0 end of the cursor's list, 1 before, 2 after the current element, 3 end of
// its child list (made if missing; it becomes the cursor's list). At a list
// head the source gives copies of every element of its list, linked in order
// as one chain. The copy is complete before anything is linked, so the source
// may be the cursor itself. The first inserted node becomes current (the last
// for place 2). 1 done; 0 refused, nothing to insert, or the copy could not
// be made complete (nothing linked, nothing leaked).
int EditInsertTree(Cursor *cursor, Cursor *source, uint32_t place);

// A new cursor on a copy of the cursor's whole document (every top-level
// node, whatever the cursor's base), standing on its first top-level node.
// The copy has no file name and is never written back. Null when the cursor
// has no document or memory runs out (nothing leaked).
Cursor *EditCopyTree(Cursor *cursor);

// True when `copy` holds, node for node, the shape of `original`: the same
// ring lengths and child lists, the same texts and attribute values present.
// Tells a complete deep clone from one cut short by memory exhaustion.
bool CloneIsComplete(const Node *original, const Node *copy);

#endif
