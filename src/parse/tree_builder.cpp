// BuildNode, ParseDocument and the four load-and-parse sequences.
//
// BuildNode is a loop, not a recursion: the open elements are exactly the
// chain of owners above the level being read (an element's child-list head
// points back at it, the element's parent link is its own level's head), so
// the builder climbs those links where a recursive reader would return.
// A run of '<' that start no tag is kept as text by setting the text once,
// when the run ends, so that long runs stay linear.
#include "parse/tree_builder.h"

#include "parse/lexer.h"
#include "sprig.h"
#include "text/encodings.h"
#include "text/escape.h"
#include "text/text.h"

namespace {

// What reading one tag at a level gave.
enum LevelOutcome {
  kLevelRestart = SG_BUILD_RESTART,
  kLevelEnd = SG_BUILD_END,
  kLevelEndTag = SG_BUILD_OK,       // an end tag closed the open element
  kLevelSibling = SG_BUILD_SIBLING, // the tag read closes the open element
  kLevelAppended = 3,               // the tag read was appended to the level
};

// lstrcmpiW(name, what) == 0 for an ASCII `what` starting with a letter. An
// ASCII first unit other than that letter in either case cannot compare equal,
// so most names never reach the full comparison; a non-ASCII one may fold
// to an ASCII letter (U+017F to 's') and always does.
bool NameIs(const WCHAR *name, const WCHAR *what) {
  if (!name) return false;
  unsigned first = name[0];
  if (first < 0x80 && (first | 0x20u) != (what[0] | 0x20u)) return false;
  return lstrcmpiW(name, what) == 0;
}

// True when a tag named `name` read inside the open element `openName` closes
// that element instead of nesting in it: li, dd, dt and tr close an open
// element of their own name, and dt and dd close each other.
bool ClosesOpenElement(const WCHAR *openName, const WCHAR *name) {
  if (!openName || !name) return false;
  // Only these four open elements can be closed by a tag.
  if (!NameIs(openName, WTEXT("li")) && !NameIs(openName, WTEXT("dd")) &&
      !NameIs(openName, WTEXT("dt")) && !NameIs(openName, WTEXT("tr"))) {
    return false;
  }
  if (lstrcmpiW(name, openName) == 0) return true;
  return (NameIs(openName, WTEXT("dt")) && NameIs(name, WTEXT("dd"))) ||
         (NameIs(openName, WTEXT("dd")) && NameIs(name, WTEXT("dt")));
}

// The meta content-type rule: while the code page is still 0, a meta tag
// with http-equiv="content-type" whose content names an encoding of the
// table other than the ANSI code page's (text/encodings.h) switches the code page and decodes the raw bytes again. True
// when it did (the parse must start over).
bool ApplyMetaRule(SourceText *source, Node *tag, bool *outOfMemory) {
  if (source->codePage != 0 || !NameIs(tag->name, WTEXT("meta"))) return false;
  Attrib *equiv = NodeFindAttrib(tag, WTEXT("http-equiv"));
  if (!equiv || !NameIs(equiv->value, WTEXT("content-type"))) return false;
  Attrib *content = NodeFindAttrib(tag, WTEXT("content"));
  if (!content || !content->value) return false;
  // The first name of the table found in the content decides; the ANSI code
  // page's name leaves the code page as it is.
  uint32_t code = SG_ENC_ANSI;
  for (const CoreEncoding &encoding : kCoreEncodings) {
    if (FindNoCaseW(content->value, CoreEncodingNameW(encoding))) {
      code = encoding.codePage;
      break;
    }
  }
  if (code == SG_ENC_ANSI) return false;
  if (!ChangeCodePage(source, code)) return false;  // no raw bytes: UTF-16 input
  if (!source->text) *outOfMemory = true;
  return true;
}

// Gives an element just appended its child list and its first text (raw up
// to "</script" for a script element). False when the list cannot be made.
bool OpenElement(SourceText *source, Node *element, bool *outOfMemory) {
  if (!NodeCreateChildList(element)) {
    *outOfMemory = true;
    return false;
  }
  const WCHAR *start = nullptr;
  int32_t length = NameIs(element->name, WTEXT("script")) ? ScanScript(source, &start)
                                                          : ScanText(source, &start);
  if (length > 0 && !NodeSetInner(element, start, length)) *outOfMemory = true;
  return true;
}

// Ends a node: its end position is here, and the text up to the next '<'
// becomes its after text.
void FinishNode(SourceText *source, Node *node, bool *outOfMemory) {
  node->srcEnd = source->pos;
  const WCHAR *start = nullptr;
  int32_t length = ScanText(source, &start);
  if (length > 0 && !NodeSetAfter(node, start, length)) *outOfMemory = true;
}

// Reads the next tag of the level headed by `head`, whose open element is
// `open` (null at the top level). Appended: *out is the tag, now the last
// node of the level. Sibling: *out is the unlinked tag that closes `open`.
//
// A '<' that starts no tag is text: the open element's inner text (nothing
// read yet at this level) or the last node's after text runs on through it
// up to the next '<', and so on while such '<' follow. The text is set once
// at the end of the run, from its start up to where the next tag begins.
// Whole-file reading at the top level: a stray end tag, a '<' that starts no
// tag and text before the first tag are kept as after text of the last
// top-level node (a nameless node made for it when the level is empty), and
// reading goes on. `code` is what ReadTag gave at `start`; returns the code of
// the first real tag (or of the end) behind the run, read from *start.
bool IsStrayAtTop(const SourceText *source, int code, int32_t start, bool outOfMemory) {
  if (code == SG_READ_NOT_A_TAG || code == SG_READ_END_TAG) return true;
  if (code != SG_READ_NOTHING || outOfMemory) return false;
  const WCHAR *p = source->text + start;  // text before any tag: not only blanks
  while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') ++p;
  return *p != 0;
}

int ReadStrayRunAtTop(Node *head, SourceText *source, int code, int32_t *start, Node **tag,
                      bool *outOfMemory) {
  Node *target = head->prev;
  if (target == head) {  // nothing read yet: a nameless node holds the run
    target = NodeCreate();
    if (!target) {
      *outOfMemory = true;
      return SG_READ_NOTHING;
    }
    target->srcStart = target->srcTagEnd = target->srcEnd = *start;
    NodeInsertBefore(head, target);
  }
  const int32_t from = target->srcEnd;
  do {
    if (code == SG_READ_NOTHING) source->pos = *start;  // plain text: rescan from its start
    const WCHAR *ignored = nullptr;
    ScanText(source, &ignored);
    *start = source->pos;
    code = ReadTag(source, tag, outOfMemory);
  } while (IsStrayAtTop(source, code, *start, *outOfMemory));
  if (*start > from && !NodeSetAfter(target, source->text + from, *start - from))
    *outOfMemory = true;
  return code;
}

int ReadLevelTag(Node *head, Node *open, SourceText *source, Node **out, bool *outOfMemory) {
  int32_t start = source->pos;
  Node *tag = nullptr;
  int code = ReadTag(source, &tag, outOfMemory);
  const ReaderOptions *options = source->options;
  if (!open && options && options->wholeFile && IsStrayAtTop(source, code, start, *outOfMemory))
    code = ReadStrayRunAtTop(head, source, code, &start, &tag, outOfMemory);
  if (code == SG_READ_NOT_A_TAG) {
    if (!open) return kLevelEnd;  // a stray '<' ends the top level
    bool inner = head->next == head;
    Node *target = inner ? open : head->prev;
    int32_t from = inner ? open->srcTagEnd : target->srcEnd;
    do {
      const WCHAR *ignored = nullptr;
      ScanText(source, &ignored);
      start = source->pos;
      code = ReadTag(source, &tag, outOfMemory);
    } while (code == SG_READ_NOT_A_TAG);
    // The run holds at least its first '<', so the text is never empty.
    const WCHAR *text = source->text + from;
    int ok = inner ? NodeSetInner(target, text, start - from)
                   : NodeSetAfter(target, text, start - from);
    if (!ok) *outOfMemory = true;
  }
  if (code == SG_READ_NOTHING) return kLevelEnd;
  if (code == SG_READ_END_TAG) {  // closes the open element, whatever its name
    if (open && options && options->endTagRead) options->endTagRead(options->context, open, start);
    return kLevelEndTag;
  }
  if (tag->kind != kKindComment) tag->tagNumber = static_cast<int32_t>(source->tagCounter++);
  if (ApplyMetaRule(source, tag, outOfMemory)) {
    NodeDestroy(tag);
    return kLevelRestart;
  }
  tag->srcStart = start;
  tag->srcTagEnd = source->pos;
  *out = tag;
  if (open && ClosesOpenElement(open->name, tag->name)) return kLevelSibling;
  NodeInsertBefore(head, tag);
  return kLevelAppended;
}

}  // namespace

