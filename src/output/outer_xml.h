// Outer XML: an element with its subtree and after text (or every element of
// a list) rendered to one string by the file writer's markup rules, in UTF-16
// or converted once at the end to a code page. Results are zero-initialised
// locked global-memory blocks that the caller frees with GlobalUnlock and
// GlobalFree(GlobalHandle(p)); the library keeps nothing of them.
#ifndef SPRIG_OUTPUT_OUTER_XML_H
#define SPRIG_OUTPUT_OUTER_XML_H

#include <stdint.h>

#include "output/growable_string.h"
#include "platform/platform.h"

struct Cursor;

// Renders what the cursor stands on: every element of its list when the
// current node is the list head, else the current element (nothing without
// base or current), each at level 0, with its document's XML flag. Returns
// the text in a new block ("" when nothing was rendered), or null when memory
// runs out.
WCHAR *RenderOuterXMLW(Cursor *cursor);
// The same converted to `codePage` (0: the system ANSI code page) in a block
// of 3n + 1 zero bytes for n rendered units; code pages needing more than 3
// bytes a unit get a block that fits. A code page that cannot be converted to
// gives "". Null when memory runs out.
char *RenderOuterXMLA(Cursor *cursor, uint32_t codePage);

#endif
