// The SourceText record: the raw bytes of a source and the UTF-16 text the
// reader reads; every source position in a tree indexes that text. Owned by
// its Document, which frees it with itself; loading and decoding belong to
// the reader (parse/source_text.h).
#ifndef SPRIG_MODEL_SOURCE_TEXT_H
#define SPRIG_MODEL_SOURCE_TEXT_H

#include <stdint.h>

#include "platform/platform.h"

struct ReaderOptions;  // the reader's options (parse/source_text.h)

struct SourceText {
  uint32_t codePage;    // code page `rawBytes` is decoded with; 0 for UTF-16 input
  char *rawBytes;       // bytes as read or given plus at least one zero, kept while the
                        // parse may still switch the code page; else null
  uint32_t rawSize;     // bytes handed to the decoder
  WCHAR *text;          // decoded text, NUL-terminated and padded, owned
  int32_t textLength;   // units of `text` before its terminator
  int32_t pos;          // the lexer's read position in `text`
  uint32_t tagCounter;  // next tag number
  const ReaderOptions *options;  // null: the core's reading
};

// A new empty SourceText, or null.
SourceText *CreateSourceText(void);
// Frees both buffers and the record; null ignored.
void DestroySourceText(SourceText *source);

#endif
