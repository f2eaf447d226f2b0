// The last release of a document, carried out above the model: the model
// decides that the count has run out and whether a write-back is due; the
// writer writes the document to its own file before it is destroyed.
#ifndef SPRIG_OUTPUT_RELEASE_H
#define SPRIG_OUTPUT_RELEASE_H

struct Document;

// Lowers the document's count; at 0 or below writes it back when due
// (DocumentWriteBackDue) and destroys it with its source and tree. Null
// ignored.
void DocumentRelease(Document *document);
// Writes the document to its own file in its own encoding (flags and name
// checked by callers). 1 written, 0 not.
int DocumentWriteBack(Document *document);

#endif
