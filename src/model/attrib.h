// The Attrib record and attribute-ring operations, shared by elements and
// notes. An attribute ring is headed by an embedded Attrib that carries no
// name or value; a detached record points at itself. The owner of a ring
// keeps its count (Node::attribCount, Note::attribCount); the operations
// here that take a count pointer keep it equal to the ring's length.
#ifndef SPRIG_MODEL_ATTRIB_H
#define SPRIG_MODEL_ATTRIB_H

#include <stdint.h>

#include "platform/platform.h"

// Quoting styles: the token that delivered the value.
enum : uint32_t {
  kQuoteNone = 0,     // no value
  kQuoteDouble = 34,
  kQuoteSingle = 39,
  kQuoteBare = 83,    // written without quotes
};

struct Attrib {
  WCHAR *name;        // may be absent, or present and empty
  uint32_t quote;
  WCHAR *value;       // may be absent
  Attrib *next;       // ring link
  Attrib *prev;
  char *nameNarrow;   // narrow caches (CP_ACP), made on request
  char *valueNarrow;
  int32_t namePos;    // source positions, -1 when not parsed
  int32_t valuePos;
};

// Makes `head` an empty ring head (all fields initial, links to itself).
void AttribInitHead(Attrib *head);
// A new detached record with initial values, or null.
Attrib *AttribCreate(void);
// Frees the record's texts, unlinks it from its ring and frees it.
void AttribDestroy(Attrib *attrib);
// Links a detached record as the last of the ring of `head`.
void AttribLinkLast(Attrib *head, Attrib *attrib);
// Destroys every record of the ring of `head` and sets *count to 0.
void AttribDestroyAll(Attrib *head, uint32_t *count);

// Field setters (UTF-16: negative length means whole text, else that many
// units, none of them zero; null: absent).
// 1, or 0 when memory runs out (the record is then unchanged). Each frees the
// field's narrow cache.
int AttribSetName(Attrib *attrib, const WCHAR *name, int32_t length);
int AttribSetNameA(Attrib *attrib, const char *name);
// Stores `quote`; stores *valuePos when valuePos is not null.
int AttribSetValue(Attrib *attrib, uint32_t quote, const WCHAR *value,
                   int32_t length, const int32_t *valuePos);
// Converts the whole CP_ACP text; quoting style becomes 34.
int AttribSetValueA(Attrib *attrib, const char *value);
// Narrow caches, made on first request; null when the text is absent.
const char *AttribNameNarrow(Attrib *attrib);
const char *AttribValueNarrow(Attrib *attrib);

// Appends a record named `name` (length as for AttribSetName) to the ring of
// `head`, raising *count. namePos may be null. Returns it, or null when the
// record cannot be allocated (a failed name copy leaves it nameless).
Attrib *AttribAppend(Attrib *head, uint32_t *count, const WCHAR *name,
                     int32_t length, const int32_t *namePos);
Attrib *AttribAppendA(Attrib *head, uint32_t *count, const char *name);
// First record whose name equals `name` case-insensitively (lstrcmpiW);
// nameless records never match. Null if none.
Attrib *AttribFind(Attrib *head, const WCHAR *name);
// The same after converting `name` through the wide result ring.
Attrib *AttribFindA(Attrib *head, const char *name);
// Destroys `attrib` and lowers *count.
void AttribRemove(uint32_t *count, Attrib *attrib);
// Appends copies of every record of `source` to `target` (positions -1).
// Stops silently when memory runs out; returns the number copied.
uint32_t AttribCopyList(Attrib *target, const Attrib *source);

#endif
