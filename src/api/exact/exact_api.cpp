// Entry points of the editing layer (include/sprig_exact.h): opening with
// encoding detection, the encoding queries, and the format-preserving,
// verified, atomic save. Each checks its arguments, catches every exception
// and reports failures through SX_ERROR with the file and the place.
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <new>
#include <string>

#include "exact/exact_document.h"
#include "exact/exact_writer.h"
#include "model/document.h"
#include "parse/source_text.h"
#include "platform/atomic_write.h"
#include "sprig_exact.h"
#include "text/encoding_labels.h"

namespace {

int Report(SX_ERROR *error, int code, int osError, uint32_t line, uint32_t column, const char *format, ...) {
  if (!error) return 0;
  error->code = code;
  error->osError = osError;
  error->line = line;
  error->column = column;
  va_list args;
  va_start(args, format);
  vsnprintf(error->message, sizeof error->message, format, args);
  va_end(args);
  return 0;
}

void Clear(SX_ERROR *error) {
  if (error) *error = SX_ERROR{SX_OK, 0, 0, 0, ""};
}

const char *ShownName(const std::string &path) { return path.empty() ? "(memory)" : path.c_str(); }

int ReportFile(SX_ERROR *error, const std::string &path, const FileStatus &status, const char *doing) {
  static const int kCodes[] = {SX_OK, SX_ERR_IO, SX_ERR_NOT_FOUND, SX_ERR_NOT_REGULAR, SX_ERR_MEMORY, SX_ERR_IO};
  const char *why = status.result == kFileNotFound     ? "no such file or folder"
                    : status.result == kFileNotRegular ? "not a regular file"
                    : status.result == kFileMemory     ? "out of memory"
                    : status.result == kFileTooLarge   ? "file larger than 2 GiB"
                    : status.osError                   ? strerror(status.osError)
                                                       : "failed";
  return Report(error, kCodes[status.result], status.osError, 0, 0, "%s: cannot %s (%s: %s)",
                path.c_str(), doing, status.step, why);
}

SG_CURSOR Open(char *bytes, size_t size, const char *encoding, const std::string &path, SX_ERROR *error) {
  int code = SX_OK;
  SG_CURSOR cursor = ExactOpen(bytes, size, encoding, path, &code);
  if (!cursor) {
    if (code == SX_ERR_ENCODING)
      Report(error, code, 0, 0, 0, "%s: unknown or unsupported encoding '%s'", ShownName(path), encoding);
    else
      Report(error, code, 0, 0, 0, "%s: out of memory while reading", ShownName(path));
  }
  return cursor;
}

// The code page a save or render writes: the document's own for null.
bool TargetCodePage(ExactDocument *x, const char *encoding, uint32_t *cp, SX_ERROR *error) {
  *cp = encoding ? sxCodePageOfLabel(encoding) : x->detection.codePage;
  if (*cp != kCodePageUnknown) return true;
  Report(error, SX_ERR_ENCODING, 0, 0, 0, "%s: unknown or unsupported encoding '%s'", ShownName(x->path), encoding);
  return false;
}

// The bytes to write, in `out`, or a pointer to the original bytes when the
// document is unedited and kept in its encoding (*direct).
int Render(SG_CURSOR cursor, const char *encoding, uint32_t flags, std::string *out, const char **direct,
           size_t *size, SX_ERROR *error) {
  ExactDocument *x = ExactOf(cursor);
  if (!x) return Report(error, SX_ERR_ARGUMENT, 0, 0, 0, "not a document opened by sxOpen or sxParse");
  uint32_t cp;
  if (!TargetCodePage(x, encoding, &cp, error)) return 0;
  Document *document = AsCursor(cursor)->document;
  if (cp == x->detection.codePage && !(document->root.marks & kMarkEdits)) {
    *direct = x->bytes;
    *size = x->size;
    return 1;
  }
  RenderProblem problem;
  if (!ExactRender(document, x, cp, (flags & SX_SAVE_FORCE) != 0, out, &problem)) {
    uint32_t line = 0, column = 0;
    if (problem.unit >= 0) ExactLineColumn(x, document->source->text, problem.unit, &line, &column);
    return Report(error, problem.code, 0, line, column,
                  "%s:%u:%u: cannot be written exactly in %s (SX_SAVE_FORCE writes it anyway)",
                  ShownName(x->path), line, column, NameOfCodePage(cp) ? NameOfCodePage(cp) : "that encoding");
  }
  *direct = out->data();
  *size = out->size();
  return 1;
}

}  // namespace

