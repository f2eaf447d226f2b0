// Text helpers of the sprig tool: hand-written UTF-8/UTF-16 conversion (the
// tool never depends on the system code page), display escaping and the
// position-to-line:column map used by the outline and the match listings.
#include "cli_text.h"

#include <algorithm>

namespace sprig_cli {

namespace {

const char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string* out, char32_t c) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

bool IsHigh(char32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLow(char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Decodes the character at text[*i] (advancing *i past it); `end` bounds the
// text. Unpaired surrogates decode to U+FFFD.
char32_t NextChar(const SG_WCHAR* text, std::size_t end, std::size_t* i) {
  char32_t u = static_cast<char16_t>(text[(*i)++]);
  if (IsHigh(u)) {
    if (*i < end && IsLow(static_cast<char16_t>(text[*i]))) {
      char32_t low = static_cast<char16_t>(text[(*i)++]);
      return 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
    }
    return kReplacement;
  }
  return IsLow(u) ? kReplacement : u;
}

std::size_t Length(const SG_WCHAR* text, std::ptrdiff_t length) {
  if (length >= 0) return static_cast<std::size_t>(length);
  std::size_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

}  // namespace

WString ToWide(const std::string& utf8) {
  WString out;
  out.reserve(utf8.size());
  const unsigned char* s = reinterpret_cast<const unsigned char*>(utf8.data());
  std::size_t n = utf8.size(), i = 0;
  while (i < n) {
    unsigned char b = s[i];
    char32_t c;
    std::size_t extra;
    if (b < 0x80) { c = b; extra = 0; }
    else if (b >= 0xC2 && b <= 0xDF) { c = b & 0x1F; extra = 1; }
    else if (b >= 0xE0 && b <= 0xEF) { c = b & 0x0F; extra = 2; }
    else if (b >= 0xF0 && b <= 0xF4) { c = b & 0x07; extra = 3; }
    else { out.push_back(static_cast<SG_WCHAR>(kReplacement)); ++i; continue; }
    std::size_t j = 1;
    for (; j <= extra; ++j) {
      if (i + j >= n || (s[i + j] & 0xC0) != 0x80) break;
      c = (c << 6) | (s[i + j] & 0x3F);
    }
    bool overlong = (extra == 2 && c < 0x800) || (extra == 3 && c < 0x10000);
    if (j <= extra || overlong || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      out.push_back(static_cast<SG_WCHAR>(kReplacement));
      i += (j <= extra) ? j : extra + 1;
      continue;
    }
    i += extra + 1;
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<SG_WCHAR>(0xD800 + (c >> 10)));
      out.push_back(static_cast<SG_WCHAR>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<SG_WCHAR>(c));
    }
  }
  return out;
}

std::string ToUtf8(const SG_WCHAR* text, std::ptrdiff_t length) {
  std::string out;
  if (text == nullptr) return out;
  std::size_t n = Length(text, length), i = 0;
  out.reserve(n);
  while (i < n) AppendUtf8(&out, NextChar(text, n, &i));
  return out;
}

std::string Printable(const SG_WCHAR* text, std::ptrdiff_t length, std::size_t maxChars) {
  std::string out;
  if (text == nullptr) return out;
  std::size_t n = Length(text, length), i = 0, chars = 0;
  while (i < n) {
    if (maxChars > 0 && chars == maxChars) {
      out += "...";
      break;
    }
    char32_t c = NextChar(text, n, &i);
    ++chars;
    if (c == '\t') out += "\\t";
    else if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else if (c < 0x20 || c == 0x7F) {
      static const char kHex[] = "0123456789abcdef";
      out += "\\x";
      out.push_back(kHex[(c >> 4) & 0xF]);
      out.push_back(kHex[c & 0xF]);
    } else {
      AppendUtf8(&out, c);
    }
  }
  return out;
}

bool EqualsNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

LineMap::LineMap(const SG_WCHAR* text) {
  lineStarts_.push_back(0);
  if (text == nullptr) return;
  uint32_t i = 0;
  for (; text[i] != 0; ++i) {
    char16_t u = static_cast<char16_t>(text[i]);
    if (u == '\n') {
      lineStarts_.push_back(i + 1);
    } else if (u == '\r') {
      if (static_cast<char16_t>(text[i + 1]) != '\n') lineStarts_.push_back(i + 1);
    } else if (IsLow(u) && i > 0 && IsHigh(static_cast<char16_t>(text[i - 1]))) {
      pairSeconds_.push_back(i);
    }
  }
  length_ = i;
}

void LineMap::Locate(uint32_t pos, uint32_t* line, uint32_t* column) const {
  if (pos > length_) pos = length_;
  auto it = std::upper_bound(lineStarts_.begin(), lineStarts_.end(), pos);
  std::size_t index = static_cast<std::size_t>(it - lineStarts_.begin()) - 1;
  uint32_t start = lineStarts_[index];
  auto from = std::lower_bound(pairSeconds_.begin(), pairSeconds_.end(), start);
  auto to = std::lower_bound(from, pairSeconds_.end(), pos);
  *line = static_cast<uint32_t>(index + 1);
  *column = pos - start - static_cast<uint32_t>(to - from) + 1;
}

std::string LineMap::Format(uint32_t pos) const {
  uint32_t line = 0, column = 0;
  Locate(pos, &line, &column);
  return std::to_string(line) + ":" + std::to_string(column);
}

}  // namespace sprig_cli
