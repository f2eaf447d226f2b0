// Small helpers shared by the API suites: a parsed or created document closed
// with the test, UTF-8 views of library strings, where a cursor stands, and
// the bytes of a saved document.
// Only the public header and the test support are used, as an application
// would.
#ifndef SPRIG_TESTS_API_UTIL_H
#define SPRIG_TESTS_API_UTIL_H

#include <string>

#include "sprig.h"
#include "support.h"

namespace api_test {

using sprig_test::Utf16;
using sprig_test::Utf8;
using sprig_test::WString;

const uint32_t kNone = 0xFFFFFFFFu;

inline WString W(const char *utf8) { return Utf16(utf8); }

// UTF-8 copy of a library string, "<null>" for null.
inline std::string Str(const SG_WCHAR *text) { return text ? Utf8(text) : std::string("<null>"); }
inline std::string Str(const char *text) { return text ? std::string(text) : std::string("<null>"); }

// Name of the current element, "-" when none is selected or it has none.
inline std::string Name(SG_CURSOR c) {
  const SG_WCHAR *name = sgGetNameW(c);
  return name ? Utf8(name) : "-";
}

// Where the cursor stands: the current element's name, or "head N" when no
// element is selected and the cursor is at the head of a list at level N.
inline std::string Place(SG_CURSOR c) {
  return sgIsEmptyList(c) == 1 ? "head " + std::to_string(sgGetLevel(c)) : Name(c);
}

// Place with the level and index, for the editing suites:
// "name@level.index", or "head@level" at a list head.
inline std::string At(SG_CURSOR c) {
  const std::string level = "@" + std::to_string(sgGetLevel(c));
  if (sgIsEmptyList(c) == 1) return "head" + level;
  return Name(c) + level + "." + std::to_string(sgGetIndex(c));
}

// The tag number ("none" for 0xFFFFFFFF) and the tag positions of selectors
// 0 to 2: "none 0 0 0" for an element that no parser made.
inline std::string Tags(SG_CURSOR c) {
  const uint32_t number = sgGetTagCount(c);
  std::string out = number == kNone ? "none" : std::to_string(number);
  for (uint32_t selector = 0; selector < 3; ++selector) {
    out += " " + std::to_string(sgGetTagPos(c, selector));
  }
  return out;
}

inline uint32_t Id(SG_CURSOR c) {
  uint32_t id = 0;
  EXPECT_EQ(1, sgGetNodeID(c, &id));
  return id;
}

// Parses UTF-8 text given as UTF-16, so that no code page is involved.
inline SG_CURSOR Parse(const char *utf8) { return sgParseXMLW(W(utf8).c_str(), kNone); }

// A document parsed from narrow text, closed at the end of the test.
class Doc {
 public:
  explicit Doc(const std::string &text) : cursor_(sgParseXMLA(text.c_str(), kNone)) {}
  // Takes over a cursor opened or created elsewhere.
  explicit Doc(SG_CURSOR owned) : cursor_(owned) {}
  ~Doc() {
    if (cursor_) sgCloseXML(cursor_);
  }
  Doc(const Doc &) = delete;
  Doc &operator=(const Doc &) = delete;
  operator SG_CURSOR() const { return cursor_; }

 private:
  SG_CURSOR cursor_;
};

// Bytes of the whole document saved as UTF-8 into `dir`.
inline std::string Saved(SG_CURSOR cursor, const sprig_test::TempDir &dir,
                         const char *name = "out.html") {
  const std::string path = dir.File(name);
  EXPECT_EQ(1, sgSaveAsA(cursor, path.c_str(), SG_ENC_UTF8));
  return sprig_test::ReadFileBytes(path);
}

}  // namespace api_test

#endif  // SPRIG_TESTS_API_UTIL_H
