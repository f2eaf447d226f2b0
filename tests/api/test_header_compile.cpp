// The public header seen from C++ and compared with the C view reported by
// test_header_compile.c: both must agree on types, constants and the calling
// convention of the scan callback, and the values must be the library's.
#include "sprig.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <type_traits>

extern "C" {
size_t SprigCSizeofWChar(void);
int SprigCWCharIsUnsigned(void);
size_t SprigCSizeofCursor(void);
size_t SprigCSizeofNote(void);
size_t SprigCSizeofScanProc(void);
size_t SprigCConstantCount(void);
uint32_t SprigCConstant(size_t i);
SG_SCAN_PROC SprigCScanProc(void);
}

namespace {

struct NamedConstant {
  const char* name;
  uint32_t cxxValue;
  uint32_t expected;
};

// Same order as kConstants in test_header_compile.c.
const NamedConstant kConstants[] = {
    {"SG_KIND_PLAIN", SG_KIND_PLAIN, 0},
    {"SG_KIND_ELEMENT", SG_KIND_ELEMENT, 1},
    {"SG_KIND_END_TAG", SG_KIND_END_TAG, 2},
    {"SG_KIND_VOID", SG_KIND_VOID, 3},
    {"SG_KIND_EMPTY_TAG", SG_KIND_EMPTY_TAG, 4},
    {"SG_KIND_PI", SG_KIND_PI, 5},
    {"SG_KIND_DECL", SG_KIND_DECL, 6},
    {"SG_KIND_COMMENT", SG_KIND_COMMENT, 7},
    {"SG_ENC_ANSI", SG_ENC_ANSI, 0},
    {"SG_ENC_UTF7", SG_ENC_UTF7, 65000},
    {"SG_ENC_UTF8", SG_ENC_UTF8, 65001},
    {"SG_TEXTCONV_KEEP_CONTROLS", SG_TEXTCONV_KEEP_CONTROLS, 1},
    {"SG_MOVE_BASE", SG_MOVE_BASE, 1},
    {"SG_MOVE_BASE_FIRST", SG_MOVE_BASE_FIRST, 2},
    {"SG_MOVE_PARENT", SG_MOVE_PARENT, 3},
    {"SG_MOVE_INTO", SG_MOVE_INTO, 4},
    {"SG_MOVE_FIRST_CHILD", SG_MOVE_FIRST_CHILD, 5},
    {"SG_MOVE_LAST_CHILD", SG_MOVE_LAST_CHILD, 6},
    {"SG_MOVE_LIST_HEAD", SG_MOVE_LIST_HEAD, 7},
    {"SG_MOVE_FIRST", SG_MOVE_FIRST, 8},
    {"SG_MOVE_PREV", SG_MOVE_PREV, 9},
    {"SG_MOVE_NEXT", SG_MOVE_NEXT, 10},
    {"SG_MOVE_LAST", SG_MOVE_LAST, 11},
    {"SG_MOVE_PREV_IN_ORDER", SG_MOVE_PREV_IN_ORDER, 12},
    {"SG_MOVE_NEXT_IN_ORDER", SG_MOVE_NEXT_IN_ORDER, 13},
    {"SG_SCAN_STOP", SG_SCAN_STOP, 1},
    {"SG_SCAN_ABORT", SG_SCAN_ABORT, 2},
    {"SG_SCAN_SKIP_CHILDREN", SG_SCAN_SKIP_CHILDREN, 4},
    {"SG_SCAN_SKIP_SIBLINGS", SG_SCAN_SKIP_SIBLINGS, 8},
    {"SG_SEARCH_FIRST", SG_SEARCH_FIRST, 1},
    {"SG_SEARCH_NEXT", SG_SEARCH_NEXT, 2},
    {"SG_SEARCH_PREV", SG_SEARCH_PREV, 3},
    {"SG_SEARCH_FIRST_SIBLING", SG_SEARCH_FIRST_SIBLING, 4},
    {"SG_SEARCH_NEXT_SIBLING", SG_SEARCH_NEXT_SIBLING, 5},
    {"SG_SEARCH_PREV_SIBLING", SG_SEARCH_PREV_SIBLING, 6},
    {"SG_SEARCH_CHILD", SG_SEARCH_CHILD, 7},
    {"SG_SEARCH_ANCESTOR", SG_SEARCH_ANCESTOR, 8},
    {"SG_SEARCH_DESCENDANT", SG_SEARCH_DESCENDANT, 9},
    {"SG_SEARCH_PATH_FIRST", SG_SEARCH_PATH_FIRST, 10},
    {"SG_SEARCH_PATH_NEXT", SG_SEARCH_PATH_NEXT, 11},
    {"SG_MOVENODE_FIRST", SG_MOVENODE_FIRST, 1},
    {"SG_MOVENODE_LAST", SG_MOVENODE_LAST, 2},
    {"SG_INSERT_APPEND", SG_INSERT_APPEND, 0},
    {"SG_INSERT_BEFORE", SG_INSERT_BEFORE, 1},
    {"SG_INSERT_AFTER", SG_INSERT_AFTER, 2},
    {"SG_INSERT_CHILD", SG_INSERT_CHILD, 3},
};

uint32_t SG_CALL ScanFromCxx(SG_CURSOR, uint32_t depth, uint32_t phase, intptr_t user) {
  return depth + phase + static_cast<uint32_t>(user);
}

}  // namespace

