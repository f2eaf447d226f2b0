// Character-reference decoding over the generated table of HTML's named
// references (entity_table.inc, made by gen_entities.py). The table is
// constant; lookups scan the names of one first letter.
#include "text/entities.h"

namespace {

struct EntityBucket {
  uint16_t firstName;  // index of the letter's first name
  uint16_t offset;     // its place in kEntityNames
};

#include "text/entity_table.inc"

const uint32_t kCodePointBits = (1u << 21) - 1;
const uint32_t kLegacyBit = 1u << 25;
const int32_t kLongestName = 32;  // no name of the table is longer

inline bool IsAsciiLetter(uint32_t c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }
inline bool IsAsciiDigit(uint32_t c) { return c >= '0' && c <= '9'; }
inline bool IsAsciiAlnum(uint32_t c) { return IsAsciiLetter(c) || IsAsciiDigit(c); }

// The code word of the name in units [name, name + length), or 0 when the
// table has no such name.
uint32_t FindName(const WCHAR *name, int32_t length) {
  const uint32_t first = name[0];
  int bucket;
  if (first >= 'A' && first <= 'Z') {
    bucket = static_cast<int>(first - 'A');
  } else if (first >= 'a' && first <= 'z') {
    bucket = 26 + static_cast<int>(first - 'a');
  } else {
    return 0;
  }
  // The names are sorted by code unit, a name before its extensions: the
  // scan stops at the first name past the one sought.
  const char *at = kEntityNames + kEntityBuckets[bucket].offset;
  for (uint32_t index = kEntityBuckets[bucket].firstName;
       index < kEntityBuckets[bucket + 1].firstName; ++index) {
    int32_t i = 1;
    while (i < length && at[i] != ';' && static_cast<WCHAR>(at[i]) == name[i]) ++i;
    const uint32_t have = at[i] == ';' ? 0 : static_cast<unsigned char>(at[i]);
    const uint32_t want = i < length ? name[i] : 0;
    if (have == want) return kEntityCodes[index];
    if (have > want) return 0;
    while (*at != ';') ++at;
    ++at;
  }
  return 0;
}

// Writes code point `c` as UTF-16; returns the units written.
int32_t PutCodePoint(uint32_t c, WCHAR *out) {
  if (c < 0x10000) {
    out[0] = static_cast<WCHAR>(c);
    return 1;
  }
  c -= 0x10000;
  out[0] = static_cast<WCHAR>(0xD800 + (c >> 10));
  out[1] = static_cast<WCHAR>(0xDC00 + (c & 0x3FF));
  return 2;
}

// The code point a numeric reference stands for, as an HTML reader maps it.
uint32_t NumericCodePoint(uint32_t value) {
  // windows-1252 for 0x80..0x9F; 0 where it leaves the code point as it is.
  static const uint16_t kC1[32] = {
      0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0, 0x017D, 0, 0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013,
      0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178};
  if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0xFFFD;
  if (value >= 0x80 && value <= 0x9F && kC1[value - 0x80]) return kC1[value - 0x80];
  return value;
}

int32_t DecodeNumeric(const WCHAR *at, const WCHAR *end, WCHAR out[2], int32_t *outUnits) {
  const WCHAR *p = at + 2;  // behind "&#"
  const bool hex = p < end && (*p == 'x' || *p == 'X');
  if (hex) ++p;
  const WCHAR *digits = p;
  uint32_t value = 0;
  for (; p < end; ++p) {
    uint32_t d;
    if (IsAsciiDigit(*p)) {
      d = *p - '0';
    } else if (hex && (*p | 0x20) >= 'a' && (*p | 0x20) <= 'f') {
      d = (*p | 0x20) - 'a' + 10;
    } else {
      break;
    }
    value = value * (hex ? 16 : 10) + d;
    if (value > 0x10FFFF) value = 0x110000;  // stays out of range, never wraps
  }
  if (p == digits) return 0;
  if (p < end && *p == ';') ++p;
  *outUnits = PutCodePoint(NumericCodePoint(value), out);
  return static_cast<int32_t>(p - at);
}

int32_t PutEntity(uint32_t word, WCHAR out[2]) {
  int32_t units = PutCodePoint(word & kCodePointBits, out);
  const uint32_t second = (word >> 21) & 0xF;
  if (second) out[units++] = kEntitySeconds[second - 1];
  return units;
}

}  // namespace

int32_t DecodeReference(const WCHAR *at, const WCHAR *end, bool inAttribute, WCHAR out[2],
                        int32_t *outUnits) {
  if (end - at < 3 || at[0] != '&') return 0;
  if (at[1] == '#') return DecodeNumeric(at, end, out, outUnits);
  const WCHAR *name = at + 1;
  int32_t length = 0;
  while (name + length < end && length <= kLongestName && IsAsciiAlnum(name[length])) ++length;
  if (length == 0) return 0;
  if (name + length < end && name[length] == ';') {
    if (const uint32_t word = FindName(name, length)) {
      *outUnits = PutEntity(word, out);
      return length + 2;
    }
  }
  // The longest legacy name that starts the run (none is longer than 6). In
  // an attribute value only the whole run can be one: a shorter name is
  // followed by a letter or digit, which keeps it text.
  const int32_t shortest = inAttribute ? length : 2;
  for (int32_t n = length < 6 ? length : 6; n >= shortest; --n) {
    const uint32_t word = FindName(name, n);
    if (!(word & kLegacyBit)) continue;
    if (inAttribute && name + n < end && (name[n] == '=' || IsAsciiAlnum(name[n]))) return 0;
    *outUnits = PutEntity(word, out);
    return n + 1;
  }
  return 0;
}

int32_t DecodeReferences(const WCHAR *text, int32_t length, bool inAttribute, WCHAR *out,
                         int32_t capacity) {
  const WCHAR *end = text + length;
  int32_t count = 0;
  for (const WCHAR *at = text; at < end;) {
    WCHAR units[2];
    int32_t unitCount = 0;
    const int32_t span = *at == '&' ? DecodeReference(at, end, inAttribute, units, &unitCount) : 0;
    if (span == 0) {
      if (count < capacity) out[count] = *at;
      ++count;
      ++at;
      continue;
    }
    for (int32_t i = 0; i < unitCount; ++i, ++count) {
      if (count < capacity) out[count] = units[i];
    }
    at += span;
  }
  return count;
}
