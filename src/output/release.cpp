// The last release of a document (see release.h).
#include "output/release.h"

#include "model/document.h"
#include "output/writer.h"

int DocumentWriteBack(Document *document) {
  return SaveDocumentToFileW(document, document->fileName, document->encoding);
}

void DocumentRelease(Document *document) {
  if (!document || !DocumentDropReference(document)) return;
  if (DocumentWriteBackDue(document)) DocumentWriteBack(document);
  DocumentDestroy(document);
}
