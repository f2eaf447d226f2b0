// Exported entry points of the attribute family: set, format, read, parse,
// test, delete, enumerate and locate the attributes of the cursor's current
// element. Each checks its handle (a null cursor gives the failure result or
// the caller's default) and calls src/edit/attrib_edit.
#include <stdarg.h>

#include "edit/attrib_edit.h"
#include "model/attrib.h"
#include "model/document.h"
#include "sprig.h"

SG_API int32_t SG_CALL sgSetAttribW(SG_CURSOR cursor, const SG_WCHAR *name, const SG_WCHAR *value) {
  Cursor *c = AsCursor(cursor);
  return c ? EditSetAttribW(c, name, value) : 0;
}

SG_API int32_t SG_CALL sgSetAttribA(SG_CURSOR cursor, const char *name, const char *value) {
  Cursor *c = AsCursor(cursor);
  return c ? EditSetAttribA(c, name, value) : 0;
}

SG_API int32_t SG_CALL sgSetAttribStringW(SG_CURSOR cursor, const SG_WCHAR *name, const SG_WCHAR *value) {
  Cursor *c = AsCursor(cursor);
  return c ? EditSetAttribW(c, name, value) : 0;
}

SG_API int32_t SG_CALL sgSetAttribStringA(SG_CURSOR cursor, const char *name, const char *value) {
  Cursor *c = AsCursor(cursor);
  return c ? EditSetAttribA(c, name, value) : 0;
}

SG_API int32_t SG_CALL sgSetAttribIntW(SG_CURSOR cursor, const SG_WCHAR *name, uint32_t value) {
  Cursor *c = AsCursor(cursor);
  return c ? EditSetAttribIntW(c, name, value) : 0;
}

SG_API int32_t SG_CALL sgSetAttribIntA(SG_CURSOR cursor, const char *name, uint32_t value) {
  Cursor *c = AsCursor(cursor);
  return c ? EditSetAttribIntA(c, name, value) : 0;
}

SG_API int32_t SG_CALL sgSetAttribDWordW(SG_CURSOR cursor, const SG_WCHAR *name, uint32_t value) {
  Cursor *c = AsCursor(cursor);
  return c ? EditSetAttribDWordW(c, name, value) : 0;
}

SG_API int32_t SG_CALL sgSetAttribDWordA(SG_CURSOR cursor, const char *name, uint32_t value) {
  Cursor *c = AsCursor(cursor);
  return c ? EditSetAttribDWordA(c, name, value) : 0;
}

SG_API int32_t SG_CALL sgAttribPrintFW(SG_CURSOR cursor, const SG_WCHAR *name, const SG_WCHAR *format, ...) {
  Cursor *c = AsCursor(cursor);
  if (!c) return 0;
  va_list args;
  va_start(args, format);
  int result = EditSetAttribFormatW(c, name, format, args);
  va_end(args);
  return result;
}

SG_API int32_t SG_CALL sgAttribPrintFA(SG_CURSOR cursor, const char *name, const char *format, ...) {
  Cursor *c = AsCursor(cursor);
  if (!c) return 0;
  va_list args;
  va_start(args, format);
  int result = EditSetAttribFormatA(c, name, format, args);
  va_end(args);
  return result;
}

SG_API const SG_WCHAR *SG_CALL sgGetAttribW(SG_CURSOR cursor, const SG_WCHAR *name) {
  Cursor *c = AsCursor(cursor);
  return c ? EditGetAttribW(c, name) : nullptr;
}

SG_API const char *SG_CALL sgGetAttribA(SG_CURSOR cursor, const char *name) {
  Cursor *c = AsCursor(cursor);
  return c ? EditGetAttribA(c, name) : nullptr;
}

SG_API const SG_WCHAR *SG_CALL sgGetAttribStringW(SG_CURSOR cursor, const SG_WCHAR *name,
                                                  const SG_WCHAR *defaultValue) {
  Cursor *c = AsCursor(cursor);
  const WCHAR *value = c ? EditGetAttribW(c, name) : nullptr;
  return value ? value : defaultValue;
}

SG_API const char *SG_CALL sgGetAttribStringA(SG_CURSOR cursor, const char *name, const char *defaultValue) {
  Cursor *c = AsCursor(cursor);
  const char *value = c ? EditGetAttribA(c, name) : nullptr;
  return value ? value : defaultValue;
}

