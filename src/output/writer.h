// The file writer: a whole Document as narrow text in a code page, written
// exactly as held (no escaping, no byte-order mark), with line breaks and tab
// indentation added for XML documents.
//
// Output is buffered (kFileBufferSize bytes, flushed with WriteFile); the
// file holds exactly the bytes that one write per literal and fragment would
// give. Fragments are converted into the buffer or a reusable scratch block,
// never shortened: code pages needing more than 3 bytes a unit get more room.
#ifndef SPRIG_OUTPUT_WRITER_H
#define SPRIG_OUTPUT_WRITER_H

#include <stddef.h>
#include <stdint.h>

#include "platform/platform.h"

struct Document;

// Size of the file buffer of one save.
enum { kFileBufferSize = 64 * 1024 };

// An open output file with its buffer; lives for one save.
struct OutputFile {
  HANDLE handle;       // open for writing
  UINT codePage;       // code page of every converted fragment
  char *buffer;        // kFileBufferSize bytes, or null: every piece is written at once
  size_t used;         // bytes waiting in `buffer`
  char *scratch;       // reusable conversion block for fragments too big for the buffer
  size_t scratchSize;  // bytes of `scratch`
  uint32_t fragments;  // fragments converted so far (names, values, texts)
};

// Creates or replaces the file and writes every top-level node. 1 written;
// 0 when the file cannot be created or `codePage` cannot be converted to
// (checked before the file is touched, so an existing file is kept).
// Every fragment converted (name, value, inner or after text) takes one slot
// of the calling thread's narrow result ring, whose earlier block is freed: a save of six
// fragments frees the six oldest narrow results.
int SaveDocumentToFileW(Document *document, const WCHAR *fileName, uint32_t codePage);
int SaveDocumentToFileA(Document *document, const char *fileName, uint32_t codePage);

// 1 when WideCharToMultiByte converts to `codePage` on this platform.
int IsWritableCodePage(uint32_t codePage);

// Writes whatever `file` still holds in its buffer.
void FlushOutputFile(OutputFile *file);

#endif
