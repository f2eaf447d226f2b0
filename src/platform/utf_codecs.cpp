// UTF-8 and UTF-7 codecs outside Windows, written by hand so that invalid
// input comes out exactly as Windows converts it (glibc's iconv would stop or
// differ): see each function for the replacement rules it reproduces.
// Nothing is allocated; output goes through the caller's bounded sink.
#ifndef _WIN32

#include "platform/codec.h"

namespace {

const WCHAR kReplacement = 0xFFFD;

inline bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Output straight into a buffer known to have room for a unit per input
// byte, which is the most UTF-8 ever makes: no bound is checked.
struct RoomyOut {
  WCHAR *out;
  void Put(WCHAR unit) { *out++ = unit; }
  // Takes the ASCII at the front of the input, sixteen at a time where at
  // least sixteen bytes are left; returns the bytes taken, at least one.
  size_t PutAscii(const unsigned char *text, size_t bytes) {
    if (bytes >= 16) {
      const unsigned ascii = WidenAsciiPrefix16(text, out);
      out += ascii;
      return ascii;
    }
    size_t i = 0;
    while (i < bytes && text[i] < 0x80) *out++ = text[i++];
    return i;
  }
};

// The bounded sink, with the shared ASCII groups.
struct BoundedOut {
  WideSink *sink;
  void Put(WCHAR unit) { sink->Put(unit); }
  size_t PutAscii(const unsigned char *text, size_t bytes) {
    size_t i = PutAsciiGroupsWide(text, bytes, sink);
    while (i < bytes && text[i] < 0x80) sink->Put(text[i++]);
    return i;
  }
};

template <typename Out>
void DecodeUtf8To(const unsigned char *text, size_t bytes, Out *out) {
  size_t i = 0;
  while (i < bytes) {
    unsigned char lead = text[i];
    if (lead < 0x80) {
      // Markup is mostly ASCII.
      i += out->PutAscii(text + i, bytes - i);
      continue;
    }
    ++i;
    // The common whole forms first: two bytes, and three bytes of a lead
    // that allows neither an overlong form nor a surrogate.
    if (lead >= 0xC2 && lead <= 0xDF && i < bytes && IsContinuation(text[i])) {
      out->Put(static_cast<WCHAR>(((lead & 0x1F) << 6) | (text[i] & 0x3F)));
      ++i;
      continue;
    }
    if (lead >= 0xE1 && lead <= 0xEF && lead != 0xED && bytes - i >= 2 &&
        IsContinuation(text[i]) && IsContinuation(text[i + 1])) {
      out->Put(static_cast<WCHAR>(((lead & 0x0F) << 12) | ((text[i] & 0x3F) << 6) |
                                  (text[i + 1] & 0x3F)));
      i += 2;
      continue;
    }
    uint32_t value;
    int tail;  // continuation bytes still expected
    if (lead >= 0xC2 && lead <= 0xDF) {
      value = lead & 0x1F;
      tail = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      value = lead & 0x0F;
      tail = 2;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      value = lead & 0x07;
      tail = 3;
    } else {
      out->Put(kReplacement);
      continue;
    }
    if (bytes - i < static_cast<size_t>(tail)) {  // cut off by the end
      out->Put(kReplacement);
      break;
    }
    bool valid = false;
    for (;;) {
      if (i >= bytes || !IsContinuation(text[i])) break;
      uint32_t next = (value << 6) | (text[i] & 0x3F);
      if (tail == 2 && next >= (0x110000 >> 6)) break;  // beyond U+10FFFF
      value = next;
      ++i;
      if (tail == 3 && value < (0x10000 >> 12)) break;  // overlong four-byte
      if (tail == 2 && value < (0x800 >> 6)) break;     // overlong three-byte
      if (tail == 2 && value >= (0xD800 >> 6) && value <= (0xDFFF >> 6)) break;
      if (--tail == 0) {
        valid = true;
        break;
      }
    }
    if (!valid) {
      out->Put(kReplacement);
    } else if (value >= 0x10000) {
      value -= 0x10000;
      out->Put(static_cast<WCHAR>(0xD800 + (value >> 10)));
      out->Put(static_cast<WCHAR>(0xDC00 + (value & 0x3FF)));
    } else {
      out->Put(static_cast<WCHAR>(value));
    }
  }
}

}  // namespace

// Decodes UTF-8. An invalid sequence gives one U+FFFD for the bytes it spans
// up to the point where it is known to be bad, checked in this order: a byte
// that cannot start a sequence (80..C1, F5..FF) is bad alone; a lead byte with
// fewer bytes behind it than its form needs takes the rest of the input with
// it, whatever those bytes are (a terminating zero too); a missing
// continuation byte ends the sequence before it; after the second byte of a
// four-byte form, a value below U+10000 (overlong) is bad including that
// byte, and a value above U+10FFFF is bad before the third byte; after the
// second byte of a three-byte form, an overlong form or a surrogate is bad
// including that byte. Room for a unit per byte is written unchecked.
void DecodeUtf8(const unsigned char *text, size_t bytes, WideSink *sink) {
  if (sink->count <= sink->capacity && sink->capacity - sink->count >= bytes) {
    RoomyOut out = {sink->out + sink->count};
    DecodeUtf8To(text, bytes, &out);
    sink->count = static_cast<size_t>(out.out - sink->out);
  } else {
    BoundedOut out = {sink};
    DecodeUtf8To(text, bytes, &out);
  }
}