SG_API uint32_t SG_CALL sgGetAttribIntW(SG_CURSOR cursor, const SG_WCHAR *name, uint32_t defaultValue) {
  Cursor *c = AsCursor(cursor);
  return c ? ParseAttribIntW(EditGetAttribW(c, name), defaultValue) : defaultValue;
}

SG_API uint32_t SG_CALL sgGetAttribIntA(SG_CURSOR cursor, const char *name, uint32_t defaultValue) {
  Cursor *c = AsCursor(cursor);
  return c ? ParseAttribIntA(EditGetAttribA(c, name), defaultValue) : defaultValue;
}

SG_API uint32_t SG_CALL sgGetAttribDWordW(SG_CURSOR cursor, const SG_WCHAR *name, uint32_t defaultValue) {
  Cursor *c = AsCursor(cursor);
  return c ? ParseAttribDWordW(EditGetAttribW(c, name), defaultValue) : defaultValue;
}

SG_API uint32_t SG_CALL sgGetAttribDWordA(SG_CURSOR cursor, const char *name, uint32_t defaultValue) {
  Cursor *c = AsCursor(cursor);
  return c ? ParseAttribDWordA(EditGetAttribA(c, name), defaultValue) : defaultValue;
}

SG_API int32_t SG_CALL sgDoesAttribExistW(SG_CURSOR cursor, const SG_WCHAR *name) {
  Cursor *c = AsCursor(cursor);
  return c && EditFindAttribW(c, name) ? 1 : 0;
}

SG_API int32_t SG_CALL sgDoesAttribExistA(SG_CURSOR cursor, const char *name) {
  Cursor *c = AsCursor(cursor);
  return c && EditFindAttribA(c, name) ? 1 : 0;
}

SG_API int32_t SG_CALL sgDeleteAttribW(SG_CURSOR cursor, const SG_WCHAR *name) {
  Cursor *c = AsCursor(cursor);
  return c ? EditDeleteAttribW(c, name) : 0;
}

SG_API int32_t SG_CALL sgDeleteAttribA(SG_CURSOR cursor, const char *name) {
  Cursor *c = AsCursor(cursor);
  return c ? EditDeleteAttribA(c, name) : 0;
}

SG_API uint32_t SG_CALL sgGetAttribCount(SG_CURSOR cursor) {
  Cursor *c = AsCursor(cursor);
  return c ? EditAttribCount(c) : 0;
}

SG_API const SG_WCHAR *SG_CALL sgGetAttribNameW(SG_CURSOR cursor, int32_t index) {
  Cursor *c = AsCursor(cursor);
  Attrib *attrib = c ? EditAttribAt(c, index) : nullptr;
  return attrib ? attrib->name : nullptr;
}

SG_API const char *SG_CALL sgGetAttribNameA(SG_CURSOR cursor, int32_t index) {
  Cursor *c = AsCursor(cursor);
  Attrib *attrib = c ? EditAttribAt(c, index) : nullptr;
  return attrib ? AttribNameNarrow(attrib) : nullptr;
}

SG_API const SG_WCHAR *SG_CALL sgGetAttribValueW(SG_CURSOR cursor, int32_t index) {
  Cursor *c = AsCursor(cursor);
  Attrib *attrib = c ? EditAttribAt(c, index) : nullptr;
  return attrib ? attrib->value : nullptr;
}

SG_API const char *SG_CALL sgGetAttribValueA(SG_CURSOR cursor, int32_t index) {
  Cursor *c = AsCursor(cursor);
  Attrib *attrib = c ? EditAttribAt(c, index) : nullptr;
  return attrib ? AttribValueNarrow(attrib) : nullptr;
}

SG_API uint32_t SG_CALL sgGetAttribPosW(SG_CURSOR cursor, const SG_WCHAR *name, uint32_t selector) {
  Cursor *c = AsCursor(cursor);
  return c ? EditAttribPosW(c, name, selector) : 0xFFFFFFFFu;
}

SG_API uint32_t SG_CALL sgGetAttribPosA(SG_CURSOR cursor, const char *name, uint32_t selector) {
  Cursor *c = AsCursor(cursor);
  return c ? EditAttribPosA(c, name, selector) : 0xFFFFFFFFu;
}
