// Tab indentation for the writers of XML documents: one tab per level, at
// most kMaxIndent. The runs live in process-wide constant buffers that are
// never written, so a returned pointer stays valid for the whole process.
#ifndef SPRIG_OUTPUT_INDENT_H
#define SPRIG_OUTPUT_INDENT_H

#include <stdint.h>

#include "platform/platform.h"

// Deepest indentation written; deeper levels get exactly this many tabs.
enum { kMaxIndent = 40 };

// A zero-terminated run of min(count, 40) tabs; "" for a count of 0 or less.
const WCHAR *IndentTabsW(int32_t count);
const char *IndentTabsA(int32_t count);

#endif
