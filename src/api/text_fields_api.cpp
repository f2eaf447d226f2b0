// Exported element name and text-field functions: each checks its cursor
// handle (null gives the failure result) and calls the model's text-field
// functions. Returned text belongs to the node or, for the assembled inner
// text, to the cursor.
#include "model/document.h"
#include "model/text_fields.h"
#include "sprig.h"

SG_API const SG_WCHAR *SG_CALL sgGetNameW(SG_CURSOR cursor) {
  return cursor ? CursorGetField(AsCursor(cursor), kFieldName) : nullptr;
}

SG_API const char *SG_CALL sgGetNameA(SG_CURSOR cursor) {
  return cursor ? CursorGetFieldA(AsCursor(cursor), kFieldName) : nullptr;
}

SG_API const SG_WCHAR *SG_CALL sgGetInnerStrW(SG_CURSOR cursor) {
  return cursor ? CursorGetField(AsCursor(cursor), kFieldInner) : nullptr;
}

SG_API const char *SG_CALL sgGetInnerStrA(SG_CURSOR cursor) {
  return cursor ? CursorGetFieldA(AsCursor(cursor), kFieldInner) : nullptr;
}

SG_API int32_t SG_CALL sgSetInnerStrW(SG_CURSOR cursor, const SG_WCHAR *text, int32_t length) {
  return cursor ? CursorSetField(AsCursor(cursor), kFieldInner, text, length) : 0;
}

SG_API int32_t SG_CALL sgSetInnerStrA(SG_CURSOR cursor, const char *text, int32_t length) {
  return cursor ? CursorSetFieldA(AsCursor(cursor), kFieldInner, text, length) : 0;
}

SG_API const SG_WCHAR *SG_CALL sgGetAfterStrW(SG_CURSOR cursor) {
  return cursor ? CursorGetField(AsCursor(cursor), kFieldAfter) : nullptr;
}

SG_API const char *SG_CALL sgGetAfterStrA(SG_CURSOR cursor) {
  return cursor ? CursorGetFieldA(AsCursor(cursor), kFieldAfter) : nullptr;
}

SG_API int32_t SG_CALL sgSetAfterStrW(SG_CURSOR cursor, const SG_WCHAR *text, int32_t length) {
  return cursor ? CursorSetField(AsCursor(cursor), kFieldAfter, text, length) : 0;
}

SG_API int32_t SG_CALL sgSetAfterStrA(SG_CURSOR cursor, const char *text, int32_t length) {
  return cursor ? CursorSetFieldA(AsCursor(cursor), kFieldAfter, text, length) : 0;
}

SG_API const SG_WCHAR *SG_CALL sgGetInnerTextW(SG_CURSOR cursor) {
  return cursor ? CursorGetInnerText(AsCursor(cursor)) : nullptr;
}

SG_API const char *SG_CALL sgGetInnerTextA(SG_CURSOR cursor) {
  return cursor ? CursorGetInnerTextA(AsCursor(cursor)) : nullptr;
}
