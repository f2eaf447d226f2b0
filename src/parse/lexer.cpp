// The tag lexer: token reader, the three text scanners and ReadTag.
//
// Every routine only moves `pos` forward (an unquoted value may give back the
// one '/' it just read), so reading a whole text is linear in its length.
// Source positions stored on attributes are all "where the reading of the
// token began": the lexer position before the blanks that precede the name
// or value (see ReadTag).
#include "parse/lexer.h"

#include "platform/simd.h"
#include "text/escape.h"
#include "text/text.h"


namespace {

const WCHAR kEmptyName[1] = {0};

// A name starts with an ASCII letter, a digit, '-' or '_' and goes on with
// those and ':' and '.'; no other unit (no non-ASCII letter) belongs to it.
// One table of the ASCII range: bit 1 may start a name, bit 2 may go on.
enum { kStart = 1, kGoOn = 2, kBoth = 3 };
constexpr uint8_t NameClass(unsigned c) {
  return ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
          c == '-' || c == '_')
             ? kBoth
             : (c == ':' || c == '.') ? kGoOn : 0;
}
struct NameTable {
  uint8_t cls[128];
  constexpr NameTable() : cls() {
    for (unsigned c = 0; c < 128; ++c) cls[c] = NameClass(c);
  }
};
constexpr NameTable kNames;

inline bool IsNameChar(unsigned c) { return c < 128 && (kNames.cls[c] & kGoOn); }

// Modes of the token reader: a value mode reads an unquoted value as one token.
enum { kNameMode = 0, kValueMode = 1 };

// What a token starting with a unit is, for the token reader's one dispatch.
enum : uint8_t {
  kClassOther, kClassBlank, kClassEnd, kClassQuote, kClassPunct, kClassMark, kClassName
};
constexpr uint8_t TokenClassOf(unsigned c) {
  // Blanks are tab, line feed, carriage return and space.
  return c == 0 ? kClassEnd
         : (c == 9 || c == 10 || c == 13 || c == 32) ? kClassBlank
         : (c == '"' || c == '\'') ? kClassQuote
         : (c == '<' || c == '=' || c == '>') ? kClassPunct
         : (c == '!' || c == '/' || c == '?') ? kClassMark
         : (NameClass(c) & kStart) ? kClassName
                                   : kClassOther;
}
struct TokenClassTable {
  uint8_t cls[128];
  constexpr TokenClassTable() : cls() {
    for (unsigned c = 0; c < 128; ++c) cls[c] = TokenClassOf(c);
  }
};
constexpr TokenClassTable kTokenClasses;
inline unsigned TokenClass(unsigned c) {
  return c < 128 ? kTokenClasses.cls[c] : static_cast<unsigned>(kClassOther);
}

// The six start tags that never have an end tag. `name` is a name token of
// `length` units, all ASCII, so folding ASCII letters compares as lstrcmpiW.
bool IsVoidName(const WCHAR *name, uint32_t length) {
  static const char *const kVoid[] = {"br", "hr", "img", "input", "col", "meta"};
  if (length < 2 || length > 5) return false;
  for (const char *v : kVoid) {
    uint32_t i = 0;
    while (i < length && v[i] && (name[i] | 0x20u) == static_cast<unsigned char>(v[i])) ++i;
    if (i == length && v[i] == 0) return true;
  }
  return false;
}

// Reads a comment whose "<!" has been read and whose "--" stands at pos;
// `mark` is the position just behind the '<'. The node becomes kind 7 with
// an empty name and one nameless attribute (quoting style 83) holding the
// text up to "-->", which is consumed as far as it is there.
int ReadComment(SourceText *source, int32_t mark, Node **outNode, bool *outOfMemory) {
  Node *node = NodeCreate();
  if (!node) {
    *outOfMemory = true;
    return SG_READ_NOTHING;
  }
  if (!NodeSetName(node, kEmptyName, 0)) *outOfMemory = true;
  node->kind = kKindComment;
  source->pos += 2;
  const WCHAR *start = CurrentPtr(source);
  int32_t length = ScanComment(source, &start);
  Attrib *attrib = NodeAppendAttrib(node, kEmptyName, 0, nullptr);
  if (!attrib) {
    *outOfMemory = true;
    NodeDestroy(node);
    return SG_READ_NOTHING;
  }
  if (!attrib->name) *outOfMemory = true;
  if (!AttribSetValue(attrib, SG_TOK_VALUE, start, length, &mark)) *outOfMemory = true;
  NextChar(source);
  NextChar(source);
  NextChar(source);
  *outNode = node;
  return SG_READ_TAG;
}

// The scanners read kScanUnits units at a time (platform/simd.h).
inline int32_t SkipToEither(const WCHAR *text, int32_t pos, WCHAR a, WCHAR b) {
  return ScanToEither(text, pos, a, b);
}

inline int32_t SkipUnquoted(const WCHAR *text, int32_t pos) {
  return ScanToBlankOrClose(text, pos);
}

