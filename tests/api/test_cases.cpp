// The API's behaviours as case files (tests/api/cases/*.txt, one behaviour a
// file; the format is described in support/script.h), run through the shared
// library as an application calls it.
#include <gtest/gtest.h>

#include "script.h"

TEST(ApiCases, EveryCaseFile) {
  sprig_script::RunCaseFolder(sprig_test::NativePath(SPRIG_TESTS_DIR "/api/cases"));
}
