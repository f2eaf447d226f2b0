// Exported search functions: each checks its cursor handle (null gives 0)
// and calls the search subsystem; the A forms convert the name or path
// through a temporary block that the search frees.
#include "model/document.h"
#include "navigate/search.h"
#include "sprig.h"

SG_API int32_t SG_CALL sgSearchW(SG_CURSOR cursor, const SG_WCHAR *name, uint32_t mode) {
  return cursor ? CursorSearch(AsCursor(cursor), name, mode, 0) : 0;
}

SG_API int32_t SG_CALL sgSearchA(SG_CURSOR cursor, const char *name, uint32_t mode) {
  return cursor ? CursorSearchA(AsCursor(cursor), name, mode, 0) : 0;
}

SG_API int32_t SG_CALL sgSearchIndexW(SG_CURSOR cursor, const SG_WCHAR *name, uint32_t mode,
                                     int32_t index) {
  return cursor ? CursorSearch(AsCursor(cursor), name, mode, index) : 0;
}

SG_API int32_t SG_CALL sgSearchIndexA(SG_CURSOR cursor, const char *name, uint32_t mode,
                                     int32_t index) {
  return cursor ? CursorSearchA(AsCursor(cursor), name, mode, index) : 0;
}
