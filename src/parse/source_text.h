// SourceText: the raw bytes of a source and the UTF-16 text the reader reads;
// every source position in a tree indexes that text. Owned by its Document.
#ifndef SPRIG_PARSE_SOURCE_TEXT_H
#define SPRIG_PARSE_SOURCE_TEXT_H

#include <stdint.h>

#include "platform/platform.h"

struct Document;

struct SourceText {
  uint32_t codePage;    // code page `rawBytes` is decoded with; 0 for UTF-16 input
  char *rawBytes;       // bytes as read or given plus at least one zero; null for UTF-16
  uint32_t rawSize;     // bytes handed to the decoder
  WCHAR *text;          // decoded text, NUL-terminated, owned
  int32_t pos;          // the lexer's read position in `text`
  uint32_t tagCounter;  // next tag number
};

// A new empty SourceText, or null.
SourceText *CreateSourceText(void);
// Frees both buffers and the record; null ignored.
void DestroySourceText(SourceText *source);

// Load-and-parse sequences run on a new Document: load into a new
// SourceText, make it the document's source and build the tree.
// 1 parsed; 0 load failed or the parse ran out of memory.
int ParseDocumentFromTextA(Document *document, const char *text, int32_t length);
int ParseDocumentFromTextW(Document *document, const WCHAR *text, int32_t length);
int ParseDocumentFromFileA(Document *document, const char *path);
int ParseDocumentFromFileW(Document *document, const WCHAR *path);

#endif
