// Opening a document in the editing layer (exact_document.h): decoding with a
// position map, whole-file parsing, and the table of original extents.
//
// Decoding of code pages whose ASCII range is ASCII: runs of ASCII bytes are
// copied as units; each run of other bytes is decoded on its own, up to the
// next byte that always stands alone in the code page (any ASCII byte for
// UTF-8, EUC and single-byte code pages; a byte below 0x40 other than a digit
// for the double-byte ones, whose trail bytes may be ASCII). The decoder thus
// restarts at every such byte, so '<', '>', quotes, '=' and blanks keep their
// own unit and every unit next to them has an exact byte offset: the map
// stores only where non-ASCII runs open and close. UTF-16 maps two bytes a
// unit. Stateful and other code pages decode in one piece without a map.
#include "exact/exact_document.h"

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <new>

#include "model/node.h"
#include "parse/source_text.h"
#include "parse/tree_builder.h"
#include "platform/platform.h"
#include "sprig_exact.h"
#include "text/encoding_labels.h"
#include "text/escape.h"
#include "text/text.h"

namespace {

// Code pages whose trail bytes may be ASCII (any other byte below 0x40 than
// a digit still stands alone in each).
bool HasAsciiTrailBytes(uint32_t cp) {
  return cp == 932 || cp == 936 || cp == 949 || cp == 950 || cp == 1361 || cp == 54936 ||
         cp == 20936;
}

// True when ASCII bytes map to themselves and no shift state exists.
bool IsAsciiCompatible(uint32_t cp) {
  if (cp == CP_UTF7 || (cp >= 50220 && cp <= 50229) || cp == 52936) return false;
  char ascii[127];
  WCHAR units[127];
  for (int i = 0; i < 127; ++i) ascii[i] = static_cast<char>(i + 1);
  if (MultiByteToWideChar(cp, 0, ascii, 127, units, 127) != 127) return false;
  for (int i = 0; i < 127; ++i)
    if (units[i] != i + 1) return false;
  return true;
}

void DecodeUtf16(ExactDocument *x, std::vector<WCHAR> *text) {
  const unsigned char *p = reinterpret_cast<const unsigned char *>(x->bytes) + x->detection.bomBytes;
  size_t units = (x->size - x->detection.bomBytes) / 2;
  bool big = x->detection.codePage == kCodePageUtf16Be;
  text->resize(units);
  for (size_t i = 0; i < units; ++i)
    (*text)[i] = static_cast<WCHAR>(big ? (p[2 * i] << 8 | p[2 * i + 1]) : (p[2 * i + 1] << 8 | p[2 * i]));
  x->mapped = true;
}

// Decodes one run of non-ASCII bytes at the end of `text`; counts it invalid
// when the units do not encode back to the same bytes.
void DecodeRun(ExactDocument *x, const char *run, int bytes, std::vector<WCHAR> *text, bool check) {
  const uint32_t cp = x->detection.codePage;
  size_t at = text->size();
  text->resize(at + static_cast<size_t>(bytes) + 1);
  int units = MultiByteToWideChar(cp, 0, run, bytes, text->data() + at, bytes + 1);
  if (units <= 0) {  // never expected: keep the bytes' place with one replacement
    (*text)[at] = 0xFFFD;
    units = 1;
  }
  text->resize(at + static_cast<size_t>(units));
  if (!check) return;
  std::string back(static_cast<size_t>(bytes) * 4 + 8, '\0');
  int n = WideCharToMultiByte(cp, 0, text->data() + at, units, &back[0], static_cast<int>(back.size()),
                              nullptr, nullptr);
  if (n != bytes || memcmp(back.data(), run, static_cast<size_t>(bytes)) != 0) {
    if (x->invalidCount++ == 0) x->firstInvalid = static_cast<int32_t>(at);
  }
}

void DecodeMapped(ExactDocument *x, std::vector<WCHAR> *text) {
  const unsigned char *b = reinterpret_cast<const unsigned char *>(x->bytes);
  const size_t n = x->size;
  const bool asciiTrails = HasAsciiTrailBytes(x->detection.codePage);
  const bool check = !(x->detection.codePage == CP_UTF8 && x->detection.validUtf8);
  text->reserve(n + 1);
  size_t i = x->detection.bomBytes;
  while (i < n) {
    size_t j = i;
    while (j < n && b[j] < 0x80) ++j;
    text->insert(text->end(), b + i, b + j);
    if (j == n) break;
    size_t k = j + 1;
    while (k < n && !(asciiTrails ? (b[k] < 0x40 && !(b[k] >= '0' && b[k] <= '9')) : b[k] < 0x80)) ++k;
    x->map.push_back(MapPoint{static_cast<int32_t>(text->size()), static_cast<uint32_t>(j), 1});
    DecodeRun(x, x->bytes + j, static_cast<int>(k - j), text, check);
    x->map.push_back(MapPoint{static_cast<int32_t>(text->size()), static_cast<uint32_t>(k), 0});
    i = k;
  }
  x->mapped = true;
}

void DecodeWhole(ExactDocument *x, std::vector<WCHAR> *text) {
  const int bytes = static_cast<int>(x->size - x->detection.bomBytes);
  const char *from = x->bytes + x->detection.bomBytes;
  if (bytes == 0) return;
  int units = MultiByteToWideChar(x->detection.codePage, 0, from, bytes, nullptr, 0);
  text->resize(units > 0 ? static_cast<size_t>(units) : 0);
  if (units > 0) MultiByteToWideChar(x->detection.codePage, 0, from, bytes, text->data(), units);
  std::vector<char> back(static_cast<size_t>(bytes) * 4 + 8);
  int n = units > 0 ? WideCharToMultiByte(x->detection.codePage, 0, text->data(), units, back.data(),
                                          static_cast<int>(back.size()), nullptr, nullptr) : 0;
  if (n != bytes || memcmp(back.data(), from, static_cast<size_t>(bytes)) != 0) {
    x->invalidCount = 1;
    x->firstInvalid = 0;
  }
}

void OnEndTag(void *context, const Node *element, int32_t start) {
  static_cast<ExactDocument *>(context)->endTags.emplace_back(element->id, start);
}

int32_t TextLength(const WCHAR *text) { return text ? lstrlenW(text) : 0; }

// One iterative walk in document order: a span for every node, kMarkSource
// on each, and the subtree ends, known when a node is left (a node without
// an after text ends where its last child, else its inner text, ends).
void BuildSpans(ExactDocument *x, Document *document) {
  Node *root = &document->root;
  std::vector<size_t> open;  // span indexes of the elements being walked
  int32_t lastEnd = 0;
  Node *node = root->next == root ? nullptr : root->next;
  while (node) {
    node->marks |= kMarkSource;
    SourceSpan span{};
    span.id = node->id;
    span.kind = node->kind;
    span.attribCount = node->attribCount;
    span.innerEnd = node->srcTagEnd + (node->kind == kKindElement ? TextLength(node->inner) : 0);
    span.hasAfter = node->kind != kKindElement || node->srcEnd != 0;
    span.afterEnd = span.hasAfter ? node->srcEnd + TextLength(node->after) : 0;
    span.endTagStart = -1;
    x->spans.push_back(span);
    if (node->child && node->child->next != node->child) {
      node->child->marks |= kMarkSource;
      open.push_back(x->spans.size() - 1);
      node = node->child->next;
      continue;
    }
    size_t index = x->spans.size() - 1;
    bool hadChildren = false;
    for (;;) {
      SourceSpan &s = x->spans[index];
      s.subtreeEnd = s.hasAfter ? s.afterEnd : (hadChildren ? lastEnd : s.innerEnd);
      lastEnd = s.subtreeEnd;
      Node *next = node->next;
      if (!NodeIsListHead(next)) {
        node = next;
        break;
      }
      if (open.empty()) {
        node = nullptr;
        break;
      }
      node = NodeOwner(next);
      index = open.back();
      open.pop_back();
      hadChildren = true;
    }
  }
  if (!std::is_sorted(x->spans.begin(), x->spans.end(),
                      [](const SourceSpan &a, const SourceSpan &b) { return a.id < b.id; }))
    std::sort(x->spans.begin(), x->spans.end(),
              [](const SourceSpan &a, const SourceSpan &b) { return a.id < b.id; });
  for (const auto &tag : x->endTags) {
    auto it = std::lower_bound(x->spans.begin(), x->spans.end(), tag.first,
                               [](const SourceSpan &s, uint32_t id) { return s.id < id; });
    if (it != x->spans.end() && it->id == tag.first) it->endTagStart = tag.second;
  }
  std::vector<std::pair<uint32_t, int32_t>>().swap(x->endTags);
  const int32_t length = document->source->textLength;
  x->leadEnd = root->next == root ? length : root->next->srcStart;
  x->tailStart = root->prev == root ? x->leadEnd : ExactSpanOf(x, root->prev)->subtreeEnd;
}

// The text range of the value of `attrib` as read ([*start, *end)), or false.
bool ValueRange(const WCHAR *text, const Attrib *attrib, int32_t *start, int32_t *end) {
  if (!attrib || !attrib->value || attrib->valuePos < 0) return false;
  int32_t p = attrib->valuePos;
  while (text[p] == ' ' || text[p] == '\t' || text[p] == '\r' || text[p] == '\n') ++p;
  if (attrib->quote == kQuoteDouble || attrib->quote == kQuoteSingle) ++p;
  *start = p;
  *end = p + lstrlenW(attrib->value);
  return true;
}

// Where the label that decided the encoding stands in the text: the XML
// declaration's encoding value, or a meta element's charset (attribute or
// content's charset=), so that a save in another encoding can relabel it.
void FindLabel(ExactDocument *x, Document *document) {
  const WCHAR *text = document->source->text;
  Node *root = &document->root;
  Node *node = root->next;
  if (x->detection.source == SX_FROM_DECLARATION && node != root && node->kind == kKindPi)
    ValueRange(text, NodeFindAttrib(node, WTEXT("encoding")), &x->labelStart, &x->labelEnd);
  if (x->detection.source != SX_FROM_META) return;
  // Pre-order walk of the first part of the document, where the prescan looked.
  while (node && node != root && node->srcStart < 1024) {
    if (node->name && lstrcmpiW(node->name, WTEXT("meta")) == 0) {
      if (ValueRange(text, NodeFindAttrib(node, WTEXT("charset")), &x->labelStart, &x->labelEnd)) return;
      int32_t start, end;
      if (ValueRange(text, NodeFindAttrib(node, WTEXT("content")), &start, &end)) {
        for (int32_t p = start; p + 8 <= end; ++p) {
          if (CompareNoCaseW(text + p, WTEXT("charset="), 8) != 0) continue;
          int32_t q = p + 8;
          while (q < end && text[q] != ';' && text[q] != ' ' && text[q] != '"' && text[q] != '\'') ++q;
          x->labelStart = p + 8;
          x->labelEnd = q;
          return;
        }
      }
    }
    if (node->child && node->child->next != node->child) {
      node = node->child->next;
      continue;
    }
    while (node && NodeIsListHead(node->next)) node = NodeOwner(node->next);
    node = node ? node->next : nullptr;
  }
}

void ReleaseExact(void *layer) {
  ExactDocument *x = static_cast<ExactDocument *>(layer);
  free(x->bytes);
  delete x;
}

}  // namespace

