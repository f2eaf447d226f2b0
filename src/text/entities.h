// Decoding of character references (&amp; &#38; &#x26; and the named
// references of HTML) in UTF-16 text, as an HTML reader resolves them: named
// references by the full HTML table (the legacy forms without ';' included),
// numeric ones with or without ';', invalid code points as U+FFFD and the C1
// range through windows-1252. Pure functions over constant tables: nothing
// is allocated, any thread may call them at once.
#ifndef SPRIG_TEXT_ENTITIES_H
#define SPRIG_TEXT_ENTITIES_H

#include <stdint.h>

#include "platform/platform.h"

// Decodes the reference that starts at `at` ('&'), with `end` behind the
// text. `inAttribute`: a named reference without ';' followed by '=' or a
// letter or digit stays text, as in an attribute value. Writes its units (1
// or 2) to `out` and returns how many units of input it spans, or 0 when
// `at` starts no reference (the '&' is then text). A reference is never
// shorter in input than in output.
int32_t DecodeReference(const WCHAR *at, const WCHAR *end, bool inAttribute, WCHAR out[2],
                        int32_t *outUnits);

// Decodes every reference in `length` units of `text` into `out`, which has
// room for `capacity` units (out may be null when capacity is 0). Returns the
// number of units of the decoded text, at most `length`; writes at most
// `capacity` of them (no terminator).
int32_t DecodeReferences(const WCHAR *text, int32_t length, bool inAttribute, WCHAR *out,
                         int32_t capacity);

#endif
