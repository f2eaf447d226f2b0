// Every code page other than UTF-8 and UTF-7, outside Windows: a table from
// Windows code-page numbers to glibc iconv names, a per-thread cache of open
// iconv descriptors, and the substitutions that make the results match
// Windows. ASCII runs are copied directly; only the bytes or units between
// them reach iconv. Descriptors live until their thread ends.
//
// Substitutions: a character the code page cannot encode becomes '?', one per
// UTF-16 unit (so a surrogate pair gives "??"). An undecodable byte of a
// double-byte code page gives U+30FB (code page 932) or '?' (the others),
// swallowing the byte after a lead byte unless it is the terminating zero; one
// of a single-byte code page gives the unit of the same value. Code page 932
// also gets the Windows-only mappings listed with Windows932Byte and
// Windows932Unit below, and decodes its whole characters through a table
// filled from iconv on first use. Every code page encodes the units outside
// the surrogate range through a table filled the same way.
#ifndef _WIN32

#include "platform/codec.h"

#include <errno.h>
#include <iconv.h>

#include <atomic>
#include <new>

namespace {

#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
const char kUtf16[] = "UTF-16LE";
#else
const char kUtf16[] = "UTF-16BE";
#endif

// How a code page frames its characters, which decides where a run of
// non-ASCII input may be cut.
enum Framing {
  kSingleByte,  // every byte stands alone
  kDoubleByte,  // a lead byte (0x81..0xFE) may take an ASCII byte behind it
  kEuc,         // multi-byte, but every byte of a sequence is 0x80 or above
  kShiftJis,    // double-byte with the lead bytes of code page 932
};

struct CodePageInfo {
  UINT codePage;
  const char *iconvName;
  Framing framing;
  bool composes = false;  // the converter holds a letter back to join a mark to it
};

// Code pages that Windows converts with MultiByteToWideChar and whose ASCII
// range is ASCII. 51932 is absent on purpose: Windows rejects it there too.
const CodePageInfo kCodePages[] = {
    {437, "IBM437", kSingleByte},     {737, "CP737", kSingleByte},
    {775, "IBM775", kSingleByte},     {850, "IBM850", kSingleByte},
    {852, "IBM852", kSingleByte},     {855, "IBM855", kSingleByte},
    {857, "IBM857", kSingleByte},     {858, "IBM858", kSingleByte},
    {860, "IBM860", kSingleByte},     {861, "IBM861", kSingleByte},
    {862, "IBM862", kSingleByte},     {863, "IBM863", kSingleByte},
    {865, "IBM865", kSingleByte},     {866, "IBM866", kSingleByte},
    {869, "IBM869", kSingleByte},     {874, "CP874", kSingleByte},
    {932, "CP932", kShiftJis},        {936, "CP936", kDoubleByte},
    {949, "CP949", kDoubleByte},      {950, "CP950", kDoubleByte},
    {1250, "CP1250", kSingleByte},    {1251, "CP1251", kSingleByte},
    {1252, "CP1252", kSingleByte},    {1253, "CP1253", kSingleByte},
    {1254, "CP1254", kSingleByte},    {1255, "CP1255", kSingleByte, true},
    {1256, "CP1256", kSingleByte},    {1257, "CP1257", kSingleByte},
    {1258, "CP1258", kSingleByte, true},    {1361, "CP1361", kDoubleByte},
    {10000, "MACINTOSH", kSingleByte}, {10007, "MAC-CYRILLIC", kSingleByte},
    {20866, "KOI8-R", kSingleByte},   {20932, "EUC-JP", kEuc},
    {21866, "KOI8-U", kSingleByte},   {28591, "ISO-8859-1", kSingleByte},
    {28592, "ISO-8859-2", kSingleByte}, {28593, "ISO-8859-3", kSingleByte},
    {28594, "ISO-8859-4", kSingleByte}, {28595, "ISO-8859-5", kSingleByte},
    {28596, "ISO-8859-6", kSingleByte}, {28597, "ISO-8859-7", kSingleByte},
    {28598, "ISO-8859-8", kSingleByte}, {28599, "ISO-8859-9", kSingleByte},
    {28603, "ISO-8859-13", kSingleByte}, {28605, "ISO-8859-15", kSingleByte},
};

const CodePageInfo *FindCodePage(UINT codePage) {
  for (const CodePageInfo &info : kCodePages)
    if (info.codePage == codePage) return &info;
  return nullptr;
}

bool IsLeadByte(Framing framing, unsigned char byte) {
  switch (framing) {
    case kShiftJis: return IsShiftJisLeadByte(byte);
    case kDoubleByte: return byte >= 0x81 && byte <= 0xFE;
    default: return false;
  }
}

// Open descriptors of the calling thread, a few code pages at a time; the
// oldest entry makes room for a new code page.
class DescriptorCache {
 public:
  ~DescriptorCache() {
    for (Entry &entry : entries_) Close(&entry);
  }

