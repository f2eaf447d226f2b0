// Reading texts and files into trees as case files (tests/parse/cases/*.txt,
// one behaviour a file; the format is described in support/script.h): tags,
// attributes and quoting, the closing rules, positions, code-page sniffing,
// declarations and meta tags.
#include <gtest/gtest.h>

#include "script.h"

TEST(ParseCases, EveryCaseFile) {
  sprig_script::RunCaseFolder(sprig_test::NativePath(SPRIG_TESTS_DIR "/parse/cases"));
}
