// Pieces and attributes of a note. A piece keeps its text in the form it was
// given (UTF-16 copy, or the caller's bytes unchanged) and makes the other
// form on first need. Every build places each piece that has text in the
// units of that build (UTF-16 units or bytes), then refreshes reference spans.
// Texts and sizes are bounded to signed 32-bit positions: a result that would
// not fit them fails like an allocation.
#include "notes/note_text.h"

#include <string.h>

#include "notes/note_list.h"
#include "model/ring.h"
#include "notes/note_refs.h"
#include "text/text.h"

namespace {

enum : size_t { kFormatUnits = 4096 };
// Largest result length whose positions and terminators still fit int32_t.
const int64_t kMaxResult = 0x7FFFFFF0;

NoteItem *ItemCreate(void) {
  NoteItem *item = static_cast<NoteItem *>(AllocBlock(sizeof(NoteItem)));
  if (!item) return nullptr;
  item->start = -1;
  item->end = -1;
  item->next = item;
  item->prev = item;
  return item;
}

void ItemFree(NoteItem *item) {
  FreeBlock(item->name);
  DualFree(&item->text, &item->textNarrow);
  FreeBlock(item);
}

void ItemLinkLast(Note *note, NoteItem *item) {
  RingLinkBefore(&note->items, item);
}

// The two build forms. Text() makes the form on demand (cached in the item);
// Slot() reads the cache only, so a conversion that failed while sizing the
// result also counts as absent while filling it.
struct WideForm {
  typedef WCHAR Unit;
  static const Unit *Text(NoteItem *item) { return DualGetWide(&item->text, &item->textNarrow); }
  static const Unit *Slot(const NoteItem *item) { return item->text; }
  static int64_t Length(const Unit *text) { return TextLengthW(text); }
  static const Unit kBreak[];
  static const int kBreakUnits = 1;
  static WCHAR *&Result(Note *note) { return note->resultW; }
};
const WCHAR WideForm::kBreak[] = {0x0A, 0};

struct NarrowForm {
  typedef char Unit;
  static const Unit *Text(NoteItem *item) { return DualGetNarrow(&item->text, &item->textNarrow); }
  static const Unit *Slot(const NoteItem *item) { return item->textNarrow; }
  static int64_t Length(const Unit *text) { return static_cast<int64_t>(strlen(text)); }
  static const Unit kBreak[];
  static const int kBreakUnits = 2;
  static char *&Result(Note *note) { return note->resultA; }
};
const char NarrowForm::kBreak[] = {0x0D, 0x0A, 0};

// Sum over the pieces with text of their length plus `perLine` for a line
// flag; -1 when the sum passes kMaxResult.
template <typename Form>
int64_t MeasurePieces(Note *note, int perLine) {
  int64_t total = 0;
  NoteItem *head = &note->items;
  for (NoteItem *item = head->next; item != head; item = item->next) {
    const typename Form::Unit *text = Form::Text(item);
    if (!text) continue;
    total += Form::Length(text) + (item->lineFlag ? perLine : 0);
    if (total > kMaxResult) return -1;
  }
  return total;
}

// Releases both previous results and installs a new zero-filled one of
// `units` units; null when memory runs out.
template <typename Form>
typename Form::Unit *NewResult(Note *note, int64_t total, int extra) {
  NoteClearResults(note);
  if (total < 0) return nullptr;
  typedef typename Form::Unit Unit;
  Unit *block = static_cast<Unit *>(AllocBlock(static_cast<size_t>(total + extra) * sizeof(Unit)));
  Form::Result(note) = block;
  return block;
}

template <typename Form>
const typename Form::Unit *Join(Note *note) {
  typedef typename Form::Unit Unit;
  int64_t total = MeasurePieces<Form>(note, Form::kBreakUnits);
  Unit *result = NewResult<Form>(note, total, 1);
  if (!result) return nullptr;
  int32_t offset = 0;
  NoteItem *head = &note->items;
  for (NoteItem *item = head->next; item != head; item = item->next) {
    const Unit *text = Form::Slot(item);
    if (!text) continue;
    int32_t length = static_cast<int32_t>(Form::Length(text));
    item->start = offset;
    memcpy(result + offset, text, static_cast<size_t>(length) * sizeof(Unit));
    offset += length;
    if (item->lineFlag) {
      memcpy(result + offset, Form::kBreak, Form::kBreakUnits * sizeof(Unit));
      offset += Form::kBreakUnits;
    }
    item->end = offset;
  }
  NoteUpdateSpans(note);
  return result;
}

// Invariant: `segment` is the offset where the current string began; it is
// empty while offset == segment. The block holds total + 2 units, and offset
// never passes total, so the closing zero at offset + 1 is inside it.
template <typename Form>
const typename Form::Unit *List(Note *note) {
  typedef typename Form::Unit Unit;
  int64_t total = MeasurePieces<Form>(note, 1);
  Unit *result = NewResult<Form>(note, total, 2);
  if (!result) return nullptr;
  int32_t offset = 0;
  int32_t segment = 0;
  NoteItem *head = &note->items;
  for (NoteItem *item = head->next; item != head; item = item->next) {
    const Unit *text = Form::Slot(item);
    if (!text) continue;
    int32_t length = static_cast<int32_t>(Form::Length(text));
    item->start = offset;
    memcpy(result + offset, text, static_cast<size_t>(length) * sizeof(Unit));
    offset += length;  // at the zero of this string (the block is zero-filled)
    if (item->lineFlag && offset != segment) {
      ++offset;
      segment = offset;
    }
    item->end = offset;
  }
  result[offset + 1] = 0;
  NoteUpdateSpans(note);
  return result;
}

// Appends a prepared item, or frees it and fails when a copy did not succeed.
int AppendOrDiscard(Note *note, NoteItem *item, bool copied, uint32_t lineFlag) {
  if (!copied) {
    ItemFree(item);
    return 0;
  }
  item->lineFlag = lineFlag ? 1 : 0;
  ItemLinkLast(note, item);
  return 1;
}

}  // namespace