  // The descriptor converting `info` to UTF-16 (decode) or back, or null.
  iconv_t Get(const CodePageInfo *info, bool decode) {
    Entry *entry = nullptr;
    for (Entry &candidate : entries_)
      if (candidate.info == info) entry = &candidate;
    if (!entry) {
      entry = &entries_[next_];
      next_ = (next_ + 1) % kEntries;
      Close(entry);
      entry->info = info;
    }
    iconv_t *slot = decode ? &entry->decoder : &entry->encoder;
    if (*slot == Closed()) {
      *slot = decode ? iconv_open(kUtf16, info->iconvName)
                     : iconv_open(info->iconvName, kUtf16);
      if (*slot == Closed()) return nullptr;
    }
    iconv(*slot, nullptr, nullptr, nullptr, nullptr);  // initial shift state
    return *slot;
  }

 private:
  struct Entry {
    const CodePageInfo *info = nullptr;
    iconv_t decoder = Closed();
    iconv_t encoder = Closed();
  };
  enum { kEntries = 4 };

  static iconv_t Closed() { return reinterpret_cast<iconv_t>(-1); }
  static void Close(Entry *entry) {
    if (entry->decoder != Closed()) iconv_close(entry->decoder);
    if (entry->encoder != Closed()) iconv_close(entry->encoder);
    *entry = Entry();
  }

