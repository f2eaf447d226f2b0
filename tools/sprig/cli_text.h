// Text helpers of the sprig tool: UTF-8 <-> UTF-16 conversion, display and
// JSON escaping, and file-name patterns.
//
// Everything here is plain C++ over std::string / std::u16string; the tool
// talks to the library only through sprig.h, so SG_WCHAR text is copied into
// a std::u16string before it is handled. Nothing here allocates through the
// library and nothing keeps a pointer into library-owned text.
#ifndef SPRIG_TOOL_CLI_TEXT_H
#define SPRIG_TOOL_CLI_TEXT_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "sprig.h"

namespace sprig_cli {

// A UTF-16 string in the library's unit type, zero-terminated by c_str().
using WString = std::basic_string<SG_WCHAR>;

// UTF-8 to UTF-16. Invalid or truncated sequences become U+FFFD; never fails.
WString ToWide(const std::string& utf8);

// UTF-16 (zero-terminated, or `length` units when length >= 0) to UTF-8.
// A null text gives "". Unpaired surrogates become U+FFFD.
std::string ToUtf8(const SG_WCHAR* text, std::ptrdiff_t length = -1);
inline std::string ToUtf8(const WString& text) {
  return ToUtf8(text.c_str(), static_cast<std::ptrdiff_t>(text.size()));
}

// UTF-16 text for one display line: TAB, LF and CR become \t \n \r, other
// C0 controls \xNN, so the result never breaks a line. When maxChars > 0 and
// the text has more characters, it is cut there and "..." is appended.
std::string Printable(const SG_WCHAR* text, std::ptrdiff_t length = -1,
                      std::size_t maxChars = 0);

// Case-insensitive comparison of ASCII letters; other units compare exactly.
bool EqualsNoCase(const std::string& a, const std::string& b);

// Appends `text` (UTF-16, `length` units or up to its zero when negative) to
// *out as a JSON string with its quotes: '"', '\\' and control characters
// escaped, every other character as UTF-8; a surrogate without its partner
// becomes a \uXXXX escape, so no unit is lost or altered.
void AppendJson(std::string* out, const SG_WCHAR* text, std::ptrdiff_t length = -1);

// Whether file name `name` matches `pattern`: '*' any run of characters, '?'
// one character, [abc] / [a-z] / [!abc] one character of a set; the rest
// literally (UTF-8 bytes compared as they are).
bool GlobMatch(const std::string& pattern, const std::string& name);

}  // namespace sprig_cli

#endif  // SPRIG_TOOL_CLI_TEXT_H
