// Exported entry points of the insertion family: new elements at the end of
// the cursor's list, before or after the current node, as the last child of
// the current element, and along a path of names. Each checks its handle
// (null cursor: 0) and calls src/edit/insert.
#include "edit/insert.h"
#include "model/document.h"
#include "model/node.h"
#include "sprig.h"

SG_API int32_t SG_CALL sgAddNodeW(SG_CURSOR cursor, const SG_WCHAR *name, uint32_t childList) {
  Cursor *c = AsCursor(cursor);
  return c ? EditInsertElementW(c, kInsertAtEnd, name, childList, kKindPlain) : 0;
}

SG_API int32_t SG_CALL sgAddNodeA(SG_CURSOR cursor, const char *name, uint32_t childList) {
  Cursor *c = AsCursor(cursor);
  return c ? EditInsertElementA(c, kInsertAtEnd, name, childList, kKindPlain) : 0;
}

SG_API int32_t SG_CALL sgAddNode2W(SG_CURSOR cursor, const SG_WCHAR *name, uint32_t childList, uint32_t kind) {
  Cursor *c = AsCursor(cursor);
  return c ? EditInsertElementW(c, kInsertAtEnd, name, childList, kind) : 0;
}

SG_API int32_t SG_CALL sgAddNode2A(SG_CURSOR cursor, const char *name, uint32_t childList, uint32_t kind) {
  Cursor *c = AsCursor(cursor);
  return c ? EditInsertElementA(c, kInsertAtEnd, name, childList, kind) : 0;
}

SG_API int32_t SG_CALL sgInsertNodeBeforeW(SG_CURSOR cursor, const SG_WCHAR *name, uint32_t childList) {
  Cursor *c = AsCursor(cursor);
  return c ? EditInsertElementW(c, kInsertBeforeCurrent, name, childList, kKindPlain) : 0;
}

SG_API int32_t SG_CALL sgInsertNodeBeforeA(SG_CURSOR cursor, const char *name, uint32_t childList) {
  Cursor *c = AsCursor(cursor);
  return c ? EditInsertElementA(c, kInsertBeforeCurrent, name, childList, kKindPlain) : 0;
}

SG_API int32_t SG_CALL sgInsertNodeAfterW(SG_CURSOR cursor, const SG_WCHAR *name, uint32_t childList) {
  Cursor *c = AsCursor(cursor);
  return c ? EditInsertElementW(c, kInsertAfterCurrent, name, childList, kKindPlain) : 0;
}

SG_API int32_t SG_CALL sgInsertNodeAfterA(SG_CURSOR cursor, const char *name, uint32_t childList) {
  Cursor *c = AsCursor(cursor);
  return c ? EditInsertElementA(c, kInsertAfterCurrent, name, childList, kKindPlain) : 0;
}

SG_API int32_t SG_CALL sgAddChildNodeW(SG_CURSOR cursor, const SG_WCHAR *name, uint32_t childList) {
  Cursor *c = AsCursor(cursor);
  return c ? EditInsertElementW(c, kInsertAsLastChild, name, childList, kKindPlain) : 0;
}

SG_API int32_t SG_CALL sgAddChildNodeA(SG_CURSOR cursor, const char *name, uint32_t childList) {
  Cursor *c = AsCursor(cursor);
  return c ? EditInsertElementA(c, kInsertAsLastChild, name, childList, kKindPlain) : 0;
}

SG_API int32_t SG_CALL sgAddNodePathW(SG_CURSOR cursor, const SG_WCHAR *path, uint32_t enter) {
  Cursor *c = AsCursor(cursor);
  return c ? EditAddNodePathW(c, path, enter) : 0;
}

SG_API int32_t SG_CALL sgAddNodePathA(SG_CURSOR cursor, const char *path, uint32_t enter) {
  Cursor *c = AsCursor(cursor);
  return c ? EditAddNodePathA(c, path, enter) : 0;
}
