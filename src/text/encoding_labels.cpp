// The label table of encoding_labels.h, grouped by code page.
#include "text/encoding_labels.h"

#include <string.h>

namespace {

struct LabelGroup {
  uint32_t codePage;
  const char *name;    // canonical
  const char *labels;  // every label, space-separated, lower case
};

const LabelGroup kGroups[] = {
    {65001, "utf-8", "utf-8 unicode-1-1-utf-8 unicode11utf8 unicode20utf8 utf8 x-unicode20utf8"},
    {1200, "utf-16le", "utf-16le csunicode iso-10646-ucs-2 ucs-2 unicode unicodefeff utf-16"},
    {1201, "utf-16be", "utf-16be unicodefffe"},
    {866, "ibm866", "ibm866 866 cp866 csibm866"},
    {28592, "iso-8859-2", "iso-8859-2 csisolatin2 iso-ir-101 iso8859-2 iso88592 iso_8859-2 iso_8859-2:1987 l2 latin2"},
    {28593, "iso-8859-3", "iso-8859-3 csisolatin3 iso-ir-109 iso8859-3 iso88593 iso_8859-3 iso_8859-3:1988 l3 latin3"},
    {28594, "iso-8859-4", "iso-8859-4 csisolatin4 iso-ir-110 iso8859-4 iso88594 iso_8859-4 iso_8859-4:1988 l4 latin4"},
    {28595, "iso-8859-5", "iso-8859-5 csisolatincyrillic cyrillic iso-ir-144 iso8859-5 iso88595 iso_8859-5 iso_8859-5:1988"},
    {28596, "iso-8859-6", "iso-8859-6 arabic asmo-708 csiso88596e csiso88596i csisolatinarabic ecma-114 iso-8859-6-e "
            "iso-8859-6-i iso-ir-127 iso8859-6 iso88596 iso_8859-6 iso_8859-6:1987"},
    {28597, "iso-8859-7", "iso-8859-7 csisolatingreek ecma-118 elot_928 greek greek8 iso-ir-126 iso8859-7 iso88597 "
            "iso_8859-7 iso_8859-7:1987 sun_eu_greek"},
    {28598, "iso-8859-8", "iso-8859-8 csiso88598e csisolatinhebrew hebrew iso-8859-8-e iso-ir-138 iso8859-8 iso88598 "
            "iso_8859-8 iso_8859-8:1988 visual"},
    {38598, "iso-8859-8-i", "iso-8859-8-i csiso88598i logical"},
    {28603, "iso-8859-13", "iso-8859-13 iso8859-13 iso885913"},
    {28605, "iso-8859-15", "iso-8859-15 csisolatin9 iso8859-15 iso885915 iso_8859-15 l9"},
    {20866, "koi8-r", "koi8-r cskoi8r koi koi8 koi8_r"},
    {21866, "koi8-u", "koi8-u koi8-ru"},
    {10000, "macintosh", "macintosh csmacintosh mac x-mac-roman"},
    {10007, "x-mac-cyrillic", "x-mac-cyrillic x-mac-ukrainian"},
    {874, "windows-874", "windows-874 dos-874 iso-8859-11 iso8859-11 iso885911 tis-620"},
    {1250, "windows-1250", "windows-1250 cp1250 x-cp1250"},
    {1251, "windows-1251", "windows-1251 cp1251 x-cp1251"},
    {1252, "windows-1252", "windows-1252 ansi_x3.4-1968 ascii cp1252 cp819 csisolatin1 ibm819 iso-8859-1 iso-ir-100 "
           "iso8859-1 iso88591 iso_8859-1 iso_8859-1:1987 l1 latin1 us-ascii x-cp1252"},
    {1253, "windows-1253", "windows-1253 cp1253 x-cp1253"},
    {1254, "windows-1254", "windows-1254 cp1254 csisolatin5 iso-8859-9 iso-ir-148 iso8859-9 iso88599 iso_8859-9 "
           "iso_8859-9:1989 l5 latin5 x-cp1254"},
    {1255, "windows-1255", "windows-1255 cp1255 x-cp1255"},
    {1256, "windows-1256", "windows-1256 cp1256 x-cp1256"},
    {1257, "windows-1257", "windows-1257 cp1257 x-cp1257"},
    {1258, "windows-1258", "windows-1258 cp1258 x-cp1258"},
    {936, "gbk", "gbk chinese csgb2312 csiso58gb231280 gb2312 gb_2312 gb_2312-80 iso-ir-58 x-gbk"},
    {54936, "gb18030", "gb18030"},
    {950, "big5", "big5 big5-hkscs cn-big5 csbig5 x-x-big5"},
    {20932, "euc-jp", "euc-jp cseucpkdfmtjapanese x-euc-jp"},
    {50220, "iso-2022-jp", "iso-2022-jp csiso2022jp"},
    {932, "shift_jis", "shift_jis csshiftjis ms932 ms_kanji shift-jis sjis windows-31j x-sjis"},
    {949, "euc-kr", "euc-kr cseuckr csksc56011987 iso-ir-149 korean ks_c_5601-1987 ks_c_5601-1989 ksc5601 "
          "ksc_5601 windows-949"},
    {65000, "utf-7", "utf-7 unicode-1-1-utf-7 csunicode11utf7"},
};

// True when the lower-cased `label` equals one word of `words`.
bool ListHas(const char *words, const char *label, size_t length) {
  for (const char *p = words; *p;) {
    const char *end = strchr(p, ' ');
    size_t n = end ? static_cast<size_t>(end - p) : strlen(p);
    if (n == length && memcmp(p, label, n) == 0) return true;
    if (!end) break;
    p = end + 1;
  }
  return false;
}

// The decimal number of `length` digits, or kCodePageUnknown.
uint32_t Number(const char *digits, size_t length) {
  if (length == 0 || length > 5) return kCodePageUnknown;
  uint32_t value = 0;
  for (size_t i = 0; i < length; ++i) {
    if (digits[i] < '0' || digits[i] > '9') return kCodePageUnknown;
    value = value * 10 + static_cast<uint32_t>(digits[i] - '0');
  }
  return value == 0 ? kCodePageUnknown : value;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

}  // namespace

uint32_t CodePageOfLabel(const char *label, size_t length) {
  if (!label) return kCodePageUnknown;
  while (length && IsBlank(*label)) ++label, --length;
  while (length && IsBlank(label[length - 1])) --length;
  char lower[64];
  if (length == 0 || length >= sizeof lower) return kCodePageUnknown;
  for (size_t i = 0; i < length; ++i) {
    char c = label[i];
    lower[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  }
  lower[length] = 0;
  for (const LabelGroup &group : kGroups)
    if (ListHas(group.labels, lower, length)) return group.codePage;
  if (length > 2 && memcmp(lower, "cp", 2) == 0) return Number(lower + 2, length - 2);
  if (length > 8 && memcmp(lower, "windows-", 8) == 0) return Number(lower + 8, length - 8);
  return Number(lower, length);
}

const char *NameOfCodePage(uint32_t codePage) {
  for (const LabelGroup &group : kGroups)
    if (group.codePage == codePage) return group.name;
  return nullptr;
}
