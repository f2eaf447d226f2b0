// Exported selector functions and the character-reference decoder of the
// editing layer: each checks its handles (null or closed gives the failure
// result) and calls the select subsystem or the text layer.
#include <stdio.h>

#include "model/document.h"
#include "select/selector.h"
#include "sprig_exact.h"
#include "text/entities.h"
#include "text/text.h"

SG_API int32_t SG_CALL sxDecodeText(const SG_WCHAR *text, int32_t length, SG_WCHAR *out,
                                    int32_t capacity) {
  if (!text) length = 0;
  const WCHAR *in = reinterpret_cast<const WCHAR *>(text);
  if (length < 0) length = TextLengthW(in);
  if (!out || capacity < 0) capacity = 0;
  WCHAR *target = reinterpret_cast<WCHAR *>(out);
  const int32_t units = DecodeReferences(in, length, false, target, capacity);
  if (units < capacity) {
    target[units] = 0;
  } else if (capacity > 0) {
    target[0] = 0;  // too small: an empty text rather than a cut one
  }
  return units;
}

SG_API SX_SELECTOR SG_CALL sxCompileSelector(const char *selector, SX_ERROR *error) {
  if (!selector) {
    if (error) {
      *error = SX_ERROR();
      error->code = SX_ERR_ARGUMENT;
      snprintf(error->message, sizeof error->message, "no selector given");
    }
    return nullptr;
  }
  return SelectorCompile(selector, error);
}

SG_API void SG_CALL sxFreeSelector(SX_SELECTOR selector) { SelectorFree(selector); }

SG_API int32_t SG_CALL sxSelect(SG_CURSOR scope, SX_SELECTOR selector, SG_CURSOR result,
                                uint32_t mode) {
  if (!scope || !selector || !result) return 0;
  return CursorSelect(AsCursor(scope), selector, AsCursor(result), mode);
}

SG_API uint32_t SG_CALL sxSelectCount(SG_CURSOR scope, SX_SELECTOR selector, uint32_t mode) {
  if (!scope || !selector) return 0;
  return CursorSelectCount(AsCursor(scope), selector, mode);
}
