// Exported entry points of the delete, move and copy family. Each checks its
// handles (a null cursor gives 0 or null) and calls src/edit/tree_edit.
#include "edit/tree_edit.h"
#include "model/document.h"
#include "sprig.h"

SG_API int32_t SG_CALL sgDeleteNode(SG_CURSOR cursor) {
  Cursor *c = AsCursor(cursor);
  return c ? EditDeleteNode(c) : 0;
}

SG_API int32_t SG_CALL sgMoveNode(SG_CURSOR cursor, uint32_t direction) {
  Cursor *c = AsCursor(cursor);
  return c ? EditMoveNode(c, direction) : 0;
}

SG_API int32_t SG_CALL sgInsertTree(SG_CURSOR cursor, SG_CURSOR source, uint32_t place) {
  Cursor *c = AsCursor(cursor);
  Cursor *s = AsCursor(source);
  return c && s ? EditInsertTree(c, s, place) : 0;
}

SG_API SG_CURSOR SG_CALL sgCopyTree(SG_CURSOR cursor) {
  Cursor *c = AsCursor(cursor);
  return c ? AsHandle(EditCopyTree(c)) : nullptr;
}
