// Attributes of a cursor's current element (see attrib_edit.h).
//
// Records are made, changed and destroyed only through the model's Attrib
// operations; this file decides which record, and keeps the rule that a set
// or delete either completes and raises the update flag or changes nothing.
#include "edit/attrib_edit.h"

#include "model/node.h"
#include "text/text.h"

namespace {

// The selected element, or null when the cursor has no base, no current node,
// no element selected, or no document to mark as updated.
Node *SelectedElement(Cursor *cursor) {
  if (!cursor || !cursor->document || !CursorHasSelection(cursor)) return nullptr;
  return cursor->current;
}

// Raises the update flag and marks the current element's start tag changed.
void MarkUpdated(Cursor *cursor) {
  cursor->document->updateFlag = 1;
  NodeMarkEdited(cursor->current, kMarkTag);
}

// Undoes the append of `attrib` after a later step ran out of memory.
void DropAppended(Node *element, Attrib *attrib) {
  AttribRemove(&element->attribCount, attrib);
}

template <typename Char>
bool IsEmptyName(const Char *name) {
  return !name || name[0] == 0;
}

template <typename Char>
uint32_t ParseDecimal(const Char *text, uint32_t fallback) {
  if (!text) return fallback;
  const Char *p = text;
  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = (*p == '-');
    ++p;
  }
  uint32_t value = 0;
  while (*p >= '0' && *p <= '9') {
    value = value * 10u + static_cast<uint32_t>(*p - '0');
    ++p;
  }
  if (p == text) return fallback;
  return negative ? 0u - value : value;
}

template <typename Char>
int HexDigit(Char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

template <typename Char>
uint32_t ParseHex(const Char *text, uint32_t fallback) {
  if (!text || HexDigit(text[0]) < 0) return fallback;
  uint32_t value = 0;
  for (const Char *p = text; HexDigit(*p) >= 0; ++p) {
    value = value * 16u + static_cast<uint32_t>(HexDigit(*p));
  }
  return value;
}

uint32_t PositionOf(const Attrib *attrib, uint32_t selector) {
  if (!attrib) return 0xFFFFFFFFu;
  if (selector == 0) return static_cast<uint32_t>(attrib->namePos);
  if (selector == 1) return static_cast<uint32_t>(attrib->valuePos);
  return 0xFFFFFFFFu;
}

// wvsprintf through a variadic front so fixed formats can reuse the va_list
// path.
int SetFormattedW(Cursor *cursor, const WCHAR *name, const WCHAR *format, ...) {
  va_list args;
  va_start(args, format);
  int result = EditSetAttribFormatW(cursor, name, format, args);
  va_end(args);
  return result;
}

int SetFormattedA(Cursor *cursor, const char *name, const char *format, ...) {
  va_list args;
  va_start(args, format);
  int result = EditSetAttribFormatA(cursor, name, format, args);
  va_end(args);
  return result;
}

}  // namespace

int EditSetAttribW(Cursor *cursor, const WCHAR *name, const WCHAR *value) {
  Node *element = SelectedElement(cursor);
  if (!element) return 0;
  Attrib *attrib = IsEmptyName(name) ? nullptr : NodeFindAttrib(element, name);
  if (attrib) {
    if (value && !AttribSetValue(attrib, kQuoteDouble, value, -1, nullptr)) return 0;
  } else {
    attrib = NodeAppendAttrib(element, name, -1, nullptr);
    if (!attrib) return 0;
    if ((name && !attrib->name) ||
        (value && !AttribSetValue(attrib, kQuoteDouble, value, -1, nullptr))) {
      DropAppended(element, attrib);
      return 0;
    }
  }
  MarkUpdated(cursor);
  return 1;
}

int EditSetAttribA(Cursor *cursor, const char *name, const char *value) {
  if (!SelectedElement(cursor)) return 0;
  // The key is converted once, through the wide result ring as every narrow
  // lookup by name is; a conversion that runs out of memory fails the call
  // instead of turning a find into an append.
  static const WCHAR kEmpty[] = {0};
  const WCHAR *wideName = nullptr;
  if (!IsEmptyName(name)) {
    wideName = ToWideRing(name);
    if (!wideName) return 0;
  } else if (name) {
    wideName = kEmpty;
  }
  WCHAR *wideValue = nullptr;
  if (value && !(wideValue = ToWide(value, -1, CP_ACP))) return 0;
  int result = EditSetAttribW(cursor, wideName, wideValue);
  FreeBlock(wideValue);
  return result;
}

int EditSetAttribFormatW(Cursor *cursor, const WCHAR *name, const WCHAR *format, va_list args) {
  if (!format || !SelectedElement(cursor)) return 0;
  WCHAR buffer[kAttribFormatUnits];
  buffer[0] = 0;
  wvsprintfW(buffer, format, args);
  buffer[kAttribFormatUnits - 1] = 0;
  return EditSetAttribW(cursor, name, buffer);
}

