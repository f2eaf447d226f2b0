// Internal to the platform layer outside Windows: the codecs behind
// MultiByteToWideChar and WideCharToMultiByte, and the bounded output they
// write through.
//
// A codec converts the whole input in one pass, never stops at invalid input
// (it substitutes what Windows substitutes) and counts every unit it
// produces. It stores a unit only while the sink has room, so the same pass
// answers a size query (capacity 0) and detects output that does not fit.
#ifndef SPRIG_PLATFORM_CODEC_H
#define SPRIG_PLATFORM_CODEC_H

#ifndef _WIN32

#include <string.h>

#include "platform/platform.h"
#include "platform/simd.h"

// Bounded output of `Unit`s: `count` is what the conversion needs, whether or
// not it fitted into `capacity`.
template <typename Unit>
struct Sink {
  Unit *out;
  size_t capacity;
  size_t count;

  void Put(Unit unit) {
    if (count < capacity) out[count] = unit;
    ++count;
  }
};

typedef Sink<WCHAR> WideSink;
typedef Sink<char> ByteSink;

// Pure-ASCII fast paths shared by the codecs: they take whole groups of 16
// from the front of the input while every unit of a group is below 0x80, and
// put them exactly as sixteen single Puts would (stored while there is room,
// always counted). Return how many units were taken: a multiple of 16 that
// stops at the first group holding another unit, at the last group that would
// only partly fit the room, or before the last 15 units. The caller puts the
// rest unit by unit. Every code page the library converts maps ASCII to itself.
inline namespace SPRIG_SCANNER_NAMESPACE {
inline size_t PutAsciiGroupsWide(const unsigned char *text, size_t bytes, WideSink *sink) {
  size_t i = 0;
  while (bytes - i >= 16) {
    const bool store = sink->count < sink->capacity;
    if (store && sink->capacity - sink->count < 16) break;
    // Only a storing sink has a buffer: no arithmetic on a counting sink's null.
    WCHAR *out = store ? sink->out + sink->count : nullptr;
    if (!WidenAscii16(text + i, out)) break;
    sink->count += 16;
    i += 16;
  }
  return i;
}

inline size_t PutAsciiGroupsNarrow(const WCHAR *text, size_t units, ByteSink *sink) {
  size_t i = 0;
  while (units - i >= 16) {
    const bool store = sink->count < sink->capacity;
    if (store && sink->capacity - sink->count < 16) break;
    char *out = store ? sink->out + sink->count : nullptr;
    if (!NarrowAscii16(text + i, out)) break;
    sink->count += 16;
    i += 16;
  }
  return i;
}
}  // namespace SPRIG_SCANNER_NAMESPACE

// UTF-8 (utf_codecs.cpp). Decoding replaces each invalid or truncated
// sequence by U+FFFD; encoding writes a lone surrogate as U+FFFD.
void DecodeUtf8(const unsigned char *text, size_t bytes, WideSink *sink);
void EncodeUtf8(const WCHAR *text, size_t units, ByteSink *sink);

// UTF-7 (utf_codecs.cpp), every UTF-16 unit representable, including lone
// surrogates.
void DecodeUtf7(const unsigned char *text, size_t bytes, WideSink *sink);
void EncodeUtf7(const WCHAR *text, size_t units, ByteSink *sink);

// Every other code page, through iconv (iconv_codecs.cpp). Returns false,
// converting nothing, when the code page is unknown or cannot be opened.
bool DecodeCodePage(UINT codePage, const unsigned char *text, size_t bytes,
                    WideSink *sink);
bool EncodeCodePage(UINT codePage, const WCHAR *text, size_t units,
                    ByteSink *sink);

// True for a first byte of a two-byte character of code page 932.
inline bool IsShiftJisLeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

#endif  // !_WIN32

#endif  // SPRIG_PLATFORM_CODEC_H
