// Effects that reach beyond the call that causes them: NodeIds spent by the
// reader, the narrow result ring shared with the file writer, and opens and
// saves on files that are not regular. (The size of a narrow outer-XML block
// is checked in tests/output, where a block can be freed on both builds;
// where a delete leaves a narrowed cursor, in test_tree_edit.cpp.)
#include <string>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <gtest/gtest.h>

#include "support.h"

namespace {

using sprig_test::WString;

// A parsed document closed (never written) at the end of the scope.
struct Doc {
  SG_CURSOR c;
  explicit Doc(const char *text) : c(sgParseXMLA(text, 0xFFFFFFFFu)) {}
  explicit Doc(SG_CURSOR cursor) : c(cursor) {}
  ~Doc() { sgDeleteXML(c); }
  operator SG_CURSOR() const { return c; }
};

uint32_t Id(SG_CURSOR c) {
  uint32_t id = 0;
  EXPECT_EQ(1, sgGetNodeID(c, &id));
  return id;
}

}  // namespace

TEST(ProcessEffects, EveryReadOfATagSpendsANodeId) {
  // On a new thread, which numbers its nodes from a fresh block of ids: the
  // count holds whatever the test program's other threads made before.
  sprig_test::RunOnSmallStack([] {
    // <a>, a's child list, </a>, <b/>: b is a + 3.
    Doc first("<a></a><b/>");
    const uint32_t a = Id(first);
    ASSERT_EQ(1, sgMoveTo(first, SG_MOVE_NEXT));
    EXPECT_EQ(a + 3, Id(first));
    // <a/> and the read that meets the end of the text; then the new root.
    Doc second("<a/>");
    const uint32_t lone = Id(second);
    Doc created(sgCreateXMLW(nullptr, SG_ENC_UTF8, 0));
    EXPECT_EQ(lone + 2, Id(created));
  });
}

TEST(ProcessEffects, SaveOfSixFragmentsFreesTheSixOldestNarrowResults) {
#if defined(__GLIBC__) && defined(__GLIBC_MINOR__) && \
    (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 33))
  sprig_test::TempDir dir;
  Doc doc("<a x=\"1\">t</a>u");  // a, x, 1, t, a, u: six fragments
  const std::string path = dir.File("six.xml");
  ASSERT_EQ(1, sgSaveAsA(doc, path.c_str(), SG_ENC_UTF8));  // first save: lazy state made
  const size_t kUnits = 20000;  // each result 3n + 1 bytes: 60 KB, well above heap noise
  const WString big(kUnits, 'x');
  for (int i = 0; i < 16; ++i) ASSERT_NE(nullptr, sgToMBStr(big.c_str()));
  const size_t before = mallinfo2().uordblks;
  if (before == 0) GTEST_SKIP() << "the C library reports no heap figures here";
  ASSERT_EQ(1, sgSaveAsA(doc, path.c_str(), SG_ENC_UTF8));
  const size_t freed = before - mallinfo2().uordblks;
  EXPECT_GE(freed, 6 * 3 * kUnits);
  EXPECT_LT(freed, 7 * 3 * kUnits);
#else
  GTEST_SKIP() << "needs the heap figures of glibc 2.33 or later";
#endif
}

TEST(ProcessEffects, FifoIsNeitherOpenedNorSavedOntoAndNothingWaits) {
  sprig_test::TempDir dir;
  const std::string fifo = dir.File("pipe");
  if (!sprig_test::MakeFifo(fifo)) GTEST_SKIP() << "no FIFOs here (Windows)";
  Doc doc("<a/>");
  // With no peer on the other end, a blocking open would wait for ever.
  const int result = sprig_test::RunWithTimeout(10, [&] {
    SG_CURSOR opened = sgOpenXMLA(fifo.c_str());
    const int saved = sgSaveAsA(doc, fifo.c_str(), SG_ENC_UTF8);
    return (opened == nullptr ? 0 : 1) + (saved == 0 ? 0 : 2);
  });
  EXPECT_EQ(0, result) << "1: opened, 2: saved, -2: hung";
}