  Entry entries_[kEntries];
  int next_ = 0;
};

thread_local DescriptorCache tCache;

// Code-page 932 bytes that Windows decodes and glibc's CP932 does not: 0x80,
// 0xA0 and 0xFD..0xFF stand alone for U+0080 and U+F8F0..U+F8F3. Returns 0
// for any other byte.
WCHAR Windows932Byte(unsigned char byte) {
  switch (byte) {
    case 0x80: return 0x0080;
    case 0xA0: return 0xF8F0;
    case 0xFD: return 0xF8F1;
    case 0xFE: return 0xF8F2;
    case 0xFF: return 0xF8F3;
    default: return 0;
  }
}

// Windows' code-page 932 output for U+0080..U+00FF: its own mappings and its
// best-fit replacements (accents dropped, 'A' for U+00C0), high byte first
// for two-byte characters; 0x3F is the default character '?'.
const uint16_t kWindows932Latin1[128] = {
    0x0080, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F,
    0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F,
    0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F,
    // U+00A0
    0x3F, 0x21, 0x8191, 0x8192, 0x3F, 0x5C, 0x7C, 0x8198, 0x814E, 0x63, 0x61,
    0x81E1, 0x81CA, 0x2D, 0x52, 0x8150,
    // U+00B0
    0x818B, 0x817D, 0x32, 0x33, 0x814C, 0x83CA, 0x81F7, 0x8145, 0x8143, 0x31,
    0x6F, 0x81E2, 0x3F, 0x3F, 0x3F, 0x3F,
    // U+00C0
    0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x43, 0x45, 0x45, 0x45, 0x45,
    0x49, 0x49, 0x49, 0x49,
    // U+00D0
    0x44, 0x4E, 0x4F, 0x4F, 0x4F, 0x4F, 0x4F, 0x817E, 0x4F, 0x55, 0x55, 0x55,
    0x55, 0x59, 0x54, 0x73,
    // U+00E0
    0x61, 0x61, 0x61, 0x61, 0x61, 0x61, 0x61, 0x63, 0x65, 0x65, 0x65, 0x65,
    0x69, 0x69, 0x69, 0x69,
    // U+00F0
    0x64, 0x6E, 0x6F, 0x6F, 0x6F, 0x6F, 0x6F, 0x8180, 0x6F, 0x75, 0x75, 0x75,
    0x75, 0x79, 0x74, 0x79,
};

// Where Windows' code page 932 encodes a unit differently from glibc's CP932,
// Latin-1 included: the private-use units that decode from single bytes, the
// JIS forms of dashes and tildes that Windows does not map (glibc does), and
// U+3094, which only Windows maps. Returns -1 when `unit` is not one.
int Windows932Unit(WCHAR unit) {
  if (unit >= 0x80 && unit <= 0xFF) return kWindows932Latin1[unit - 0x80];
  switch (unit) {
    case 0x2014: case 0x2016: case 0x203E: case 0x2212: case 0x301C:
      return '?';
    case 0x3094: return 0x8394;
    case 0xF8F0: return 0xA0;
    case 0xF8F1: return 0xFD;
    case 0xF8F2: return 0xFE;
    case 0xF8F3: return 0xFF;
    default: return -1;
  }
}

void PutEncoded(int code, ByteSink *sink) {
  if (code > 0xFF) sink->Put(static_cast<char>(code >> 8));
  sink->Put(static_cast<char>(code & 0xFF));
}

// Puts what `cd` holds back: code pages 1255 and 1258 compose, so their
// converters keep a letter until they see whether a mark follows it. Without
// this the letter would come out after the next ASCII run, or never at the
// end of the text. The call also returns `cd` to its initial state.
void FlushHeldBack(iconv_t cd, WideSink *sink) {
  WCHAR held[4];
  char *out = reinterpret_cast<char *>(held);
  size_t outLeft = sizeof held;
  iconv(cd, nullptr, nullptr, &out, &outLeft);
  for (WCHAR *unit = held; unit < reinterpret_cast<WCHAR *>(out); ++unit) sink->Put(*unit);
}

// True when glibc read past the invalid pair at `pair` before reporting it
// (its code page 949 does so for A2 E8), so that the sequence it reports
// ends at the input position instead of starting there. Resets `cd`.
bool ReadPastInvalidPair(iconv_t cd, const char *pair) {
  char *in = const_cast<char *>(pair);
  size_t inLeft = 2;
  WCHAR units[4];
  char *out = reinterpret_cast<char *>(units);
  size_t outLeft = sizeof units;
  const size_t result = iconv(cd, &in, &inLeft, &out, &outLeft);
  const bool past = result == static_cast<size_t>(-1) && errno == EILSEQ && inLeft == 0 &&
                    outLeft == sizeof units;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  return past;
}

// Decodes one run of non-ASCII input with `cd`, substituting as described at
// the top of this file.
void DecodeRun(iconv_t cd, const CodePageInfo *info, const unsigned char *run,
               size_t length, WideSink *sink) {
  const bool shiftJis = info->framing == kShiftJis;
  char *in = const_cast<char *>(reinterpret_cast<const char *>(run));
  size_t inLeft = length;
  while (inLeft > 0) {
    WCHAR buffer[256];
    char *out = reinterpret_cast<char *>(buffer);
    size_t outLeft = sizeof buffer;
    char *const start = in;
    size_t result = iconv(cd, &in, &inLeft, &out, &outLeft);
    int error = errno;
    for (WCHAR *unit = buffer; unit < reinterpret_cast<WCHAR *>(out); ++unit)
      sink->Put(*unit);
    if (result != static_cast<size_t>(-1) || error == E2BIG) continue;
    if (info->composes) FlushHeldBack(cd, sink);
    if (info->framing != kSingleByte && in - start >= 2 && ReadPastInvalidPair(cd, in - 2)) {
      in -= 2;  // substituted below like any other invalid pair
      inLeft += 2;
    } else if (inLeft == 0) {
      sink->Put(shiftJis ? 0x30FB : '?');  // read past a sequence of unknown length
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      break;
    }
    // An invalid or incomplete sequence starts at `in`.
    unsigned char byte = static_cast<unsigned char>(*in);
    size_t skip = 1;
    WCHAR unit;
    if (shiftJis && Windows932Byte(byte)) {
      unit = Windows932Byte(byte);
    } else if (IsLeadByte(info->framing, byte)) {
      unit = shiftJis ? 0x30FB : '?';
      if (inLeft > 1 && in[1] != 0) skip = 2;
    } else {
      unit = info->framing == kSingleByte ? byte : '?';
    }
    sink->Put(unit);
    in += skip;
    inLeft -= skip;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  if (info->composes) FlushHeldBack(cd, sink);
}

// Encodes one run of units of 0x80 and above with `cd`; each unit iconv
// cannot take becomes '?'.
void EncodeRun(iconv_t cd, const WCHAR *run, size_t length, ByteSink *sink) {
  char *in = const_cast<char *>(reinterpret_cast<const char *>(run));
  size_t inLeft = length * sizeof(WCHAR);
  while (inLeft > 0) {
    char buffer[512];
    char *out = buffer;
    size_t outLeft = sizeof buffer;
    size_t result = iconv(cd, &in, &inLeft, &out, &outLeft);
    int error = errno;
    for (char *byte = buffer; byte < out; ++byte) sink->Put(*byte);
    if (result != static_cast<size_t>(-1) || error == E2BIG) continue;
    sink->Put('?');
    in += sizeof(WCHAR);
    inLeft -= sizeof(WCHAR);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
}

// ---- Code page 932 by table ----------------------------------------------
//
// Each lead byte's row of two-byte sequences, and the row of single bytes,
// is filled once per process with what DecodeRun makes of exactly those
// bytes, so a table hit gives exactly what DecodeRun gives: a whole valid
// character as iconv decodes it, and an invalid pair (EUC-JP text read as
// code page 932 is full of them) as its substitution. A 0 entry is a
// sequence that does not give exactly one unit (a lead byte before a zero);
// it goes through DecodeRun alone, which is what it would have met inside a
// longer run too, because the code page keeps no state from one character
// to the next. A row's state moves 0 (empty) -> 1 (being filled by one
// thread) -> 2 (ready) and only a ready row is read, so concurrent callers
// stay safe.

enum { kCp932Rows = 61 };  // 60 lead bytes, then the single bytes

struct Cp932Table {
  std::atomic<int> state[kCp932Rows];
  WCHAR units[kCp932Rows][256];
};

Cp932Table gCp932;

int Cp932Row(unsigned char lead) {
  return lead <= 0x9F ? lead - 0x81 : lead - 0xE0 + 31;
}

// Each byte's row: a lead byte's own, else the row of single bytes.
struct Cp932RowTable {
  uint8_t row[256];
  constexpr Cp932RowTable() : row() {
    for (int b = 0; b < 256; ++b)
      row[b] = static_cast<uint8_t>((b >= 0x81 && b <= 0x9F) ? b - 0x81
                                    : (b >= 0xE0 && b <= 0xFC) ? b - 0xE0 + 31
                                                               : kCp932Rows - 1);
  }
};
constexpr Cp932RowTable kCp932RowTable;
const uint8_t *const kCp932RowOf = kCp932RowTable.row;

// The one unit DecodeRun makes of exactly these bytes, or 0.
WCHAR DecodeAlone(iconv_t cd, const CodePageInfo *info, const unsigned char *bytes,
                  size_t length) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  WCHAR buffer[2];
  WideSink sink = {buffer, 2, 0};
  DecodeRun(cd, info, bytes, length, &sink);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  return sink.count == 1 ? buffer[0] : 0;
}

// Fills row `row` unless another thread is doing so; returns it when ready.
__attribute__((noinline)) const WCHAR *FillCp932Row(iconv_t cd, const CodePageInfo *info,
                                                    int row) {
  std::atomic<int> &state = gCp932.state[row];
  int now = state.load(std::memory_order_acquire);
  if (now == 2) return gCp932.units[row];
  if (now != 0 || !state.compare_exchange_strong(now, 1, std::memory_order_acq_rel)) return nullptr;
  WCHAR *units = gCp932.units[row];
  for (unsigned second = 0; second < 256; ++second) {
    unsigned char bytes[2];
    if (row == kCp932Rows - 1) {
      bytes[0] = static_cast<unsigned char>(second);
      units[second] = second >= 0x80 ? DecodeAlone(cd, info, bytes, 1) : 0;
    } else {
      bytes[0] = static_cast<unsigned char>(row < 31 ? 0x81 + row : 0xE0 + row - 31);
      bytes[1] = static_cast<unsigned char>(second);
      units[second] = second ? DecodeAlone(cd, info, bytes, 2) : 0;
    }
  }
  state.store(2, std::memory_order_release);
  return units;
}

// The ready row `row`, filled first when needed; null while another thread
// fills it.
inline const WCHAR *Cp932Units(iconv_t cd, const CodePageInfo *info, int row) {
  if (gCp932.state[row].load(std::memory_order_acquire) == 2) return gCp932.units[row];
  return FillCp932Row(cd, info, row);
}

// Decodes the whole input as code page 932, character by character: a lead
// byte with a byte behind it takes that byte along, whatever it is.
void DecodeShiftJis(iconv_t cd, const CodePageInfo *info, const unsigned char *text,
                    size_t bytes, WideSink *sink) {
  // Bit r: row r was seen ready by this call, so that the shared table's
  // state is read once per row, not once per character.
  static_assert(kCp932Rows <= 64, "one bit per row");
  uint64_t ready = 0;
  size_t i = 0;
  // No character makes more units than it has bytes, so where the room
  // covers a unit per byte the units go straight to the buffer, unchecked.
  if (sink->count <= sink->capacity && sink->capacity - sink->count >= bytes) {
    WCHAR *const start = sink->out + sink->count;
    WCHAR *out = start;
    static const WCHAR kUnready[256] = {};
    const WCHAR *rows[kCp932Rows];
    for (const WCHAR *&row : rows) row = kUnready;
    while (i < bytes) {
      // ASCII sixteen at a time.
      if (text[i] < 0x80 && bytes - i >= 16) {
        const unsigned ascii = WidenAsciiPrefix16(text + i, out);
        out += ascii;
        i += ascii;
        continue;
      }
      // One character through the table, without branching on its size. A
      // row not yet seen ready reads as zeros until the slow way below
      // makes it ready; a zero left after that is a sequence DecodeRun
      // takes alone.
      const unsigned char byte = text[i];
      const int leadRow = kCp932RowOf[byte];
      const bool pair = leadRow != kCp932Rows - 1 && bytes - i >= 2;
      const int row = pair ? leadRow : kCp932Rows - 1;
      const unsigned char last = text[i + pair];
      WCHAR unit = rows[row][last];
      if (SPRIG_UNLIKELY(unit == 0)) {
        if (const WCHAR *units = Cp932Units(cd, info, row)) {
          rows[row] = units;
          unit = units[last];
        }
      }
      if (SPRIG_LIKELY(unit != 0)) {
        *out++ = unit;
      } else {
        WideSink rest = {out, bytes - i, 0};
        DecodeRun(cd, info, text + i, 1 + pair, &rest);
        out += rest.count;
      }
      i += 1 + pair;
    }
    sink->count += static_cast<size_t>(out - start);
    return;
  }
  WideSink local = *sink;
  while (i < bytes) {
    const unsigned char byte = text[i];
    if (byte < 0x80) {
      i += PutAsciiGroupsWide(text + i, bytes - i, &local);
      while (i < bytes && text[i] < 0x80) local.Put(text[i++]);
      continue;
    }
    const size_t size = IsShiftJisLeadByte(byte) && bytes - i >= 2 ? 2 : 1;
    const int row = size == 2 ? Cp932Row(byte) : kCp932Rows - 1;
    const uint64_t bit = uint64_t(1) << row;
    if (!(ready & bit) && Cp932Units(cd, info, row)) ready |= bit;
    const WCHAR unit = (ready & bit) ? gCp932.units[row][text[i + size - 1]] : 0;
    if (unit) {
      local.Put(unit);
    } else {
      DecodeRun(cd, info, text + i, size, &local);
    }
    i += size;
  }
  *sink = local;
}

// ---- Encoding by table ------------------------------------------------------
//
// Each block of 256 units gets, on first use per process, the bytes that the
// slow way (Windows932Unit for code page 932, then EncodeRun) makes of each
// unit alone. None of these code pages keeps state from one character to the
// next, so a run encodes as its units do one by one. Surrogates never reach
// the table: a pair is one character to iconv. A block is published whole
// through its atomic pointer; a thread that loses the race to publish frees
// its own copy. Blocks live as long as the process.

// One unit's bytes: the count in bits 24..31, the bytes from bit 0 up; 0
// when the unit is not taken by table.
using PackedBytes = uint32_t;

enum { kEncodeBlocks = 256 };
constexpr size_t kCodePageCount = sizeof kCodePages / sizeof kCodePages[0];

std::atomic<PackedBytes *> gEncodeBlocks[kCodePageCount][kEncodeBlocks];
// Set once a descriptor for the code page has opened on any thread: a text
// the table covers then needs none, and resetting one costs as much as a
// short text.
std::atomic<bool> gEncoderOpened[kCodePageCount];

// The calling thread's encoder for `info`, opened once per call of
// EncodeCodePage; null if iconv cannot convert to the code page.
iconv_t Encoder(const CodePageInfo *info, iconv_t *cd) {
  if (!*cd && (*cd = tCache.Get(info, false)))
    gEncoderOpened[info - kCodePages].store(true, std::memory_order_relaxed);
  return *cd;
}

bool IsSurrogate(WCHAR unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

// Encodes the units of 0x80 and above from `run` on as the slow way does,
// up to the next ASCII unit; returns how many units it took.
size_t EncodeSlowly(iconv_t cd, const CodePageInfo *info, const WCHAR *run,
                    size_t length, ByteSink *sink) {
  const bool shiftJis = info->framing == kShiftJis;
  if (shiftJis) {
    int code = Windows932Unit(run[0]);
    if (code >= 0) {
      PutEncoded(code, sink);
      return 1;
    }
  }
  size_t end = 0;
  while (end < length && run[end] >= 0x80 && !(shiftJis && Windows932Unit(run[end]) >= 0))
    ++end;
  EncodeRun(cd, run, end, sink);
  return end;
}

// What the slow way makes of `unit` alone, packed; 0 for more than three bytes.
PackedBytes EncodeAlone(iconv_t cd, const CodePageInfo *info, WCHAR unit) {
  char bytes[8];
  ByteSink sink = {bytes, sizeof bytes, 0};
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  EncodeSlowly(cd, info, &unit, 1, &sink);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (sink.count == 0 || sink.count > 3) return 0;
  PackedBytes packed = static_cast<PackedBytes>(sink.count) << 24;
  for (size_t k = 0; k < sink.count; ++k)
    packed |= static_cast<PackedBytes>(static_cast<unsigned char>(bytes[k])) << (8 * k);
  return packed;
}

// The block of `info`'s table that holds `unit`, filled first when needed;
// null when memory runs out or no descriptor opens.
__attribute__((noinline)) const PackedBytes *FillEncodeBlock(iconv_t *descriptor,
                                                             const CodePageInfo *info, WCHAR unit) {
  std::atomic<PackedBytes *> &slot = gEncodeBlocks[info - kCodePages][unit >> 8];
  const iconv_t cd = Encoder(info, descriptor);
  if (!cd) return nullptr;
  PackedBytes *block = new (std::nothrow) PackedBytes[256];
  if (!block) return nullptr;
  const WCHAR first = static_cast<WCHAR>(unit & 0xFF00);
  for (unsigned low = 0; low < 256; ++low) {
    const WCHAR u = static_cast<WCHAR>(first | low);
    block[low] = u < 0x80 ? 0 : EncodeAlone(cd, info, u);
  }
  PackedBytes *expected = nullptr;
  if (!slot.compare_exchange_strong(expected, block, std::memory_order_acq_rel)) {
    delete[] block;
    return expected;
  }
  return block;
}

// The packed bytes of `unit` (0x80 and above, no surrogate), or 0.
inline PackedBytes EncodedUnit(iconv_t *descriptor, const CodePageInfo *info, WCHAR unit) {
  const PackedBytes *block =
      gEncodeBlocks[info - kCodePages][unit >> 8].load(std::memory_order_acquire);
  if (SPRIG_UNLIKELY(!block) && !(block = FillEncodeBlock(descriptor, info, unit))) return 0;
  return block[unit & 0xFF];
}

}  // namespace

bool DecodeCodePage(UINT codePage, const unsigned char *text, size_t bytes,
                    WideSink *sink) {
  const CodePageInfo *info = FindCodePage(codePage);
  if (!info) return false;
  iconv_t cd = tCache.Get(info, true);
  if (!cd) return false;
  if (info->framing == kShiftJis) {
    DecodeShiftJis(cd, info, text, bytes, sink);
    return true;
  }
  size_t i = 0;
  while (i < bytes) {
    if (text[i] < 0x80) {
      i += PutAsciiGroupsWide(text + i, bytes - i, sink);
      while (i < bytes && text[i] < 0x80) sink->Put(text[i++]);
      continue;
    }
    // The run ends before the next ASCII byte that no lead byte claims.
    size_t end = i;
    while (end < bytes && text[end] >= 0x80)
      end += IsLeadByte(info->framing, text[end]) ? 2 : 1;
    if (end > bytes) end = bytes;
    DecodeRun(cd, info, text + i, end - i, sink);
    i = end;
  }
  return true;
}

bool EncodeCodePage(UINT codePage, const WCHAR *text, size_t units,
                    ByteSink *sink) {
  const CodePageInfo *info = FindCodePage(codePage);
  if (!info) return false;
  // A code page iconv cannot convert to fails even for ASCII text.
  iconv_t cd = nullptr;
  if (!gEncoderOpened[info - kCodePages].load(std::memory_order_relaxed) && !Encoder(info, &cd))
    return false;
  size_t i = 0;
  while (i < units) {
    const WCHAR unit = text[i];
    if (unit < 0x80) {
      i += PutAsciiGroupsNarrow(text + i, units - i, sink);
      while (i < units && text[i] < 0x80) sink->Put(static_cast<char>(text[i++]));
      continue;
    }
    const PackedBytes packed = IsSurrogate(unit) ? 0 : EncodedUnit(&cd, info, unit);
    if (SPRIG_LIKELY(packed != 0)) {
      for (unsigned k = 0; k < packed >> 24; ++k) sink->Put(static_cast<char>(packed >> (8 * k)));
      ++i;
      continue;
    }
    // Surrogates, and a unit whose block could not be made, go the slow way:
    // surrogates a run at a time, so that a pair reaches iconv whole.
    if (!Encoder(info, &cd)) return false;
    size_t end = i + 1;
    while (end < units && text[end] >= 0x80 && IsSurrogate(text[end])) ++end;
    while (i < end) i += EncodeSlowly(cd, info, text + i, end - i, sink);
  }
  return true;
}

#endif  // !_WIN32