TEST(HeaderCompile, WideCharIsUnsigned16BitInCAndCxx) {
  EXPECT_EQ(sizeof(SG_WCHAR), 2u);
  EXPECT_EQ(SprigCSizeofWChar(), sizeof(SG_WCHAR));
  EXPECT_TRUE(std::is_unsigned<SG_WCHAR>::value || static_cast<SG_WCHAR>(-1) > 0);
  EXPECT_EQ(SprigCWCharIsUnsigned(), 1);
  // A UTF-16 literal is usable as SG_WCHAR text in C++ without casts.
  static_assert(sizeof(u'x') == sizeof(SG_WCHAR), "UTF-16 unit size");
}

TEST(HeaderCompile, HandlesArePointerSizedInCAndCxx) {
  EXPECT_EQ(sizeof(SG_CURSOR), sizeof(void*));
  EXPECT_EQ(sizeof(SG_NOTE), sizeof(void*));
  EXPECT_EQ(SprigCSizeofCursor(), sizeof(SG_CURSOR));
  EXPECT_EQ(SprigCSizeofNote(), sizeof(SG_NOTE));
  EXPECT_EQ(SprigCSizeofScanProc(), sizeof(SG_SCAN_PROC));
}

TEST(HeaderCompile, ConstantsHaveTheLibraryValuesInCAndCxx) {
  const size_t count = sizeof(kConstants) / sizeof(kConstants[0]);
  ASSERT_EQ(SprigCConstantCount(), count);
  for (size_t i = 0; i < count; ++i) {
    EXPECT_EQ(kConstants[i].cxxValue, kConstants[i].expected) << kConstants[i].name;
    EXPECT_EQ(SprigCConstant(i), kConstants[i].cxxValue) << kConstants[i].name << " differs in C";
  }
}

TEST(HeaderCompile, ScanCallbackCrossesBetweenCAndCxx) {
  // A callback defined in C, called through the C++ view of SG_SCAN_PROC:
  // arguments arrive in order, so both views share one calling convention.
  SG_SCAN_PROC fromC = SprigCScanProc();
  ASSERT_NE(fromC, nullptr);
  EXPECT_EQ(fromC(nullptr, 3, 1, 2), 2031u);
  EXPECT_EQ(fromC(reinterpret_cast<SG_CURSOR>(&fromC), 0, 0, 0), 100u);
  // And a C++ function converts to the same type.
  SG_SCAN_PROC fromCxx = ScanFromCxx;
  EXPECT_EQ(fromCxx(nullptr, 4, 1, static_cast<intptr_t>(5)), 10u);
}
