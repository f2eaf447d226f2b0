/*
 * The public header seen from C: this file must compile as strict C11
 * (-Wall -Wextra -pedantic -Werror). It reports what C sees - type sizes,
 * signedness, constant values and a scan callback - so that the C++ suite
 * in test_header_compile.cpp can compare the two languages' views.
 */
#include "sprig.h"

#include <stddef.h>
#include <stdint.h>

size_t SprigCSizeofWChar(void) { return sizeof(SG_WCHAR); }
int SprigCWCharIsUnsigned(void) { return (SG_WCHAR)-1 > 0; }
size_t SprigCSizeofCursor(void) { return sizeof(SG_CURSOR); }
size_t SprigCSizeofNote(void) { return sizeof(SG_NOTE); }
size_t SprigCSizeofScanProc(void) { return sizeof(SG_SCAN_PROC); }

/* Every constant of the header, in the order of test_header_compile.cpp. */
static const uint32_t kConstants[] = {
  SG_KIND_PLAIN, SG_KIND_ELEMENT, SG_KIND_END_TAG, SG_KIND_VOID,
  SG_KIND_EMPTY_TAG, SG_KIND_PI, SG_KIND_DECL, SG_KIND_COMMENT,
  SG_ENC_ANSI, SG_ENC_UTF7, SG_ENC_UTF8,
  SG_TEXTCONV_KEEP_CONTROLS,
  SG_MOVE_BASE, SG_MOVE_BASE_FIRST, SG_MOVE_PARENT, SG_MOVE_INTO,
  SG_MOVE_FIRST_CHILD, SG_MOVE_LAST_CHILD, SG_MOVE_LIST_HEAD, SG_MOVE_FIRST,
  SG_MOVE_PREV, SG_MOVE_NEXT, SG_MOVE_LAST, SG_MOVE_PREV_IN_ORDER,
  SG_MOVE_NEXT_IN_ORDER,
  SG_SCAN_STOP, SG_SCAN_ABORT, SG_SCAN_SKIP_CHILDREN, SG_SCAN_SKIP_SIBLINGS,
  SG_SEARCH_FIRST, SG_SEARCH_NEXT, SG_SEARCH_PREV, SG_SEARCH_FIRST_SIBLING,
  SG_SEARCH_NEXT_SIBLING, SG_SEARCH_PREV_SIBLING, SG_SEARCH_CHILD,
  SG_SEARCH_ANCESTOR, SG_SEARCH_DESCENDANT, SG_SEARCH_PATH_FIRST,
  SG_SEARCH_PATH_NEXT,
  SG_MOVENODE_FIRST, SG_MOVENODE_LAST,
  SG_INSERT_APPEND, SG_INSERT_BEFORE, SG_INSERT_AFTER, SG_INSERT_CHILD
};

size_t SprigCConstantCount(void) { return sizeof kConstants / sizeof kConstants[0]; }
uint32_t SprigCConstant(size_t i) { return kConstants[i]; }

/* A callback written in C, called by the C++ side through SG_SCAN_PROC. */
static uint32_t SG_CALL ScanFromC(SG_CURSOR cursor, uint32_t depth, uint32_t phase, intptr_t user) {
  return (uint32_t)(depth * 10u + phase + (cursor ? 100u : 0u) + (uint32_t)user * 1000u);
}

SG_SCAN_PROC SprigCScanProc(void) { return ScanFromC; }
