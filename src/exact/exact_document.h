// The editing layer's record of a document: the original bytes, how they
// were decoded, where each UTF-16 position of the text came from, and the
// original extent of every node read. Hangs off Document::layer for the
// document's lifetime.
#ifndef SPRIG_EXACT_EXACT_DOCUMENT_H
#define SPRIG_EXACT_EXACT_DOCUMENT_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "exact/detect.h"
#include "model/document.h"

// The original extent of one node read from the source (positions in the
// UTF-16 text): tag [srcStart, srcTagEnd), inner [srcTagEnd, innerEnd),
// children, end tag [endTagStart, srcEnd) when it had one, after text
// [srcEnd, afterEnd); the whole subtree ends at subtreeEnd.
struct SourceSpan {
  uint32_t id;         // NodeId
  uint8_t kind;        // kind as read
  uint8_t hasAfter;    // the node was ended (end tag or non-element): it has an after text
  uint16_t spare;
  uint32_t attribCount;
  int32_t innerEnd;
  int32_t endTagStart; // -1: no end tag
  int32_t afterEnd;
  int32_t subtreeEnd;
};

// A point where the decoder was run afresh: unit position and byte offset.
// `opens` marks the start of a run of non-ASCII bytes, inside which units
// have no exact byte offset.
struct MapPoint {
  int32_t unit;
  uint32_t byte : 31;
  uint32_t opens : 1;
};

struct ExactDocument {
  char *bytes = nullptr;  // the file as read (malloc)
  size_t size = 0;
  std::string path;       // UTF-8, empty for sxParse
  Detection detection{};
  bool mapped = false;    // every boundary of the text has a byte offset
  std::vector<MapPoint> map;
  std::vector<SourceSpan> spans;  // sorted by id
  int32_t leadEnd = 0;    // text before the first node (blanks)
  int32_t tailStart = 0;  // text after the last node (after a zero unit)
  uint32_t invalidCount = 0;
  int32_t firstInvalid = -1;
  int32_t labelStart = -1, labelEnd = -1;  // the declared label in the text
  std::vector<int32_t> lineStarts;         // made on first use
  int32_t columnUnit = -1;                 // the last place ExactLineColumn measured,
  uint32_t columnValue = 0;                // and its column: a later place on its line
                                           // counts on from there
  char numberName[16] = "";                // "cpNNN" for a code page without a name
  std::vector<std::pair<uint32_t, int32_t>> endTags;  // (element id, '<' of its end tag)
};

// The layer record of a cursor's document, or null.
ExactDocument *ExactOf(SG_CURSOR cursor);

// Reads `bytes` (taken over: freed with the document, or here on failure)
// as a document. Returns its first cursor, or null with *code (SX_ERR_*) set.
SG_CURSOR ExactOpen(char *bytes, size_t size, const char *label, const std::string &path,
                    int *code);

// Byte offset of text position `unit`, or -1 when it has none (inside a
// multi-byte run, or a document without a map).
int64_t ExactByteOf(const ExactDocument *x, int32_t unit);

// The range [*start, *end) of the value of `attrib` in the text read from
// (`text`): where a value as read stands. False without a value as read.
bool ExactValueRange(const WCHAR *text, const Attrib *attrib, int32_t *start, int32_t *end);

// The span of a node read from the source, or null.
const SourceSpan *ExactSpanOf(const ExactDocument *x, const Node *node);

// 1-based line and column (in characters) of text position `unit`.
void ExactLineColumn(ExactDocument *x, const WCHAR *text, int32_t unit, uint32_t *line,
                     uint32_t *column);

#endif
