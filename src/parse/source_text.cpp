// SourceText records, the four loaders, the encoding sniffer and the decoder.
//
// A SourceText owns two blocks: `rawBytes` (the bytes as read or given, with
// zero bytes behind them) and `text` (their UTF-16 decoding, which every
// source position indexes). `text` is remade from `rawBytes` whenever the
// code page changes and `pos` returns to 0 with it. UTF-16 sources have no
// raw bytes and so never change their code page; neither does a text decoded
// with a code page other than 0, whose raw bytes are released right away.
#include "parse/source_text.h"

#include <string.h>


#include "platform/simd.h"
#include "sprig.h"
#include "text/encodings.h"
#include "text/text.h"

namespace {

// The decoder hands the raw bytes and the output size to one conversion
// call whose counts are signed 32-bit, and every position in the text is a
// signed 32-bit index; decoding never yields more units than bytes. A raw
// buffer may therefore hold at most this many bytes (terminating zeros
// included), so that its decoding plus one NUL fits.
const uint32_t kMaxRawBytes = 0x7FFFFFFE;

// True when the `n` bytes at `p` spell the ASCII `name`, the case of ASCII
// letters ignored on both sides. A lead byte of a double-byte character
// never equals an ASCII letter, so a byte-wise fold gives the same answer as
// a character-wise one.
bool MatchesAsciiNoCase(const unsigned char *p, const char *name, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    unsigned c = p[i], d = static_cast<unsigned char>(name[i]);
    if (c >= 'A' && c <= 'Z') c += 'a' - 'A';
    if (d >= 'A' && d <= 'Z') d += 'a' - 'A';
    if (c != d) return false;
  }
  return true;
}

// Reads a whole open file into a fresh raw buffer of `source` and decodes
// it. Closes `file` on every path. 1 loaded, 0 failed (source unchanged).
int LoadFromHandle(SourceText *source, HANDLE file) {
  if (file == INVALID_HANDLE_VALUE) return 0;
  DWORD high = 0;
  DWORD size = GetFileSize(file, &high);
  // Files of 4 GiB or more report their size in two parts; anything whose
  // bytes and three zeros exceed the decoder's limit is refused, never cut.
  if (size == 0xFFFFFFFFu || high != 0 || size > kMaxRawBytes - 3) {
    CloseHandle(file);
    return 0;
  }
  // The content, then three zero bytes (written here: the block is not
  // zero-filled, the file's bytes fill the rest).
  char *bytes = static_cast<char *>(AllocBlockRaw(static_cast<size_t>(size) + 3));
  if (!bytes) {
    CloseHandle(file);
    return 0;
  }
  memset(bytes + size, 0, 3);
  DWORD read = 0;
  BOOL ok = ReadFile(file, bytes, size, &read, nullptr);
  CloseHandle(file);
  if (!ok || read < size) {
    FreeBlock(bytes);
    return 0;
  }
  FreeBlock(source->rawBytes);
  source->rawBytes = bytes;
  source->rawSize = size + 3;
  return DecodeSource(source);
}

// True when one of the eight bytes is the first letter of a name of the
// encoding table in either case: each byte with bit 5 set is compared by
// the exact zero-byte test on the difference.
inline bool GroupMayStartName(uint64_t group) {
  const uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
  const uint64_t folded = group | 0x2020202020202020ull;
  const uint64_t a = folded ^ (ones * kNamePairA0), b = folded ^ (ones * kNamePairB0);
  return (((a - ones) & ~a) | ((b - ones) & ~b)) & highs;
}

// The code page a name of the encoding table starting at `p` sniffs as, or
// -1 when none starts there. A name counts only with at least one byte
// behind it.
inline int64_t SniffNameAt(const unsigned char *b, int64_t p, int64_t n) {
  for (const CoreEncoding &encoding : kCoreEncodings) {
    if (p < n - static_cast<int64_t>(encoding.length) &&
        MatchesAsciiNoCase(b + p, encoding.name, encoding.length))
      return encoding.codePage;
  }
  return -1;
}

