// The CPU-specific code of the library, in one place: the inline, count-
// trailing-zeros and prefetch helpers, and the scanners that read 8 UTF-16
// units or 16 bytes at a time. Each scanner has an SSE2 form and a portable
// form that gives the same results; defining SPRIG_NO_SIMD (or a target
// without SSE2) selects the portable forms everywhere.
#ifndef SPRIG_PLATFORM_SIMD_H
#define SPRIG_PLATFORM_SIMD_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "platform/platform.h"

#if defined(__SSE2__) && !defined(SPRIG_NO_SIMD)
#define SPRIG_SIMD_SSE2 1
#include <emmintrin.h>
#endif

// The namespace of every inline function whose body depends on the scanners'
// form. Its name carries the form, so objects of both forms can be linked into
// one program (the test suites run once against each) without the linker
// taking one form's out-of-line copy of an inline function for the other's.
#ifdef SPRIG_SIMD_SSE2
#define SPRIG_SCANNER_NAMESPACE scanners_sse2
#else
#define SPRIG_SCANNER_NAMESPACE scanners_portable
#endif

// Forces inlining where a call per token would cost as much as its work.
#if defined(__GNUC__)
#define SPRIG_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define SPRIG_ALWAYS_INLINE inline
#endif

// Branch hints for the rare and the usual case of a hot loop.
#if defined(__GNUC__)
#define SPRIG_LIKELY(condition) __builtin_expect(!!(condition), 1)
#define SPRIG_UNLIKELY(condition) __builtin_expect(!!(condition), 0)
#else
#define SPRIG_LIKELY(condition) (condition)
#define SPRIG_UNLIKELY(condition) (condition)
#endif

// Index of the lowest set bit of a non-zero mask.
inline unsigned LowestBit(unsigned mask) {
#if defined(__GNUC__)
  return static_cast<unsigned>(__builtin_ctz(mask));
#else
  unsigned n = 0;
  while (!(mask & 1u)) mask >>= 1, ++n;
  return n;
#endif
}

// Asks the cache for the memory at `address`; never faults, whatever the
// address.
inline void PrefetchAt(uintptr_t address) {
#if defined(__GNUC__)
  __builtin_prefetch(reinterpret_cast<const void *>(address));
#else
  (void)address;
#endif
}

// Units read by one load of the UTF-16 scanners: a text they scan must have
// at least kScanUnits - 1 readable units behind its terminator.
const size_t kScanUnits = 8;

inline namespace SPRIG_SCANNER_NAMESPACE {

// Position of the first unit at or after `pos` that is `a`, `b` or zero.
SPRIG_ALWAYS_INLINE int32_t ScanToEither(const WCHAR *text, int32_t pos, WCHAR a, WCHAR b) {
#ifdef SPRIG_SIMD_SSE2
  // Eight units a load; the padding behind the terminator keeps each load
  // inside the block, and each stops at the first zero it meets.
  const __m128i va = _mm_set1_epi16(static_cast<short>(a));
  const __m128i vb = _mm_set1_epi16(static_cast<short>(b));
  for (;;) {
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text + pos));
    const __m128i stop = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi16(units, va), _mm_cmpeq_epi16(units, vb)),
        _mm_cmpeq_epi16(units, _mm_setzero_si128()));
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(stop)) & 0x5555u;
    if (mask) return pos + static_cast<int32_t>(LowestBit(mask) >> 1);
    pos += static_cast<int32_t>(kScanUnits);
  }
#else
  while (text[pos] != a && text[pos] != b && text[pos] != 0) ++pos;
  return pos;
#endif
}

// Position of the first unit at or below U+0020 (the terminator included) or
// '>' at or after `pos`.
SPRIG_ALWAYS_INLINE int32_t ScanToBlankOrClose(const WCHAR *text, int32_t pos) {
#ifdef SPRIG_SIMD_SSE2
  const __m128i gt = _mm_set1_epi16('>');
  const __m128i space = _mm_set1_epi16(0x20);
  for (;;) {
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text + pos));
    // Saturating subtraction leaves zero exactly for units at or below U+0020.
    const __m128i low = _mm_cmpeq_epi16(_mm_subs_epu16(units, space), _mm_setzero_si128());
    const unsigned mask = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_or_si128(low, _mm_cmpeq_epi16(units, gt))));
    if (mask) return pos + static_cast<int32_t>(LowestBit(mask) >> 1);
    pos += static_cast<int32_t>(kScanUnits);
  }
