// Attributes of a cursor's current element: find, set, format, parse,
// enumerate and delete.
//
// Every function works on the cursor's current node and, except the position
// lookups, requires a base and a selected element (CursorHasSelection);
// otherwise it gives its failure result and changes nothing. Returned strings
// belong to the attribute (its text or its narrow cache) and live until that
// text changes or the attribute goes. Every successful set or delete raises
// the document's update flag; reads never touch it.
#ifndef SPRIG_EDIT_ATTRIB_EDIT_H
#define SPRIG_EDIT_ATTRIB_EDIT_H

#include <stdarg.h>
#include <stdint.h>

#include "model/attrib.h"
#include "model/document.h"
#include "platform/platform.h"

// Size, in units (W) or bytes (A), of the buffer a formatted value is built
// in. wsprintf formatting produces at most 1024 characters, so it always fits.
enum { kAttribFormatUnits = 4096 };

// Sets attribute `name` of the current element to `value`. A non-empty name
// that matches an attribute (case-insensitively, first in list order) changes
// that attribute's value, double-quoted (34), keeping its name and source
// positions; a null value keeps its value. A null or empty name, or no match,
// appends a new attribute (positions -1). 1 done; 0 no element selected or no
// memory (nothing changed). The A form converts name and value from CP_ACP
// and compares in UTF-16.
int EditSetAttribW(Cursor *cursor, const WCHAR *name, const WCHAR *value);
int EditSetAttribA(Cursor *cursor, const char *name, const char *value);

// Formats with wvsprintf rules into a buffer of kAttribFormatUnits (longer
// output is cut, never overrun) and sets the result as with EditSetAttrib.
// A null format sets nothing and gives 0.
int EditSetAttribFormatW(Cursor *cursor, const WCHAR *name, const WCHAR *format, va_list args);
int EditSetAttribFormatA(Cursor *cursor, const char *name, const char *format, va_list args);
// The value written as a signed decimal ("%d") / lower-case hex ("%x").
int EditSetAttribIntW(Cursor *cursor, const WCHAR *name, uint32_t value);
int EditSetAttribIntA(Cursor *cursor, const char *name, uint32_t value);
int EditSetAttribDWordW(Cursor *cursor, const WCHAR *name, uint32_t value);
int EditSetAttribDWordA(Cursor *cursor, const char *name, uint32_t value);

// The first attribute of the current element named `name`, or null (also
// when no element is selected or `name` is null). The W form compares
// UTF-16 names with lstrcmpiW; the A form compares the narrow caches of the
// names with lstrcmpiA, making each cache it passes. Nameless attributes
// never match.
Attrib *EditFindAttribW(Cursor *cursor, const WCHAR *name);
Attrib *EditFindAttribA(Cursor *cursor, const char *name);

// The value (A: its narrow cache) of attribute `name`, or null when the
// attribute is missing or valueless.
const WCHAR *EditGetAttribW(Cursor *cursor, const WCHAR *name);
const char *EditGetAttribA(Cursor *cursor, const char *name);

// Number parsing of a value. Decimal: optional '+' or '-', then digits,
// accumulated in wrapping 32-bit arithmetic and negated for '-'; nothing
// consumed (null, empty, or no sign or digit first) gives `fallback`, a lone
// sign gives 0. Hex: digits 0-9 A-F a-f, wrapping; no leading digit gives
// `fallback`. No white space is skipped and no prefix is recognised.
uint32_t ParseAttribIntW(const WCHAR *text, uint32_t fallback);
uint32_t ParseAttribIntA(const char *text, uint32_t fallback);
uint32_t ParseAttribDWordW(const WCHAR *text, uint32_t fallback);
uint32_t ParseAttribDWordA(const char *text, uint32_t fallback);

// Removes the first attribute named `name` (the A form converts the name and
// compares in UTF-16). 1 removed; 0 not found or no element selected.
int EditDeleteAttribW(Cursor *cursor, const WCHAR *name);
int EditDeleteAttribA(Cursor *cursor, const char *name);

// The current element's attribute count; 0 when no element is selected.
uint32_t EditAttribCount(Cursor *cursor);
// The attribute at 0-based `index` in list order, or null (negative or too
// large index, no element selected).
Attrib *EditAttribAt(Cursor *cursor, int32_t index);

// Source position of the name (selector 0) or value (selector 1) of the
// current node's attribute `name`; 0xFFFFFFFF when not found, not parsed, or
// for any other selector. Works on any current node (a list head has no
// attributes), without checking the base.
uint32_t EditAttribPosW(Cursor *cursor, const WCHAR *name, uint32_t selector);
uint32_t EditAttribPosA(Cursor *cursor, const char *name, uint32_t selector);

#endif
