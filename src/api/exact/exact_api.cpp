// Entry points of the editing layer (include/sprig_exact.h): opening with
// encoding detection, the encoding queries, format-preserving save and render.
// First cut: every function fails cleanly until the layer is built.
#include "sprig_exact.h"

extern "C" {

static void notYet(SX_ERROR *error) {
  if (error) *error = SX_ERROR{SX_ERR_ARGUMENT, 0, 0, 0, "not implemented yet"};
}

SG_API SG_CURSOR SG_CALL sxOpen(const char *, const char *, SX_ERROR *error) { notYet(error); return nullptr; }
SG_API SG_CURSOR SG_CALL sxParse(const void *, size_t, const char *, SX_ERROR *error) { notYet(error); return nullptr; }
SG_API uint32_t SG_CALL sxGetCodePage(SG_CURSOR) { return 0xFFFFFFFFu; }
SG_API const char *SG_CALL sxGetEncodingName(SG_CURSOR) { return nullptr; }
SG_API uint32_t SG_CALL sxGetEncodingSource(SG_CURSOR) { return 0; }
SG_API uint32_t SG_CALL sxGetInvalidCount(SG_CURSOR, uint32_t *, uint32_t *) { return 0; }
SG_API int32_t SG_CALL sxGetLineColumn(SG_CURSOR, uint32_t *, uint32_t *) { return 0; }
SG_API int32_t SG_CALL sxSave(SG_CURSOR, const char *, const char *, uint32_t, SX_ERROR *error) { notYet(error); return 0; }
SG_API int32_t SG_CALL sxRender(SG_CURSOR, const char *, uint32_t, void **, size_t *, SX_ERROR *error) { notYet(error); return 0; }
SG_API void SG_CALL sxFree(void *) {}
SG_API uint32_t SG_CALL sxCodePageOfLabel(const char *) { return 0xFFFFFFFFu; }

}  // extern "C"
