// Search by name and by path of names: moves the cursor to the index-th
// element (0-based; negative counts as 0) that a mode's walk meets. Names
// match whole and case-insensitively (lstrcmpiW); nameless elements never
// match. Every walk is iterative and bounded by the cursor's base; a search
// that continues from the current element (mode 2) never restarts from the
// top, so enumerating all matches of a name is linear overall.
#ifndef SPRIG_NAVIGATE_SEARCH_H
#define SPRIG_NAVIGATE_SEARCH_H

#include <stdint.h>

#include "model/document.h"
#include "platform/platform.h"

// Searches with SG_SEARCH_* `mode`. `name` is one name, or for the path modes
// (10, 11) a string list of names, one per level below the base. 1 found (the
// element becomes current and, except for the sibling modes, its list the
// cursor's list); 0 not found, the cursor placed as each mode defines. A
// cursor without base, a null name or an unknown mode give 0 unchanged.
int32_t CursorSearch(Cursor *cursor, const WCHAR *name, uint32_t mode, int32_t index);

// The same for a narrow name or string list in CP_ACP, converted through a
// temporary block that is freed before returning. 0 also when the conversion
// runs out of memory (cursor unchanged).
int32_t CursorSearchA(Cursor *cursor, const char *name, uint32_t mode, int32_t index);

#endif
