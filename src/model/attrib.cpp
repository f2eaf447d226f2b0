// Attrib records and attribute rings. A record owns its four texts (name,
// value and their narrow caches); a ring head owns nothing. Each owner of a
// ring keeps a count equal to the number of records in it.
#include "model/attrib.h"

#include "model/ring.h"
#include "text/text.h"

void AttribInitHead(Attrib *head) {
  head->name = nullptr;
  head->quote = kQuoteNone;
  head->value = nullptr;
  RingInit(head);
  head->nameNarrow = nullptr;
  head->valueNarrow = nullptr;
  head->namePos = -1;
  head->valuePos = -1;
}

Attrib *AttribCreate(void) {
  // AttribInitHead writes every field, so the block need not be zero-filled.
  Attrib *attrib = static_cast<Attrib *>(AllocBlockRaw(sizeof(Attrib)));
  if (attrib) AttribInitHead(attrib);
  return attrib;
}

void AttribDestroy(Attrib *attrib) {
  if (!attrib) return;
  FreeBlock(attrib->name);
  FreeBlock(attrib->value);
  FreeBlock(attrib->nameNarrow);
  FreeBlock(attrib->valueNarrow);
  RingUnlink(attrib);
  FreeBlock(attrib);
}

void AttribLinkLast(Attrib *head, Attrib *attrib) { RingLinkBefore(head, attrib); }

void AttribDestroyAll(Attrib *head, uint32_t *count) {
  while (head->next != head) AttribDestroy(head->next);
  if (count) *count = 0;
}

// Replaces a text field by `owned` (may be null) and drops its narrow cache.
static void ReplaceField(WCHAR **field, char **cache, WCHAR *owned) {
  FreeBlock(*field);
  *field = owned;
  FreeBlock(*cache);
  *cache = nullptr;
}

int AttribSetName(Attrib *attrib, const WCHAR *name, int32_t length) {
  WCHAR *copy = nullptr;
  if (name && !(copy = CopyFieldW(name, length))) return 0;
  ReplaceField(&attrib->name, &attrib->nameNarrow, copy);
  return 1;
}

int AttribSetNameA(Attrib *attrib, const char *name) {
  WCHAR *wide = nullptr;
  if (name && !(wide = ToWide(name, -1, CP_ACP))) return 0;
  ReplaceField(&attrib->name, &attrib->nameNarrow, wide);
  return 1;
}

int AttribSetValue(Attrib *attrib, uint32_t quote, const WCHAR *value,
                   int32_t length, const int32_t *valuePos) {
  WCHAR *copy = nullptr;
  if (value && !(copy = CopyFieldW(value, length))) return 0;
  ReplaceField(&attrib->value, &attrib->valueNarrow, copy);
  attrib->quote = quote;
  if (valuePos) attrib->valuePos = *valuePos;
  return 1;
}

int AttribSetValueA(Attrib *attrib, const char *value) {
  WCHAR *wide = nullptr;
  if (value && !(wide = ToWide(value, -1, CP_ACP))) return 0;
  ReplaceField(&attrib->value, &attrib->valueNarrow, wide);
  attrib->quote = kQuoteDouble;
  return 1;
}

const char *AttribNameNarrow(Attrib *attrib) {
  if (!attrib->nameNarrow && attrib->name)
    attrib->nameNarrow = ToNarrow(attrib->name, CP_ACP, nullptr);
  return attrib->nameNarrow;
}

const char *AttribValueNarrow(Attrib *attrib) {
  if (!attrib->valueNarrow && attrib->value)
    attrib->valueNarrow = ToNarrow(attrib->value, CP_ACP, nullptr);
  return attrib->valueNarrow;
}

Attrib *AttribAppend(Attrib *head, uint32_t *count, const WCHAR *name,
                     int32_t length, const int32_t *namePos) {
  Attrib *attrib = AttribCreate();
  if (!attrib) return nullptr;
  AttribSetName(attrib, name, length);  // a failed copy leaves it nameless
  AttribLinkLast(head, attrib);
  ++*count;
  if (namePos) attrib->namePos = *namePos;
  return attrib;
}

Attrib *AttribAppendA(Attrib *head, uint32_t *count, const char *name) {
  Attrib *attrib = AttribCreate();
  if (!attrib) return nullptr;
  AttribSetNameA(attrib, name);
  AttribLinkLast(head, attrib);
  ++*count;
  return attrib;
}

Attrib *AttribFind(Attrib *head, const WCHAR *name) {
  if (!name) return nullptr;
  for (Attrib *a = head->next; a != head; a = a->next)
    if (a->name && lstrcmpiW(a->name, name) == 0) return a;
  return nullptr;
}

Attrib *AttribFindA(Attrib *head, const char *name) {
  if (!name) return nullptr;
  return AttribFind(head, ToWideRing(name));
}

void AttribRemove(uint32_t *count, Attrib *attrib) {
  AttribDestroy(attrib);
  --*count;
}

uint32_t AttribCopyList(Attrib *target, const Attrib *source) {
  uint32_t copied = 0;
  for (const Attrib *a = source->next; a != source; a = a->next) {
    Attrib *copy = AttribCreate();
    if (!copy) break;
    AttribSetName(copy, a->name, -1);
    if (a->value) {
      // A value that cannot be copied leaves the record valueless (quote 0).
      AttribSetValue(copy, a->quote, a->value, -1, nullptr);
    } else {
      copy->quote = a->quote;
    }
    AttribLinkLast(target, copy);
    ++copied;
  }
  return copied;
}
