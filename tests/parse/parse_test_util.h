// Helpers shared by the reader's tests: parse a text or file into a fresh
// Document through the internal load-and-parse entry points, walk the tree
// through its links, and read node fields, a sketch of the tree and a tag's
// attributes as UTF-8 strings for comparison.
// ParsedDocument owns its Document and releases it on destruction.
#ifndef SPRIG_TESTS_PARSE_TEST_UTIL_H
#define SPRIG_TESTS_PARSE_TEST_UTIL_H

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "output/release.h"
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

// How a ParsedDocument reads the text it is given: as UTF-16 made from the
// UTF-8 text, as the narrow bytes exactly as given (sniffed for a code page),
// or as those bytes written to a file and read through its narrow path.
enum class Form { kWide, kNarrow, kFile };

class ParsedDocument {
 public:
  ParsedDocument() : document_(DocumentCreate(0)) {}
  // Parses `text` in `form`; a parse that does not give 1 fails the test.
  explicit ParsedDocument(const std::string &text, Form form = Form::kWide);
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
  std::unique_ptr<sprig_test::TempDir> dir_;  // holds the file of Form::kFile
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

inline ParsedDocument::ParsedDocument(const std::string &text, Form form) : ParsedDocument() {
  int result = 0;
  if (form == Form::kWide) {
    result = ParseDocumentFromTextW(document_, W(sprig_test::Utf16(text)), -1);
  } else if (form == Form::kNarrow) {
    result = ParseDocumentFromTextA(document_, text.data(), static_cast<int32_t>(text.size()));
  } else {
    dir_ = std::make_unique<sprig_test::TempDir>();
    const std::string path = dir_->WriteFile("source.xml", text);
    result = ParseDocumentFromFileA(document_, path.c_str());
  }
  EXPECT_EQ(1, result) << text.substr(0, 200);
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
// A node's texts; "(no node)" for a missing node, so that a check fails
// instead of crashing.
inline std::string NameOf(const Node *n) { return n ? U8(n->name) : "(no node)"; }
inline std::string InnerOf(const Node *n) { return n ? U8(n->inner) : "(no node)"; }
inline std::string AfterOf(const Node *n) { return n ? U8(n->after) : "(no node)"; }

// A sketch of the tree below `head`: siblings apart by a blank, each as its
// name, then {inner text}, (children) and +{after text} where present, as in
// "ul{ }(li{a} li+{b})+{x} p"; an empty child list shows nothing.
inline std::string Sketch(Node *head) {
  std::string out;
  for (Node *n = head->next; n != head; n = n->next) {
    if (n != head->next) out += ' ';
    out += n->name ? U8(n->name) : "(nameless)";
    if (n->inner) out += "{" + U8(n->inner) + "}";
    if (n->child && n->child->next != n->child) out += "(" + Sketch(n->child) + ")";
    if (n->after) out += "+{" + U8(n->after) + "}";
  }
  return out;
}
inline std::string Sketch(const ParsedDocument &d) { return Sketch(d.root()); }

// The i-th attribute of a node, or null.
inline Attrib *AttribAt(Node *node, int i) {
  for (Attrib *a = node && node->attribs ? node->attribs->next : nullptr;
       a && a != node->attribs; a = a->next) {
    if (i-- == 0) return a;
  }
  return nullptr;
}

// The attributes of `node` in the form of a tag, apart by blanks: the name
// ("(null)": absent), then by quote ="v", ='v' or =v (kQuoteBare); a name
// alone has no value (kQuoteNone). A present empty name shows nothing, so a
// bare comment text reads "= text ". An attribute count that disagrees with
// the ring is added as " #count".
inline std::string AttribsOf(Node *node) {
  if (!node) return "(no node)";
  std::string out;
  uint32_t count = 0;
  for (Attrib *a = AttribAt(node, 0); a && a != node->attribs; a = a->next, ++count) {
    if (count) out += ' ';
    out += U8(a->name);
    // Any other quote, or a value under kQuoteNone, shows as =?v?.
    const char *quote = a->quote == kQuoteDouble ? "\"" : a->quote == kQuoteSingle ? "'"
                        : a->quote == kQuoteBare ? "" : "?";
    if (a->quote != kQuoteNone || a->value) out += "=" + (quote + U8(a->value)) + quote;
  }
  if (count != node->attribCount) out += " #" + std::to_string(node->attribCount);
  return out;
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