// Encodes UTF-8; a surrogate pair becomes one four-byte sequence, a lone
// surrogate becomes U+FFFD (EF BF BD).
void EncodeUtf8(const WCHAR *text, size_t units, ByteSink *sink) {
  size_t i = 0;
  while (i < units) {
    uint32_t unit = text[i];
    if (unit < 0x80) {
      i += PutAsciiGroupsNarrow(text + i, units - i, sink);
      while (i < units && text[i] < 0x80) sink->Put(static_cast<char>(text[i++]));
      continue;
    }
    ++i;
    if (unit >= 0xD800 && unit <= 0xDFFF) {
      if (unit <= 0xDBFF && i < units && text[i] >= 0xDC00 && text[i] <= 0xDFFF) {
        uint32_t value = 0x10000 + ((unit - 0xD800) << 10) + (text[i++] - 0xDC00);
        sink->Put(static_cast<char>(0xF0 | (value >> 18)));
        sink->Put(static_cast<char>(0x80 | ((value >> 12) & 0x3F)));
        sink->Put(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
        sink->Put(static_cast<char>(0x80 | (value & 0x3F)));
        continue;
      }
      unit = kReplacement;
    }
    if (unit < 0x800) {
      sink->Put(static_cast<char>(0xC0 | (unit >> 6)));
    } else {
      sink->Put(static_cast<char>(0xE0 | (unit >> 12)));
      sink->Put(static_cast<char>(0x80 | ((unit >> 6) & 0x3F)));
    }
    sink->Put(static_cast<char>(0x80 | (unit & 0x3F)));
  }
}

namespace {

const char kBase64[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Value of a base64 character, or -1.
int Base64Value(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Characters written as themselves: RFC 2152's set D, space, TAB, CR, LF and
// the terminating zero. Everything else but '+' goes into base64.
bool IsDirectUtf7(WCHAR unit) {
  if (unit >= 0x80) return false;
  if ((unit >= 'A' && unit <= 'Z') || (unit >= 'a' && unit <= 'z') ||
      (unit >= '0' && unit <= '9'))
    return true;
  switch (unit) {
    case 0: case '\t': case '\n': case '\r': case ' ': case '\'': case '(':
    case ')': case ',': case '-': case '.': case '/': case ':': case '?':
      return true;
    default:
      return false;
  }
}

}  // namespace

// Decodes UTF-7 as Windows does. Bytes outside base64 runs, high bytes
// included, become the unit of the same value. "+-" is '+'; a '+' at the very
// end is dropped. In a run, each 16 bits make a unit; '-' ends the run and is
// consumed, any other non-base64 ASCII byte ends it and is kept; both discard
// leftover bits. A byte of 0x80 or above ends the run without discarding
// them, so the next run continues the same bit stream.
void DecodeUtf7(const unsigned char *text, size_t bytes, WideSink *sink) {
  size_t i = 0;
  uint32_t bits = 0;  // pending bits, the newest in the low end
  int pending = 0;    // how many of them count
  while (i < bytes) {
    if (text[i] != '+') {
      sink->Put(text[i++]);
      continue;
    }
    if (++i >= bytes) break;
    if (text[i] == '-') {
      sink->Put('+');
      ++i;
      continue;
    }
    while (i < bytes) {
      unsigned char c = text[i];
      if (c == '-') {
        ++i;
        pending = 0;
        break;
      }
      if (c >= 0x80) break;
      int value = Base64Value(c);
      if (value < 0) {
        pending = 0;
        break;
      }
      bits = (bits << 6) | static_cast<uint32_t>(value);
      pending += 6;
      if (pending >= 16) {
        pending -= 16;
        sink->Put(static_cast<WCHAR>(bits >> pending));
      }
      ++i;
    }
  }
}

// Encodes UTF-7 as Windows does: "+-" for every '+', direct characters as
// themselves, and every run of other units (lone surrogates too) as base64
// closed by an explicit '-', even where RFC 2152 would allow leaving it out.
void EncodeUtf7(const WCHAR *text, size_t units, ByteSink *sink) {
  size_t i = 0;
  while (i < units) {
    WCHAR unit = text[i];
    if (unit == '+') {
      sink->Put('+');
      sink->Put('-');
      ++i;
    } else if (IsDirectUtf7(unit)) {
      sink->Put(static_cast<char>(unit));
      ++i;
    } else {
      uint32_t bits = 0;
      int pending = 0;
      sink->Put('+');
      while (i < units && !IsDirectUtf7(text[i]) && text[i] != '+') {
        bits = (bits << 16) | text[i++];
        pending += 16;
        while (pending >= 6) {
          pending -= 6;
          sink->Put(kBase64[(bits >> pending) & 0x3F]);
        }
      }
      if (pending > 0) sink->Put(kBase64[(bits << (6 - pending)) & 0x3F]);
      sink->Put('-');
    }
  }
}

#endif  // !_WIN32
