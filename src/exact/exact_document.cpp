// Opening a document in the editing layer (exact_document.h): decoding with a
// position map, whole-file parsing, and the table of original extents.
//
// Decoding of code pages whose ASCII range is ASCII: runs of ASCII bytes are
// copied as units; each run of other bytes is decoded on its own, up to the
// next byte that always stands alone in the code page (any ASCII byte for
// UTF-8, EUC and single-byte code pages; a byte below 0x40 other than a digit
// for the double-byte ones, whose trail bytes may be ASCII). The decoder thus
// restarts at every such byte, so '<', '>', quotes, '=' and blanks keep their
// own unit and every unit next to them has an exact byte offset: the map
// stores only where non-ASCII runs open and close. UTF-16 maps two bytes a
// unit. Stateful and other code pages decode in one piece without a map.
#include "exact/exact_document.h"

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <new>

#include "model/node.h"
#include "output/release.h"
#include "parse/source_text.h"
#include "parse/tree_builder.h"
#include "platform/platform.h"
#include "platform/simd.h"
#include "sprig_exact.h"
#include "text/encoding_labels.h"
#include "text/escape.h"
#include "text/text.h"

namespace {

// Code pages whose trail bytes may be ASCII (any other byte below 0x40 than
// a digit still stands alone in each).
bool HasAsciiTrailBytes(uint32_t cp) {
  return cp == 932 || cp == 936 || cp == 949 || cp == 950 || cp == 1361 || cp == 54936 ||
         cp == 20936;
}

// True when ASCII bytes map to themselves and no shift state exists (the
// answer for the common code pages is kept once found).
bool IsAsciiCompatible(uint32_t cp) {
  if (cp == CP_UTF8) return true;
  if (cp == CP_UTF7 || (cp >= 50220 && cp <= 50229) || cp == 52936) return false;
  static const uint32_t kKept[] = {932, 936, 949, 950, 20932, 51932, 1250, 1251, 1252};
  static std::atomic<int> kept[sizeof kKept / sizeof kKept[0]];  // 0 unknown, 1 yes, 2 no
  std::atomic<int> *slot = nullptr;
  for (size_t i = 0; i < sizeof kKept / sizeof kKept[0]; ++i)
    if (kKept[i] == cp) slot = &kept[i];
  if (slot && slot->load(std::memory_order_relaxed)) return slot->load(std::memory_order_relaxed) == 1;
  char ascii[127];
  WCHAR units[127];
  for (int i = 0; i < 127; ++i) ascii[i] = static_cast<char>(i + 1);
  bool same = MultiByteToWideChar(cp, 0, ascii, 127, units, 127) == 127;
  for (int i = 0; same && i < 127; ++i) same = units[i] == i + 1;
  if (slot) slot->store(same ? 1 : 2, std::memory_order_relaxed);
  return same;
}

// The decoded text, built in a block that the document's SourceText takes
// over as it is (AllocBlockRaw, with room for the terminator and the padding
// the scanners read), so that the text is made once and never copied.
class TextBlock {
 public:
  TextBlock() = default;
  TextBlock(const TextBlock &) = delete;
  TextBlock &operator=(const TextBlock &) = delete;
  ~TextBlock() { FreeBlock(data_); }
  // Room for `more` units behind the current ones; throws when memory runs out.
  void Reserve(size_t more) {
    if (more <= capacity_ - size_) return;
    size_t want = size_ + more;
    if (want < capacity_ + capacity_ / 2) want = capacity_ + capacity_ / 2;
    if (want >= 0x7FFFFFFF - 1 - kSourcePadding) throw std::bad_alloc();
    WCHAR *grown = static_cast<WCHAR *>(AllocBlockRaw((want + 1 + kSourcePadding) * sizeof(WCHAR)));
    if (!grown) throw std::bad_alloc();
    if (size_) memcpy(grown, data_, size_ * sizeof(WCHAR));
    FreeBlock(data_);
    data_ = grown;
    capacity_ = want;
  }
  WCHAR *Begin() { return data_; }
  WCHAR *End() { return data_ + size_; }
  void Clear() { size_ = 0; }
  // Forgets the units from `units` on.
  void Truncate(size_t units) { size_ = units; }
  size_t Size() const { return size_; }
  size_t Room() const { return capacity_ - size_; }
  void Grow(size_t units) { size_ += units; }
  // Ends the text with its terminator and padding and hands the block over.
  // A block much larger than its text (room is made for one unit a byte,
  // and text in double-byte code pages takes about half) is made to fit
  // first, so that the document does not hold the difference.
  WCHAR *Release() {
    if (!data_) Reserve(1);
    if (capacity_ - size_ > size_ / 4 + 1024) {
      WCHAR *fit = static_cast<WCHAR *>(AllocBlockRaw((size_ + 1 + kSourcePadding) * sizeof(WCHAR)));
      if (fit) {
        memcpy(fit, data_, size_ * sizeof(WCHAR));
        FreeBlock(data_);
        data_ = fit;
        capacity_ = size_;
      }
    }
    memset(data_ + size_, 0, (1 + kSourcePadding) * sizeof(WCHAR));
    WCHAR *block = data_;
    data_ = nullptr;
    return block;
  }

