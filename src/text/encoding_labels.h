// Encoding labels: the WHATWG label table (every label of the Encoding
// Standard whose encoding a Windows code page implements), folded to Windows
// code-page numbers, plus "cpNNN", "windows-NNN" and decimal numbers; and a
// canonical name for each code page the table knows.
#ifndef SPRIG_TEXT_ENCODING_LABELS_H
#define SPRIG_TEXT_ENCODING_LABELS_H

#include <stddef.h>
#include <stdint.h>

// Code pages the editing layer converts itself (the platform does not).
enum : uint32_t {
  kCodePageUtf16Le = 1200,
  kCodePageUtf16Be = 1201,
  kCodePageUnknown = 0xFFFFFFFFu,
};

// The code page of `length` bytes of label (ASCII case and surrounding
// blanks ignored), or kCodePageUnknown. Does not check that the code page
// can be converted.
uint32_t CodePageOfLabel(const char *label, size_t length);

// The canonical name of `codePage` ("utf-8", "shift_jis", ...), or null when
// the table has none.
const char *NameOfCodePage(uint32_t codePage);

#endif
