// Loading a SourceText (model/source_text.h): reading a text or a file,
// sniffing its code page and decoding it into the padded UTF-16 text the
// reader reads, and the load-and-parse sequences run on a new Document.
#ifndef SPRIG_PARSE_SOURCE_TEXT_H
#define SPRIG_PARSE_SOURCE_TEXT_H

#include <stdint.h>

#include "model/source_text.h"
#include "platform/platform.h"
#include "platform/simd.h"

struct Document;
struct Node;

// Options of the editing layer's reader; the core's entry points never set
// any (SourceText::options stays null).
struct ReaderOptions {
  // Read the whole text: a stray end tag or '<' at the top level becomes
  // after text of the node before it (of a nameless node made for it when it
  // comes first), and so does text before the first tag; reading goes on.
  bool wholeFile;
  // Called with each element closed by an end tag and the position of that
  // end tag's '<'. May be null.
  void (*endTagRead)(void *context, const Node *element, int32_t start);
  void *context;
};

// Zero units behind the terminator of every text: the scanners read
// kScanUnits units at a time from any position up to the terminator.
const size_t kSourcePadding = 7;
static_assert(kSourcePadding >= kScanUnits - 1,
              "a scanner load starting at the terminator must stay inside the text block");

// Loaders: each fills `source` and decodes it; 1 loaded, 0 failed (a null
// text or path, a file that cannot be opened, sized or read whole, a file too
// large for 32-bit positions, or no memory). The text forms take a length
// (negative: up to the terminator); narrow text is sniffed for its code page,
// files start at code page 0, UTF-16 text has no raw bytes and code page 0.
int LoadTextA(SourceText *source, const char *text, int32_t length);
int LoadTextW(SourceText *source, const WCHAR *text, int32_t length);
int LoadFileA(SourceText *source, const char *path);
int LoadFileW(SourceText *source, const WCHAR *path);

// The code page of the earliest name of the encoding table (text/encodings.h)
// in the bytes, ASCII case ignored, each needing one byte behind it; 0 if
// none.
// *named, when given, tells whether one was found.
uint32_t SniffEncoding(const char *bytes, uint32_t length, bool *named = nullptr);
// Decodes `rawBytes` (minus a UTF-8 byte-order mark) with `codePage` into a
// new `text` and resets `pos`; with a code page other than 0 the raw bytes
// are then released. 1, or 0 when memory runs out (old text kept).
int DecodeSource(SourceText *source);
// Switches to `code` and decodes again. 0 (nothing changed) without raw
// bytes or when `code` is the current one; else 1, even when the decoding
// ran out of memory, which leaves `text` null.
int ChangeCodePage(SourceText *source, uint32_t code);
// True when the zero-terminated bytes are well-formed UTF-8 by lead byte and
// continuation bytes (no overlong, surrogate or range checks).
bool IsWellFormedUtf8(const char *bytes);

// Load-and-parse sequences run on a new Document: load into a new
// SourceText, make it the document's source and build the tree.
// 1 parsed; 0 load failed or the parse ran out of memory.
int ParseDocumentFromTextA(Document *document, const char *text, int32_t length);
int ParseDocumentFromTextW(Document *document, const WCHAR *text, int32_t length);
int ParseDocumentFromFileA(Document *document, const char *path);
int ParseDocumentFromFileW(Document *document, const WCHAR *path);

#endif