 private:
  WCHAR *data_ = nullptr;
  size_t size_ = 0, capacity_ = 0;
};

void DecodeUtf16(ExactDocument *x, TextBlock *text) {
  const unsigned char *p = reinterpret_cast<const unsigned char *>(x->bytes) + x->detection.bomBytes;
  size_t units = (x->size - x->detection.bomBytes) / 2;
  bool big = x->detection.codePage == kCodePageUtf16Be;
  text->Reserve(units);
  WCHAR *out = text->End();
  for (size_t i = 0; i < units; ++i)
    out[i] = static_cast<WCHAR>(big ? (p[2 * i] << 8 | p[2 * i + 1]) : (p[2 * i + 1] << 8 | p[2 * i]));
  text->Grow(units);
  x->mapped = true;
}

// Copies the ASCII bytes from b[i] on as units into `out` (room for a unit
// a byte up to `n`), sixteen at a time where the platform's scanner allows,
// up to the first other byte or `n`; returns where it stopped.
size_t WidenAscii(const unsigned char *b, size_t i, size_t n, WCHAR *out) {
  while (n - i >= 16) {
    const unsigned ascii = WidenAsciiPrefix16(b + i, out);
    out += ascii;
    i += ascii;
    if (ascii < 16) return i;
  }
  while (i < n && b[i] < 0x80) *out++ = b[i++];
  return i;
}

// The bytes 0x80-0xFF of a single-byte code page: the unit of each, and
// whether it encodes back to itself (else it is invalid in the code page).
struct SingleByteTable {
  WCHAR unit[128];
  bool exact[128];
};

// The table of `cp` when it is one of the common single-byte code pages
// (made once per process, on first use), else null: the platform decodes
// the runs. A byte of these code pages decodes alone as it does in a run.
const SingleByteTable *SingleByteTableOf(uint32_t cp) {
  static const uint32_t kPages[] = {874,   1250,  1251,  1252,  1253,  1254,  1255,  1256,
                                    1257,  866,   20866, 21866, 28591, 28592, 28593, 28594,
                                    28595, 28596, 28597, 28598, 28599, 28603, 28605};
  const size_t kCount = sizeof kPages / sizeof kPages[0];
  static SingleByteTable tables[kCount];
  static std::once_flag made[kCount];
  for (size_t i = 0; i < kCount; ++i) {
    if (kPages[i] != cp) continue;
    std::call_once(made[i], [cp, &table = tables[i]] {
      for (int b = 0x80; b <= 0xFF; ++b) {
        const char byte = static_cast<char>(b);
        WCHAR unit = 0;
        char back = 0;
        bool decoded = MultiByteToWideChar(cp, 0, &byte, 1, &unit, 1) == 1;
        table.unit[b - 0x80] = decoded ? unit : 0xFFFD;
        table.exact[b - 0x80] = decoded && WideCharToMultiByte(cp, 0, &unit, 1, &back, 1, nullptr, nullptr) == 1 &&
                                back == byte;
      }
    });
    return &tables[i];
  }
  return nullptr;
}

// The characters of a double-byte (or EUC) code page: for each byte
// 0x80-0xFF, the byte alone (entry 0) and the byte with each trail byte
// behind it (entry 1 + trail). An entry's state is 0 until first used, then
// kCellKnown, plus kCellExact when exactly those bytes decode to one unit
// that encodes back to exactly them, or kCellRejected when their units do
// not encode back to them (a piece DecodeInvalidRun refuses). The units of
// exact entries stand apart, 0 for any other (no exact unit is 0, which
// encodes as a zero byte), so that decoding reads two bytes a character.
// Entries are filled one at a time from the platform's decoder; any thread
// filling one writes the same values, the unit before the state. None of
// these code pages keeps state from one character to the next, so a run
// whose every character is exact decodes, and encodes back, as its
// characters do one by one: the same units the platform gives for the whole run.
const uint32_t kCellKnown = 0x10000, kCellExact = 0x20000, kCellRejected = 0x40000;
struct MultiByteTable {
  uint32_t codePage;
  bool lead[256];   // the byte takes the next one along
  bool alone[256];  // an ASCII byte that always stands alone: runs end before it
  // For each byte, read with the byte behind it: the entry is
  // base + (next & mask), and the character takes `step` bytes. An ASCII
  // byte's entry is in the row behind the others: itself, or 0 (the run
  // ends) when it stands alone.
  struct Step {
    uint32_t base;
    uint8_t mask, step;
  } steps[256];
  std::atomic<uint16_t> unit[128 * 257 + 128];
  std::atomic<uint32_t> state[128 * 257];
};

// The table of `cp` when it is one of the common double-byte or EUC code
// pages (made once per process, on first use; its entries as they are
// needed), else null: the platform decodes the runs.
MultiByteTable *MultiByteTableOf(uint32_t cp) {
  static const uint32_t kPages[] = {932, 936, 949, 950, 20932, 51932};
  const size_t kCount = sizeof kPages / sizeof kPages[0];
  static MultiByteTable *tables[kCount];
  static std::once_flag made[kCount];
  for (size_t i = 0; i < kCount; ++i) {
    if (kPages[i] != cp) continue;
    std::call_once(made[i], [cp, &table = tables[i]] {
      table = new (std::nothrow) MultiByteTable();  // entries zero: not yet known
      if (!table) return;
      table->codePage = cp;
      for (int b = 0; b < 0x80; ++b)  // the bytes from 0x80 on stay false
        table->alone[b] = !HasAsciiTrailBytes(cp) || (b < 0x40 && !(b >= '0' && b <= '9'));
      for (int b = 0x80; b <= 0xFF; ++b)
        table->lead[b] = cp == 932 ? (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)
                         : cp == 20932 || cp == 51932 ? b == 0x8E || (b >= 0xA1 && b <= 0xFE)
                                                      : b >= 0x81 && b <= 0xFE;
      for (int b = 0; b < 0x80; ++b) {
        table->steps[b] = {static_cast<uint32_t>(128 * 257 + b), 0, 1};
        table->unit[128 * 257 + b].store(table->alone[b] ? 0 : static_cast<uint16_t>(b), std::memory_order_relaxed);
      }
      for (int b = 0x80; b <= 0xFF; ++b) {
        const bool lead = table->lead[b];
        table->steps[b] = {static_cast<uint32_t>((b - 0x80) * 257 + lead), static_cast<uint8_t>(lead ? 0xFF : 0),
                           static_cast<uint8_t>(lead ? 2 : 1)};
      }
    });
    return tables[i];
  }
  return nullptr;
}

// Fills entry `index`, that of the `length` bytes at `bytes`; returns its
// state and unit as CellOf does.
uint32_t FillCell(MultiByteTable *table, size_t index, const unsigned char *bytes, int length) {
  // The same test as DecodeInvalidRun's for a piece, with the same room.
  const char *from = reinterpret_cast<const char *>(bytes);
  WCHAR units[8];
  char back[32];
  uint32_t value = kCellKnown;
  const int n = MultiByteToWideChar(table->codePage, 0, from, length, units, 8);
  const int m = n > 0 ? WideCharToMultiByte(table->codePage, 0, units, n, back, sizeof back, nullptr, nullptr) : 0;
  const bool same = m == length && memcmp(back, from, static_cast<size_t>(length)) == 0;
  if (length == 2 && table->alone[bytes[1]])
    ;  // never exact: the run ends before a byte that stands alone
  else if (same && n == 1 && units[0] != 0)
    value |= kCellExact | units[0];
  else if (!same)
    value |= kCellRejected;
  if (value & kCellExact) table->unit[index].store(units[0], std::memory_order_relaxed);
  table->state[index].store(value, std::memory_order_release);
  return value;
}

// The state of `table`'s entry for the `length` (1 or 2) bytes at `bytes`,
// with the unit in the low bits when exact; filled first when not yet known.
inline uint32_t CellOf(MultiByteTable *table, const unsigned char *bytes, int length) {
  const size_t index = (bytes[0] - 0x80u) * 257 + (length == 2 ? 1u + bytes[1] : 0u);
  const uint32_t value = table->state[index].load(std::memory_order_acquire);
  return SPRIG_LIKELY(value != 0) ? value : FillCell(table, index, bytes, length);
}

// Decodes through `table` the run of non-ASCII bytes that opens at b[j]
// (the bytes before `n` up to the next one that stands alone) into `out`
// (room for a unit a byte); sets *units and returns where the run ends, or
// returns 0 (nothing promised in `out`) when a character of the run is not
// exact in the table (an invalid one, or one the framing does not take),
// which the platform then decides.
size_t DecodeRunByTable(MultiByteTable *table, const unsigned char *b, size_t j, size_t n, WCHAR *out,
                        size_t *units) {
  WCHAR *start = out;
  size_t k = j;
  // All but the last byte: each character reads the byte behind it, and an
  // ASCII byte its own entry. Where the next character starts is decided by
  // a branch on the lead byte, not by adding the loaded step: the processor
  // then guesses it and goes on without waiting for the table's loads.
  while (k + 1 < n) {
    const unsigned c = b[k];
    const MultiByteTable::Step step = table->steps[c];
    const size_t index = step.base + (b[k + 1] & step.mask);
    uint32_t value = table->unit[index].load(std::memory_order_relaxed);
    if (SPRIG_UNLIKELY(value == 0)) {  // stands alone, not yet known, or not exact
      if (c < 0x80) break;
      value = CellOf(table, b + k, step.step);
      if (!(value & kCellExact)) return 0;
    }
    *out++ = static_cast<WCHAR>(value & 0xFFFF);
    if (table->lead[c]) {
      k += 2;
    } else {
      ++k;
    }
  }
  while (k < n) {
    const unsigned c = b[k];
    if (c < 0x80) {
      if (table->alone[c]) break;
      *out++ = static_cast<WCHAR>(c);  // an ASCII byte that no lead byte took
      ++k;
      continue;
    }
    // A lead byte takes the next byte along; a pair whose second byte
    // stands alone is never exact, so the run still ends before that byte.
    const std::atomic<uint16_t> *row = table->unit + (c - 0x80u) * 257;
    const bool pair = table->lead[c] && k + 1 < n;
    uint32_t value = (pair ? row[1u + b[k + 1]] : row[0]).load(std::memory_order_relaxed);
    if (SPRIG_UNLIKELY(value == 0)) {  // not yet known, or not exact
      value = CellOf(table, b + k, pair ? 2 : 1);
      if (!(value & kCellExact)) return 0;
    }
    *out++ = static_cast<WCHAR>(value & 0xFFFF);
    k += pair ? 2 : 1;
  }
  *units = static_cast<size_t>(out - start);
  return k;
}

// Decodes a run of valid UTF-8 into `out` (room for `size` units); the
// number of units, or -1 (nothing promised in `out`) when the run is not
// valid UTF-8 (an overlong form, a surrogate, a value above U+10FFFF, a
// stray or missing continuation byte).
int DecodeValidUtf8(const unsigned char *p, size_t size, WCHAR *out) {
  const unsigned char *end = p + size;
  WCHAR *start = out;
  while (p < end) {
    const unsigned c = *p;
    const size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : c < 0x80 ? 1 : 0;
    if (n == 0 || c > 0xF4 || static_cast<size_t>(end - p) < n) return -1;
    uint32_t value = n == 1 ? c : c & (0x7F >> n);
    for (size_t i = 1; i < n; ++i) {
      if ((p[i] & 0xC0) != 0x80) return -1;
      value = (value << 6) | (p[i] & 0x3F);
    }
    if ((n == 3 && (value < 0x800 || (value >= 0xD800 && value <= 0xDFFF))) ||
        (n == 4 && (value < 0x10000 || value > 0x10FFFF)))
      return -1;
    if (value >= 0x10000) {
      *out++ = static_cast<WCHAR>(0xD800 + ((value - 0x10000) >> 10));
      *out++ = static_cast<WCHAR>(0xDC00 + ((value - 0x10000) & 0x3FF));
    } else {
      *out++ = static_cast<WCHAR>(value);
    }
    p += n;
  }
  return static_cast<int>(out - start);
}

// Decodes again, piece by piece, a run that did not decode exactly (its
// units start at `at`): each piece is the shortest of one to four bytes whose
// units encode back to those bytes; a byte that starts no such piece becomes
// U+FFFD. So the tree holds U+FFFD just where the file's bytes were invalid,
// and the first such place is counted exactly. Pieces of one or two bytes
// that `table` (may be null) has decided take no platform call; text read in
// the wrong double-byte code page is full of invalid runs.
void DecodeInvalidRun(ExactDocument *x, const char *run, int bytes, TextBlock *text, size_t at,
                      MultiByteTable *table) {
  const uint32_t cp = x->detection.codePage;
  text->Truncate(at);
  text->Reserve(static_cast<size_t>(bytes) * 2 + 1);
  bool inStretch = false;  // consecutive invalid bytes count as one sequence
  for (int i = 0; i < bytes;) {
    int taken = 0;
    for (int length = 1; length <= 4 && i + length <= bytes && !taken; ++length) {
      const unsigned char *piece = reinterpret_cast<const unsigned char *>(run + i);
      if (table && length <= 2 && piece[0] >= 0x80) {  // the table knows most pieces
        const uint32_t value = CellOf(table, piece, length);
        if (value & kCellRejected) continue;
        if (value & kCellExact) {
          *text->End() = static_cast<WCHAR>(value & 0xFFFF);
          text->Grow(1);
          taken = length;
          continue;
        }
      }
      WCHAR units[8];
      char back[32];
      const int n = MultiByteToWideChar(cp, 0, run + i, length, units, 8);
      if (n <= 0) continue;
      const int m = WideCharToMultiByte(cp, 0, units, n, back, sizeof back, nullptr, nullptr);
      if (m == length && memcmp(back, run + i, static_cast<size_t>(length)) == 0) {
        memcpy(text->End(), units, static_cast<size_t>(n) * sizeof(WCHAR));
        text->Grow(static_cast<size_t>(n));
        taken = length;
      }
    }
    if (taken) {
      inStretch = false;
    } else {
      if (!inStretch && x->invalidCount++ == 0) x->firstInvalid = static_cast<int32_t>(text->Size());
      inStretch = true;
      *text->End() = 0xFFFD;
      text->Grow(1);
      taken = 1;
    }
    i += taken;
  }
}

// Decodes one run of non-ASCII bytes at the end of `text` (through `table`
// when there is one); counts it invalid when it is not valid UTF-8 (`utf8`),
// else when the units do not encode back to the same bytes (`multiTable`,
// may be null, then speeds up the pieces). When UTF-8 was
// only a guess, an invalid run is counted and left undecoded: the caller
// stops and reads the whole text again in the ANSI code page.
void DecodeRun(ExactDocument *x, const char *run, int bytes, TextBlock *text, bool utf8,
               const SingleByteTable *table, MultiByteTable *multiTable) {
  const uint32_t cp = x->detection.codePage;
  const size_t at = text->Size();
  text->Reserve(static_cast<size_t>(bytes) + 1);
  if (utf8) {  // valid UTF-8 needs no platform call; invalid bytes get its replacements
    int units = DecodeValidUtf8(reinterpret_cast<const unsigned char *>(run), static_cast<size_t>(bytes), text->End());
    if (units >= 0) {
      text->Grow(static_cast<size_t>(units));
      return;
    }
    if (x->detection.source == SX_FROM_UTF8) {  // the guess fails: the text is read again
      if (x->invalidCount++ == 0) x->firstInvalid = static_cast<int32_t>(at);
      return;
    }
  }
  if (table) {
    WCHAR *out = text->End();
    bool valid = true;
    for (int i = 0; i < bytes; ++i) {
      const unsigned b = static_cast<unsigned char>(run[i]) - 0x80u;
      out[i] = table->exact[b] ? table->unit[b] : 0xFFFD;
      if (!table->exact[b] && valid) {
        valid = false;
        if (x->invalidCount++ == 0) x->firstInvalid = static_cast<int32_t>(at) + i;
      }
    }
    text->Grow(static_cast<size_t>(bytes));
    return;
  }
  int room = text->Room() > 0x7FFFFFF0u ? 0x7FFFFFF0 : static_cast<int>(text->Room());
  int units = MultiByteToWideChar(cp, 0, run, bytes, text->End(), room);
  if (units <= 0) {  // more units than bytes (never for the usual code pages): make room
    int need = MultiByteToWideChar(cp, 0, run, bytes, nullptr, 0);
    if (need > room) {
      text->Reserve(static_cast<size_t>(need));
      units = MultiByteToWideChar(cp, 0, run, bytes, text->End(), need);
    }
  }
  if (units <= 0) {  // never expected: keep the bytes' place with one replacement
    *text->End() = 0xFFFD;
    units = 1;
  }
  text->Grow(static_cast<size_t>(units));
  bool valid;
  if (utf8) {
    valid = IsValidUtf8(reinterpret_cast<const unsigned char *>(run), static_cast<size_t>(bytes));
  } else {
    std::string back(static_cast<size_t>(bytes) * 4 + 8, '\0');
    int n = WideCharToMultiByte(cp, 0, text->End() - units, units, &back[0], static_cast<int>(back.size()),
                                nullptr, nullptr);
    valid = n == bytes && memcmp(back.data(), run, static_cast<size_t>(bytes)) == 0;
  }
  if (!valid) DecodeInvalidRun(x, run, bytes, text, at, multiTable);
}

// A valid UTF-8 sequence never holds an ASCII byte, so checking each run of
// other bytes on its own checks the whole text. A guess of UTF-8 stops at
// the first invalid run, as the text is then read again.
void DecodeMapped(ExactDocument *x, TextBlock *text) {
  const unsigned char *b = reinterpret_cast<const unsigned char *>(x->bytes);
  const size_t n = x->size;
  const bool asciiTrails = HasAsciiTrailBytes(x->detection.codePage);
  const bool utf8 = x->detection.codePage == CP_UTF8;
  const SingleByteTable *table = SingleByteTableOf(x->detection.codePage);
  MultiByteTable *multiTable = table ? nullptr : MultiByteTableOf(x->detection.codePage);
  size_t i = x->detection.bomBytes;
  while (i < n) {
    text->Reserve(n - i);  // a unit a byte (a run the platform decodes may take more)
    size_t j = WidenAscii(b, i, n, text->End());
    text->Grow(j - i);
    if (j == n) break;
    x->map.push_back(MapPoint{static_cast<int32_t>(text->Size()), static_cast<uint32_t>(j), 1});
    size_t k = 0, units = 0;
    if (multiTable) {  // valid characters need no platform call; other runs go the platform's way
      k = DecodeRunByTable(multiTable, b, j, n, text->End(), &units);
      text->Grow(units);
    }
    if (!k) {
      k = j + 1;
      while (k < n && !(asciiTrails ? (b[k] < 0x40 && !(b[k] >= '0' && b[k] <= '9')) : b[k] < 0x80)) ++k;
      DecodeRun(x, x->bytes + j, static_cast<int>(k - j), text, utf8, table, multiTable);
    }
    x->map.push_back(MapPoint{static_cast<int32_t>(text->Size()), static_cast<uint32_t>(k), 0});
    i = k;
    if (utf8 && x->invalidCount && x->detection.source == SX_FROM_UTF8) break;  // read again as ANSI
  }
  if (utf8) x->detection.validUtf8 = x->invalidCount == 0;
  x->mapped = true;
}

void DecodeWhole(ExactDocument *x, TextBlock *text) {
  const int bytes = static_cast<int>(x->size - x->detection.bomBytes);
  const char *from = x->bytes + x->detection.bomBytes;
  if (bytes == 0) return;
  int units = MultiByteToWideChar(x->detection.codePage, 0, from, bytes, nullptr, 0);
  if (units > 0) {
    text->Reserve(static_cast<size_t>(units));
    units = MultiByteToWideChar(x->detection.codePage, 0, from, bytes, text->End(), units);
    text->Grow(units > 0 ? static_cast<size_t>(units) : 0);
  }
  std::vector<char> back(static_cast<size_t>(bytes) * 4 + 8);
  int n = units > 0 ? WideCharToMultiByte(x->detection.codePage, 0, text->End() - units, units, back.data(),
                                          static_cast<int>(back.size()), nullptr, nullptr) : 0;
  if (n != bytes || memcmp(back.data(), from, static_cast<size_t>(bytes)) != 0) {
    x->invalidCount = 1;
    x->firstInvalid = 0;
  }
}

// A zero unit would end the reader's text there. Each stretch of zero units
// reads as U+FFFD and counts as one invalid sequence instead, so that
// reading goes on to the end of the file; the bytes are written back as
// read while their piece is not edited, as other invalid bytes are.
void ReplaceZeroUnits(ExactDocument *x, TextBlock *text) {
  // In the ASCII-compatible encodings and UTF-16 only a zero byte decodes
  // to a zero unit: most files have none, and the platform's byte search
  // says so far faster than a look at every unit. (UTF-7 can spell U+0000
  // without one.)
  const uint32_t cp = x->detection.codePage;
  const bool zeroFromZeroByte = IsAsciiCompatible(cp) || cp == kCodePageUtf16Le || cp == kCodePageUtf16Be;
  if (zeroFromZeroByte && !memchr(x->bytes, 0, x->size)) return;
  WCHAR *const begin = text->Begin();
  const size_t size = text->Size();
  const uint64_t kLow = 0x0001000100010001ull, kHigh = 0x8000800080008000ull;
  for (size_t i = 0; i < size; ++i) {
    // Four units at a time up to a group that holds a zero unit.
    for (uint64_t group; i + 4 <= size; i += 4) {
      memcpy(&group, begin + i, sizeof group);
      if ((group - kLow) & ~group & kHigh) break;
    }
    if (i >= size || begin[i] != 0) continue;
    if (x->firstInvalid < 0 || static_cast<int32_t>(i) < x->firstInvalid) x->firstInvalid = static_cast<int32_t>(i);
    ++x->invalidCount;
    while (i < size && begin[i] == 0) begin[i++] = 0xFFFD;
  }
}

void OnEndTag(void *context, const Node *element, int32_t start) {
  static_cast<ExactDocument *>(context)->endTags.emplace_back(element->id, start);
}

// One iterative walk in document order: a span for every node, and
// kMarkSource on each. The reader reads the pieces of the text in the walk's
// order (start tag, inner text, children, end tag, after text) and each text
// runs up to the next tag, so every text, and every subtree, ends where the
// next tag of the walk begins (a node's srcStart, an end tag's '<'); the last
// ones end where the text read ends (its first zero unit). No text is
// measured on its own.
void BuildSpans(ExactDocument *x, Document *document) {
  const WCHAR *text = document->source->text;
  const int32_t length = document->source->textLength;
  Node *root = &document->root;
  // A span a tag read (comments are not counted: a few more may come).
  x->spans.reserve(document->source->tagCounter + document->source->tagCounter / 16 + 16);
  std::vector<size_t> open;     // span indexes of the elements being walked
  std::vector<size_t> waiting;  // spans whose subtree ends at the next tag
  size_t textOf = SIZE_MAX;     // the span whose text ends at the next tag
  bool textIsAfter = false;
  int32_t last = 0;             // where the last tag began
  // A tag begins at `at`: the text and subtrees before it end there.
  auto tagAt = [&](int32_t at) {
    if (textOf != SIZE_MAX) (textIsAfter ? x->spans[textOf].afterEnd : x->spans[textOf].innerEnd) = at;
    textOf = SIZE_MAX;
    for (size_t index : waiting) x->spans[index].subtreeEnd = at;
    waiting.clear();
    last = at;
  };
  // End tags come in the order the walk leaves their elements.
  size_t nextEndTag = 0;
  auto endTagOf = [&](const Node *element) -> int32_t {
    if (nextEndTag < x->endTags.size() && x->endTags[nextEndTag].first == element->id)
      return x->endTags[nextEndTag++].second;
    for (const auto &tag : x->endTags)  // never expected: search them all
      if (tag.first == element->id) return tag.second;
    return -1;
  };
  Node *node = root->next == root ? nullptr : root->next;
  while (node) {
    tagAt(node->srcStart);
    node->marks |= kMarkSource;
    SourceSpan span{};
    span.id = node->id;
    span.kind = node->kind;
    span.attribCount = node->attribCount;
    span.innerEnd = node->srcTagEnd;
    span.hasAfter = node->kind != kKindElement || node->srcEnd != 0;
    span.afterEnd = 0;
    span.endTagStart = -1;
    x->spans.push_back(span);
    if (node->kind == kKindElement) {
      textOf = x->spans.size() - 1;
      textIsAfter = false;
      last = node->srcTagEnd;
    }
    if (node->child && node->child->next != node->child) {
      node->child->marks |= kMarkSource;
      open.push_back(x->spans.size() - 1);
      node = node->child->next;
      continue;
    }
    size_t index = x->spans.size() - 1;
    for (;;) {  // leave `node` (span `index`), then its owners whose rings end
      SourceSpan &s = x->spans[index];
      if (node->kind == kKindElement && node->srcEnd != 0) {
        s.endTagStart = endTagOf(node);
        if (s.endTagStart >= 0) tagAt(s.endTagStart);
      }
      if (s.hasAfter) {
        s.afterEnd = node->srcEnd;
        textOf = index;
        textIsAfter = true;
        last = node->srcEnd;
      }
      waiting.push_back(index);
      Node *next = node->next;
      if (!NodeIsListHead(next)) {
        node = next;
        break;
      }
      if (open.empty()) {
        node = nullptr;
        break;
      }
      node = NodeOwner(next);
      index = open.back();
      open.pop_back();
    }
  }
  int32_t end = last;
  // Four units at a time up to a group that holds a zero unit (a text
  // without markup is read here whole).
  const uint64_t kLow = 0x0001000100010001ull, kHigh = 0x8000800080008000ull;
  for (uint64_t group; end + 4 <= length; end += 4) {
    memcpy(&group, text + end, sizeof group);
    if ((group - kLow) & ~group & kHigh) break;
  }
  while (end < length && text[end]) ++end;
  tagAt(end);
  if (!std::is_sorted(x->spans.begin(), x->spans.end(),
                      [](const SourceSpan &a, const SourceSpan &b) { return a.id < b.id; }))
    std::sort(x->spans.begin(), x->spans.end(),
              [](const SourceSpan &a, const SourceSpan &b) { return a.id < b.id; });
  std::vector<std::pair<uint32_t, int32_t>>().swap(x->endTags);
  x->leadEnd = root->next == root ? length : root->next->srcStart;
  x->tailStart = root->prev == root ? x->leadEnd : ExactSpanOf(x, root->prev)->subtreeEnd;
}

// Where the label that decided the encoding stands in the text: the XML
// declaration's encoding value, or a meta element's charset (attribute or
// content's charset=), so that a save in another encoding can relabel it.
void FindLabel(ExactDocument *x, Document *document) {
  const WCHAR *text = document->source->text;
  Node *root = &document->root;
  Node *node = root->next;
  if (x->detection.source == SX_FROM_DECLARATION && node != root && node->kind == kKindPi)
    ExactValueRange(text, NodeFindAttrib(node, WTEXT("encoding")), &x->labelStart, &x->labelEnd);
  if (x->detection.source != SX_FROM_META) return;
  // Pre-order walk of the first part of the document, where the prescan looked.
  while (node && node != root && node->srcStart < 1024) {
    if (node->name && lstrcmpiW(node->name, WTEXT("meta")) == 0) {
      if (ExactValueRange(text, NodeFindAttrib(node, WTEXT("charset")), &x->labelStart, &x->labelEnd)) return;
      int32_t start, end;
      if (ExactValueRange(text, NodeFindAttrib(node, WTEXT("content")), &start, &end)) {
        for (int32_t p = start; p + 8 <= end; ++p) {
          if (CompareNoCaseW(text + p, WTEXT("charset="), 8) != 0) continue;
          int32_t q = p + 8;
          while (q < end && text[q] != ';' && text[q] != ' ' && text[q] != '"' && text[q] != '\'') ++q;
          x->labelStart = p + 8;
          x->labelEnd = q;
          return;
        }
      }
    }
    if (node->child && node->child->next != node->child) {
      node = node->child->next;
      continue;
    }
    while (node && NodeIsListHead(node->next)) node = NodeOwner(node->next);
    node = node ? node->next : nullptr;
  }
}

void ReleaseExact(void *layer) {
  ExactDocument *x = static_cast<ExactDocument *>(layer);
  free(x->bytes);
  delete x;
}

}  // namespace