#else
  while (text[pos] > 0x20 && text[pos] != '>') ++pos;
  return pos;
#endif
}

// Bit i set where bytes i and i + 1 of the 17 at `at`, each with bit 5 set
// (ASCII letters folded to lower case), are `a0` `a1` or `b0` `b1`.
inline unsigned BytePairMask16(const unsigned char *at, unsigned char a0, unsigned char a1,
                               unsigned char b0, unsigned char b1) {
#ifdef SPRIG_SIMD_SSE2
  const __m128i fold = _mm_set1_epi8(0x20);
  const __m128i first = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i *>(at)), fold);
  const __m128i second =
      _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i *>(at + 1)), fold);
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(
      _mm_and_si128(_mm_cmpeq_epi8(first, _mm_set1_epi8(static_cast<char>(a0))),
                    _mm_cmpeq_epi8(second, _mm_set1_epi8(static_cast<char>(a1)))),
      _mm_and_si128(_mm_cmpeq_epi8(first, _mm_set1_epi8(static_cast<char>(b0))),
                    _mm_cmpeq_epi8(second, _mm_set1_epi8(static_cast<char>(b1)))))));
#else
  unsigned mask = 0;
  for (unsigned i = 0; i < 16; ++i) {
    const unsigned x = at[i] | 0x20u, y = at[i + 1] | 0x20u;
    if ((x == a0 && y == a1) || (x == b0 && y == b1)) mask |= 1u << i;
  }
  return mask;
#endif
}

// When all 16 bytes at `text` are ASCII: stores them widened to units at
// `out` (unless `out` is null) and returns true; else stores nothing and
// returns false.
inline bool WidenAscii16(const unsigned char *text, WCHAR *out) {
#ifdef SPRIG_SIMD_SSE2
  const __m128i group = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text));
  if (_mm_movemask_epi8(group) != 0) return false;
  if (out) {
    const __m128i zero = _mm_setzero_si128();
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm_unpacklo_epi8(group, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 8), _mm_unpackhi_epi8(group, zero));
  }
  return true;
#else
  uint64_t group[2];
  memcpy(group, text, 16);
  if ((group[0] | group[1]) & 0x8080808080808080ull) return false;
  if (out) {
    for (int k = 0; k < 16; ++k) out[k] = text[k];
  }
  return true;
#endif
}

// For a decoder writing into room for 16 units at `out`: widens the ASCII at
// the front of the 16 bytes at `text` to units at `out` and returns how many
// bytes that is (0 to 16). Units behind those may be written too; the caller
// overwrites them.
inline unsigned WidenAsciiPrefix16(const unsigned char *text, WCHAR *out) {
#ifdef SPRIG_SIMD_SSE2
  const __m128i group = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text));
  const __m128i zero = _mm_setzero_si128();
  _mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm_unpacklo_epi8(group, zero));
  _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 8), _mm_unpackhi_epi8(group, zero));
  const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(group));
  return high ? LowestBit(high) : 16;
#else
  unsigned i = 0;
  while (i < 16 && text[i] < 0x80) {
    out[i] = text[i];
    ++i;
  }
  return i;
#endif
}

// When all 16 units at `text` are below 0x80: stores them as bytes at `out`
// (unless `out` is null) and returns true; else stores nothing and returns
// false.
inline bool NarrowAscii16(const WCHAR *text, char *out) {
#ifdef SPRIG_SIMD_SSE2
  const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text));
  const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text + 8));
  const __m128i wide = _mm_and_si128(_mm_or_si128(low, high), _mm_set1_epi16(-0x80));
  if (_mm_movemask_epi8(_mm_cmpeq_epi16(wide, _mm_setzero_si128())) != 0xFFFF) return false;
  if (out) _mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm_packus_epi16(low, high));
  return true;
#else
  uint64_t group[4];
  memcpy(group, text, 32);
  if ((group[0] | group[1] | group[2] | group[3]) & 0xFF80FF80FF80FF80ull) return false;
  if (out) {
    for (int k = 0; k < 16; ++k) out[k] = static_cast<char>(text[k]);
  }
  return true;
#endif
}

}  // namespace SPRIG_SCANNER_NAMESPACE

#endif