int NoteAddPiece(Note *note, const WCHAR *name, const WCHAR *text, uint32_t lineFlag) {
  NoteItem *item = ItemCreate();
  if (!item) return 0;
  bool copied = true;
  if (name) {
    item->name = CopyTextW(name, -1);
    copied = item->name != nullptr;
  }
  if (copied) copied = DualSetWide(&item->text, &item->textNarrow, text) != 0;
  return AppendOrDiscard(note, item, copied, lineFlag);
}

int NoteAddPieceA(Note *note, const char *name, const char *text, uint32_t lineFlag) {
  NoteItem *item = ItemCreate();
  if (!item) return 0;
  bool copied = true;
  if (name) {
    item->name = ToWide(name, -1, CP_ACP);
    copied = item->name != nullptr;
  }
  if (copied) copied = DualSetNarrow(&item->text, &item->textNarrow, text) != 0;
  return AppendOrDiscard(note, item, copied, lineFlag);
}

int NotePrintF(Note *note, const WCHAR *name, const WCHAR *format, va_list args) {
  if (!format) return 0;
  WCHAR buffer[kFormatUnits];
  buffer[0] = 0;
  wvsprintfW(buffer, format, args);
  buffer[kFormatUnits - 1] = 0;
  return NoteAddPiece(note, name, buffer, 0);
}

int NotePrintFA(Note *note, const char *name, const char *format, va_list args) {
  if (!format) return 0;
  char buffer[kFormatUnits];
  buffer[0] = 0;
  wvsprintfA(buffer, format, args);
  buffer[kFormatUnits - 1] = 0;
  return NoteAddPieceA(note, name, buffer, 0);
}

const WCHAR *NoteJoin(Note *note) { return Join<WideForm>(note); }
const char *NoteJoinA(Note *note) { return Join<NarrowForm>(note); }
const WCHAR *NoteList(Note *note) { return List<WideForm>(note); }
const char *NoteListA(Note *note) { return List<NarrowForm>(note); }

uint32_t NotePiecePos(Note *note, const WCHAR *name) {
  if (!name) return 0xFFFFFFFFu;
  NoteItem *head = &note->items;
  for (NoteItem *item = head->next; item != head; item = item->next) {
    if (item->name && lstrcmpiW(item->name, name) == 0) {
      return static_cast<uint32_t>(item->start);
    }
  }
  return 0xFFFFFFFFu;
}

uint32_t NotePiecePosA(Note *note, const char *name) {
  if (!name) return 0xFFFFFFFFu;
  const WCHAR *wide = ToWideRing(name);
  return wide ? NotePiecePos(note, wide) : 0xFFFFFFFFu;
}

int NoteSetAttrib(Note *note, const WCHAR *name, const WCHAR *value) {
  if (!name) return 0;
  Attrib *attrib = AttribFind(&note->attribs, name);
  if (attrib) {
    if (!value) return 1;
    return AttribSetValue(attrib, kQuoteDouble, value, -1, nullptr);
  }
  attrib = AttribAppend(&note->attribs, &note->attribCount, name, -1, nullptr);
  if (!attrib) return 0;
  // A record whose name or value could not be copied is taken back, so that a
  // failed call leaves the ring as it was.
  if (!attrib->name || (value && !AttribSetValue(attrib, kQuoteDouble, value, -1, nullptr))) {
    AttribRemove(&note->attribCount, attrib);
    return 0;
  }
  return 1;
}

int NoteSetAttribA(Note *note, const char *name, const char *value) {
  if (!name) return 0;
  Attrib *attrib = AttribFindA(&note->attribs, name);
  if (attrib) {
    if (!value) return 1;
    return AttribSetValueA(attrib, value);
  }
  attrib = AttribAppendA(&note->attribs, &note->attribCount, name);
  if (!attrib) return 0;
  if (!attrib->name || (value && !AttribSetValueA(attrib, value))) {
    AttribRemove(&note->attribCount, attrib);
    return 0;
  }
  return 1;
}

int NoteDeleteAttrib(Note *note, const WCHAR *name) {
  if (!name) return 0;
  Attrib *attrib = AttribFind(&note->attribs, name);
  if (!attrib) return 0;
  AttribRemove(&note->attribCount, attrib);
  return 1;
}

int NoteDeleteAttribA(Note *note, const char *name) {
  if (!name) return 0;
  Attrib *attrib = AttribFindA(&note->attribs, name);
  if (!attrib) return 0;
  AttribRemove(&note->attribCount, attrib);
  return 1;
}

Attrib *NoteFindAttrib(Note *note, const WCHAR *name) {
  if (!name || note->attribCount < 1) return nullptr;
  return AttribFind(&note->attribs, name);
}

Attrib *NoteFindAttribA(Note *note, const char *name) {
  if (!name || note->attribCount < 1) return nullptr;
  Attrib *head = &note->attribs;
  for (Attrib *attrib = head->next; attrib != head; attrib = attrib->next) {
    const char *narrow = AttribNameNarrow(attrib);
    if (narrow && lstrcmpiA(narrow, name) == 0) return attrib;
  }
  return nullptr;
}