ExactDocument *ExactOf(SG_CURSOR cursor) {
  Cursor *c = AsCursor(cursor);
  if (!c || !c->document || c->document->releaseLayer != ReleaseExact) return nullptr;
  return static_cast<ExactDocument *>(c->document->layer);
}

SG_CURSOR ExactOpen(char *bytes, size_t size, const char *label, const std::string &path, int *code) {
  ExactDocument *x = new (std::nothrow) ExactDocument;
  if (!x) {
    free(bytes);
    *code = SX_ERR_MEMORY;
    return nullptr;
  }
  x->bytes = bytes;
  x->size = size;
  Document *document = nullptr;
  try {
    x->path = path;
    if (!DetectEncoding(reinterpret_cast<unsigned char *>(bytes), size, label, &x->detection)) {
      ReleaseExact(x);
      *code = SX_ERR_ENCODING;
      return nullptr;
    }
    TextBlock text;
    uint32_t cp = x->detection.codePage;
    if (cp == kCodePageUtf16Le || cp == kCodePageUtf16Be) {
      DecodeUtf16(x, &text);
    } else if (IsAsciiCompatible(cp)) {
      DecodeMapped(x, &text);
      if (x->detection.source == SX_FROM_UTF8 && x->invalidCount) {  // not UTF-8 after all
        text.Clear();
        x->map.clear();
        x->invalidCount = 0;
        x->firstInvalid = -1;
        x->detection = AnsiDetection();
        cp = x->detection.codePage;
        DecodeMapped(x, &text);
      }
    } else {
      DecodeWhole(x, &text);
    }
    ReplaceZeroUnits(x, &text);
    document = DocumentCreate(0);
    SourceText *source = document ? CreateSourceText() : nullptr;
    if (!source) throw std::bad_alloc();
    // The decoded text becomes the reader's text as it is: no copy. Zero
    // units in it stay (the reader stops at the first; the rest is kept as
    // the document's tail).
    source->textLength = static_cast<int32_t>(text.Size());
    source->text = text.Release();
    document->source = source;
    x->endTags.reserve(x->size / 80 + 16);  // about one end tag in 70 to 100 bytes
    ReaderOptions options{true, OnEndTag, x};
    source->options = &options;
    int parsed = ParseDocument(document, source);
    source->options = nullptr;
    if (!parsed) throw std::bad_alloc();
    document->writeOnClose = 0;
    document->encoding = cp;
    BuildSpans(x, document);
    FindLabel(x, document);
  } catch (...) {
    if (document) DocumentRelease(document);
    ReleaseExact(x);
    *code = SX_ERR_MEMORY;
    return nullptr;
  }
  document->layer = x;
  document->releaseLayer = ReleaseExact;
  Cursor *cursor = CursorCreate(document);
  if (!cursor) {
    DocumentRelease(document);
    *code = SX_ERR_MEMORY;
    return nullptr;
  }
  return AsHandle(cursor);
}