extern "C" {

SG_API SG_CURSOR SG_CALL sxOpen(const char *path, const char *encoding, SX_ERROR *error) {
  Clear(error);
  if (!path || !*path) {
    Report(error, SX_ERR_ARGUMENT, 0, 0, 0, "sxOpen: no path");
    return nullptr;
  }
  try {
    char *bytes = nullptr;
    size_t size = 0;
    FileStatus status{};
    if (!ReadWholeFile(path, &bytes, &size, &status)) {
      ReportFile(error, path, status, "read");
      return nullptr;
    }
    return Open(bytes, size, encoding, path, error);
  } catch (...) {
    Report(error, SX_ERR_MEMORY, 0, 0, 0, "%s: out of memory", path);
    return nullptr;
  }
}

SG_API SG_CURSOR SG_CALL sxParse(const void *bytes, size_t size, const char *encoding, SX_ERROR *error) {
  Clear(error);
  if (!bytes && size) {
    Report(error, SX_ERR_ARGUMENT, 0, 0, 0, "sxParse: no bytes");
    return nullptr;
  }
  if (size > 0x7FFFFFF0) {
    Report(error, SX_ERR_ARGUMENT, 0, 0, 0, "sxParse: more than 2 GiB");
    return nullptr;
  }
  char *copy = static_cast<char *>(malloc(size + 1));
  if (!copy) {
    Report(error, SX_ERR_MEMORY, 0, 0, 0, "(memory): out of memory");
    return nullptr;
  }
  if (size) memcpy(copy, bytes, size);
  try {
    return Open(copy, size, encoding, std::string(), error);
  } catch (...) {
    Report(error, SX_ERR_MEMORY, 0, 0, 0, "(memory): out of memory");
    return nullptr;
  }
}

SG_API uint32_t SG_CALL sxGetCodePage(SG_CURSOR cursor) {
  ExactDocument *x = ExactOf(cursor);
  return x ? x->detection.codePage : 0xFFFFFFFFu;
}

SG_API const char *SG_CALL sxGetEncodingName(SG_CURSOR cursor) {
  ExactDocument *x = ExactOf(cursor);
  if (!x) return nullptr;
  const char *name = NameOfCodePage(x->detection.codePage);
  if (name) return name;
  // A code page chosen by number that has no label: "cpNNN", kept with the document.
  if (!x->numberName[0]) snprintf(x->numberName, sizeof x->numberName, "cp%u", x->detection.codePage);
  return x->numberName;
}

SG_API uint32_t SG_CALL sxGetEncodingSource(SG_CURSOR cursor) {
  ExactDocument *x = ExactOf(cursor);
  return x ? x->detection.source : 0;
}

SG_API uint32_t SG_CALL sxGetInvalidCount(SG_CURSOR cursor, uint32_t *line, uint32_t *column) {
  ExactDocument *x = ExactOf(cursor);
  if (!x) return 0;
  try {
    if (x->invalidCount)
      ExactLineColumn(x, AsCursor(cursor)->document->source->text, x->firstInvalid, line, column);
  } catch (...) {
  }
  return x->invalidCount;
}

SG_API int32_t SG_CALL sxGetLineColumn(SG_CURSOR cursor, uint32_t *line, uint32_t *column) {
  ExactDocument *x = ExactOf(cursor);
  Cursor *c = AsCursor(cursor);
  if (!x || !CursorHasSelection(c) || !(c->current->marks & kMarkSource)) return 0;
  try {
    ExactLineColumn(x, c->document->source->text, c->current->srcStart, line, column);
  } catch (...) {
    return 0;
  }
  return 1;
}

SG_API int32_t SG_CALL sxSave(SG_CURSOR cursor, const char *path, const char *encoding, uint32_t flags,
                              SX_ERROR *error) {
  Clear(error);
  ExactDocument *x = ExactOf(cursor);
  if (!x) return Report(error, SX_ERR_ARGUMENT, 0, 0, 0, "sxSave: not a document opened by sxOpen or sxParse");
  std::string target = path ? path : x->path;
  if (target.empty()) return Report(error, SX_ERR_ARGUMENT, 0, 0, 0, "sxSave: the document has no file name; give a path");
  try {
    std::string out;
    const char *bytes = nullptr;
    size_t size = 0;
    if (!Render(cursor, encoding, flags, &out, &bytes, &size, error)) return 0;
    FileStatus status{};
    if (!ReplaceFileAtomically(target.c_str(), bytes, size, !(flags & SX_SAVE_NO_SYNC), &status))
      return ReportFile(error, target, status, "write");
    return 1;
  } catch (...) {
    return Report(error, SX_ERR_MEMORY, 0, 0, 0, "%s: out of memory while saving", target.c_str());
  }
}

SG_API int32_t SG_CALL sxRender(SG_CURSOR cursor, const char *encoding, uint32_t flags, void **bytes,
                                size_t *size, SX_ERROR *error) {
  Clear(error);
  if (!bytes || !size) return Report(error, SX_ERR_ARGUMENT, 0, 0, 0, "sxRender: null result pointer");
  *bytes = nullptr;
  *size = 0;
  try {
    std::string out;
    const char *data = nullptr;
    size_t n = 0;
    if (!Render(cursor, encoding, flags, &out, &data, &n, error)) return 0;
    void *block = malloc(n + 1);
    if (!block) return Report(error, SX_ERR_MEMORY, 0, 0, 0, "sxRender: out of memory");
    if (n) memcpy(block, data, n);
    *bytes = block;
    *size = n;
    return 1;
  } catch (...) {
    return Report(error, SX_ERR_MEMORY, 0, 0, 0, "sxRender: out of memory");
  }
}

SG_API void SG_CALL sxFree(void *block) { free(block); }

SG_API uint32_t SG_CALL sxCodePageOfLabel(const char *label) {
  if (!label) return 0xFFFFFFFFu;
  uint32_t cp = CodePageOfLabel(label, strlen(label));
  return CanConvertCodePage(cp) ? cp : 0xFFFFFFFFu;
}

}  // extern "C"
