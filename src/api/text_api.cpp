// Exported text-conversion functions: code-page conversion through the
// result rings, the text-conversion flag word, and entity escaping and
// unescaping. None takes a handle; null text is accepted everywhere. Every
// result belongs to the library (a ring or the constant empty string).
#include "sprig.h"

#include "text/escape.h"
#include "text/text.h"

// UTF-16 to CP_ACP in the narrow result ring; null only when memory runs out.
SG_API const char *SG_CALL sgToMBStr(const SG_WCHAR *text) {
  return ToNarrowRing(text, CP_ACP, nullptr);
}

// CP_ACP to UTF-16 in the wide result ring; null only when memory runs out.
SG_API const SG_WCHAR *SG_CALL sgToWCStr(const char *text) {
  return ToWideRing(text);
}

// The flag word.
SG_API uint32_t SG_CALL sgGetTextConvFlag(void) { return GetTextConvFlag(); }

// Bits in `mask` take `value`'s bits; returns the previous word.
SG_API uint32_t SG_CALL sgSetTextConvFlag(uint32_t value, uint32_t mask) {
  return SetTextConvFlag(value, mask);
}

// Unescaping: five references replaced, controls dropped (see the flag word).
SG_API const SG_WCHAR *SG_CALL sgToNormalStrTemp16W(const SG_WCHAR *text) {
  return ToNormalStrTemp16W(text);
}

SG_API const char *SG_CALL sgToNormalStrTemp16A(const char *text) {
  return ToNormalStrTemp16A(text);
}

// Escaping: space, '"', '&', '<' and '>' become references.
SG_API const SG_WCHAR *SG_CALL sgToQuoteStrTemp16W(const SG_WCHAR *text) {
  return ToQuoteStrTemp16W(text);
}

SG_API const char *SG_CALL sgToQuoteStrTemp16A(const char *text) {
  return ToQuoteStrTemp16A(text);
}
