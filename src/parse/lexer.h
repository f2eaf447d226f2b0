// The tag lexer: reads the UTF-16 text of a SourceText from its `pos`.
// Tokens are pointers into the text plus a length; only ReadTag copies, into
// the Node and Attribs it makes (the caller owns the Node). Nothing here is
// ever an error: what cannot be a tag is handed back as text, and unusable
// tokens inside a tag are skipped up to its '>'.
#ifndef SPRIG_PARSE_LEXER_H
#define SPRIG_PARSE_LEXER_H

#include <stdint.h>

#include "model/node.h"
#include "parse/source_text.h"
#include "platform/platform.h"

// Token codes of the lexer's token reader; punctuation tokens report their
// own character ('!' 33, '"' 34, '\'' 39, '/' 47, '<' 60, '=' 61, '>' 62, '?' 63).
// 34, 39 and SG_TOK_VALUE are also the quoting styles of parsed attributes.
enum : uint32_t {
  SG_TOK_END = 0,     // NUL at pos; nothing consumed
  SG_TOK_NAME = 73,   // a name
  SG_TOK_VALUE = 83,  // a value without quotes (value mode only)
  SG_TOK_OTHER = 85,  // any other single character, consumed
};

// Results of ReadTag.
enum {
  SG_READ_NOTHING = 0,    // end of text, a first token other than '<', or no memory
  SG_READ_NOT_A_TAG = 1,  // the '<' read (and the token behind it) start no tag
  SG_READ_TAG = 2,        // *outNode holds a new detached Node
  SG_READ_END_TAG = 3,    // an end tag, read up to and with its '>'; no Node is made
};

// The unit at pos (0 at the end or without text).
inline unsigned PeekChar(const SourceText *source) {
  return source->text ? static_cast<unsigned>(source->text[source->pos]) : 0u;
}
// The unit at pos; pos advances unless the unit is 0.
inline unsigned NextChar(SourceText *source) {
  unsigned c = PeekChar(source);
  if (c) ++source->pos;
  return c;
}
// Pointer to the text at pos, null without text.
inline const WCHAR *CurrentPtr(const SourceText *source) {
  return source->text ? source->text + source->pos : nullptr;
}

// Consume up to the next '<' (ScanText), up to "</script" in any letter case
// (ScanScript) or up to "-->" (ScanComment), or to the end. Return the number
// of units consumed; *start is written only when that is not 0.
int32_t ScanText(SourceText *source, const WCHAR **start);
int32_t ScanScript(SourceText *source, const WCHAR **start);
int32_t ScanComment(SourceText *source, const WCHAR **start);

// Reads one tag with its attributes. SG_READ_TAG: *outNode is a new detached
// Node with name, kind and attributes (positions of the tag itself are left
// to the caller). An end tag allocates nothing: whatever stands between its
// name and its '>' is skipped, and SG_READ_END_TAG leaves *outNode null. Any
// failed allocation sets *outOfMemory (never clears it): a failed Node or
// Attrib record ends the read with SG_READ_NOTHING, a failed name or value
// copy leaves that text absent.
int ReadTag(SourceText *source, Node **outNode, bool *outOfMemory);

#endif
