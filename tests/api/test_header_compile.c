/*
 * The public header seen from C: this file must compile as strict C11
 * (-Wall -Wextra -pedantic -Werror). It reports what C sees of the types and
 * hands out a scan callback written in C, so that test_header_compile.cpp can
 * check that both languages agree.
 */
#include "sprig.h"

#include <stddef.h>
#include <stdint.h>

size_t SprigCSizeofWChar(void) { return sizeof(SG_WCHAR); }
int SprigCWCharIsUnsigned(void) { return (SG_WCHAR)-1 > 0; }
size_t SprigCSizeofHandles(void) { return sizeof(SG_CURSOR) + sizeof(SG_NOTE) + sizeof(SG_SCAN_PROC); }

static uint32_t SG_CALL ScanFromC(SG_CURSOR cursor, uint32_t depth, uint32_t phase, intptr_t user) {
  return (uint32_t)(depth * 10u + phase + (cursor ? 100u : 0u) + (uint32_t)user * 1000u);
}
SG_SCAN_PROC SprigCScanProc(void) { return ScanFromC; }
