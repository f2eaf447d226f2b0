// The encodings the core reads by name: one table, in the order the reader
// looks for them. Each entry gives the code page (the SG_ENC_ value: 0 is the
// ANSI code page, Shift-JIS) and the one name that stands for it everywhere:
// the loader's sniffer finds it in raw bytes, the XML declaration rule
// compares an encoding value with it, the meta content-type rule finds it in
// a content value (all ignoring ASCII case), and a new document's
// declaration writes it. Adding an encoding here reaches all of them; its
// code page must also be one that the platform's conversions know (a test
// checks every entry both ways). The WHATWG label table of the editing layer
// is a separate, wider table (encoding_labels.h).
#ifndef SPRIG_TEXT_ENCODINGS_H
#define SPRIG_TEXT_ENCODINGS_H

#include <stddef.h>
#include <stdint.h>

#include "platform/platform.h"
#include "sprig.h"

struct CoreEncoding {
  uint32_t codePage;            // SG_ENC_ANSI, SG_ENC_UTF7, SG_ENC_UTF8, ...
  const char *name;             // ASCII; matched with ASCII case ignored
  const char16_t *nameUnits;    // the same name in UTF-16
  size_t length;                // characters of the name
  bool takenOnlyAsUtf8;         // the declaration rule takes it only for
                                // raw bytes that are well-formed UTF-8
};

#define SPRIG_CORE_ENCODING(codePage, name, utf8Only) \
  { codePage, name, u"" name, sizeof(name) - 1, utf8Only }
constexpr CoreEncoding kCoreEncodings[] = {
    SPRIG_CORE_ENCODING(SG_ENC_ANSI, "shift-jis", false),
    SPRIG_CORE_ENCODING(SG_ENC_UTF7, "UTF-7", false),
    SPRIG_CORE_ENCODING(SG_ENC_UTF8, "UTF-8", true),
};
#undef SPRIG_CORE_ENCODING
constexpr size_t kCoreEncodingCount = sizeof kCoreEncodings / sizeof kCoreEncodings[0];

// A name's UTF-16 form as the library's text type.
inline const WCHAR *CoreEncodingNameW(const CoreEncoding &encoding) {
  return reinterpret_cast<const WCHAR *>(encoding.nameUnits);
}

// The entry of `codePage`, or the first entry (the ANSI code page's) when
// the table has none: what a new document's declaration names.
inline const CoreEncoding &CoreEncodingOf(uint32_t codePage) {
  for (const CoreEncoding &encoding : kCoreEncodings)
    if (encoding.codePage == codePage) return encoding;
  return kCoreEncodings[0];
}

// The sniffer's pre-filters look for the first two letters of the names,
// ASCII case folded, before comparing whole names: the two distinct pairs
// below, derived from the table. A table whose names begin with a third
// pair fails to compile here until the pre-filters test three.
constexpr unsigned char FoldAscii(char c) { return static_cast<unsigned char>(c | 0x20); }
constexpr bool SamePair(const CoreEncoding &a, const CoreEncoding &b) {
  return FoldAscii(a.name[0]) == FoldAscii(b.name[0]) &&
         FoldAscii(a.name[1]) == FoldAscii(b.name[1]);
}
// Index of the first entry whose pair differs from entry 0's.
constexpr size_t SecondPairEntry() {
  for (size_t k = 1; k < kCoreEncodingCount; ++k)
    if (!SamePair(kCoreEncodings[k], kCoreEncodings[0])) return k;
  return 0;
}
constexpr bool EveryNameHasOneOfTwoPairs() {
  for (size_t k = 0; k < kCoreEncodingCount; ++k) {
    if (kCoreEncodings[k].length < 2) return false;
    if (!SamePair(kCoreEncodings[k], kCoreEncodings[0]) &&
        !SamePair(kCoreEncodings[k], kCoreEncodings[SecondPairEntry()]))
      return false;
  }
  return true;
}
static_assert(EveryNameHasOneOfTwoPairs(),
              "the sniffer's pre-filters test two letter pairs: widen them for a third");
constexpr unsigned char kNamePairA0 = FoldAscii(kCoreEncodings[0].name[0]);
constexpr unsigned char kNamePairA1 = FoldAscii(kCoreEncodings[0].name[1]);
constexpr unsigned char kNamePairB0 = FoldAscii(kCoreEncodings[SecondPairEntry()].name[0]);
constexpr unsigned char kNamePairB1 = FoldAscii(kCoreEncodings[SecondPairEntry()].name[1]);

#endif