ExactDocument *ExactOf(SG_CURSOR cursor) {
  Cursor *c = AsCursor(cursor);
  if (!c || !c->document || c->document->releaseLayer != ReleaseExact) return nullptr;
  return static_cast<ExactDocument *>(c->document->layer);
}

SG_CURSOR ExactOpen(char *bytes, size_t size, const char *label, const std::string &path, int *code) {
  ExactDocument *x = new (std::nothrow) ExactDocument;
  if (!x) {
    free(bytes);
    *code = SX_ERR_MEMORY;
    return nullptr;
  }
  x->bytes = bytes;
  x->size = size;
  Document *document = nullptr;
  try {
    x->path = path;
    if (!DetectEncoding(reinterpret_cast<unsigned char *>(bytes), size, label, &x->detection)) {
      ReleaseExact(x);
      *code = SX_ERR_ENCODING;
      return nullptr;
    }
    std::vector<WCHAR> text;
    const uint32_t cp = x->detection.codePage;
    if (cp == kCodePageUtf16Le || cp == kCodePageUtf16Be) {
      DecodeUtf16(x, &text);
    } else if (IsAsciiCompatible(cp)) {
      DecodeMapped(x, &text);
    } else {
      DecodeWhole(x, &text);
    }
    document = DocumentCreate(0);
    SourceText *source = document ? CreateSourceText() : nullptr;
    if (!source || !LoadTextW(source, text.empty() ? WTEXT("") : text.data(),
                              static_cast<int32_t>(text.size()))) {
      DestroySourceText(source);
      throw std::bad_alloc();
    }
    std::vector<WCHAR>().swap(text);
    document->source = source;
    ReaderOptions options{true, OnEndTag, x};
    source->options = &options;
    int parsed = ParseDocument(document, source);
    source->options = nullptr;
    if (!parsed) throw std::bad_alloc();
    document->writeOnClose = 0;
    document->encoding = cp;
    BuildSpans(x, document);
    FindLabel(x, document);
  } catch (...) {
    if (document) DocumentRelease(document);
    ReleaseExact(x);
    *code = SX_ERR_MEMORY;
    return nullptr;
  }
  document->layer = x;
  document->releaseLayer = ReleaseExact;
  Cursor *cursor = CursorCreate(document);
  if (!cursor) {
    DocumentRelease(document);
    *code = SX_ERR_MEMORY;
    return nullptr;
  }
  return AsHandle(cursor);
}

