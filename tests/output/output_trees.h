// Helpers of the output tests: documents and trees built with the model's own
// node operations (no parser involved), and the file bytes a save produces.
// Everything built here is owned by the OwnedDocument that holds it.
#ifndef SPRIG_TESTS_OUTPUT_TREES_H
#define SPRIG_TESTS_OUTPUT_TREES_H

#include <string>

#include "output/release.h"
#include "model/document.h"
#include "model/node.h"
#include "support.h"

namespace output_test {

using sprig_test::Utf16;
using sprig_test::WString;

inline const WCHAR *W(const WString &text) { return reinterpret_cast<const WCHAR *>(text.c_str()); }

// A Document made with DocumentCreate, holding one reference count of its
// own (so cursors may come and go), destroyed with the object (never written
// back: it has no file name).
class OwnedDocument {
 public:
  explicit OwnedDocument(uint32_t xmlFlag) : document_(DocumentCreate(xmlFlag)) {
    ++document_->refCount;
  }
  ~OwnedDocument() { DocumentRelease(document_); }
  OwnedDocument(const OwnedDocument &) = delete;
  OwnedDocument &operator=(const OwnedDocument &) = delete;
  Document *get() const { return document_; }
  Node *root() const { return &document_->root; }

 private:
  Document *document_;
};

// Inner and after texts from UTF-8. Setting the inner text raises kinds 0, 3
// and 4 to 1, as the model does.
inline void SetInner(Node *node, const char *text) { NodeSetInner(node, W(Utf16(text)), -1); }
inline void SetAfter(Node *node, const char *text) { NodeSetAfter(node, W(Utf16(text)), -1); }

// Appends a new node named `name` (UTF-8; null: nameless) of `kind` at the
// end of the ring of list head `head`, then sets the inner and after texts
// that are not null.
inline Node *AddNode(Node *head, const char *name, uint32_t kind, const char *inner = nullptr,
                     const char *after = nullptr) {
  Node *node = NodeCreate();
  if (name) NodeSetName(node, W(Utf16(name)), -1);
  node->kind = kind;
  NodeInsertBefore(head, node);
  if (inner) SetInner(node, inner);
  if (after) SetAfter(node, after);
  return node;
}

// Appends a child to `element`, giving it a child list first if needed.
inline Node *AddChild(Node *element, const char *name, uint32_t kind, const char *inner = nullptr,
                      const char *after = nullptr) {
  Node *head = element->child ? element->child : NodeCreateChildList(element);
  return AddNode(head, name, kind, inner, after);
}

// Appends an attribute; a null name stays absent, a null value absent.
inline Attrib *AddAttrib(Node *node, const char *name, uint32_t quote, const char *value) {
  Attrib *attrib = name ? NodeAppendAttrib(node, W(Utf16(name)), -1, nullptr)
                        : NodeAppendAttrib(node, nullptr, -1, nullptr);
  if (value) AttribSetValue(attrib, quote, W(Utf16(value)), -1, nullptr);
  return attrib;
}

// Builds a chain of `depth` elements named "a" (kind 1, no texts), each the
// only child of the one before, at the end of the ring of `head`.
inline void AddChain(Node *head, long depth) {
  Node *ring = head;
  for (long i = 0; i < depth; ++i) {
    Node *node = AddNode(ring, "a", kKindElement);
    if (i + 1 < depth) ring = NodeCreateChildList(node);
  }
}

}  // namespace output_test

#endif
