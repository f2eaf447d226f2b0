// The fuzz harnesses in the normal test run: every saved input under
// fuzz/regressions/<harness>/ is replayed through its harness, and each
// harness also runs over a slice of the real corpus, so the harness code and
// the invariants it checks are exercised on every build, Windows included.
// A harness aborts on a finding, which fails this executable loudly.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support.h"

// The harnesses are compiled into this test as they are into the fuzzers.
#include "../../fuzz/harnesses.cpp"

namespace {

const char *const kHarnesses[] = {"parse_narrow", "open_file", "parse_wide", "round_trip",
                                  "api_sequence", "exact_edits"};

// fuzz/regressions of this source tree.
std::string RegressionDir() { return sprig_test::NativePath(SPRIG_TESTS_DIR "/../fuzz/regressions"); }

void Replay(const char *harness, const std::string &bytes) {
  sprig_fuzz::Harness run = sprig_fuzz::FindHarness(harness);
  ASSERT_NE(nullptr, run);
  run(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
}

TEST(FuzzReplay, SavedInputsOfEveryHarness) {
  sprig_test::TempDir scratch;
  sprig_fuzz::SetScratchDir(scratch.path());
  size_t replayed = 0;
  for (const char *harness : kHarnesses) {
    for (const std::string &file : sprig_test::ListFiles(RegressionDir() + "/" + harness)) {
      SCOPED_TRACE(file);
      Replay(harness, sprig_test::ReadFileBytes(file));
      ++replayed;
    }
  }
  EXPECT_GT(replayed, 0u) << "no saved inputs under " << RegressionDir();
}

// Every harness over the first 4 KiB of a slice of real pages and feeds.
TEST(FuzzReplay, HarnessesOverCorpusSlices) {
  sprig_test::TempDir scratch;
  sprig_fuzz::SetScratchDir(scratch.path());
  std::vector<std::string> files = sprig_test::CorpusFiles("html");
  const std::vector<std::string> feeds = sprig_test::CorpusFiles("feeds/SHIFT_JIS");
  files.resize(std::min<size_t>(files.size(), 6));
  files.insert(files.end(), feeds.begin(), feeds.begin() + std::min<size_t>(feeds.size(), 4));
  ASSERT_FALSE(files.empty());
  for (const std::string &file : files) {
    SCOPED_TRACE(file);
    const std::string bytes = sprig_test::ReadFileBytes(file).substr(0, 4096);
    for (const char *harness : kHarnesses) Replay(harness, bytes);
    // The same bytes with a leading mode byte, as the parse seeds carry.
    Replay("parse_narrow", std::string(1, '\x01') + bytes);
  }
}

}  // namespace