// Position of the first '<' or zero at or after `pos`.
inline int32_t SkipToTagOrEnd(const WCHAR *text, int32_t pos) {
  return SkipToEither(text, pos, '<', '<');
}

// Skips blanks (TAB, LF, CR, space) and reads one token in `mode`. *start and
// *length are written only for 34, 39, SG_TOK_NAME and SG_TOK_VALUE. A quoted
// value ends at its quote, at the first '>' (left in place, even inside the
// quotes) or at the end; an unquoted value ends at a unit at or below U+0020
// or at '>', and gives back a '/' that stands right before that '>'. Always
// inlined: each tag reads several tokens, and a call per token would cost
// about as much as reading it.
SPRIG_ALWAYS_INLINE uint32_t ReadToken(SourceText *source, const WCHAR **start,
                                                         uint32_t *length, int mode) {
  const WCHAR *text = source->text;
  if (!text) return SG_TOK_END;
  int32_t pos = source->pos;
  unsigned c = text[pos];
  unsigned cls = TokenClass(c);
  while (cls == kClassBlank) cls = TokenClass(c = text[++pos]);
  uint32_t token;
  switch (cls) {
    case kClassEnd:
      token = SG_TOK_END;
      break;
    case kClassQuote: {
      // Quoted value, in either mode: ends at its quote, or before a '>' or
      // the end, which stay in place.
      int32_t from = ++pos;
      pos = SkipToEither(text, pos, static_cast<WCHAR>(c), '>');
      *start = text + from;
      *length = static_cast<uint32_t>(pos - from);
      if (text[pos] == c) ++pos;
      token = c;
      break;
    }
    case kClassPunct:  // '<', '=' and '>', in either mode
      ++pos;
      token = c;
      break;
    default:
      if (mode == kNameMode) {
        if (cls == kClassMark) {  // '!', '/' and '?'
          ++pos;
          token = c;
        } else if (cls == kClassName) {
          int32_t from = pos;
          while (IsNameChar(text[++pos])) {
          }
          *start = text + from;
          *length = static_cast<uint32_t>(pos - from);
          token = SG_TOK_NAME;
        } else {
          ++pos;
          token = SG_TOK_OTHER;
        }
      } else {
        // Unquoted value: up to a unit at or below U+0020 or a '>'. A '/'
        // right before that '>' is given back so that it closes the tag. A
        // value that starts at a control unit is empty and consumes nothing.
        int32_t from = pos;
        pos = SkipUnquoted(text, pos);
        if (text[pos] == '>' && pos != from && text[pos - 1] == '/') --pos;
        *start = text + from;
        *length = static_cast<uint32_t>(pos - from);
        token = SG_TOK_VALUE;
      }
      break;
  }
  source->pos = pos;
  return token;
}

// Reads the rest of an end tag whose name has been read, with the same
// tokens as ReadTag's attribute loop but keeping nothing. True when it stays
// an end tag (read up to and with its '>'); false, with the position put back
// behind the name, when a '/' or '?' after its attributes makes it an empty
// tag or a processing instruction, which ReadTag then reads with a Node.
bool SkipEndTag(SourceText *source) {
  const int32_t behindName = source->pos;
  const WCHAR *start = nullptr;
  uint32_t length = 0;
  uint32_t token = ReadToken(source, &start, &length, kNameMode);
  while (token == SG_TOK_NAME) {
    token = ReadToken(source, &start, &length, kNameMode);
    if (token != '=') continue;
    token = ReadToken(source, &start, &length, kValueMode);
    if (token == SG_TOK_VALUE || token == '\'' || token == '"')
      token = ReadToken(source, &start, &length, kNameMode);
  }
  if (token == '/' || token == '?') {
    source->pos = behindName;
    return false;
  }
  while (token != '>' && token != SG_TOK_END) token = ReadToken(source, &start, &length, kNameMode);
  return true;
}

}  // namespace

int32_t ScanText(SourceText *source, const WCHAR **start) {
  const WCHAR *text = source->text;
  if (!text) return 0;
  int32_t from = source->pos;
  int32_t pos = SkipToTagOrEnd(text, from);
  source->pos = pos;
  if (pos != from) *start = text + from;
  return pos - from;
}

int32_t ScanScript(SourceText *source, const WCHAR **start) {
  static const WCHAR *const kScriptEnd = WTEXT("</script");
  const WCHAR *text = source->text;
  if (!text) return 0;
  int32_t from = source->pos, pos = from;
  // Only "</script" in any letter case ends the content; a '<' alone does not.
  for (;;) {
    pos = SkipToTagOrEnd(text, pos);
    if (!text[pos] || CompareNoCaseW(text + pos, kScriptEnd, 8) == 0) break;
    ++pos;
  }
  source->pos = pos;
  if (pos != from) *start = text + from;
  return pos - from;
}

