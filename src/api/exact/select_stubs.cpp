// PLACEHOLDER until the selector branch is merged (the merge deletes this
// file): the selector entry points of include/sprig_exact.h, each failing,
// so that the editing layer's library links and exports every sx name.
#include "sprig_exact.h"

extern "C" {

SG_API int32_t SG_CALL sxDecodeText(const SG_WCHAR *, int32_t, SG_WCHAR *, int32_t) { return 0; }

SG_API SX_SELECTOR SG_CALL sxCompileSelector(const char *, SX_ERROR *error) {
  if (error) *error = SX_ERROR{SX_ERR_SELECTOR, 0, 0, 1, "selectors are not built yet"};
  return nullptr;
}

SG_API void SG_CALL sxFreeSelector(SX_SELECTOR) {}

SG_API int32_t SG_CALL sxSelect(SG_CURSOR, SX_SELECTOR, SG_CURSOR, uint32_t) { return 0; }

SG_API uint32_t SG_CALL sxSelectCount(SG_CURSOR, SX_SELECTOR, uint32_t) { return 0; }

}  // extern "C"