int BuildNode(Node *base, SourceText *source, Node **pending, bool *outOfMemory) {
  Node *const baseOpen = *pending;
  Node *head = base;      // the level being read
  Node *open = baseOpen;  // its open element: baseOpen at the base, else head's owner
  Node *node = nullptr;   // the node in hand (kHandle) or the level's result (kReturn)
  int result = SG_BUILD_OK;
  enum { kEnter, kHandle, kReturn } state = kEnter;
  for (;;) {
    switch (state) {
      case kEnter: {  // read the next tag of `head`
        int outcome = ReadLevelTag(head, open, source, &node, outOfMemory);
        if (outcome == kLevelEnd || outcome == kLevelRestart) return outcome;
        if (outcome == kLevelAppended) {
          state = kHandle;
        } else {
          if (outcome == kLevelEndTag) node = nullptr;
          result = outcome;
          state = kReturn;
        }
        break;
      }
      case kHandle:  // `node` is the last of `head`'s ring: descend into it or end it
        if (node->kind == kKindElement) {
          if (!OpenElement(source, node, outOfMemory)) return SG_BUILD_END;
          open = node;
          head = node->child;
          state = kEnter;
        } else {
          FinishNode(source, node, outOfMemory);
          result = SG_BUILD_OK;
          state = kReturn;
        }
        break;
      case kReturn: {  // the level `head` is done with (result, node)
        if (head == base) {
          *pending = node;
          return result;
        }
        // Climb to the level of the open element.
        Node *element = open;
        head = element->parent;
        open = head == base ? baseOpen : NodeOwner(head);
        if (result == SG_BUILD_OK && node) {  // a child was read: read the next one
          open = element;
          head = element->child;
          state = kEnter;
        } else if (result == SG_BUILD_OK) {  // the element's end tag was read
          FinishNode(source, element, outOfMemory);
          node = element;
          state = kReturn;
        } else {  // closed by a sibling, which follows it and goes on in its place
          NodeInsertBefore(head, node);
          state = kHandle;
        }
        break;
      }
    }
  }
}

