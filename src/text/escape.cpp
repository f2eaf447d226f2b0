// Entity escaping and unescaping (the five references of the entity table),
// whose results go to four result rings of each thread, and the
// case-folding comparisons of the reader.
//
// Results belong to each function's own ring on the calling thread: a result
// stays valid until 16 more results of the same function have been made on
// that thread. Null or empty input and allocation failure give the constant
// empty string, which takes no slot.
// Only ASCII letters fold; narrow forms keep double-byte characters whole.
#include "text/escape.h"

#include "text/text.h"

namespace {

// One reference: its name without '&' but with ';', and its character.
struct EntityW {
  const WCHAR *name;
  int32_t length;
  WCHAR character;
};
struct EntityA {
  const char *name;
  int32_t length;
  char character;
};

const WCHAR kNbspW[] = {'n', 'b', 's', 'p', ';', 0};
const WCHAR kQuotW[] = {'q', 'u', 'o', 't', ';', 0};
const WCHAR kAmpW[] = {'a', 'm', 'p', ';', 0};
const WCHAR kLtW[] = {'l', 't', ';', 0};
const WCHAR kGtW[] = {'g', 't', ';', 0};

// Walked in this order by all four functions; "nbsp;" stands for a plain
// space, so escaping turns every space into "&nbsp;".
const EntityW kEntitiesW[] = {
    {kNbspW, 5, ' '}, {kQuotW, 5, '"'}, {kAmpW, 4, '&'},
    {kLtW, 3, '<'},   {kGtW, 3, '>'},   {nullptr, 0, 0},
};
const EntityA kEntitiesA[] = {
    {"nbsp;", 5, ' '}, {"quot;", 5, '"'}, {"amp;", 4, '&'},
    {"lt;", 3, '<'},   {"gt;", 3, '>'},   {nullptr, 0, 0},
};

const uint32_t kKeepControls = 1;  // flag word bit: unescaping keeps TAB LF CR

// ASCII letters to lower case; every other unit unchanged.
inline unsigned FoldAscii(unsigned c) {
  return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
}

inline bool IsLeadByte(char c) {
  return IsDBCSLeadByte(static_cast<unsigned char>(c)) != 0;
}

inline bool KeptControl(unsigned c) {
  return (GetTextConvFlag() & kKeepControls) && (c == 9 || c == 10 || c == 13);
}

// Plain search: tries the pattern at each place in turn. Used only when a
// long pattern's failure table cannot be allocated.
const WCHAR *FindNoCaseNaive(const WCHAR *text, const WCHAR *pattern) {
  for (const WCHAR *start = text; *start; ++start) {
    int32_t i = 0;
    while (pattern[i] && FoldAscii(start[i]) == FoldAscii(pattern[i])) ++i;
    if (!pattern[i]) return start;
  }
  return nullptr;
}

}  // namespace

const WCHAR *ToNormalStrTemp16W(const WCHAR *text) {
  if (!text || !*text) return EmptyTextW();
  int32_t length = TextLengthW(text);
  WCHAR *block = static_cast<WCHAR *>(AllocBlock((static_cast<size_t>(length) + 1) * sizeof(WCHAR)));
  if (!block) return EmptyTextW();
  WCHAR *out = block;
  const WCHAR *p = text;
  while (*p) {
    WCHAR c = *p++;
    if (c < 0x20) {
      if (KeptControl(c)) *out++ = c;
      continue;
    }
    if (c == '&') {
      // An '&' that starts no known reference is dropped.
      for (const EntityW *e = kEntitiesW; e->name; ++e) {
        if (CompareNoCaseW(p, e->name, e->length) == 0) {
          *out++ = e->character;
          p += e->length;
          break;
        }
      }
      continue;
    }
    *out++ = c;
  }
  *out = 0;
  if (!PutThreadRing(kNormalRingW, block)) return EmptyTextW();
  return block;
}

const char *ToNormalStrTemp16A(const char *text) {
  if (!text || !*text) return EmptyTextA();
  int32_t length = lstrlenA(text);
  char *block = static_cast<char *>(AllocBlock(static_cast<size_t>(length) + 1));
  if (!block) return EmptyTextA();
  char *out = block;
  const char *p = text;
  while (*p) {
    unsigned char c = static_cast<unsigned char>(*p++);
    if (c < 0x20) {
      if (KeptControl(c)) *out++ = static_cast<char>(c);
      continue;
    }
    if (c == '&') {
      for (const EntityA *e = kEntitiesA; e->name; ++e) {
        if (CompareNoCaseA(p, e->name, e->length) == 0) {
          *out++ = e->character;
          p += e->length;
          break;
        }
      }
      continue;
    }
    *out++ = static_cast<char>(c);
    // The trail byte of a double-byte character is never an '&' or a control.
    if (IsLeadByte(static_cast<char>(c)) && *p) *out++ = *p++;
  }
  *out = 0;
  if (!PutThreadRing(kNormalRingA, block)) return EmptyTextA();
  return block;
}

