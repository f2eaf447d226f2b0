// The text fields of a cursor's current element (name, inner text, after
// text) and the assembled inner text: the element's inner text with the inner
// and after texts of all its descendants in document order.
//
// Getters return text owned by the node (valid until the field is set again
// or the node is destroyed). Assembled results are owned by the cursor
// (Cursor::innerTextW / innerTextA) and replaced by the next call.
#ifndef SPRIG_MODEL_TEXT_FIELDS_H
#define SPRIG_MODEL_TEXT_FIELDS_H

#include <stdint.h>

#include "model/document.h"
#include "platform/platform.h"

// Which text field of the current element a getter or setter addresses.
enum TextField : uint32_t { kFieldName, kFieldInner, kFieldAfter };

// The field (UTF-16) of the selected element, or null if absent or no
// element is selected.
const WCHAR *CursorGetField(Cursor *cursor, TextField field);
// The field's narrow cache (CP_ACP), made on first request; null if absent,
// no element is selected or memory runs out.
const char *CursorGetFieldA(Cursor *cursor, TextField field);

// Sets the inner or after text of the selected element. A null text makes
// the field absent; otherwise at most `length` units (negative: the whole
// text) are copied, stopping at an earlier zero. Setting the inner text turns
// a plain, void or empty-tag element into a full element. Does not touch the
// update flag. 1 set; 0 no element selected or no memory (field unchanged).
int32_t CursorSetField(Cursor *cursor, TextField field, const WCHAR *text, int32_t length);
// The same from exactly `length` bytes (negative: up to the zero) of CP_ACP
// text.
int32_t CursorSetFieldA(Cursor *cursor, TextField field, const char *text, int32_t length);

// A new block with the assembled inner text of `node` (an empty text for a
// list head), or null when memory runs out or the text would not fit in 2^31
// units. Two iterative passes over the subtree: measure, then fill.
WCHAR *AssembleInnerText(const Node *node);

// sgGetInnerTextW: frees the cursor's previous UTF-16 result (even when this
// call fails), keeps and returns the new one (null on failure).
const WCHAR *CursorGetInnerText(Cursor *cursor);
// sgGetInnerTextA: on failure to assemble returns null and keeps the previous
// narrow result; otherwise replaces it with the CP_ACP conversion (null when
// that conversion runs out of memory).
const char *CursorGetInnerTextA(Cursor *cursor);

#endif
