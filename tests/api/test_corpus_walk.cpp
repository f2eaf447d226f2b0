// Navigation and search over every page of the HTML corpus, checked against
// each other: the document-order walk, the callback walk, seek by NodeId,
// name search from the top with an index, search onward from the current
// element, and same-name ordinals.
//
// Cost: seek and search-from-the-top with an index each walk from the top,
// so checking them for every element would be quadratic per page. Every page
// gets the linear checks in full (walk, scan, onward enumeration of every
// name); seek is checked on up to kSeeksPerPage evenly spaced elements, and
// indexed search with sgTagIndex on up to kIndexesPerName evenly spaced
// matches of each name (always the first and the last).
#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <string>
#include <vector>

#include "api_util.h"

namespace {

using namespace api_test;

const size_t kSeeksPerPage = 64;
const size_t kIndexesPerName = 6;

struct Element {
  uint32_t id;
  uint32_t level;
};

// Names are grouped as the library compares them; names outside ASCII are
// left out, since their case folding is not this test's subject.
bool FoldAscii(const SG_WCHAR *name, std::string *folded) {
  folded->clear();
  for (; *name; ++name) {
    if (static_cast<uint32_t>(*name) >= 0x80) return false;
    folded->push_back(static_cast<char>(std::tolower(static_cast<int>(*name))));  // "C" locale
  }
  return true;
}

uint32_t SG_CALL CountEntries(SG_CURSOR, uint32_t, uint32_t phase, intptr_t user) {
  if (phase == 0) ++*reinterpret_cast<size_t *>(user);
  return 0;
}

// Evenly spaced positions in [0, count), including the first and the last.
std::vector<size_t> Sample(size_t count, size_t most) {
  std::vector<size_t> picks;
  if (count == 0) return picks;
  const size_t step = count <= most ? 1 : (count - 1) / (most - 1);
  for (size_t i = 0; i < count; i += step) picks.push_back(i);
  if (picks.back() != count - 1) picks.push_back(count - 1);
  return picks;
}

void CheckPage(const std::string &path) {
  SCOPED_TRACE(path);
  Doc c(sgOpenXMLA(path.c_str()));
  ASSERT_NE(static_cast<SG_CURSOR>(c), nullptr);

  // Pre-order through the move codes.
  std::vector<Element> order;
  std::map<std::string, std::vector<uint32_t>> byName;  // folded name -> ids in order
  std::map<std::string, WString> spelling;              // one spelling of each name
  ASSERT_EQ(sgMoveTo(c, SG_MOVE_BASE), 1);
  std::string folded;
  while (sgMoveTo(c, SG_MOVE_NEXT_IN_ORDER)) {
    order.push_back({Id(c), sgGetLevel(c)});
    const SG_WCHAR *name = sgGetNameW(c);
    if (name && FoldAscii(name, &folded)) {
      byName[folded].push_back(order.back().id);
      spelling.emplace(folded, WString(name));
    }
  }
  EXPECT_EQ(sgIsEmptyList(c), 1);

  // The callback walk enters exactly as many elements.
  size_t entries = 0;
  EXPECT_EQ(sgScanTree(c, CountEntries, reinterpret_cast<intptr_t>(&entries)),
            order.empty() ? 0 : 1);
  EXPECT_EQ(entries, order.size());

  // Seek finds visited elements again, at their level.
  for (size_t i : Sample(order.size(), kSeeksPerPage)) {
    ASSERT_EQ(sgMoveTo(c, SG_MOVE_BASE), 1);
    ASSERT_EQ(sgSeek(c, order[i].id), 1) << "element " << i;
    EXPECT_EQ(Id(c), order[i].id);
    EXPECT_EQ(sgGetLevel(c), order[i].level);
  }

  for (const auto &group : byName) {
    const WString &name = spelling[group.first];
    const std::vector<uint32_t> &ids = group.second;
    SCOPED_TRACE("name " + group.first);
    // Onward search from the base head meets the same elements in order.
    std::vector<uint32_t> onward;
    ASSERT_EQ(sgMoveTo(c, SG_MOVE_BASE), 1);
    while (sgSearchW(c, name.c_str(), SG_SEARCH_NEXT)) onward.push_back(Id(c));
    EXPECT_EQ(onward, ids);
    // Search from the top with an index, and the ordinal of what it finds.
    for (size_t i : Sample(ids.size(), kIndexesPerName)) {
      ASSERT_EQ(sgSearchIndexW(c, name.c_str(), SG_SEARCH_FIRST, static_cast<int32_t>(i)), 1) << i;
      EXPECT_EQ(Id(c), ids[i]) << i;
      EXPECT_EQ(sgTagIndex(c), i);
    }
    const int32_t past = static_cast<int32_t>(ids.size());  // one past the last match
    EXPECT_EQ(sgSearchIndexW(c, name.c_str(), SG_SEARCH_FIRST, past), 0);
  }
}

TEST(CorpusWalk, EveryPageAgreesWithItself) {
  const std::vector<std::string> pages = sprig_test::CorpusFiles("html");
  ASSERT_FALSE(pages.empty());
  for (const std::string &page : pages) {
    CheckPage(page);
    if (HasFatalFailure()) return;
  }
}

}  // namespace