// True when decoding the `n` bytes at `bytes` with `codePage` gives the same
// units up to the first zero as decoding them with a zero behind them. Code
// page 932 and UTF-7 end a sequence cut off by the end as they end one cut
// off by a zero; UTF-8 makes one that the end cuts off take the rest of the
// input with it, a zero too, so for UTF-8 the last three bytes must be ASCII.
bool EndsAlikeWithoutZero(uint32_t codePage, const char *bytes, uint32_t n) {
  if (codePage != SG_ENC_UTF8) return true;
  for (uint32_t k = n < 3 ? n : 3; k > 0; --k) {
    if (static_cast<unsigned char>(bytes[n - k]) >= 0x80) return false;
  }
  return true;
}

// Decodes the `n` bytes at `raw` with `codePage` into a new `text` of
// `source` and resets `pos`. 1, or 0 when memory runs out (old text kept).
int DecodeBytes(SourceText *source, uint32_t codePage, const char *raw, uint32_t n) {
  const unsigned char *u = reinterpret_cast<const unsigned char *>(raw);
  // A UTF-8 byte-order mark is dropped whatever the code page says.
  const uint32_t skip = (n >= 3 && u[0] == 0xEF && u[1] == 0xBB && u[2] == 0xBF) ? 3 : 0;
  n -= skip;
  if (n > kMaxRawBytes) return 0;
  const size_t units = static_cast<size_t>(n) + 1 + kSourcePadding;
  WCHAR *text = static_cast<WCHAR *>(AllocBlockRaw(units * sizeof(WCHAR)));
  if (!text) return 0;
  int count = 0;
  if (n > 0) {
    count = MultiByteToWideChar(codePage, 0, raw + skip, static_cast<int>(n), text,
                                static_cast<int>(n) + 1);
    if (count < 0) count = 0;
    if (static_cast<uint32_t>(count) > n) count = static_cast<int>(n);
  }
  // The units behind the text are zero, as in a zero-filled block.
  memset(text + count, 0, (units - static_cast<size_t>(count)) * sizeof(WCHAR));
  FreeBlock(source->text);
  source->text = text;
  source->textLength = count;
  source->pos = 0;
  return 1;
}

// True when a name of the encoding table that switches the code page (any
// but the ANSI code page's), ASCII case ignored, ends the `n` bytes.
bool EndsWithSwitchingName(const char *bytes, uint32_t n) {
  const unsigned char *b = reinterpret_cast<const unsigned char *>(bytes);
  for (const CoreEncoding &encoding : kCoreEncodings) {
    if (encoding.codePage != SG_ENC_ANSI && n >= encoding.length &&
        MatchesAsciiNoCase(b + n - encoding.length, encoding.name, encoding.length))
      return true;
  }
  return false;
}

}  // namespace

int LoadTextA(SourceText *source, const char *text, int32_t length) {
  if (!text) return 0;
  if (length < 0) length = lstrlenA(text);
  if (static_cast<uint32_t>(length) + 1 > kMaxRawBytes) return 0;
  bool named = false;
  const uint32_t codePage = SniffEncoding(text, static_cast<uint32_t>(length), &named);
  // Only a declaration or meta tag naming UTF-7 or UTF-8 switches a text of
  // code page 0, by decoding its bytes again. The sniffer meets every such
  // name in the bytes but one that ends them (it needs a byte behind it to
  // count); a text with none of them, or of another code page, is decoded
  // once, straight from the caller's bytes, and keeps no copy, wherever that
  // decodes as the copy with its zero would.
  const bool mayName = named || EndsWithSwitchingName(text, static_cast<uint32_t>(length));
  if ((codePage != 0 || !mayName) &&
      EndsAlikeWithoutZero(codePage, text, static_cast<uint32_t>(length))) {
    if (!DecodeBytes(source, codePage, text, static_cast<uint32_t>(length))) return 0;
    FreeBlock(source->rawBytes);
    source->rawBytes = nullptr;
    source->rawSize = static_cast<uint32_t>(length) + 1;  // as if copied with its zero
    source->codePage = codePage;
    return 1;
  }
  char *bytes = static_cast<char *>(AllocBlockRaw(static_cast<size_t>(length) + 1));
  if (!bytes) return 0;
  memcpy(bytes, text, static_cast<size_t>(length));  // zeros inside included
  bytes[length] = 0;
  FreeBlock(source->rawBytes);
  source->rawBytes = bytes;
  source->rawSize = static_cast<uint32_t>(length) + 1;
  source->codePage = codePage;
  return DecodeSource(source);
}

