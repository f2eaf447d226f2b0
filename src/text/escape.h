// Entity escaping and unescaping with their four result rings, and the
// case-folding comparisons of the reader (ASCII letters only, double-byte
// characters compared exactly in the narrow form).
#ifndef SPRIG_TEXT_ESCAPE_H
#define SPRIG_TEXT_ESCAPE_H

#include <stdint.h>

#include "platform/platform.h"

// Results belong to each function's own ring of 16 (or are the constant
// empty string for null/empty input or no memory).
const WCHAR *ToNormalStrTemp16W(const WCHAR *text);
const char *ToNormalStrTemp16A(const char *text);
const WCHAR *ToQuoteStrTemp16W(const WCHAR *text);
const char *ToQuoteStrTemp16A(const char *text);

// 0 when `text` begins with `pattern` (or with its first n characters),
// ASCII letters folded; else the difference of the first unequal units.
int CompareNoCaseW(const WCHAR *text, const WCHAR *pattern, int32_t n);
int CompareNoCaseA(const char *text, const char *pattern, int32_t n);
// First place in `text` where `pattern` stands (ASCII letters folded), or null.
const WCHAR *FindNoCaseW(const WCHAR *text, const WCHAR *pattern);

#endif
