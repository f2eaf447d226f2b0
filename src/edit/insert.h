// Insertion of new elements at a place fixed by a cursor, and the
// find-or-create walk along a path of names.
//
// A new element is a fresh Node (new NodeId, tag number -1, positions 0) with
// the caller's name (null: nameless) and kind, and an empty child list when
// asked for. It becomes the cursor's current node and the document's update
// flag is raised. A refused or failed single insertion changes nothing: the
// half-made node is destroyed before anything is linked.
#ifndef SPRIG_EDIT_INSERT_H
#define SPRIG_EDIT_INSERT_H

#include <stdint.h>

#include "model/document.h"
#include "platform/platform.h"

// Where a single insertion links the new element.
enum InsertPlace : uint32_t {
  kInsertAtEnd,          // end of the cursor's list; needs a document
  kInsertBeforeCurrent,  // before the current node (end of list at a head)
  kInsertAfterCurrent,   // after the current node (start of list at a head)
  kInsertAsLastChild,    // end of the current element's child list (made if
                         // missing), which becomes the cursor's list; needs a
                         // base and a selected element
};

// Makes an element named `name` (UTF-16 / CP_ACP) of `kind`, with an empty
// child list when `childList` is not 0, and links it at `place`.
// 1 done; 0 refused (see InsertPlace) or no memory, nothing changed.
int EditInsertElementW(Cursor *cursor, InsertPlace place, const WCHAR *name,
                       uint32_t childList, uint32_t kind);
int EditInsertElementA(Cursor *cursor, InsertPlace place, const char *name,
                       uint32_t childList, uint32_t kind);

// Walks the string list `path` (names ended by an empty name) from the
// cursor's list: each name selects the first element of that name in the
// current list (case-insensitive; searched only when the cursor has a base)
// or appends a new element of kind 0, then steps into its child list (made
// empty if missing) for the next name. With `enter` 0 the cursor ends on the
// last element; otherwise at the head of its child list. An empty path does
// nothing and gives 1; a null path gives 0. The update flag is raised only
// when an element is created. On failure (no document when one must be
// created, no memory) elements already made stay and the cursor stays where
// the failing step left it; result 0. The A form converts the list from
// CP_ACP first.
int EditAddNodePathW(Cursor *cursor, const WCHAR *path, uint32_t enter);
int EditAddNodePathA(Cursor *cursor, const char *path, uint32_t enter);

#endif
