// Text helpers of the sprig tool: hand-written UTF-8/UTF-16 conversion (the
// tool never depends on the system code page), display and JSON escaping and
// the file-name patterns of --include.
#include "cli_text.h"

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

void AppendJson(std::string* out, const SG_WCHAR* text, std::ptrdiff_t length) {
  static const char kHex[] = "0123456789abcdef";
  out->push_back('"');
  std::size_t n = text != nullptr ? Length(text, length) : 0, i = 0;
  while (i < n) {
    char32_t u = static_cast<char16_t>(text[i]);
    if (IsHigh(u) && i + 1 < n && IsLow(static_cast<char16_t>(text[i + 1]))) {
      AppendUtf8(out, NextChar(text, n, &i));
      continue;
    }
    ++i;
    switch (u) {
      case '"': *out += "\\\""; continue;
      case '\\': *out += "\\\\"; continue;
      case '\n': *out += "\\n"; continue;
      case '\r': *out += "\\r"; continue;
      case '\t': *out += "\\t"; continue;
      default: break;
    }
    if (u < 0x20 || IsHigh(u) || IsLow(u)) {
      *out += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4) out->push_back(kHex[(u >> shift) & 0xF]);
    } else {
      AppendUtf8(out, u);
    }
  }
  out->push_back('"');
}

bool GlobMatch(const std::string& pattern, const std::string& name) {
  // Iterative matching with one backtrack point: the last '*' seen.
  std::size_t p = 0, s = 0, starP = std::string::npos, starS = 0;
  while (s < name.size()) {
    bool advance = false;
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starS = s;
      continue;
    }
    if (p < pattern.size() && pattern[p] == '?') {
      advance = true;
    } else if (p < pattern.size() && pattern[p] == '[') {
      std::size_t q = p + 1;
      bool negate = q < pattern.size() && pattern[q] == '!';
      if (negate) ++q;
      bool found = false, closed = false;
      for (bool firstInSet = true; q < pattern.size(); firstInSet = false) {
        if (pattern[q] == ']' && !firstInSet) { closed = true; break; }
        if (q + 2 < pattern.size() && pattern[q + 1] == '-' && pattern[q + 2] != ']') {
          if (name[s] >= pattern[q] && name[s] <= pattern[q + 2]) found = true;
          q += 3;
        } else {
          if (name[s] == pattern[q]) found = true;
          ++q;
        }
      }
      if (closed && found != negate) {
        advance = true;
        p = q;  // at the ']', stepped over below
      } else if (!closed && name[s] == '[') {
        advance = true;  // an unclosed '[' is literal
      }
    } else if (p < pattern.size() && pattern[p] == name[s]) {
      advance = true;
    }
    if (advance) {
      ++p;
      ++s;
    } else if (starP != std::string::npos) {
      p = starP + 1;
      s = ++starS;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace sprig_cli