int EditSetAttribFormatA(Cursor *cursor, const char *name, const char *format, va_list args) {
  if (!format || !SelectedElement(cursor)) return 0;
  char buffer[kAttribFormatUnits];
  buffer[0] = 0;
  wvsprintfA(buffer, format, args);
  buffer[kAttribFormatUnits - 1] = 0;
  return EditSetAttribA(cursor, name, buffer);
}

int EditSetAttribIntW(Cursor *cursor, const WCHAR *name, uint32_t value) {
  static const WCHAR kFormat[] = {'%', 'd', 0};
  return SetFormattedW(cursor, name, kFormat, static_cast<int>(value));
}

int EditSetAttribIntA(Cursor *cursor, const char *name, uint32_t value) {
  return SetFormattedA(cursor, name, "%d", static_cast<int>(value));
}

int EditSetAttribDWordW(Cursor *cursor, const WCHAR *name, uint32_t value) {
  static const WCHAR kFormat[] = {'%', 'x', 0};
  return SetFormattedW(cursor, name, kFormat, value);
}

int EditSetAttribDWordA(Cursor *cursor, const char *name, uint32_t value) {
  return SetFormattedA(cursor, name, "%x", value);
}

Attrib *EditFindAttribW(Cursor *cursor, const WCHAR *name) {
  Node *element = SelectedElement(cursor);
  if (!element || !name) return nullptr;
  return NodeFindAttrib(element, name);
}

// Compares narrow caches, not the UTF-16 names: a name that does not survive
// the round trip through the code page is found by its narrow form.
static Attrib *FindNarrow(Node *node, const char *name) {
  Attrib *head = node->attribs;
  if (!head) return nullptr;
  Attrib *attrib = head->next;
  for (uint32_t i = 0; i < node->attribCount && attrib != head; ++i, attrib = attrib->next) {
    const char *narrow = AttribNameNarrow(attrib);
    if (narrow && lstrcmpiA(narrow, name) == 0) return attrib;
  }
  return nullptr;
}

Attrib *EditFindAttribA(Cursor *cursor, const char *name) {
  Node *element = SelectedElement(cursor);
  if (!element || !name) return nullptr;
  return FindNarrow(element, name);
}

const WCHAR *EditGetAttribW(Cursor *cursor, const WCHAR *name) {
  Attrib *attrib = EditFindAttribW(cursor, name);
  return attrib ? attrib->value : nullptr;
}

const char *EditGetAttribA(Cursor *cursor, const char *name) {
  Attrib *attrib = EditFindAttribA(cursor, name);
  return attrib ? AttribValueNarrow(attrib) : nullptr;
}

uint32_t ParseAttribIntW(const WCHAR *text, uint32_t fallback) { return ParseDecimal(text, fallback); }
uint32_t ParseAttribIntA(const char *text, uint32_t fallback) { return ParseDecimal(text, fallback); }
uint32_t ParseAttribDWordW(const WCHAR *text, uint32_t fallback) { return ParseHex(text, fallback); }
uint32_t ParseAttribDWordA(const char *text, uint32_t fallback) { return ParseHex(text, fallback); }

int EditDeleteAttribW(Cursor *cursor, const WCHAR *name) {
  Node *element = SelectedElement(cursor);
  if (!element || !name) return 0;
  Attrib *attrib = NodeFindAttrib(element, name);
  if (!attrib) return 0;
  AttribRemove(&element->attribCount, attrib);
  MarkUpdated(cursor);
  return 1;
}

int EditDeleteAttribA(Cursor *cursor, const char *name) {
  Node *element = SelectedElement(cursor);
  if (!element || !name) return 0;
  Attrib *attrib = element->attribs ? AttribFindA(element->attribs, name) : nullptr;
  if (!attrib) return 0;
  AttribRemove(&element->attribCount, attrib);
  MarkUpdated(cursor);
  return 1;
}

uint32_t EditAttribCount(Cursor *cursor) {
  Node *element = SelectedElement(cursor);
  return element ? element->attribCount : 0;
}

Attrib *EditAttribAt(Cursor *cursor, int32_t index) {
  Node *element = SelectedElement(cursor);
  if (!element || index < 0 || index >= static_cast<int64_t>(element->attribCount)) return nullptr;
  Attrib *head = element->attribs;  // present: the count is above 0
  Attrib *attrib = head->next;
  for (int32_t i = 0; i < index && attrib != head; ++i) attrib = attrib->next;
  return attrib == head ? nullptr : attrib;
}

uint32_t EditAttribPosW(Cursor *cursor, const WCHAR *name, uint32_t selector) {
  if (!cursor || !cursor->current || !name) return 0xFFFFFFFFu;
  return PositionOf(NodeFindAttrib(cursor->current, name), selector);
}

uint32_t EditAttribPosA(Cursor *cursor, const char *name, uint32_t selector) {
  if (!cursor || !cursor->current || !name) return 0xFFFFFFFFu;
  return PositionOf(FindNarrow(cursor->current, name), selector);
}
