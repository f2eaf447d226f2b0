// Encoding detection (detect.h). The meta prescan follows the WHATWG
// "prescan a byte stream to determine its encoding" algorithm over the first
// 1,024 bytes: comments and other markup are skipped, attributes are read with
// the standard's attribute reader, and a meta element's charset attribute or
// its http-equiv="content-type" content's charset= gives the label.
#include "exact/detect.h"

#include <string.h>

#include <string>

#include "platform/platform.h"
#include "sprig_exact.h"
#include "text/encoding_labels.h"

namespace {

const size_t kPrescanBytes = 1024;

bool IsSpace(unsigned c) { return c == 0x09 || c == 0x0A || c == 0x0C || c == 0x0D || c == 0x20; }
bool IsAlpha(unsigned c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }
unsigned Lower(unsigned c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

bool StartsNoCase(const unsigned char *p, const unsigned char *end, const char *word) {
  for (; *word; ++word, ++p)
    if (p >= end || Lower(*p) != static_cast<unsigned char>(*word)) return false;
  return true;
}

// The WHATWG attribute reader: reads one attribute at *p, lower-casing its
// name. False when there is none (at '>' or the end).
bool GetAttribute(const unsigned char *&p, const unsigned char *end, std::string *name,
                  std::string *value) {
  name->clear();
  value->clear();
  while (p < end && (IsSpace(*p) || *p == '/')) ++p;
  if (p >= end || *p == '>') return false;
  for (;; ++p) {
    if (p >= end) return false;
    if (*p == '=' && !name->empty()) break;
    if (IsSpace(*p)) {
      while (p < end && IsSpace(*p)) ++p;
      if (p >= end || *p != '=') return true;
      break;
    }
    if (*p == '/' || *p == '>') return true;
    name->push_back(static_cast<char>(Lower(*p)));
  }
  ++p;  // the '='
  while (p < end && IsSpace(*p)) ++p;
  if (p >= end) return false;
  if (*p == '"' || *p == '\'') {
    unsigned char quote = *p++;
    while (p < end && *p != quote) value->push_back(static_cast<char>(Lower(*p++)));
    if (p >= end) return false;
    ++p;
    return true;
  }
  if (*p == '>') return true;
  while (p < end && !IsSpace(*p) && *p != '>') value->push_back(static_cast<char>(Lower(*p++)));
  return p < end;
}

// The WHATWG "extract a character encoding from a meta element": the label
// after the first "charset" followed by '=' in `content`, or "".
std::string CharsetOfContent(const std::string &content) {
  size_t at = 0;
  for (;;) {
    at = content.find("charset", at);
    if (at == std::string::npos) return "";
    size_t p = at + 7;
    while (p < content.size() && IsSpace(static_cast<unsigned char>(content[p]))) ++p;
    if (p < content.size() && content[p] == '=') {
      ++p;
      while (p < content.size() && IsSpace(static_cast<unsigned char>(content[p]))) ++p;
      if (p >= content.size()) return "";
      char quote = content[p];
      if (quote == '"' || quote == '\'') {
        size_t close = content.find(quote, p + 1);
        return close == std::string::npos ? "" : content.substr(p + 1, close - p - 1);
      }
      size_t stop = p;
      while (stop < content.size() && !IsSpace(static_cast<unsigned char>(content[stop])) &&
             content[stop] != ';')
        ++stop;
      return content.substr(p, stop - p);
    }
    at = p;
  }
}

// A prescanned label as a code page: UTF-16 labels mean UTF-8 there, as in
// browsers, since an ASCII-readable meta cannot be UTF-16.
uint32_t PrescanCodePage(const std::string &label) {
  uint32_t code = CodePageOfLabel(label.data(), label.size());
  if (code == kCodePageUtf16Le || code == kCodePageUtf16Be) return CP_UTF8;
  return code;
}

uint32_t PrescanMeta(const unsigned char *p, const unsigned char *end) {
  std::string name, value;
  while (p < end) {
    if (StartsNoCase(p, end, "<!--")) {
      const unsigned char *close = p + 2;
      while (close + 2 < end && !(close[0] == '-' && close[1] == '-' && close[2] == '>')) ++close;
      p = close + 3;
    } else if (StartsNoCase(p, end, "<meta") && p + 5 < end && (IsSpace(p[5]) || p[5] == '/')) {
      p += 6;
      bool gotPragma = false, seenEquiv = false, seenContent = false, seenCharset = false;
      int needPragma = 0;  // 0 null, 1 false, 2 true
      uint32_t charset = kCodePageUnknown;
      while (GetAttribute(p, end, &name, &value)) {
        if (name == "http-equiv" && !seenEquiv) {
          seenEquiv = true;
          if (value == "content-type") gotPragma = true;
        } else if (name == "content" && !seenContent && !seenCharset) {
          seenContent = true;
          std::string label = CharsetOfContent(value);
          if (!label.empty()) {
            charset = PrescanCodePage(label);
            needPragma = 2;
          }
        } else if (name == "charset" && !seenCharset) {
          seenCharset = true;
          charset = PrescanCodePage(value);
          needPragma = 1;
        }
      }
      if (needPragma && !(needPragma == 2 && !gotPragma) && charset != kCodePageUnknown)
        return charset;
      if (p < end) ++p;
    } else if (p + 1 < end && p[0] == '<' && (IsAlpha(p[1]) || (p[1] == '/' && p + 2 < end && IsAlpha(p[2])))) {
      p += p[1] == '/' ? 2 : 1;
      while (p < end && !IsSpace(*p) && *p != '>') ++p;
      while (GetAttribute(p, end, &name, &value)) {
      }
      if (p < end) ++p;
    } else if (p + 1 < end && p[0] == '<' && (p[1] == '!' || p[1] == '/' || p[1] == '?')) {
      while (p < end && *p != '>') ++p;
      if (p < end) ++p;
    } else {
      ++p;
    }
  }
  return kCodePageUnknown;
}

// The encoding named by an XML declaration at the start of ASCII-readable
// bytes, or kCodePageUnknown.
uint32_t DeclaredCodePage(const unsigned char *p, const unsigned char *end) {
  if (!StartsNoCase(p, end, "<?xml") || p + 5 >= end || !IsSpace(p[5])) return kCodePageUnknown;
  const unsigned char *stop = p;
  while (stop < end && *stop != '>') ++stop;
  std::string decl(reinterpret_cast<const char *>(p), static_cast<size_t>(stop - p));
  size_t at = decl.find("encoding");
  if (at == std::string::npos) return kCodePageUnknown;
  at += 8;
  while (at < decl.size() && IsSpace(static_cast<unsigned char>(decl[at]))) ++at;
  if (at >= decl.size() || decl[at] != '=') return kCodePageUnknown;
  ++at;
  while (at < decl.size() && IsSpace(static_cast<unsigned char>(decl[at]))) ++at;
  if (at >= decl.size() || (decl[at] != '"' && decl[at] != '\'')) return kCodePageUnknown;
  size_t close = decl.find(decl[at], at + 1);
  if (close == std::string::npos) return kCodePageUnknown;
  uint32_t code = CodePageOfLabel(decl.data() + at + 1, close - at - 1);
  // A declaration readable as ASCII cannot be in UTF-16.
  return (code == kCodePageUtf16Le || code == kCodePageUtf16Be) ? kCodePageUnknown : code;
}

}  // namespace

bool CanConvertCodePage(uint32_t codePage) {
  if (codePage == kCodePageUtf16Le || codePage == kCodePageUtf16Be) return true;
  if (codePage == 0 || codePage == kCodePageUnknown) return false;
  WCHAR unit[4];
  return MultiByteToWideChar(codePage, 0, "a", 1, unit, 4) == 1 && unit[0] == 'a';
}

bool IsValidUtf8(const unsigned char *p, size_t size) {
  const unsigned char *end = p + size;
  while (p < end) {
    // Eight ASCII bytes at a time.
    if (end - p >= 8) {
      uint64_t group;
      memcpy(&group, p, 8);
      if (!(group & 0x8080808080808080ull)) {
        p += 8;
        continue;
      }
    }
    unsigned c = *p;
    if (c < 0x80) {
      ++p;
      continue;
    }
    size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
    if (n == 0 || c > 0xF4 || static_cast<size_t>(end - p) < n) return false;
    uint32_t value = c & (0x7F >> n);
    for (size_t i = 1; i < n; ++i) {
      if ((p[i] & 0xC0) != 0x80) return false;
      value = (value << 6) | (p[i] & 0x3F);
    }
    if ((n == 3 && (value < 0x800 || (value >= 0xD800 && value <= 0xDFFF))) ||
        (n == 4 && (value < 0x10000 || value > 0x10FFFF)))
      return false;
    p += n;
  }
  return true;
}

bool DetectEncoding(const unsigned char *bytes, size_t size, const char *label, Detection *out) {
  out->bomBytes = 0;
  out->validUtf8 = false;
  if (size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
    *out = Detection{CP_UTF8, SX_FROM_BOM, 3, false};
  } else if (size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    *out = Detection{kCodePageUtf16Le, SX_FROM_BOM, 2, false};
  } else if (size >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) {
    *out = Detection{kCodePageUtf16Be, SX_FROM_BOM, 2, false};
  }
  if (out->bomBytes) {
    return true;  // validUtf8 is left to the decoder, which checks the bytes anyway

  }
  if (label) {
    uint32_t code = CodePageOfLabel(label, strlen(label));
    if (!CanConvertCodePage(code)) return false;
    *out = Detection{code, SX_FROM_CALLER, 0, false};
    return true;
  }
  // UTF-16 without a mark: the '<' of a first tag beside a zero byte.
  if (size >= 4 && bytes[0] == '<' && bytes[1] == 0 && bytes[2] != 0 && bytes[3] == 0) {
    *out = Detection{kCodePageUtf16Le, SX_FROM_DECLARATION, 0, false};
    return true;
  }
  if (size >= 4 && bytes[0] == 0 && bytes[1] == '<' && bytes[2] == 0 && bytes[3] != 0) {
    *out = Detection{kCodePageUtf16Be, SX_FROM_DECLARATION, 0, false};
    return true;
  }
  const unsigned char *end = bytes + (size < kPrescanBytes ? size : kPrescanBytes);
  uint32_t code = DeclaredCodePage(bytes, end);
  if (CanConvertCodePage(code)) {
    *out = Detection{code, SX_FROM_DECLARATION, 0, false};
    return true;
  }
  code = PrescanMeta(bytes, end);
  if (CanConvertCodePage(code)) {
    *out = Detection{code, SX_FROM_META, 0, false};
    return true;
  }
  // No label: UTF-8, which the decoder confirms as it decodes (sparing a
  // pass of its own over the bytes); ExactOpen falls back to the ANSI code
  // page when they prove invalid.
  *out = Detection{CP_UTF8, SX_FROM_UTF8, 0, true};
  return true;
}

Detection AnsiDetection() { return Detection{932, SX_FROM_DEFAULT, 0, false}; }
