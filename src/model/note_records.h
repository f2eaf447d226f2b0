// The note records: Note (owned by a cursor's note ring), NoteItem (a piece
// of text, owned by its note) and NoteRef (a counted reference from a note to
// an element of any document). They live in the model because the model
// embeds their ring heads (Cursor::notes, Node::refs) and must initialise and
// detach those heads; everything else about notes belongs to src/notes.
#ifndef SPRIG_MODEL_NOTE_RECORDS_H
#define SPRIG_MODEL_NOTE_RECORDS_H

#include <stdint.h>

#include "model/attrib.h"
#include "platform/platform.h"

struct Document;
struct Node;
struct Note;
struct NoteItem;

// One reference of a note to one element. Rings: `prev`/`next` link the
// records that refer to one element through the element's embedded head
// (Node::refs); a record whose element was destroyed is alone in its own ring
// with `element` null. `nextInNote` chains the records of one note, newest
// first, from Note::refChain. The head embedded in a Node uses only the links.
struct NoteRef {
  int32_t start;         // span start in the note's last built result, -1 none
  int32_t end;           // span end (exclusive), -1 none
  NoteRef *nextInNote;   // next older record of the same note
  NoteRef *prev;         // element's reference ring
  NoteRef *next;
  Document *document;    // holds one reference count of this document
  Node *element;         // null once the element has been destroyed
  NoteItem *owner;       // first piece that referred through this record
  Note *note;            // the note that owns the record
};

// One piece of a note. Ring through the note's embedded head (Note::items);
// items are appended at the end and destroyed only with their note. `text`
// and `textNarrow` are a dual-form text: the form set last is authoritative.
struct NoteItem {
  WCHAR *name;
  WCHAR *text;
  char *textNarrow;
  uint32_t lineFlag;     // 1: the piece ends a line
  int32_t start;         // position in the last built result, -1 never placed
  int32_t end;
  NoteRef *ref;          // the element this piece refers to, or null
  NoteItem *next;
  NoteItem *prev;
};

// A named note. Ring through the cursor's embedded head (Cursor::notes):
// head->next is the oldest note, head->prev the newest; a detached note
// points at itself. The head carries no name, pieces or attributes.
struct Note {
  WCHAR *name;
  WCHAR *resultW;        // last sgNoteGetStrW/ListW result, owned
  char *resultA;         // last sgNoteGetStrA/ListA result, owned
  NoteItem items;        // head of the piece ring
  NoteRef *refChain;     // newest reference record, or null
  uint32_t attribCount;  // records in the attribute ring
  Attrib attribs;        // head of the attribute ring
  Note *next;
  Note *prev;
};

// Makes `head` an empty note ring head (also used for a new note's fields).
void NoteInitEmpty(Note *note);
// Clears the element of every record in an element's reference ring and
// detaches each record (called when the element is destroyed). Null ignored.
void NoteRefsDetachAll(NoteRef *head);

#endif