int LoadTextW(SourceText *source, const WCHAR *text, int32_t length) {
  if (!text) return 0;
  // Up to the first NUL, at most `length` units.
  const size_t units = length < 0 ? static_cast<size_t>(lstrlenW(text))
                                  : BoundedLengthW(text, static_cast<size_t>(length));
  if (units >= 0x7FFFFFFF - 1 - kSourcePadding) return 0;
  WCHAR *copy = static_cast<WCHAR *>(AllocBlockRaw((units + 1 + kSourcePadding) * sizeof(WCHAR)));
  if (!copy) return 0;
  memcpy(copy, text, units * sizeof(WCHAR));
  memset(copy + units, 0, (1 + kSourcePadding) * sizeof(WCHAR));
  FreeBlock(source->rawBytes);
  source->rawBytes = nullptr;
  source->rawSize = 0;
  source->codePage = 0;
  FreeBlock(source->text);
  source->text = copy;
  source->textLength = static_cast<int32_t>(units);
  source->pos = 0;
  return 1;
}

int LoadFileA(SourceText *source, const char *path) {
  if (!path) return 0;
  return LoadFromHandle(source, CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

int LoadFileW(SourceText *source, const WCHAR *path) {
  if (!path) return 0;
  return LoadFromHandle(source, CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

uint32_t SniffEncoding(const char *bytes, uint32_t length, bool *named) {
  if (named) *named = true;
  const unsigned char *b = reinterpret_cast<const unsigned char *>(bytes);
  const int64_t n = length;
  int64_t p = 0;
  // Most of a text holds neither pair: sixteen bytes a step, then each
  // first pair of a name of the table in order.
  for (; n - p >= 17; p += 16) {
    unsigned mask = BytePairMask16(b + p, kNamePairA0, kNamePairA1, kNamePairB0, kNamePairB1);
    while (mask) {
      const int64_t found = SniffNameAt(b, p + LowestBit(mask), n);
      if (found >= 0) return static_cast<uint32_t>(found);
      mask &= mask - 1;
    }
  }
  for (; p < n; ++p) {
    // Eight bytes at a time where neither letter is among them.
    while (n - p >= 8) {
      uint64_t group;
      memcpy(&group, b + p, 8);
      if (GroupMayStartName(group)) break;
      p += 8;
    }
    if (p >= n) break;
    const int64_t found = SniffNameAt(b, p, n);
    if (found >= 0) return static_cast<uint32_t>(found);
  }
  if (named) *named = false;
  return SG_ENC_ANSI;
}

int DecodeSource(SourceText *source) {
  if (!source->rawBytes) return 0;
  if (!DecodeBytes(source, source->codePage, source->rawBytes, source->rawSize)) return 0;
  // Only code page 0 ever switches (to UTF-7 or UTF-8, once): the bytes of a
  // text decoded with any other code page are never decoded again, so they
  // go now instead of doubling the document's peak. rawSize keeps the count.
  if (source->codePage != 0) {
    FreeBlock(source->rawBytes);
    source->rawBytes = nullptr;
  }
  return 1;
}

int ChangeCodePage(SourceText *source, uint32_t code) {
  if (!source->rawBytes || code == source->codePage) return 0;
  source->codePage = code;
  FreeBlock(source->text);
  source->text = nullptr;
  source->textLength = 0;
  source->pos = 0;
  DecodeSource(source);  // out of memory leaves no text: the parse sees an empty one
  return 1;
}

bool IsWellFormedUtf8(const char *bytes) {
  const unsigned char *p = reinterpret_cast<const unsigned char *>(bytes);
  // A zero is no continuation byte, so no check reads past the terminator.
  while (*p) {
    unsigned b = *p;
    int follow;
    if (b < 0x80) follow = 0;
    else if (b < 0xC2) return false;
    else if (b < 0xE0) follow = 1;
    else if (b < 0xF0) follow = 2;
    else if (b < 0xF8) follow = 3;
    else return false;
    ++p;
    for (int i = 0; i < follow; ++i, ++p) {
      if (*p < 0x80 || *p > 0xBF) return false;
    }
  }
  return true;
}
