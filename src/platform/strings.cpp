// The lstr* string helpers outside Windows. Lengths and copies work on
// zero-terminated texts; a null text has length 0, and a copy to or from null
// does nothing and returns null. The case-insensitive comparisons fold case
// as case_fold.h describes and compare the folded units in order, so the sign
// of their result follows code-unit order; only equality is meant to match
// Windows, whose ordering is linguistic. lstrcmpiA reads both texts in the
// ANSI code page (932).
#ifndef _WIN32

#include "platform/case_fold.h"

#include <stdlib.h>
#include <string.h>

int lstrlenA(LPCSTR text) { return text ? static_cast<int>(strlen(text)) : 0; }

int lstrlenW(LPCWSTR text) {
  if (!text) return 0;
  LPCWSTR end = text;
  while (*end) ++end;
  return static_cast<int>(end - text);
}

// Copies at most outUnits - 1 units and always terminates; outUnits 0 leaves
// the output untouched.
LPWSTR lstrcpynW(LPWSTR out, LPCWSTR text, int outUnits) {
  if (!out || !text) return nullptr;
  if (outUnits <= 0) return out;
  int i = 0;
  for (; i < outUnits - 1 && text[i]; ++i) out[i] = text[i];
  out[i] = 0;
  return out;
}

namespace {

int CompareFolded(LPCWSTR a, LPCWSTR b) {
  for (;; ++a, ++b) {
    WCHAR x = FoldCase(*a), y = FoldCase(*b);
    if (x != y) return x < y ? -1 : 1;
    if (!x) return 0;
  }
}

// A null text sorts before every other, as on Windows.
int CompareNulls(const void *a, const void *b) {
  if (!a) return b ? -1 : 0;
  return 1;
}

// The rest of a narrow text in UTF-16, in `buffer` when it fits, else in a
// heap block that the caller frees. Null when memory runs out.
WCHAR *WidenRest(LPCSTR text, WCHAR *buffer, int bufferUnits, WCHAR **heap) {
  *heap = nullptr;
  int units = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  WCHAR *out = buffer;
  if (units > bufferUnits) {
    out = *heap = static_cast<WCHAR *>(malloc(static_cast<size_t>(units) * sizeof(WCHAR)));
    if (!out) return nullptr;
  }
  MultiByteToWideChar(CP_ACP, 0, text, -1, out, units);
  return out;
}

}  // namespace

int lstrcmpiW(LPCWSTR a, LPCWSTR b) {
  if (!a || !b) return CompareNulls(a, b);
  return CompareFolded(a, b);
}

int lstrcmpiA(LPCSTR a, LPCSTR b) {
  if (!a || !b) return CompareNulls(a, b);
  // ASCII prefixes compare byte by byte; from the first other byte on (a
  // character boundary in both texts) the rests are compared in UTF-16.
  for (;; ++a, ++b) {
    unsigned char x = static_cast<unsigned char>(*a);
    unsigned char y = static_cast<unsigned char>(*b);
    if (x >= 0x80 || y >= 0x80) break;
    if (x >= 'A' && x <= 'Z') x += 32;
    if (y >= 'A' && y <= 'Z') y += 32;
    if (x != y) return x < y ? -1 : 1;
    if (!x) return 0;
  }
  enum { kBufferUnits = 256 };
  WCHAR bufferA[kBufferUnits], bufferB[kBufferUnits];
  WCHAR *heapA, *heapB;
  WCHAR *wideA = WidenRest(a, bufferA, kBufferUnits, &heapA);
  WCHAR *wideB = WidenRest(b, bufferB, kBufferUnits, &heapB);
  // Out of memory: fall back to comparing the bytes exactly.
  int result = (wideA && wideB) ? CompareFolded(wideA, wideB) : strcmp(a, b);
  free(heapA);
  free(heapB);
  return result;
}

#endif  // !_WIN32
