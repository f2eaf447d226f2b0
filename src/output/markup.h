// The markup rules shared by the file writer and the outer-XML renderer, as
// templates over a sink, so both produce the same text from one walk.
//
// A Sink provides:
//   void Mark(MarkCode code);        a markup literal ("<", "</", "\r\n", ...)
//   void Quote(WCHAR quote);         one quote character (0x22 or 0x27)
//   void Text(const WCHAR *text);    a name, value, inner or after text, as held
//   void Tabs(int64_t level);        indentation for `level` (clamped 0..40)
// Nothing is escaped. The walk is iterative: it descends through child links
// and climbs back through each list head's owner link, so any depth runs on
// a small stack. The only change made to the tree is that a node with a child
// link gets kind 1 before it is emitted.
#ifndef SPRIG_OUTPUT_MARKUP_H
#define SPRIG_OUTPUT_MARKUP_H

#include <stdint.h>

#include "model/attrib.h"
#include "model/node.h"
#include "platform/platform.h"

enum MarkCode {
  kMarkOpen,          // "<"
  kMarkQuestion,      // "?"
  kMarkBang,          // "!"
  kMarkCommentOpen,   // "!--"
  kMarkCommentClose,  // "--"
  kMarkSlash,         // "/"
  kMarkClose,         // ">"
  kMarkEndOpen,       // "</"
  kMarkLineBreak,     // "\r\n"
  kMarkSpace,         // " "
  kMarkEquals,        // "="
  kMarkCount
};

// The literal of each mark as ASCII bytes and its length; the same units
// serve the UTF-16 form.
extern const char *const kMarkText[kMarkCount];
extern const uint8_t kMarkLength[kMarkCount];

// The character that encloses a value of quoting style `quote`, or 0 when the
// value is written bare (style 83). Styles other than 39 and 83 are written
// with double quotes, so no stray style can put a control byte in the output.
inline WCHAR QuoteCharacter(uint32_t quote) {
  if (quote == kQuoteBare) return 0;
  return quote == kQuoteSingle ? static_cast<WCHAR>('\'') : static_cast<WCHAR>('"');
}

// One attribute: nothing without name; " name" without value; " name=" and
// the (quoted) value; for an empty name the quoted value after a blank, or a
// bare value with no blank at all (the text of a comment).
template <class Sink>
void EmitAttrib(const Attrib *attrib, Sink &sink) {
  if (!attrib->name) return;
  const bool named = attrib->name[0] != 0;
  if (!attrib->value) {
    if (named) {
      sink.Mark(kMarkSpace);
      sink.Text(attrib->name);
    }
    return;
  }
  const WCHAR quote = QuoteCharacter(attrib->quote);
  if (named || quote) sink.Mark(kMarkSpace);
  if (named) {
    sink.Text(attrib->name);
    sink.Mark(kMarkEquals);
  }
  if (quote) sink.Quote(quote);
  sink.Text(attrib->value);
  if (quote) sink.Quote(quote);
}

// Everything of `node` that comes before its children: the start tag, its
// line break in XML documents, and the inner text. A node without name
// contributes nothing here (its inner text is not written).
template <class Sink>
void EmitNodeStart(Node *node, int64_t level, bool xml, Sink &sink) {
  if (node->child && node->kind != kKindElement) node->kind = kKindElement;
  if (!node->name) return;
  const uint32_t kind = node->kind;
  if (xml && !node->after) sink.Tabs(level);
  sink.Mark(kMarkOpen);
  if (kind == kKindPi) sink.Mark(kMarkQuestion);
  if (kind == kKindDecl) sink.Mark(kMarkBang);
  if (kind == kKindComment) {
    sink.Mark(kMarkCommentOpen);
  } else {
    sink.Text(node->name);
  }
  if (const Attrib *head = node->attribs) {
    for (const Attrib *a = head->next; a != head; a = a->next) EmitAttrib(a, sink);
  }
  if (kind == kKindPi) sink.Mark(kMarkQuestion);
  if (kind == kKindComment) sink.Mark(kMarkCommentClose);
  if (kind == kKindEmptyTag || (kind == kKindPlain && xml)) sink.Mark(kMarkSlash);
  sink.Mark(kMarkClose);
  if (xml && !(kind == kKindElement ? node->inner : node->after)) sink.Mark(kMarkLineBreak);
  if (node->inner) sink.Text(node->inner);
}

// Everything of `node` after its children: the end tag of a named kind 1
// node (indented and followed by a line break in XML documents where the
// tree holds no text), then the after text, which even a nameless node has.
template <class Sink>
void EmitNodeEnd(Node *node, int64_t level, bool xml, Sink &sink) {
  if (node->name && node->kind == kKindElement) {
    if (xml && !node->inner) sink.Tabs(level);
    sink.Mark(kMarkEndOpen);
    sink.Text(node->name);
    sink.Mark(kMarkClose);
    if (xml && !node->after) sink.Mark(kMarkLineBreak);
  }
  if (node->after) sink.Text(node->after);
}

// Emits `first` with its subtree and after text at `level`; when `toRingEnd`
// is set, continues with each following node of its ring up to (not
// including) the ring's list head. Children are emitted at one level more
// than their element. Iterative; `first` must not be a list head.
template <class Sink>
void EmitNodes(Node *first, bool toRingEnd, int64_t level, bool xml, Sink &sink) {
  Node *node = first;
  uint64_t depth = 0;  // levels below `first`
  for (;;) {
    EmitNodeStart(node, level + static_cast<int64_t>(depth), xml, sink);
    Node *children = node->child;
    if (children && children->next != children) {
      node = children->next;
      ++depth;
      continue;
    }
    // Close `node`, then every ancestor whose ring is exhausted, until a
    // node with a following sibling is found or the walk is complete.
    for (;;) {
      EmitNodeEnd(node, level + static_cast<int64_t>(depth), xml, sink);
      Node *following = node->next;
      if (depth == 0) {
        if (!toRingEnd || following == first || NodeIsListHead(following)) return;
        node = following;
        break;
      }
      if (!NodeIsListHead(following)) {
        node = following;
        break;
      }
      node = NodeOwner(following);  // the ring's head leads back to its element
      --depth;
    }
  }
}

// Emits every node of the ring headed by list head `head`, each at `level`.
template <class Sink>
void EmitList(Node *head, int64_t level, bool xml, Sink &sink) {
  if (head->next != head) EmitNodes(head->next, true, level, xml, sink);
}

#endif
