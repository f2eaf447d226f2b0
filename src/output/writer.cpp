// The file writer: one save creates the file, walks the top-level list with
// the shared markup rules and closes the file. Literals go out as raw bytes,
// fragments converted to the save's code page; both through a 64 KiB buffer.
// A save allocates only its buffer and scratch block, freed before it returns.
#include "output/writer.h"

#include <limits.h>
#include <string.h>

#include "model/document.h"
#include "model/node.h"
#include "output/indent.h"
#include "output/markup.h"
#include "text/text.h"

namespace {

// Largest single WriteFile request.
const size_t kMaxWrite = 1u << 30;

// A byte count as the int of the conversion calls.
int ClampInt(size_t bytes) { return bytes > INT_MAX ? INT_MAX : static_cast<int>(bytes); }

// Writes `size` bytes to the file itself, in pieces WriteFile accepts.
void WriteDirect(HANDLE handle, const char *data, size_t size) {
  while (size > 0) {
    DWORD chunk = static_cast<DWORD>(size > kMaxWrite ? kMaxWrite : size);
    DWORD written = 0;
    if (!WriteFile(handle, data, chunk, &written, nullptr) || written == 0) return;
    if (written > chunk) written = chunk;
    data += written;
    size -= written;
  }
}

// Appends bytes to the output, through the buffer when there is one.
void WriteBytes(OutputFile *file, const char *data, size_t size) {
  if (size == 0) return;
  if (file->buffer) {
    if (size > kFileBufferSize - file->used) FlushOutputFile(file);
    if (size <= kFileBufferSize - file->used) {
      memcpy(file->buffer + file->used, data, size);
      file->used += size;
      return;
    }
  }
  WriteDirect(file->handle, data, size);
}

// Converts `count` (> 0) units into the scratch block, growing it as the code
// page needs. Bytes produced, or 0 when memory runs out or the code page
// rejects the text.
int ConvertToScratch(OutputFile *file, const WCHAR *text, int32_t count) {
  size_t want = 3 * static_cast<size_t>(count) + 1;
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (file->scratchSize < want) {
      char *block = static_cast<char *>(AllocBlock(want));
      if (!block) return 0;
      FreeBlock(file->scratch);
      file->scratch = block;
      file->scratchSize = want;
    }
    int produced = WideCharToMultiByte(file->codePage, 0, text, count, file->scratch,
                                       ClampInt(file->scratchSize), nullptr, nullptr);
    if (produced > 0) return produced;
    // UTF-7 and a few others can need more than 3 bytes a unit: ask for the
    // exact size instead of cutting the text.
    int needed = WideCharToMultiByte(file->codePage, 0, text, count, nullptr, 0, nullptr, nullptr);
    if (needed <= 0 || static_cast<size_t>(needed) <= file->scratchSize) return 0;
    want = static_cast<size_t>(needed) + 1;
  }
  return 0;
}

// Converts one fragment to the file's code page and writes it. An empty or
// absent text writes nothing; a fragment that cannot be converted for lack of
// memory is skipped.
void WriteText(OutputFile *file, const WCHAR *text) {
  const int32_t count = TextLengthW(text);
  ++file->fragments;
  if (count <= 0) return;
  const size_t want = 3 * static_cast<size_t>(count) + 1;
  if (file->buffer) {
    // Most fragments convert straight into the buffer's free space.
    if (want > kFileBufferSize - file->used) FlushOutputFile(file);
    if (want <= kFileBufferSize - file->used) {
      int produced = WideCharToMultiByte(file->codePage, 0, text, count, file->buffer + file->used,
                                         ClampInt(kFileBufferSize - file->used), nullptr, nullptr);
      if (produced > 0) {
        file->used += static_cast<size_t>(produced);
        return;
      }
    }
  }
  int produced = ConvertToScratch(file, text, count);
  if (produced > 0) WriteBytes(file, file->scratch, static_cast<size_t>(produced));
}

// The file as a sink of the shared markup rules.
struct FileSink {
  OutputFile *file;
  void Mark(MarkCode code) { WriteBytes(file, kMarkText[code], kMarkLength[code]); }
  void Quote(WCHAR quote) {
    const char byte = static_cast<char>(quote);
    WriteBytes(file, &byte, 1);
  }
  void Text(const WCHAR *text) { WriteText(file, text); }
  void Tabs(int64_t level) {
    const int32_t count = level > kMaxIndent ? kMaxIndent : (level < 0 ? 0 : static_cast<int32_t>(level));
    WriteBytes(file, IndentTabsA(count), static_cast<size_t>(count));
  }
};

// Shared body of both save entry points: exactly one of the names is used.
int SaveDocument(Document *document, const WCHAR *nameW, const char *nameA, uint32_t codePage) {
  if (!document || (!nameW && !nameA)) return 0;
  // Refuse before CreateFile truncates anything.
  if (!IsWritableCodePage(codePage)) return 0;
  OutputFile file;
  file.handle = INVALID_HANDLE_VALUE;
  file.codePage = codePage;
  file.buffer = static_cast<char *>(AllocBlock(kFileBufferSize));  // null: unbuffered
  file.used = 0;
  file.scratch = nullptr;
  file.scratchSize = 0;
  file.fragments = 0;
  file.handle = nameW ? CreateFileW(nameW, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr)
                      : CreateFileA(nameA, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file.handle == INVALID_HANDLE_VALUE) {
    FreeBlock(file.buffer);
    return 0;
  }
  FileSink sink{&file};
  EmitList(&document->root, 0, document->xmlFlag != 0, sink);
  FlushOutputFile(&file);
  CloseHandle(file.handle);
  FreeBlock(file.buffer);
  FreeBlock(file.scratch);
  AdvanceNarrowRing(file.fragments);
  return 1;
}

}  // namespace

void FlushOutputFile(OutputFile *file) {
  if (file->buffer && file->used > 0) WriteDirect(file->handle, file->buffer, file->used);
  file->used = 0;
}

int IsWritableCodePage(uint32_t codePage) {
  static const WCHAR kProbe[] = {'<', 'a', '>', 0};
  char out[32];
  return WideCharToMultiByte(codePage, 0, kProbe, 3, out, sizeof out, nullptr, nullptr) > 0;
}

int SaveDocumentToFileW(Document *document, const WCHAR *fileName, uint32_t codePage) {
  return SaveDocument(document, fileName, nullptr, codePage);
}

int SaveDocumentToFileA(Document *document, const char *fileName, uint32_t codePage) {
  return SaveDocument(document, nullptr, fileName, codePage);
}