int ParseDocument(Document *document, SourceText *source) {
  bool outOfMemory = false;
  bool restart;
  do {
    restart = false;
    NodeDestroyRing(&document->root);
    // The tree's records and texts are carved from an arena sized by what
    // remains of the text. Each pass has its own, so a restart gives back
    // the chunks of the tree it destroyed.
    BlockArena arena;
    ArenaBegin(&arena, &source->pos, source->textLength);
    source->tagCounter = 0;
    document->encoding = source->codePage;
    for (;;) {
      Node *pending = nullptr;
      int result = BuildNode(&document->root, source, &pending, &outOfMemory);
      if (result == SG_BUILD_RESTART) {
        restart = true;
        break;
      }
      if (result == SG_BUILD_END || !pending) break;  // end of text, or a top-level end tag
      if (pending->kind != kKindPi || !NameIs(pending->name, WTEXT("xml"))) continue;
      // The XML declaration: marks the document as XML and, while the code
      // page is still 0, may name the encoding. UTF-8 is taken only when the
      // raw bytes are well-formed UTF-8.
      document->xmlFlag = 1;
      if (source->codePage != 0) continue;
      Attrib *encoding = NodeFindAttrib(pending, WTEXT("encoding"));
      if (!encoding) continue;
      for (const CoreEncoding &named : kCoreEncodings) {
        if (!NameIs(encoding->value, CoreEncodingNameW(named))) continue;
        restart = named.codePage != SG_ENC_ANSI &&
                  (!named.takenOnlyAsUtf8 ||
                   (source->rawBytes && IsWellFormedUtf8(source->rawBytes))) &&
                  ChangeCodePage(source, named.codePage) != 0;
        break;
      }
      if (restart) {
        if (!source->text) outOfMemory = true;
        break;
      }
    }
    ArenaEnd(&arena);
  } while (restart);
  // The code page is final once the tree is read: the raw bytes kept for a
  // switch go (rawSize keeps their count).
  FreeBlock(source->rawBytes);
  source->rawBytes = nullptr;
  return outOfMemory ? 0 : 1;
}

// ---- Load-and-parse sequences ---------------------------------------------

namespace {

// Makes `source` (loaded when `loaded` is 1) the document's source and
// parses it; a failed load destroys it instead.
int AdoptAndParse(Document *document, SourceText *source, int loaded) {
  if (!loaded) {
    DestroySourceText(source);
    return 0;
  }
  DestroySourceText(document->source);
  document->source = source;
  return ParseDocument(document, source);
}

}  // namespace

int ParseDocumentFromTextA(Document *document, const char *text, int32_t length) {
  SourceText *source = CreateSourceText();
  if (!source) return 0;
  return AdoptAndParse(document, source, LoadTextA(source, text, length));
}

int ParseDocumentFromTextW(Document *document, const WCHAR *text, int32_t length) {
  SourceText *source = CreateSourceText();
  if (!source) return 0;
  return AdoptAndParse(document, source, LoadTextW(source, text, length));
}

int ParseDocumentFromFileA(Document *document, const char *path) {
  SourceText *source = CreateSourceText();
  if (!source) return 0;
  return AdoptAndParse(document, source, LoadFileA(source, path));
}

int ParseDocumentFromFileW(Document *document, const WCHAR *path) {
  SourceText *source = CreateSourceText();
  if (!source) return 0;
  return AdoptAndParse(document, source, LoadFileW(source, path));
}