int32_t ScanComment(SourceText *source, const WCHAR **start) {
  const WCHAR *text = source->text;
  if (!text) return 0;
  int32_t from = source->pos, pos = from;
  while (text[pos] && !(text[pos] == '-' && text[pos + 1] == '-' && text[pos + 2] == '>')) ++pos;
  source->pos = pos;
  if (pos != from) *start = text + from;
  return pos - from;
}

// Attribute positions: every position is where the reading of its own token
// began, i.e. the lexer position before the blanks in front of the token.
// For the first attribute's name that is just behind the tag name, for a
// value written after '=' just behind the '='; a later attribute's name is
// placed just behind the token before it, and a nameless quoted value of a
// declaration just behind the token before it as well.
//
// The Node is made only once the name shows that a tag is being read, and an
// end tag is first read without one (SkipEndTag): a '<' that starts no tag
// and an end tag allocate nothing. Every call still spends one NodeId, as if
// its node had been made before the first token: a read that ends without a
// node (end of text, no tag, an end tag) takes the id it would have had.
int ReadTag(SourceText *source, Node **outNode, bool *outOfMemory) {
  *outNode = nullptr;
  const WCHAR *start = nullptr;
  uint32_t length = 0;
  uint32_t token = ReadToken(source, &start, &length, kNameMode);
  if (token != '<') {
    NodeSkipId();
    return SG_READ_NOTHING;
  }
  int32_t mark = source->pos;  // just behind the '<'
  uint32_t kind = kKindElement;
  token = ReadToken(source, &start, &length, kNameMode);
  if (token == '/') {
    kind = kKindEndTag;
    token = ReadToken(source, &start, &length, kNameMode);
  } else if (token == '?') {
    kind = kKindPi;
    token = ReadToken(source, &start, &length, kNameMode);
  } else if (token == '!') {
    const WCHAR *p = CurrentPtr(source);
    if (p[0] == '-' && p[1] == '-') return ReadComment(source, mark, outNode, outOfMemory);
    kind = kKindDecl;
    token = ReadToken(source, &start, &length, kNameMode);
  }
  if (token != SG_TOK_NAME) {
    NodeSkipId();
    return SG_READ_NOT_A_TAG;
  }
  if (kind == kKindEndTag && SkipEndTag(source)) {
    NodeSkipId();
    return SG_READ_END_TAG;
  }
  Node *node = NodeCreate();
  if (!node) {
    *outOfMemory = true;
    return SG_READ_NOTHING;
  }
  if (!NodeSetName(node, start, static_cast<int32_t>(length))) *outOfMemory = true;
  if (kind == kKindElement && IsVoidName(start, length)) kind = kKindVoid;

  int32_t tokenPos = source->pos;  // where the reading of `token` began
  token = ReadToken(source, &start, &length, kNameMode);
  for (;;) {
    if (token == SG_TOK_NAME) {
      int32_t namePos = tokenPos;
      Attrib *attrib = NodeAppendAttrib(node, start, static_cast<int32_t>(length), &namePos);
      if (!attrib) {
        *outOfMemory = true;
        NodeDestroy(node);
        return SG_READ_NOTHING;
      }
      if (!attrib->name) *outOfMemory = true;
      tokenPos = source->pos;
      token = ReadToken(source, &start, &length, kNameMode);
      if (token == '=') {
        int32_t valuePos = source->pos;  // just behind the '='
        token = ReadToken(source, &start, &length, kValueMode);
        if (token == SG_TOK_VALUE || token == '\'' || token == '"') {
          if (!AttribSetValue(attrib, token, start, static_cast<int32_t>(length), &valuePos)) {
            *outOfMemory = true;
          }
          tokenPos = source->pos;
          token = ReadToken(source, &start, &length, kNameMode);
        }
      }
    } else if (kind == kKindDecl && (token == '"' || token == '\'')) {
      // A quoted value standing alone in a declaration: a nameless attribute.
      int32_t valuePos = tokenPos;
      Attrib *attrib = NodeAppendAttrib(node, kEmptyName, 0, nullptr);
      if (!attrib) {
        *outOfMemory = true;
        NodeDestroy(node);
        return SG_READ_NOTHING;
      }
      if (!attrib->name) *outOfMemory = true;
      if (!AttribSetValue(attrib, token, start, static_cast<int32_t>(length), &valuePos)) {
        *outOfMemory = true;
      }
      tokenPos = source->pos;
      token = ReadToken(source, &start, &length, kNameMode);
    } else {
      break;
    }
  }
  if (token == '/') {
    kind = kKindEmptyTag;
    token = ReadToken(source, &start, &length, kNameMode);
  } else if (token == '?') {
    kind = kKindPi;
    token = ReadToken(source, &start, &length, kNameMode);
  }
  // Whatever else stands before the '>' is dropped.
  while (token != '>' && token != SG_TOK_END) token = ReadToken(source, &start, &length, kNameMode);
  node->kind = kind;
  *outNode = node;
  return SG_READ_TAG;
}
