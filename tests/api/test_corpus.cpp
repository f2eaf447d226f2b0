// The real corpus through the shared library: every page agrees with itself
// (document-order walk, callback walk, seek, onward and indexed search, same-
// name ordinals), every page and feed saved and reread is a fixpoint, and an
// edited attribute changes exactly its own bytes of a saved page.
#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <string>
#include <vector>

#include "support.h"

namespace {

using sprig_test::ReadFileBytes;
using sprig_test::Utf16;
using sprig_test::WString;

uint32_t Id(SG_CURSOR c) {
  uint32_t id = 0;
  EXPECT_EQ(1, sgGetNodeID(c, &id));
  return id;
}

uint32_t SG_CALL CountEntries(SG_CURSOR, uint32_t, uint32_t phase, intptr_t user) {
  *reinterpret_cast<size_t *>(user) += phase == 0;
  return 0;
}

// Up to `most` evenly spaced positions in [0, count), the last included:
// seek and indexed search walk from the top, so checking all would be quadratic.
std::vector<size_t> Sample(size_t count, size_t most) {
  std::vector<size_t> picks;
  for (size_t i = 0; i < count; i += count <= most ? 1 : (count - 1) / (most - 1)) picks.push_back(i);
  if (count && picks.back() != count - 1) picks.push_back(count - 1);
  return picks;
}

TEST(Corpus, EveryPageAgreesWithItself) {
  for (const std::string &path : sprig_test::CorpusFiles("html")) {
    SCOPED_TRACE(path);
    SG_CURSOR c = sgOpenXMLA(path.c_str());
    ASSERT_NE(c, nullptr);
    std::vector<std::pair<uint32_t, uint32_t>> order;  // id, level
    std::map<std::string, std::vector<uint32_t>> byName;  // ASCII-folded name -> ids
    std::map<std::string, WString> spelling;
    sgMoveTo(c, SG_MOVE_BASE);
    while (sgMoveTo(c, SG_MOVE_NEXT_IN_ORDER)) {
      order.push_back({Id(c), sgGetLevel(c)});
      std::string folded;  // names outside ASCII are left out: case folding is not tested here
      const SG_WCHAR *name = sgGetNameW(c);
      bool ascii = name != nullptr;
      for (const SG_WCHAR *p = name; ascii && *p; ++p)
        ascii = *p < 0x80, folded += static_cast<char>(std::tolower(static_cast<int>(*p)));
      if (ascii) byName[folded].push_back(order.back().first), spelling.emplace(folded, name);
    }
    EXPECT_EQ(sgIsEmptyList(c), 1);
    size_t entries = 0;
    EXPECT_EQ(sgScanTree(c, CountEntries, reinterpret_cast<intptr_t>(&entries)), order.empty() ? 0 : 1);
    EXPECT_EQ(entries, order.size());
    for (size_t i : Sample(order.size(), 64)) {
      sgMoveTo(c, SG_MOVE_BASE);
      ASSERT_EQ(sgSeek(c, order[i].first), 1) << "element " << i;
      EXPECT_EQ(Id(c), order[i].first);
      EXPECT_EQ(sgGetLevel(c), order[i].second);
    }
    for (const auto &[folded, ids] : byName) {
      const WString &name = spelling[folded];
      std::vector<uint32_t> onward;
      sgMoveTo(c, SG_MOVE_BASE);
      while (sgSearchW(c, name.c_str(), SG_SEARCH_NEXT)) onward.push_back(Id(c));
      EXPECT_EQ(onward, ids) << folded;
      for (size_t i : Sample(ids.size(), 6)) {
        ASSERT_EQ(sgSearchIndexW(c, name.c_str(), SG_SEARCH_FIRST, static_cast<int32_t>(i)), 1);
        EXPECT_EQ(Id(c), ids[i]);
        EXPECT_EQ(sgTagIndex(c), i);
      }
      EXPECT_EQ(sgSearchIndexW(c, name.c_str(), SG_SEARCH_FIRST, static_cast<int32_t>(ids.size())), 0);
    }
    sgCloseXML(c);
  }
}

// An element's name, attributes and (unless the writer added line breaks) texts.
std::vector<WString> Parts(SG_CURSOR c, bool texts) {
  const auto text = [](const SG_WCHAR *t) { return t ? WString(t) : WString(); };
  std::vector<WString> parts = {text(sgGetNameW(c))};
  for (int32_t i = 0; i < static_cast<int32_t>(sgGetAttribCount(c)); ++i) {
    parts.push_back(text(sgGetAttribNameW(c, i)));
    parts.push_back(text(sgGetAttribValueW(c, i)));
  }
  if (texts) parts.push_back(text(sgGetInnerStrW(c))), parts.push_back(text(sgGetAfterStrW(c)));
  return parts;
}

// Every page and feed saved in its own encoding parses to the same tree and
// saves again to the same bytes.
TEST(Corpus, SavedFilesAreAFixpoint) {
  sprig_test::TempDir dir;
  std::vector<std::string> files = sprig_test::CorpusFiles("html");
  for (const std::string &encoding : sprig_test::CorpusFeedEncodings())
    for (const std::string &f : sprig_test::CorpusFiles("feeds/" + encoding)) files.push_back(f);
  ASSERT_GT(files.size(), 100u);
  const std::string first = dir.File("first.out"), second = dir.File("second.out");
  for (const std::string &file : files) {
    SCOPED_TRACE(file);
    SG_CURSOR original = sgOpenXMLA(dir.WriteFile("source.in", ReadFileBytes(file)).c_str());
    ASSERT_NE(nullptr, original);
    const uint32_t encoding = sgGetEncoding(original);
    ASSERT_EQ(1, sgSaveAsA(original, first.c_str(), encoding)) << encoding;
    SG_CURSOR saved = sgOpenXMLA(first.c_str());
    ASSERT_NE(nullptr, saved);
    ASSERT_EQ(1, sgSaveAsA(saved, second.c_str(), encoding));
    EXPECT_EQ(ReadFileBytes(first), ReadFileBytes(second));
    const bool texts = sgGetXMLFlag(original) == 0;
    for (int32_t moved = 1; moved;) {
      ASSERT_EQ(Parts(original, texts), Parts(saved, texts));
      moved = sgMoveTo(original, SG_MOVE_NEXT_IN_ORDER);
      ASSERT_EQ(moved, sgMoveTo(saved, SG_MOVE_NEXT_IN_ORDER));
    }
    sgDeleteXML(saved);  // no write-back of either file
    sgDeleteXML(original);
  }
}

// The first href of a page, edited: the saved page differs from the saved
// unedited page in exactly that attribute, rewritten as name="value".
TEST(Corpus, EditingOneHrefChangesOnlyThatAttribute) {
  for (const char *page : {"001.html", "002.html", "aclu.html", "ars-1.html"}) {
    SCOPED_TRACE(page);
    sprig_test::TempDir dir;
    SG_CURSOR c = sgOpenXMLA(dir.CopyCorpusFile(std::string("html/") + page, "page.html").c_str());
    ASSERT_NE(nullptr, c);
    const auto saved = [&](const char *name) {
      EXPECT_EQ(1, sgSaveAsA(c, dir.File(name).c_str(), SG_ENC_UTF8));
      return ReadFileBytes(dir.File(name));
    };
    const std::string before = saved("before.html");
    const WString href = Utf16("href");
    sgMoveTo(c, SG_MOVE_BASE);
    do ASSERT_EQ(1, sgMoveTo(c, SG_MOVE_NEXT_IN_ORDER)) << "no href";
    while (!sgGetAttribW(c, href.c_str()));
    std::string name;  // as written
    for (int32_t i = 0; name != "href" && name != "HREF"; ++i) name = sprig_test::Utf8(sgGetAttribNameW(c, i));
    const std::string oldValue = sprig_test::Utf8(sgGetAttribW(c, href.c_str()));
    ASSERT_EQ(1, sgSetAttribW(c, href.c_str(), Utf16("https://example.invalid/e").c_str()));
    const std::string after = saved("after.html"), written = name + "=\"https://example.invalid/e\"";
    const size_t at = after.find(written);
    ASSERT_NE(std::string::npos, at);
    size_t oldLength = std::string::npos;
    for (const char *quote : {"\"", "'", ""}) {
      const std::string old = name + "=" + quote + oldValue + quote;
      if (oldLength == std::string::npos && before.compare(at, old.size(), old) == 0) oldLength = old.size();
    }
    ASSERT_NE(std::string::npos, oldLength) << "old attribute not at the edited place";
    EXPECT_EQ(before.substr(0, at) + written + before.substr(at + oldLength), after);
    sgDeleteXML(c);  // no write-back to the copy
  }
}

}  // namespace
