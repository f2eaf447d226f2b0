// Helpers shared by the platform tests. The same tests run against the POSIX
// implementations natively and against Windows' own functions under Wine, so
// they only use platform.h and state results as plain numbers: a UTF-16 text
// as its list of units, a narrow text as its bytes.
#ifndef SPRIG_TESTS_PLATFORM_TEST_H
#define SPRIG_TESTS_PLATFORM_TEST_H

#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform_test {

using Units = std::vector<int>;
using WideText = std::basic_string<WCHAR>;

// A UTF-16 text of the platform's unit type from a char16_t literal.
inline WideText Wide(const char16_t *text) {
  return WideText(text, text + std::char_traits<char16_t>::length(text));
}

inline WideText Wide(const Units &units) { return WideText(units.begin(), units.end()); }

inline Units UnitsOf(const WCHAR *text, int count) { return Units(text, text + count); }

inline Units UnitsOf(const WideText &text) {
  return UnitsOf(text.data(), static_cast<int>(text.size()));
}

// MultiByteToWideChar of exactly these bytes, after checking that the size
// query agrees with the conversion.
inline Units Decode(UINT codePage, const std::string &bytes) {
  int needed = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()),
                                   nullptr, 0);
  WideText out(needed > 0 ? needed : 1, 0);
  int count = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()),
                                  &out[0], needed);
  if (count != needed) return Units{-1, needed, count};
  return UnitsOf(out.data(), count);
}

// WideCharToMultiByte of exactly these units, with the same check.
inline std::string Encode(UINT codePage, const WideText &text) {
  int needed = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()),
                                   nullptr, 0, nullptr, nullptr);
  std::string out(needed > 0 ? needed : 1, '\0');
  int count = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()),
                                  &out[0], needed, nullptr, nullptr);
  if (count != needed) return "<size query " + std::to_string(needed) + ", wrote " +
                              std::to_string(count) + ">";
  out.resize(count);
  return out;
}

}  // namespace platform_test

#endif  // SPRIG_TESTS_PLATFORM_TEST_H
