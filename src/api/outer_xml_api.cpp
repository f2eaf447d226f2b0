// Exported rendering functions: the outer XML of a cursor's selection, in
// UTF-16 or in a code page, as a block the caller frees.
#include "model/document.h"
#include "output/outer_xml.h"
#include "sprig.h"

SG_API SG_WCHAR *SG_CALL sgGetOuterXMLW(SG_CURSOR cursor) {
  Cursor *c = AsCursor(cursor);
  if (!c) return nullptr;
  return reinterpret_cast<SG_WCHAR *>(RenderOuterXMLW(c));
}

SG_API char *SG_CALL sgGetOuterXMLA(SG_CURSOR cursor, uint32_t codePage) {
  Cursor *c = AsCursor(cursor);
  if (!c) return nullptr;
  return RenderOuterXMLA(c, codePage);
}
