// The file writer: a whole Document as narrow text in a code page, written
// exactly as held (no escaping), with line breaks and tabs added for XML
// documents.
#ifndef SPRIG_OUTPUT_WRITER_H
#define SPRIG_OUTPUT_WRITER_H

#include <stdint.h>

#include "platform/platform.h"

struct Document;

// Creates or replaces the file and writes every top-level node. 1 written;
// 0 when the file cannot be created or `codePage` cannot be converted to
// (checked before the file is touched, so an existing file is kept).
int SaveDocumentToFileW(Document *document, const WCHAR *fileName, uint32_t codePage);
int SaveDocumentToFileA(Document *document, const char *fileName, uint32_t codePage);

#endif
