// The selector compiler: reads a UTF-8 selector list straight from its bytes
// into one block of arrays (selector.h). Every array is sized from the
// length of the text before parsing starts (no simple selector is shorter
// than one byte, no decoded name longer than its text), so compiling
// allocates once and never grows anything. The only recursion is into the
// lists of :is() and :not(), at most kSelectorMaxNesting deep.
#include <string.h>

#include <atomic>

#include "select/selector.h"
#include "text/text.h"

namespace {

struct Parser {
  const unsigned char *text;
  size_t pos;
  size_t size;
  SxSelector *selector;
  uint32_t lists, complexes, compounds, tests, pool;  // entries used
  SX_ERROR *error;
  bool failed;
};

inline bool IsBlank(unsigned c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}
inline bool IsHex(unsigned c) {
  return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f');
}
inline unsigned HexValue(unsigned c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; }
inline bool IsNameStart(unsigned c) {
  return ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') || c == '_' || c >= 0x80;
}
inline bool IsNameChar(unsigned c) {
  return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-';
}

// ---- Errors -----------------------------------------------------------------

void Append(char *out, size_t *used, const char *text, size_t length) {
  const size_t room = sizeof(SX_ERROR::message) - 1 - *used;
  if (length > room) length = room;
  memcpy(out + *used, text, length);
  *used += length;
  out[*used] = 0;
}

void AppendNumber(char *out, size_t *used, uint32_t value) {
  char digits[12];
  size_t count = 0;
  do {
    digits[sizeof digits - 1 - count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value);
  Append(out, used, digits + sizeof digits - count, count);
}

// Records the first failure: `what` (and `detail`, up to 40 bytes, quoted
// by the caller's text) at byte `at`, which is turned into a line and a
// column counted in characters.
void Fail(Parser *p, size_t at, const char *what, const char *detail = nullptr,
          size_t detailLength = 0) {
  if (p->failed) return;
  p->failed = true;
  if (!p->error) return;
  uint32_t line = 1, column = 1;
  for (size_t i = 0; i < at && i < p->size; ++i) {
    if (p->text[i] == '\n') {
      ++line;
      column = 1;
    } else if ((p->text[i] & 0xC0) != 0x80) {
      ++column;
    }
  }
  SX_ERROR *e = p->error;
  e->code = SX_ERR_SELECTOR;
  e->osError = 0;
  e->line = line;
  e->column = column;
  size_t used = 0;
  e->message[0] = 0;
  Append(e->message, &used, what, strlen(what));
  if (detail) {
    // Whole characters only: a cut never splits a UTF-8 sequence.
    size_t length = detailLength < 40 ? detailLength : 40;
    while (length < detailLength && length > 0 && (detail[length] & 0xC0) == 0x80) --length;
    Append(e->message, &used, detail, length);
    Append(e->message, &used, "'", 1);
  }
  Append(e->message, &used, " at ", 4);
  if (line > 1) {
    Append(e->message, &used, "line ", 5);
    AppendNumber(e->message, &used, line);
    Append(e->message, &used, ", ", 2);
  }
  Append(e->message, &used, "column ", 7);
  AppendNumber(e->message, &used, column);
}

// Fails with "unexpected 'c'" (or "unexpected end of selector") at the
// current position.
void FailUnexpected(Parser *p) {
  if (p->pos >= p->size) {
    Fail(p, p->pos, "unexpected end of selector");
    return;
  }
  size_t length = 1;
  while (p->pos + length < p->size && (p->text[p->pos + length] & 0xC0) == 0x80) ++length;
  Fail(p, p->pos, "unexpected '", reinterpret_cast<const char *>(p->text + p->pos), length);
}

// ---- Characters ---------------------------------------------------------------

inline unsigned Peek(const Parser *p, size_t ahead = 0) {
  return p->pos + ahead < p->size ? p->text[p->pos + ahead] : 0;
}
inline bool AtEnd(const Parser *p) { return p->pos >= p->size; }

bool SkipBlanks(Parser *p) {
  const size_t start = p->pos;
  while (!AtEnd(p) && IsBlank(Peek(p))) ++p->pos;
  return p->pos != start;
}

// Reads one UTF-8 character; fails (U+FFFD returned) on an invalid sequence.
uint32_t ReadChar(Parser *p) {
  const size_t start = p->pos;
  const unsigned lead = p->text[p->pos++];
  if (lead < 0x80) return lead;
  int more;
  uint32_t c, least;
  if (lead >= 0xC2 && lead <= 0xDF) {
    more = 1, c = lead & 0x1F, least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    more = 2, c = lead & 0x0F, least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    more = 3, c = lead & 0x07, least = 0x10000;
  } else {
    Fail(p, start, "invalid UTF-8");
    return 0xFFFD;
  }
  for (; more > 0; --more) {
    if (AtEnd(p) || (Peek(p) & 0xC0) != 0x80) {
      Fail(p, start, "invalid UTF-8");
      return 0xFFFD;
    }
    c = (c << 6) | (p->text[p->pos++] & 0x3F);
  }
  if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
    Fail(p, start, "invalid UTF-8");
    return 0xFFFD;
  }
  return c;
}

// Reads an escape (the '\' is at pos): hex digits (1 to 6, one blank after
// them is part of the escape) or one character taken as it is.
uint32_t ReadEscape(Parser *p) {
  ++p->pos;
  if (AtEnd(p)) return 0xFFFD;
  if (IsHex(Peek(p))) {
    uint32_t c = 0;
    for (int i = 0; i < 6 && IsHex(Peek(p)) && !AtEnd(p); ++i) c = c * 16 + HexValue(p->text[p->pos++]);
    if (Peek(p) == '\r' && Peek(p, 1) == '\n') {
      p->pos += 2;
    } else if (!AtEnd(p) && IsBlank(Peek(p))) {
      ++p->pos;
    }
    if (c == 0 || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    return c;
  }
  if (Peek(p) == '\n' || Peek(p) == '\r' || Peek(p) == '\f') {
    Fail(p, p->pos - 1, "a line break cannot be escaped here");
    return 0xFFFD;
  }
  return ReadChar(p);
}

// Appends code point `c` to the pool, ASCII letters lower-cased when `fold`.
void PoolPut(Parser *p, uint32_t c, bool fold) {
  WCHAR *pool = p->selector->pool;
  if (fold && c >= 'A' && c <= 'Z') c += 'a' - 'A';
  if (c < 0x10000) {
    pool[p->pool++] = static_cast<WCHAR>(c);
  } else {
    c -= 0x10000;
    pool[p->pool++] = static_cast<WCHAR>(0xD800 + (c >> 10));
    pool[p->pool++] = static_cast<WCHAR>(0xDC00 + (c & 0x3FF));
  }
}

// True when an identifier starts at pos (after an optional '-' or "--").
bool IdentStarts(const Parser *p) {
  size_t i = 0;
  if (Peek(p) == '-') {
    i = 1;
    if (Peek(p, 1) == '-') return true;
  }
  const unsigned c = Peek(p, i);
  return p->pos + i < p->size && (IsNameStart(c) || (c == '\\' && Peek(p, i + 1) != '\n'));
}

// Reads an identifier into the pool (folded when `fold`), zero-terminated.
// False, with nothing read, when none starts at pos.
bool ReadIdent(Parser *p, bool fold, uint32_t *start, uint32_t *length) {
  if (!IdentStarts(p)) return false;
  *start = p->pool;
  while (!AtEnd(p) && !p->failed) {
    const unsigned c = Peek(p);
    if (c == '\\') {
      PoolPut(p, ReadEscape(p), fold);
    } else if (IsNameChar(c)) {
      PoolPut(p, ReadChar(p), fold);
    } else {
      break;
    }
  }
  *length = p->pool - *start;
  p->selector->pool[p->pool++] = 0;
  return true;
}

// Reads a quoted string (the quote is at pos) into the pool, unfolded.
bool ReadString(Parser *p, uint32_t *start, uint32_t *length) {
  const size_t open = p->pos;
  const unsigned quote = p->text[p->pos++];
  *start = p->pool;
  for (;;) {
    if (p->failed) return false;
    if (AtEnd(p)) {
      Fail(p, open, "unterminated string");
      return false;
    }
    const unsigned c = Peek(p);
    if (c == quote) {
      ++p->pos;
      break;
    }
    if (c == '\n' || c == '\r' || c == '\f') {
      Fail(p, p->pos, "line break in a string");
      return false;
    }
    if (c == '\\') {
      const unsigned after = Peek(p, 1);
      if (after == '\n' || after == '\f') {  // a continued line
        p->pos += 2;
      } else if (after == '\r') {
        p->pos += Peek(p, 2) == '\n' ? 3 : 2;
      } else {
        PoolPut(p, ReadEscape(p), false);
      }
      continue;
    }
    PoolPut(p, ReadChar(p), false);
  }
  *length = p->pool - *start;
  p->selector->pool[p->pool++] = 0;
  return true;
}

// ---- Structure ----------------------------------------------------------------

// A new test of `kind` appended to the compound's chain (`*last` is its
// last test, kSelNone when it has none yet).
SelTest *AddTest(Parser *p, SelCompound *compound, uint32_t *last, uint8_t kind) {
  const uint32_t index = p->tests++;
  SelTest *test = &p->selector->tests[index];
  memset(test, 0, sizeof *test);
  test->kind = kind;
  test->next = kSelNone;
  test->list = kSelNone;
  if (*last == kSelNone) {
    compound->firstTest = index;
  } else {
    p->selector->tests[*last].next = index;
  }
  *last = index;
  return test;
}

uint32_t ParseList(Parser *p, uint32_t depth);

// Reads an+b (or odd / even) up to the ')' that ends it.
bool ParseNth(Parser *p, SelTest *test) {
  SkipBlanks(p);
  const size_t start = p->pos;
  auto word = [p](const char *w) {
    const size_t n = strlen(w);
    if (p->size - p->pos < n) return false;
    for (size_t i = 0; i < n; ++i) {
      if ((p->text[p->pos + i] | 0x20) != static_cast<unsigned char>(w[i])) return false;
    }
    if (IsNameChar(Peek(p, n))) return false;
    p->pos += n;
    return true;
  };
  auto number = [p](int64_t *value) {
    const size_t first = p->pos;
    *value = 0;
    while (Peek(p) >= '0' && Peek(p) <= '9' && !AtEnd(p)) {
      *value = *value * 10 + (p->text[p->pos++] - '0');
      if (*value > 1000000000) *value = 1000000000;  // far past any list's length
    }
    return p->pos != first;
  };
  if (word("odd")) {
    test->a = 2, test->b = 1;
  } else if (word("even")) {
    test->a = 2, test->b = 0;
  } else {
    int64_t sign = 1, a = 0, b = 0;
    if (Peek(p) == '+' || Peek(p) == '-') sign = p->text[p->pos++] == '-' ? -1 : 1;
    const bool digits = number(&a);
    if ((Peek(p) | 0x20) == 'n' && !AtEnd(p)) {
      ++p->pos;
      test->a = static_cast<int32_t>(sign * (digits ? a : 1));
      SkipBlanks(p);
      if (Peek(p) == '+' || Peek(p) == '-') {
        const int64_t bSign = p->text[p->pos++] == '-' ? -1 : 1;
        SkipBlanks(p);
        if (!number(&b)) {
          Fail(p, p->pos, "expected a number in an+b");
          return false;
        }
        test->b = static_cast<int32_t>(bSign * b);
      }
    } else if (digits) {
      test->b = static_cast<int32_t>(sign * a);
    } else {
      Fail(p, start, "expected an+b, odd or even");
      return false;
    }
  }
  SkipBlanks(p);
  if (Peek(p) != ')' || AtEnd(p)) {
    Fail(p, p->pos, "expected ')'");
    return false;
  }
  ++p->pos;
  return true;
}

// Reads a pseudo-class (the ':' is at pos) into tests of `compound`.
bool ParsePseudo(Parser *p, SelCompound *compound, uint32_t *last, uint32_t depth) {
  const size_t colon = p->pos++;
  if (Peek(p) == ':') {
    Fail(p, colon, "pseudo-elements are not supported");
    return false;
  }
  uint32_t name, length;
  if (!ReadIdent(p, true, &name, &length)) {
    Fail(p, p->pos, "expected a pseudo-class name");
    return false;
  }
  if (p->failed) return false;
  const WCHAR *text = p->selector->pool + name;
  p->pool = name;  // the name is not kept
  auto is = [text, length](const char *w) {
    uint32_t i = 0;
    for (; i < length && w[i]; ++i) {
      if (text[i] != static_cast<WCHAR>(w[i])) return false;
    }
    return i == length && w[i] == 0;
  };
  const char *shown = reinterpret_cast<const char *>(p->text + colon);
  if (Peek(p) == '(' && !AtEnd(p)) {
    ++p->pos;
    uint8_t flags = 0;
    if (is("nth-child") || is("nth-last-child") || is("nth-of-type") || is("nth-last-of-type")) {
      if (is("nth-last-child") || is("nth-last-of-type")) flags |= kNthFromLast;
      if (is("nth-of-type") || is("nth-last-of-type")) flags |= kNthOfType;
      SelTest *test = AddTest(p, compound, last, kTestNth);
      test->op = flags;
      return ParseNth(p, test);
    }
    if (is("is") || is("not") || is("matches") || is("where")) {
      if (depth + 1 >= kSelectorMaxNesting) {
        Fail(p, colon, ":is() and :not() nested too deeply");
        return false;
      }
      SelTest *test = AddTest(p, compound, last, is("not") ? kTestNot : kTestIs);
      test->list = ParseList(p, depth + 1);
      if (p->failed) return false;
      if (Peek(p) != ')' || AtEnd(p)) {
        FailUnexpected(p);
        return false;
      }
      ++p->pos;
      return true;
    }
    Fail(p, colon, "unknown pseudo-class '", shown, p->pos - colon);
    return false;
  }
  struct Simple {
    const char *name;
    uint8_t kind, flags;
    int32_t a, b;
  };
  static const Simple kSimple[] = {
      {"first-child", kTestNth, 0, 0, 1},
      {"last-child", kTestNth, kNthFromLast, 0, 1},
      {"first-of-type", kTestNth, kNthOfType, 0, 1},
      {"last-of-type", kTestNth, kNthFromLast | kNthOfType, 0, 1},
      {"empty", kTestEmpty, 0, 0, 0},
      {"root", kTestRoot, 0, 0, 0},
  };
  for (const Simple &s : kSimple) {
    if (!is(s.name)) continue;
    SelTest *test = AddTest(p, compound, last, s.kind);
    test->op = s.flags, test->a = s.a, test->b = s.b;
    return true;
  }
  if (is("only-child") || is("only-of-type")) {
    const uint8_t type = is("only-of-type") ? kNthOfType : 0;
    for (int from = 0; from <= kNthFromLast; from += kNthFromLast) {
      SelTest *test = AddTest(p, compound, last, kTestNth);
      test->op = static_cast<uint8_t>(type | from), test->a = 0, test->b = 1;
    }
    return true;
  }
  Fail(p, colon, "unknown pseudo-class '", shown, p->pos - colon);
  return false;
}

// Reads an attribute selector (the '[' is at pos).
bool ParseAttribute(Parser *p, SelCompound *compound, uint32_t *last) {
  ++p->pos;
  SkipBlanks(p);
  if (Peek(p) == '|' || (Peek(p) == '*' && Peek(p, 1) == '|')) {
    Fail(p, p->pos, "namespace prefixes are not supported");
    return false;
  }
  uint32_t name, length;
  if (!ReadIdent(p, true, &name, &length)) {
    Fail(p, p->pos, "expected an attribute name");
    return false;
  }
  if (p->failed) return false;
  if (Peek(p) == '|' && Peek(p, 1) != '=') {
    Fail(p, p->pos, "namespace prefixes are not supported");
    return false;
  }
  SelTest *test = AddTest(p, compound, last, kTestAttribute);
  test->name = name, test->nameLength = length;
  SkipBlanks(p);
  if (Peek(p) == ']' && !AtEnd(p)) {
    ++p->pos;
    test->op = kAttrExists;
    return true;
  }
  const unsigned c = Peek(p);
  if (c == '=') {
    test->op = kAttrEquals;
    ++p->pos;
  } else if (Peek(p, 1) == '=' && (c == '~' || c == '|' || c == '^' || c == '$' || c == '*')) {
    test->op = c == '~' ? kAttrWord : c == '|' ? kAttrDash : c == '^' ? kAttrPrefix
             : c == '$' ? kAttrSuffix : kAttrContains;
    p->pos += 2;
  } else {
    Fail(p, p->pos, "expected ']'");
    return false;
  }
  SkipBlanks(p);
  const bool ok = (Peek(p) == '"' || Peek(p) == '\'')
                      ? ReadString(p, &test->value, &test->valueLength)
                      : ReadIdent(p, false, &test->value, &test->valueLength);
  if (p->failed) return false;
  if (!ok) {
    Fail(p, p->pos, "expected a value (an identifier or a quoted string)");
    return false;
  }
  SkipBlanks(p);
  if ((Peek(p) | 0x20) == 'i' || (Peek(p) | 0x20) == 's') {
    test->ignoreCase = (Peek(p) | 0x20) == 'i';
    ++p->pos;
    SkipBlanks(p);
  }
  if (Peek(p) != ']' || AtEnd(p)) {
    Fail(p, p->pos, "expected ']'");
    return false;
  }
  ++p->pos;
  return true;
}

// Reads a compound selector into a new compound. False with nothing read
// when none starts at pos (p->failed tells an error from absence).
bool ParseCompound(Parser *p, uint32_t depth, uint32_t *index) {
  *index = p->compounds++;
  SelCompound *compound = &p->selector->compounds[*index];
  compound->firstTest = kSelNone;
  compound->left = kSelNone;
  compound->combinator = kCombDescendant;
  uint32_t last = kSelNone;
  bool any = false;
  if (Peek(p) == '*' && !AtEnd(p)) {
    ++p->pos;
    any = true;
  } else if (IdentStarts(p)) {
    uint32_t name, length;
    ReadIdent(p, true, &name, &length);
    SelTest *test = AddTest(p, compound, &last, kTestType);
    test->name = name, test->nameLength = length;
    test->nameKey = NameKeyOf(p->selector->pool + name);
    any = true;
  }
  if (any && Peek(p) == '|' && Peek(p, 1) != '=') {
    Fail(p, p->pos, "namespace prefixes are not supported");
    return false;
  }
  while (!p->failed && !AtEnd(p)) {
    const unsigned c = Peek(p);
    if (c == '#' || c == '.') {
      ++p->pos;
      SelTest *test = AddTest(p, compound, &last, c == '#' ? kTestId : kTestClass);
      test->op = c == '#' ? kAttrEquals : kAttrWord;
      if (!ReadIdent(p, false, &test->value, &test->valueLength)) {
        Fail(p, p->pos, c == '#' ? "expected an id after '#'" : "expected a class name after '.'");
        return false;
      }
    } else if (c == '[') {
      if (!ParseAttribute(p, compound, &last)) return false;
    } else if (c == ':') {
      if (!ParsePseudo(p, compound, &last, depth)) return false;
    } else {
      break;
    }
    any = true;
  }
  if (!any) --p->compounds;
  return any && !p->failed;
}

// Reads a complex selector (compounds joined by combinators).
bool ParseComplex(Parser *p, uint32_t depth, uint32_t *index) {
  uint32_t right;
  if (!ParseCompound(p, depth, &right)) {
    if (!p->failed) {
      if (AtEnd(p) || Peek(p) == ',' || Peek(p) == ')') {
        Fail(p, p->pos, "expected a selector");
      } else {
        FailUnexpected(p);
      }
    }
    return false;
  }
  for (;;) {
    const size_t before = p->pos;
    const bool blanks = SkipBlanks(p);
    const unsigned c = Peek(p);
    uint8_t combinator;
    if (!AtEnd(p) && (c == '>' || c == '+' || c == '~')) {
      combinator = c == '>' ? kCombChild : c == '+' ? kCombAdjacent : kCombSibling;
      ++p->pos;
      SkipBlanks(p);
    } else if (blanks && !AtEnd(p) && c != ',' && c != ')') {
      combinator = kCombDescendant;
    } else {
      p->pos = before;
      break;
    }
    uint32_t next;
    if (!ParseCompound(p, depth, &next)) {
      if (!p->failed) {
        if (AtEnd(p)) {
          Fail(p, p->pos, "expected a selector after a combinator");
        } else {
          FailUnexpected(p);
        }
      }
      return false;
    }
    p->selector->compounds[next].left = right;
    p->selector->compounds[next].combinator = combinator;
    right = next;
  }
  *index = p->complexes++;
  p->selector->complexes[*index].rightmost = right;
  p->selector->complexes[*index].next = kSelNone;
  return true;
}

// Reads a comma-separated list up to the end of the text (depth 0) or up to
// its ')' (nested; the ')' is left for the caller). Returns its index.
uint32_t ParseList(Parser *p, uint32_t depth) {
  const uint32_t list = p->lists++;
  p->selector->lists[list].firstComplex = kSelNone;
  uint32_t last = kSelNone;
  SkipBlanks(p);
  for (;;) {
    uint32_t complex;
    if (!ParseComplex(p, depth, &complex)) return list;
    if (last == kSelNone) {
      p->selector->lists[list].firstComplex = complex;
    } else {
      p->selector->complexes[last].next = complex;
    }
    last = complex;
    SkipBlanks(p);
    if (Peek(p) != ',' || AtEnd(p)) break;
    ++p->pos;
    SkipBlanks(p);
  }
  if (depth == 0 && !AtEnd(p)) FailUnexpected(p);
  return list;
}

}  // namespace

SxSelector *SelectorCompile(const char *text, SX_ERROR *error) {
  const size_t size = strlen(text);
  // Every test, compound, complex selector and list takes at least one byte
  // of text (:only-*() makes two tests of more than two), and no name or
  // value decodes to more units than it has bytes.
  const size_t slots = size + 2;
  const size_t bytes = sizeof(SxSelector) + slots * (sizeof(SelList) + sizeof(SelComplex) +
                                                     sizeof(SelCompound) + sizeof(SelTest)) +
                       (2 * slots) * sizeof(WCHAR) + 64;
  if (size > 0x3FFFFFFF) {
    if (error) {
      memset(error, 0, sizeof *error);
      error->code = SX_ERR_MEMORY;
      strcpy(error->message, "selector too long");
    }
    return nullptr;
  }
  char *block = static_cast<char *>(AllocBlockRaw(bytes));
  if (!block) {
    if (error) {
      memset(error, 0, sizeof *error);
      error->code = SX_ERR_MEMORY;
      strcpy(error->message, "out of memory compiling a selector");
    }
    return nullptr;
  }
  // Arrays in order of alignment: tests, compounds, complexes, lists, pool.
  SxSelector *selector = reinterpret_cast<SxSelector *>(block);
  static std::atomic<uint64_t> serials{0};
  selector->serial = serials.fetch_add(1, std::memory_order_relaxed) + 1;
  char *at = block + sizeof(SxSelector);
  selector->tests = reinterpret_cast<SelTest *>(at);
  at += slots * sizeof(SelTest);
  selector->compounds = reinterpret_cast<SelCompound *>(at);
  at += slots * sizeof(SelCompound);
  selector->complexes = reinterpret_cast<SelComplex *>(at);
  at += slots * sizeof(SelComplex);
  selector->lists = reinterpret_cast<SelList *>(at);
  at += slots * sizeof(SelList);
  selector->pool = reinterpret_cast<WCHAR *>(at);

  Parser p = {};
  p.text = reinterpret_cast<const unsigned char *>(text);
  p.size = size;
  p.selector = selector;
  p.error = error;
  ParseList(&p, 0);
  if (p.failed) {
    FreeBlock(block);
    return nullptr;
  }
  return selector;
}

void SelectorFree(SxSelector *selector) { FreeBlock(selector); }
