// Text helpers of the sprig tool: UTF-8 <-> UTF-16 conversion, display
// escaping and the map from source positions to line:column.
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
#include <vector>

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

// Maps positions of a source text (UTF-16 units from its start) to 1-based
// line and column. Lines end at LF, CR LF or a lone CR; the column counts
// characters, so a surrogate pair is one column and a TAB is one column.
// Built once in O(n); each query is O(log n), so an outline stays linear.
class LineMap {
 public:
  // `text` may be null (an empty map); it is read up to its terminating zero
  // and not kept.
  explicit LineMap(const SG_WCHAR* text);
  // Line and column of `pos`; a position beyond the end counts from the end.
  void Locate(uint32_t pos, uint32_t* line, uint32_t* column) const;
  // "line:column".
  std::string Format(uint32_t pos) const;

 private:
  std::vector<uint32_t> lineStarts_;     // first unit of every line, ascending
  std::vector<uint32_t> pairSeconds_;    // low halves of surrogate pairs
  uint32_t length_ = 0;
};

}  // namespace sprig_cli

#endif  // SPRIG_TOOL_CLI_TEXT_H
