// The public header seen from C++ and compared with the C view reported by
// test_header_compile.c: both must agree on the text unit, the handle sizes
// and the calling convention of the scan callback.
#include "sprig.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>

extern "C" {
size_t SprigCSizeofWChar(void);
int SprigCWCharIsUnsigned(void);
size_t SprigCSizeofHandles(void);
SG_SCAN_PROC SprigCScanProc(void);
}

TEST(HeaderCompile, CAndCxxAgreeOnTypes) {
  static_assert(sizeof(u'x') == sizeof(SG_WCHAR), "a UTF-16 literal is SG_WCHAR text");
  EXPECT_EQ(SprigCSizeofWChar(), 2u);
  EXPECT_EQ(SprigCWCharIsUnsigned(), 1);
  EXPECT_EQ(SprigCSizeofHandles(), sizeof(SG_CURSOR) + sizeof(SG_NOTE) + sizeof(SG_SCAN_PROC));
  EXPECT_EQ(sizeof(SG_CURSOR), sizeof(void*));
}

TEST(HeaderCompile, ScanCallbackCrossesBetweenCAndCxx) {
  // Arguments of a C callback called through the C++ type arrive in order.
  SG_SCAN_PROC fromC = SprigCScanProc();
  ASSERT_NE(fromC, nullptr);
  EXPECT_EQ(fromC(nullptr, 3, 1, 2), 2031u);
  EXPECT_EQ(fromC(reinterpret_cast<SG_CURSOR>(&fromC), 0, 0, 0), 100u);
}
