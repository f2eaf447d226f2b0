// The format-preserving writer (exact_writer.h).
//
// The walk is the core writer's, iterative through child links and each list
// head's owner link. Per node:
//   - a pristine node read from the source: its whole subtree's original
//     bytes, [srcStart, subtreeEnd), in one copy;
//   - a new node: its subtree by the core's markup rules, encoded;
//   - otherwise piece by piece: the start tag as read, or with only the
//     changed attribute values spliced in, or rewritten; the inner text, the
//     end tag and the after text as read unless set.
// In bytes mode (same encoding, a position map) unedited pieces are original
// bytes; in text mode (another encoding, or a stateful one) they are their
// text encoded again, with the declared label replaced.
#include "exact/exact_writer.h"

#include <string.h>

#include <vector>

#include "model/node.h"
#include "output/indent.h"
#include "output/markup.h"
#include "parse/source_text.h"
#include "platform/platform.h"
#include "sprig_exact.h"
#include "text/encoding_labels.h"

namespace {

typedef std::vector<WCHAR> Units;

// Markup rules into UTF-16 units.
struct UnitSink {
  Units *out;
  void Mark(MarkCode code) { out->insert(out->end(), kMarkText[code], kMarkText[code] + kMarkLength[code]); }
  void Quote(WCHAR quote) { out->push_back(quote); }
  void Text(const WCHAR *text) {
    if (text) out->insert(out->end(), text, text + lstrlenW(text));
  }
  void Tabs(int64_t level) { out->insert(out->end(), static_cast<size_t>(level < 0 ? 0 : level > int64_t{kMaxIndent} ? int64_t{kMaxIndent} : level), '\t'); }
};

bool IsUtf16(uint32_t cp) { return cp == kCodePageUtf16Le || cp == kCodePageUtf16Be; }

// Appends `n` units encoded in `cp`; false when they do not come back the
// same when decoded (a character the code page lacks, a lone surrogate).
bool Encode(uint32_t cp, const WCHAR *text, int32_t n, std::string *out) {
  if (n <= 0) return true;
  if (IsUtf16(cp)) {
    for (int32_t i = 0; i < n; ++i) {
      char hi = static_cast<char>(text[i] >> 8), lo = static_cast<char>(text[i] & 0xFF);
      out->push_back(cp == kCodePageUtf16Be ? hi : lo);
      out->push_back(cp == kCodePageUtf16Be ? lo : hi);
    }
    return true;
  }
  int bytes = WideCharToMultiByte(cp, 0, text, n, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return false;
  size_t at = out->size();
  out->resize(at + static_cast<size_t>(bytes));
  WideCharToMultiByte(cp, 0, text, n, &(*out)[at], bytes, nullptr, nullptr);
  Units back(static_cast<size_t>(n) + 1);
  int units = MultiByteToWideChar(cp, 0, out->data() + at, bytes, back.data(), n + 1);
  return units == n && memcmp(back.data(), text, static_cast<size_t>(n) * sizeof(WCHAR)) == 0;
}

class Writer {
 public:
  Writer(Document *document, ExactDocument *x, uint32_t cp, bool force, std::string *out)
      : document_(document), x_(x), text_(document->source->text), cp_(cp), force_(force), out_(out),
        bytesMode_(cp == x->detection.codePage && x->mapped) {
    const char *name = NameOfCodePage(cp);
    if (!bytesMode_ && name && x->labelStart >= 0 && cp != x->detection.codePage)
      label_.assign(name, name + strlen(name));
  }

  bool Run(RenderProblem *problem);

 private:
  bool Fail(int32_t unit) {
    problem_ = unit;
    return false;
  }
  // Encodes a changed piece; `source` tells that the units are source text
  // at position `where` (so a failure names the very unit).
  bool Put(const WCHAR *text, int32_t n, int32_t where, bool source) {
    if (Encode(cp_, text, n, out_) || force_) return true;
    if (!source) return Fail(where);
    for (int32_t i = 0; i < n; ++i) {
      std::string probe;
      int32_t k = (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < n) ? 2 : 1;
      if (!Encode(cp_, text + i, k, &probe)) return Fail(where + i);
      i += k - 1;
    }
    return Fail(where);
  }
  bool PutUnits(const Units &units, int32_t where) {
    return Put(units.data(), static_cast<int32_t>(units.size()), where, false);
  }
  // Source text [a, b): original bytes, or its text encoded again.
  bool Copy(int32_t a, int32_t b) {
    if (a >= b) return true;
    if (bytesMode_) {
      int64_t from = ExactByteOf(x_, a), to = ExactByteOf(x_, b);
      if (from < 0 || to < from) return Fail(a);
      out_->append(x_->bytes + from, static_cast<size_t>(to - from));
      return true;
    }
    if (!label_.empty() && a <= x_->labelStart && x_->labelEnd <= b) {
      return Put(text_ + a, x_->labelStart - a, a, true) &&
             Put(label_.data(), static_cast<int32_t>(label_.size()), x_->labelStart, false) &&
             Put(text_ + x_->labelEnd, b - x_->labelEnd, x_->labelEnd, true);
    }
    return Put(text_ + a, b - a, a, true);
  }
  // The value of `attrib` with the declared label replaced, when it holds the
  // label as read (its tag is written from the tree, after an edit of
  // another attribute); false otherwise.
  bool Relabeled(const Attrib *attrib, Units *value) const {
    int32_t p, end;
    if (label_.empty() || !ExactValueRange(text_, attrib, &p, &end)) return false;
    const int32_t n = end - p;
    if (x_->labelStart < p || x_->labelEnd > end ||
        memcmp(attrib->value, text_ + p, static_cast<size_t>(n) * sizeof(WCHAR)) != 0)
      return false;
    value->assign(attrib->value, attrib->value + (x_->labelStart - p));
    value->insert(value->end(), label_.begin(), label_.end());
    value->insert(value->end(), attrib->value + (x_->labelEnd - p), attrib->value + n);
    value->push_back(0);
    return true;
  }
  bool CopyExact(int32_t a, int32_t b) const {
    return !bytesMode_ || (ExactByteOf(x_, a) >= 0 && ExactByteOf(x_, b) >= 0);
  }
  int32_t PlaceOf(const Node *node) const;
  bool StartTag(Node *node, const SourceSpan &span);
  bool SpliceTag(Node *node, const SourceSpan &span, bool *done);
  bool Start(Node *node, const SourceSpan &span);
  bool End(Node *node, const SourceSpan &span);

  Document *document_;
  ExactDocument *x_;
  const WCHAR *text_;
  uint32_t cp_;
  bool force_;
  std::string *out_;
  bool bytesMode_;
  Units label_;
  int32_t problem_ = -1;
};

// The source position nearest a node, for messages: its own '<', else that
// of the closest ancestor read from the source.
int32_t Writer::PlaceOf(const Node *node) const {
  while (node && !(node->marks & kMarkSource)) node = node->parent ? NodeOwner(node->parent) : nullptr;
  return node ? node->srcStart : 0;
}

// A start tag by the core's rules, without the inner text and without the
// layout an XML document's writer adds.
bool Writer::StartTag(Node *node, const SourceSpan &span) {
  bool done = false;
  if (!SpliceTag(node, span, &done)) return false;
  if (done || !node->name) return true;
  Units units;
  UnitSink sink{&units};
  const uint32_t kind = node->kind;
  sink.Mark(kMarkOpen);
  if (kind == kKindPi) sink.Mark(kMarkQuestion);
  if (kind == kKindDecl) sink.Mark(kMarkBang);
  if (kind == kKindComment) sink.Mark(kMarkCommentOpen); else sink.Text(node->name);
  if (const Attrib *head = node->attribs)
    for (const Attrib *a = head->next; a != head; a = a->next) {
      Units value;
      if (!Relabeled(a, &value)) {
        EmitAttrib(a, sink);
        continue;
      }
      Attrib relabeled = *a;
      relabeled.value = value.data();
      EmitAttrib(&relabeled, sink);
    }
  if (kind == kKindPi) sink.Mark(kMarkQuestion);
  if (kind == kKindComment) sink.Mark(kMarkCommentClose);
  if (kind == kKindEmptyTag || (kind == kKindPlain && document_->xmlFlag)) sink.Mark(kMarkSlash);
  sink.Mark(kMarkClose);
  return PutUnits(units, node->srcStart);
}

// Writes the start tag as read with only the changed attribute values
// replaced, when the attributes are still those read, in their order.
// *done false: not possible here, nothing written.
bool Writer::SpliceTag(Node *node, const SourceSpan &span, bool *done) {
  *done = false;
  if (node->kind != span.kind || node->attribCount != span.attribCount || !node->name) return true;
  struct Edit {
    int32_t from, to;
    Units with;
  };
  std::vector<Edit> edits;
  int32_t last = node->srcStart;
  const Attrib *head = node->attribs;
  for (const Attrib *a = head ? head->next : nullptr; a && a != head; a = a->next) {
    if (a->namePos < last || !a->name) return true;
    last = a->namePos;
    Units with;
    int32_t from, to;
    const WCHAR quote = a->value ? QuoteCharacter(a->quote) : 0;
    if (a->valuePos >= 0) {
      if (!a->value) return true;
      int32_t p = a->valuePos;
      while (text_[p] == ' ' || text_[p] == '\t' || text_[p] == '\r' || text_[p] == '\n') ++p;
      from = p;
      const WCHAR open = text_[p];
      int32_t valueStart = p, valueEnd;
      if (open == '"' || open == '\'') {
        valueStart = ++p;
        while (text_[p] && text_[p] != open && text_[p] != '>') ++p;
        valueEnd = p;
        if (text_[p] == open) ++p;
      } else {
        while (text_[p] > 0x20 && text_[p] != '>') ++p;
        if (text_[p] == '>' && p > valueStart && text_[p - 1] == '/') --p;
        valueEnd = p;
      }
      to = p;
      const int32_t n = lstrlenW(a->value);
      const WCHAR was = (open == '"' || open == '\'') ? open : 0;
      if (was == quote && n == valueEnd - valueStart &&
          memcmp(a->value, text_ + valueStart, static_cast<size_t>(n) * sizeof(WCHAR)) == 0)
        continue;
    } else {
      if (!a->value) continue;
      int32_t p = a->namePos;
      while (text_[p] == ' ' || text_[p] == '\t' || text_[p] == '\r' || text_[p] == '\n') ++p;
      from = to = p + lstrlenW(a->name);
      with.push_back('=');
    }
    if (quote) with.push_back(quote);
    with.insert(with.end(), a->value, a->value + lstrlenW(a->value));
    if (quote) with.push_back(quote);
    if (!CopyExact(from, to)) return true;
    edits.push_back(Edit{from, to, with});
  }
  int32_t at = node->srcStart;
  for (const Edit &edit : edits) {
    if (!Copy(at, edit.from) || !PutUnits(edit.with, edit.from)) return false;
    at = edit.to;
  }
  *done = true;
  return Copy(at, node->srcTagEnd);
}

bool Writer::Start(Node *node, const SourceSpan &span) {
  if (node->child && node->kind != kKindElement) node->kind = kKindElement;  // as the core writes it
  // A tag read as empty ("<x/>") that now holds children is written anew.
  if ((node->marks & kMarkTag) || node->kind != span.kind) {
    if (!StartTag(node, span)) return false;
  } else if (!Copy(node->srcStart, node->srcTagEnd)) {
    return false;
  }
  if (node->marks & kMarkInner) return Put(node->inner, node->inner ? lstrlenW(node->inner) : 0, node->srcTagEnd, false);
  return Copy(node->srcTagEnd, span.innerEnd);
}

bool Writer::End(Node *node, const SourceSpan &span) {
  if (span.endTagStart >= 0) {
    if (!Copy(span.endTagStart, node->srcEnd)) return false;
  } else if (node->name && node->kind == kKindElement && span.kind != kKindElement) {
    Units units;
    UnitSink sink{&units};
    sink.Mark(kMarkEndOpen);
    sink.Text(node->name);
    sink.Mark(kMarkClose);
    if (!PutUnits(units, node->srcStart)) return false;
  }
  if (node->marks & kMarkAfter) return Put(node->after, node->after ? lstrlenW(node->after) : 0, node->srcEnd, false);
  return span.hasAfter ? Copy(node->srcEnd, span.afterEnd) : true;
}

bool Writer::Run(RenderProblem *problem) {
  problem->code = SX_ERR_LOSSY;
  problem->unit = -1;
  bool ok = true;
  if (!bytesMode_ && x_->invalidCount && !force_) {
    ok = Fail(x_->firstInvalid);  // invalid bytes survive only as themselves
  } else if (bytesMode_) {
    out_->append(x_->bytes, static_cast<size_t>(ExactByteOf(x_, x_->leadEnd)));
  } else {
    if (cp_ == kCodePageUtf16Le) out_->append("\xFF\xFE");
    if (cp_ == kCodePageUtf16Be) out_->append("\xFE\xFF");
    if (cp_ == CP_UTF8 && x_->detection.bomBytes == 3) out_->append("\xEF\xBB\xBF");
    ok = Copy(0, x_->leadEnd);
  }
  Node *root = &document_->root;
  Node *node = root->next == root ? nullptr : root->next;
  int64_t depth = 0;
  while (ok && node) {
    const SourceSpan *span = ExactSpanOf(x_, node);
    bool whole = true;  // the node was written with its subtree and after text
    if (!span) {
      Units units;
      UnitSink sink{&units};
      EmitNodes(node, false, depth, document_->xmlFlag != 0, sink);
      ok = PutUnits(units, PlaceOf(node));
    } else if (!(node->marks & kMarkEdits)) {
      ok = Copy(node->srcStart, span->subtreeEnd);
    } else {
      ok = Start(node, *span);
      if (ok && node->child && node->child->next != node->child) {
        node = node->child->next;
        ++depth;
        continue;
      }
      whole = false;
    }
    if (ok && !whole) ok = End(node, *span);
    // Next: the following sibling, else close the owners whose rings end.
    while (ok && node) {
      Node *following = node->next;
      if (!NodeIsListHead(following)) {
        node = following;
        break;
      }
      node = NodeOwner(following);
      if (!node) break;
      --depth;
      ok = End(node, *ExactSpanOf(x_, node));
    }
  }
  if (ok) {
    if (bytesMode_) {
      int64_t tail = ExactByteOf(x_, x_->tailStart);
      ok = tail >= 0 ? (out_->append(x_->bytes + tail, x_->size - static_cast<size_t>(tail)), true)
                     : Fail(x_->tailStart);
    } else {
      ok = Copy(x_->tailStart, document_->source->textLength);
    }
  }
  problem->unit = problem_;
  return ok;
}

}  // namespace

bool ExactRender(Document *document, ExactDocument *x, uint32_t codePage, bool force,
                 std::string *out, RenderProblem *problem) {
  Writer writer(document, x, codePage, force, out);
  return writer.Run(problem);
}
