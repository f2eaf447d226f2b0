// Internal to the platform layer outside Windows: the case folding behind
// lstrcmpiW. FoldCase maps a UTF-16 unit to its case-folded form (itself when
// it has none); surrogates and characters beyond the Basic Multilingual Plane
// are left as they are.
#ifndef SPRIG_PLATFORM_CASE_FOLD_H
#define SPRIG_PLATFORM_CASE_FOLD_H

#ifndef _WIN32

#include "platform/platform.h"

// Table lookup for units from 0x80 up (case_fold.cpp).
WCHAR FoldCaseSlow(WCHAR unit);

inline WCHAR FoldCase(WCHAR unit) {
  if (unit < 0x80) return (unit >= 'A' && unit <= 'Z') ? static_cast<WCHAR>(unit + 32) : unit;
  return FoldCaseSlow(unit);
}

#endif  // !_WIN32

#endif  // SPRIG_PLATFORM_CASE_FOLD_H
