// Helpers shared by the reader's tests: parse a text or file into a fresh
// Document through the internal load-and-parse entry points, walk the tree
// through its links, and read node fields as UTF-8 strings for comparison.
// ParsedDocument owns its Document and releases it on destruction.
#ifndef SPRIG_TESTS_PARSE_TEST_UTIL_H
#define SPRIG_TESTS_PARSE_TEST_UTIL_H

#include <cstdint>
#include <string>

#include "model/document.h"
#include "model/node.h"
#include "parse/source_text.h"
#include "text/text.h"
#include "support.h"

namespace parse_test {

// Pointer conversion between the test's and the library's UTF-16 unit (the
// same 16-bit type on every build).
inline const WCHAR *W(const sprig_test::WString &s) {
  return reinterpret_cast<const WCHAR *>(s.c_str());
}

class ParsedDocument {
 public:
  ParsedDocument() : document_(DocumentCreate(0)) {}
  ~ParsedDocument() { DocumentRelease(document_); }
  ParsedDocument(const ParsedDocument &) = delete;
  ParsedDocument &operator=(const ParsedDocument &) = delete;

  Document *doc() const { return document_; }
  Node *root() const { return &document_->root; }
  SourceText *source() const { return document_->source; }
  // The i-th top-level node, or null.
  Node *top(int i = 0) const;

 private:
  Document *document_;
};

// The i-th node of the ring headed by `head`, or null.
inline Node *Nth(Node *head, int i) {
  if (!head) return nullptr;
  for (Node *n = head->next; n != head; n = n->next) {
    if (i-- == 0) return n;
  }
  return nullptr;
}

inline Node *ParsedDocument::top(int i) const { return Nth(&document_->root, i); }

// Narrow text in memory (bytes exactly as given, sniffed for a code page).
inline int ParseA(ParsedDocument &d, const std::string &bytes) {
  return ParseDocumentFromTextA(d.doc(), bytes.data(), static_cast<int32_t>(bytes.size()));
}
// UTF-16 text made from the UTF-8 `text`.
inline int ParseW(ParsedDocument &d, const std::string &utf8) {
  sprig_test::WString w = sprig_test::Utf16(utf8);
  return ParseDocumentFromTextW(d.doc(), W(w), -1);
}

// The i-th child of `element` (null when it has no child list or fewer).
inline Node *ChildOf(Node *element, int i = 0) {
  return element ? Nth(element->child, i) : nullptr;
}
// Number of nodes in the ring headed by `head`.
inline int RingSize(Node *head) {
  int n = 0;
  for (Node *p = head->next; p != head; p = p->next) ++n;
  return n;
}
// Next node in document order below the root ring, or null at the end.
inline Node *NextInOrder(Node *node) {
  if (node->child && node->child->next != node->child) return node->child->next;
  for (;;) {
    if (!NodeIsListHead(node->next)) return node->next;
    Node *owner = NodeOwner(node->next);
    if (!owner) return nullptr;
    node = owner;
  }
}

// UTF-8 form of a UTF-16 text; "(null)" when absent.
inline std::string U8(const WCHAR *text) {
  if (!text) return "(null)";
  return sprig_test::Utf8(reinterpret_cast<const SG_WCHAR *>(text));
}
inline std::string NameOf(const Node *n) { return U8(n->name); }
inline std::string InnerOf(const Node *n) { return U8(n->inner); }
inline std::string AfterOf(const Node *n) { return U8(n->after); }

// The i-th attribute of a node, or null.
inline Attrib *AttribAt(Node *node, int i) {
  for (Attrib *a = node->attribs ? node->attribs->next : nullptr; a && a != node->attribs;
       a = a->next) {
    if (i-- == 0) return a;
  }
  return nullptr;
}

// Walks every node of the document (iteratively) and checks ring and owner
// links, attribute counts and that positions lie inside the source text.
// Returns the number of nodes, or -1 at the first broken invariant.
inline long CheckTree(const ParsedDocument &d) {
  const SourceText *source = d.source();
  int32_t length = source && source->text ? TextLengthW(source->text) : 0;
  long count = 0;
  for (Node *n = d.top(); n; n = NextInOrder(n)) {
    ++count;
    if (n->next->prev != n || n->prev->next != n || !NodeIsListHead(n->parent)) return -1;
    if (n->child && (!NodeIsListHead(n->child) || NodeOwner(n->child) != n)) return -1;
    if (n->srcStart < 0 || n->srcStart > n->srcTagEnd || n->srcTagEnd > length) return -1;
    if (n->srcEnd != 0 && (n->srcEnd < n->srcTagEnd || n->srcEnd > length)) return -1;
    uint32_t attribs = 0;
    for (Attrib *a = n->attribs ? n->attribs->next : nullptr; a && a != n->attribs; a = a->next)
      ++attribs;
    if (attribs != n->attribCount) return -1;
  }
  return count;
}

}  // namespace parse_test

#endif