int64_t ExactByteOf(const ExactDocument *x, int32_t unit) {
  if (!x->mapped) return -1;
  const uint32_t bom = x->detection.bomBytes;
  const uint32_t cp = x->detection.codePage;
  if (cp == kCodePageUtf16Le || cp == kCodePageUtf16Be) return bom + 2 * static_cast<int64_t>(unit);
  auto it = std::upper_bound(x->map.begin(), x->map.end(), unit,
                             [](int32_t u, const MapPoint &p) { return u < p.unit; });
  if (it == x->map.begin()) return bom + static_cast<int64_t>(unit);
  --it;
  if (it->opens && unit != it->unit) return -1;
  return static_cast<int64_t>(it->byte) + (unit - it->unit);
}

bool ExactValueRange(const WCHAR *text, const Attrib *attrib, int32_t *start, int32_t *end) {
  if (!attrib || !attrib->value || attrib->valuePos < 0) return false;
  int32_t p = attrib->valuePos;
  while (text[p] == ' ' || text[p] == '\t' || text[p] == '\r' || text[p] == '\n') ++p;
  if (attrib->quote == kQuoteDouble || attrib->quote == kQuoteSingle) ++p;
  *start = p;
  *end = p + lstrlenW(attrib->value);
  return true;
}

const SourceSpan *ExactSpanOf(const ExactDocument *x, const Node *node) {
  if (!(node->marks & kMarkSource) || NodeIsListHead(node)) return nullptr;
  auto it = std::lower_bound(x->spans.begin(), x->spans.end(), node->id,
                             [](const SourceSpan &s, uint32_t id) { return s.id < id; });
  return it != x->spans.end() && it->id == node->id ? &*it : nullptr;
}

void ExactLineColumn(ExactDocument *x, const WCHAR *text, int32_t unit, uint32_t *line,
                     uint32_t *column) {
  if (x->lineStarts.empty()) {
    x->lineStarts.push_back(0);
    for (int32_t i = 0; text[i]; ++i)
      if (text[i] == '\n' || (text[i] == '\r' && text[i + 1] != '\n')) x->lineStarts.push_back(i + 1);
  }
  auto it = std::upper_bound(x->lineStarts.begin(), x->lineStarts.end(), unit) - 1;
  uint32_t col = 1;
  int32_t from = *it;
  // Places asked for in document order on one long line (a page without
  // line breaks) would otherwise each count the line from its start.
  if (x->columnUnit >= from && x->columnUnit <= unit) {
    from = x->columnUnit;
    col = x->columnValue;
  }
  for (int32_t i = from; i < unit; ++i)
    if (!(text[i] >= 0xDC00 && text[i] <= 0xDFFF && i > *it && text[i - 1] >= 0xD800 && text[i - 1] <= 0xDBFF))
      ++col;
  x->columnUnit = unit;
  x->columnValue = col;
  if (line) *line = static_cast<uint32_t>(it - x->lineStarts.begin()) + 1;
  if (column) *column = col;
}