int64_t ExactByteOf(const ExactDocument *x, int32_t unit) {
  if (!x->mapped) return -1;
  const uint32_t bom = x->detection.bomBytes;
  const uint32_t cp = x->detection.codePage;
  if (cp == kCodePageUtf16Le || cp == kCodePageUtf16Be) return bom + 2 * static_cast<int64_t>(unit);
  auto it = std::upper_bound(x->map.begin(), x->map.end(), unit,
                             [](int32_t u, const MapPoint &p) { return u < p.unit; });
  if (it == x->map.begin()) return bom + static_cast<int64_t>(unit);
  --it;
  if (it->opens && unit != it->unit) return -1;
  return static_cast<int64_t>(it->byte) + (unit - it->unit);
}

const SourceSpan *ExactSpanOf(const ExactDocument *x, const Node *node) {
  if (!(node->marks & kMarkSource) || NodeIsListHead(node)) return nullptr;
  auto it = std::lower_bound(x->spans.begin(), x->spans.end(), node->id,
                             [](const SourceSpan &s, uint32_t id) { return s.id < id; });
  return it != x->spans.end() && it->id == node->id ? &*it : nullptr;
}

void ExactLineColumn(ExactDocument *x, const WCHAR *text, int32_t unit, uint32_t *line,
                     uint32_t *column) {
  if (x->lineStarts.empty()) {
    x->lineStarts.push_back(0);
    for (int32_t i = 0; text[i]; ++i)
      if (text[i] == '\n' || (text[i] == '\r' && text[i + 1] != '\n')) x->lineStarts.push_back(i + 1);
  }
  auto it = std::upper_bound(x->lineStarts.begin(), x->lineStarts.end(), unit) - 1;
  uint32_t col = 1;
  for (int32_t i = *it; i < unit; ++i)
    if (!(text[i] >= 0xDC00 && text[i] <= 0xDFFF && i > *it && text[i - 1] >= 0xD800 && text[i - 1] <= 0xDBFF))
      ++col;
  if (line) *line = static_cast<uint32_t>(it - x->lineStarts.begin()) + 1;
  if (column) *column = col;
}
