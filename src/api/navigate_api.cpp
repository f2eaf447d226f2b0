// Exported navigation and position queries: each checks its cursor handle
// (null gives the failure result: 0, or 0xFFFFFFFF for the queries, 1 for
// sgIsEmptyList) and calls the navigation subsystem.
#include "model/document.h"
#include "navigate/navigate.h"
#include "sprig.h"

SG_API int32_t SG_CALL sgMoveTo(SG_CURSOR cursor, uint32_t code) {
  return cursor ? CursorMoveTo(AsCursor(cursor), code) : 0;
}

SG_API int32_t SG_CALL sgSeek(SG_CURSOR cursor, uint32_t id) {
  return cursor ? CursorSeek(AsCursor(cursor), id) : 0;
}

SG_API uint32_t SG_CALL sgGetLevel(SG_CURSOR cursor) {
  return cursor ? CursorGetLevel(AsCursor(cursor)) : kNone;
}

SG_API uint32_t SG_CALL sgSetLevel(SG_CURSOR cursor, int32_t level) {
  return cursor ? CursorSetLevel(AsCursor(cursor), level) : kNone;
}

SG_API uint32_t SG_CALL sgGetIndex(SG_CURSOR cursor) {
  return cursor ? CursorGetIndex(AsCursor(cursor)) : kNone;
}

SG_API uint32_t SG_CALL sgSetIndex(SG_CURSOR cursor, uint32_t index) {
  return cursor ? CursorSetIndex(AsCursor(cursor), index) : kNone;
}

SG_API uint32_t SG_CALL sgGetChildCount(SG_CURSOR cursor) {
  return cursor ? CursorGetChildCount(AsCursor(cursor)) : 0;
}

SG_API uint32_t SG_CALL sgGetTagCount(SG_CURSOR cursor) {
  return cursor ? CursorGetTagCount(AsCursor(cursor)) : kNone;
}

SG_API uint32_t SG_CALL sgTagIndex(SG_CURSOR cursor) {
  return cursor ? CursorTagIndex(AsCursor(cursor)) : kNone;
}

SG_API int32_t SG_CALL sgIsEmptyList(SG_CURSOR cursor) {
  return cursor ? CursorIsEmptyList(AsCursor(cursor)) : 1;
}

SG_API uint32_t SG_CALL sgGetTagPos(SG_CURSOR cursor, uint32_t selector) {
  return cursor ? CursorGetTagPos(AsCursor(cursor), selector) : kNone;
}

SG_API int32_t SG_CALL sgSetBase(SG_CURSOR cursor, int32_t flag) {
  return cursor ? CursorSetBase(AsCursor(cursor), flag) : 0;
}

SG_API int32_t SG_CALL sgScanTree(SG_CURSOR cursor, SG_SCAN_PROC proc, intptr_t user) {
  return cursor ? CursorScanTree(AsCursor(cursor), proc, user) : 0;
}
