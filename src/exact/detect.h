// Deciding the encoding of a file's bytes: byte-order mark, the caller's
// label, the XML declaration, a meta charset in the first 1,024 bytes (the
// WHATWG prescan), valid UTF-8, else the ANSI code page.
#ifndef SPRIG_EXACT_DETECT_H
#define SPRIG_EXACT_DETECT_H

#include <stddef.h>
#include <stdint.h>

struct Detection {
  uint32_t codePage;
  uint32_t source;    // SX_FROM_*
  uint32_t bomBytes;  // bytes of the byte-order mark before the text
  bool validUtf8;     // the bytes (behind the mark) are valid UTF-8; known only
                      // once UTF-8 text is decoded (detection checks them only
                      // when no label decides)
};

// True when the platform (or the layer, for UTF-16) converts `codePage`.
bool CanConvertCodePage(uint32_t codePage);

// True when `size` bytes are valid UTF-8 (no overlong form, surrogate or
// value above U+10FFFF).
bool IsValidUtf8(const unsigned char *bytes, size_t size);

// Decides the encoding. `label` is the caller's label or null. False when
// the label is unknown or cannot be converted. SX_FROM_UTF8 is a guess the
// decoder confirms: bytes that prove invalid UTF-8 take AnsiDetection().
bool DetectEncoding(const unsigned char *bytes, size_t size, const char *label, Detection *out);

// No label, and not valid UTF-8: the ANSI code page.
Detection AnsiDetection();

#endif