namespace {

// The table row whose character is `c`, or null.
template <typename Entity, typename Char>
const Entity *RowFor(const Entity *table, Char c) {
  for (const Entity *e = table; e->name; ++e)
    if (e->character == c) return e;
  return nullptr;
}

// UTF-16 has no double-byte characters to keep whole.
inline bool IsLeadUnit(WCHAR) { return false; }
inline bool IsLeadUnit(char c) { return IsLeadByte(c); }

// Escapes `text` into `out`, or only counts when `out` is null; returns the
// units written (or needed). A double-byte character is kept whole, neither
// byte escaped; a lead byte standing last is dropped. The counting and the
// writing pass are this one walk, so they cannot disagree.
template <typename Char, typename Entity>
size_t Quote(const Char *text, const Entity *table, Char *out) {
  size_t n = 0;
  for (const Char *p = text; *p; ++p) {
    if (IsLeadUnit(*p)) {
      if (p[1]) {
        if (out) {
          out[n] = p[0];
          out[n + 1] = p[1];
        }
        n += 2;
        ++p;
      }
      continue;
    }
    const Entity *row = RowFor(table, *p);
    if (!row) {
      if (out) out[n] = *p;
      ++n;
      continue;
    }
    if (out) {
      out[n] = '&';
      for (int32_t i = 0; i < row->length; ++i) out[n + 1 + i] = row->name[i];
    }
    n += 1 + static_cast<size_t>(row->length);
  }
  return n;
}

}  // namespace

const WCHAR *ToQuoteStrTemp16W(const WCHAR *text) {
  if (!text || !*text) return EmptyTextW();
  const size_t total = Quote(text, kEntitiesW, static_cast<WCHAR *>(nullptr));
  WCHAR *block = static_cast<WCHAR *>(AllocBlock((total + 1) * sizeof(WCHAR)));
  if (!block) return EmptyTextW();
  block[Quote(text, kEntitiesW, block)] = 0;
  if (!PutThreadRing(kQuoteRingW, block)) return EmptyTextW();
  return block;
}

const char *ToQuoteStrTemp16A(const char *text) {
  if (!text || !*text) return EmptyTextA();
  const size_t total = Quote(text, kEntitiesA, static_cast<char *>(nullptr));
  char *block = static_cast<char *>(AllocBlock(total + 1));
  if (!block) return EmptyTextA();
  block[Quote(text, kEntitiesA, block)] = 0;
  if (!PutThreadRing(kQuoteRingA, block)) return EmptyTextA();
  return block;
}

int CompareNoCaseW(const WCHAR *text, const WCHAR *pattern, int32_t n) {
  if (n < 1) return 0;
  for (int32_t i = 0;; ++i) {
    if (!pattern[i]) return 0;
    unsigned t = text[i];
    unsigned p = pattern[i];
    if (t != p && FoldAscii(t) != FoldAscii(p)) {
      return static_cast<int>(t) - static_cast<int>(p);
    }
    if (i + 1 >= n) return 0;
  }
}

int CompareNoCaseA(const char *text, const char *pattern, int32_t n) {
  if (n < 1) return 0;
  const unsigned char *t = reinterpret_cast<const unsigned char *>(text);
  const unsigned char *p = reinterpret_cast<const unsigned char *>(pattern);
  int32_t i = 0;
  for (;;) {
    if (!p[i]) return 0;
    if (t[i] != p[i] && FoldAscii(t[i]) != FoldAscii(p[i])) {
      return static_cast<int>(t[i]) - static_cast<int>(p[i]);
    }
    // A double-byte character's trail byte compares exactly and counts too.
    if (IsDBCSLeadByte(t[i]) && t[i + 1]) {
      ++i;
      if (t[i] != p[i]) return static_cast<int>(t[i]) - static_cast<int>(p[i]);
    }
    ++i;
    if (i >= n) return 0;
  }
}

const WCHAR *FindNoCaseW(const WCHAR *text, const WCHAR *pattern) {
  if (!text || !*text || !pattern) return nullptr;
  int32_t m = TextLengthW(pattern);
  if (m == 0) return text;
  // Knuth-Morris-Pratt on folded units, so that a long text with many near
  // matches stays linear. The failure table lives on the stack for short
  // patterns; when a long pattern's table cannot be allocated the plain
  // search gives the same answer.
  int32_t local[64];
  int32_t *fail = local;
  if (m > 64) {
    fail = static_cast<int32_t *>(AllocBlock(static_cast<size_t>(m) * sizeof(int32_t)));
    if (!fail) return FindNoCaseNaive(text, pattern);
  }
  fail[0] = 0;
  for (int32_t i = 1, k = 0; i < m; ++i) {
    while (k > 0 && FoldAscii(pattern[i]) != FoldAscii(pattern[k])) k = fail[k - 1];
    if (FoldAscii(pattern[i]) == FoldAscii(pattern[k])) ++k;
    fail[i] = k;
  }
  const WCHAR *found = nullptr;
  int32_t k = 0;
  for (const WCHAR *p = text; *p; ++p) {
    while (k > 0 && FoldAscii(*p) != FoldAscii(pattern[k])) k = fail[k - 1];
    if (FoldAscii(*p) == FoldAscii(pattern[k])) ++k;
    if (k == m) {
      found = p - (m - 1);
      break;
    }
  }
  if (fail != local) FreeBlock(fail);
  return found;
}
