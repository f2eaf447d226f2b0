// Separate documents on separate threads: eight threads each open a real
// page and parse, edit, search, render, save, reopen and close it at once,
// and must make exactly what one thread makes of the same pages one after
// another; result-ring texts stay valid on their own thread while the others
// fill theirs; NodeIds stay unique across threads; a document opened on one
// thread is released (original cursor, duplicate, note reference) on another.
// The ThreadSanitizer build (preset tsan) runs this suite.
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "sprig.h"
#include "support.h"

using sprig_test::ReadFileBytes;
using sprig_test::TempDir;
using sprig_test::Utf16;
using sprig_test::Utf8;
using sprig_test::WString;

namespace {

// The threads of one run meet here between steps, so that every thread has
// done a step before any goes on: one party never waits.
class Barrier {
 public:
  explicit Barrier(int parties) : parties_(parties) {}
  void Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    const long round = round_;
    if (++waiting_ == parties_) {
      waiting_ = 0;
      ++round_;
      changed_.notify_all();
    } else {
      changed_.wait(lock, [&] { return round_ != round; });
    }
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  const int parties_;
  int waiting_ = 0;
  long round_ = 0;
};

// One page per thread: HTML of several sizes and feeds in three encodings.
const char *const kPages[] = {
    "html/guardian-1.html",          "html/wikipedia-2.html",
    "html/nytimes-3.html",           "html/bbc-1.html",
    "html/001.html",                 "feeds/SHIFT_JIS/amefoot.net.xml",
    "feeds/EUC-JP/arclamp.jp.xml",   "feeds/utf-8/pihgy.hu.xml",
};
const int kThreads = sizeof kPages / sizeof kPages[0];

WString W(const char *utf8) { return Utf16(utf8); }
std::string Str(const SG_WCHAR *text) { return text ? Utf8(text) : "<null>"; }
std::string Str(const char *text) { return text ? text : "<null>"; }

// Text of an outer-XML block, freed as an application frees it.
template <typename Char>
std::string Take(Char *block) {
  if (!block) return "<null>";
  const std::string text = Str(block);
  GlobalUnlock(GlobalHandle(block));
  GlobalFree(GlobalHandle(block));
  return text;
}

// Renders the whole document (the base list head) both ways.
std::string Render(SG_CURSOR c) {
  sgSetBase(c, 0);
  sgMoveTo(c, SG_MOVE_BASE);
  return Take(sgGetOuterXMLW(c)) + "\n--A--\n" + Take(sgGetOuterXMLA(c, SG_ENC_UTF8));
}

uint32_t SG_CALL CollectId(SG_CURSOR c, uint32_t, uint32_t phase, intptr_t user) {
  uint32_t id = 0;
  if (phase == 0 && sgGetNodeID(c, &id)) reinterpret_cast<std::vector<uint32_t> *>(user)->push_back(id);
  return 0;
}

// What one job made: each step's output in order, and the NodeIds of its
// edited tree (different from run to run, so kept apart).
struct Outcome {
  std::vector<std::pair<std::string, std::string>> steps;
  std::vector<uint32_t> ids;
  void Add(const std::string &step, const std::string &value) { steps.emplace_back(step, value); }
};

// Every step on `page`; `copy` is the job's own copy of it, `saved` a file
// to save to. Waits at `sync` the same number of times whatever happens.
void RunJob(const char *page, const std::string &copy, const std::string &saved, Barrier &sync,
            Outcome &out) {
  SG_CURSOR c = sgOpenXMLA(copy.c_str());
  out.Add("open", c ? "ok" : "failed");
  sync.Wait();
  if (c) {
    out.Add("parsed", Render(c));
    // Search: every match of each name below the root.
    for (const char *name : {"title", "a", "p", "div", "item", "link", "script", "meta"}) {
      int count = 0;
      sgMoveTo(c, SG_MOVE_BASE);
      if (sgSearchW(c, W(name).c_str(), SG_SEARCH_FIRST)) {
        do ++count; while (sgSearchW(c, W(name).c_str(), SG_SEARCH_NEXT));
      }
      out.Add(std::string("count ") + name, std::to_string(count));
    }
    // Edit: attributes set and deleted, elements inserted and deleted.
    sgMoveTo(c, SG_MOVE_BASE);
    if (sgSearchA(c, "title", SG_SEARCH_FIRST)) {
      sgSetAttribW(c, W("data-job").c_str(), W(page).c_str());
      sgSetAttribIntA(c, "n", sgGetTagCount(c));
      sgSetAttribDWordW(c, W("x").c_str(), 0xBEEF);
      sgInsertNodeAfterW(c, W("ins").c_str(), 1);
      sgSetInnerStrW(c, W("inserted <&> \xE3\x81\x82").c_str(), -1);
      sgAddChildNodeA(c, "b", 0);
      sgSetInnerStrA(c, "bold", -1);
      out.Add("inserted", Str(sgGetNameW(c)) + " " + std::to_string(sgGetLevel(c)));
    }
    for (const char *name : {"script", "item"}) {
      sgMoveTo(c, SG_MOVE_BASE);
      if (sgSearchA(c, name, SG_SEARCH_FIRST)) out.Add("deleted", std::to_string(sgDeleteNode(c)));
    }
    sgMoveTo(c, SG_MOVE_BASE);
    if (sgSearchA(c, "a", SG_SEARCH_FIRST) && sgGetAttribCount(c) > 0) {
      const WString name = sgGetAttribNameW(c, 0);
      out.Add("unset", Str(name.c_str()) + " " + std::to_string(sgDeleteAttribW(c, name.c_str())));
    }
    out.Add("edited", Render(c));
    sgScanTree(c, CollectId, reinterpret_cast<intptr_t>(&out.ids));
  }
  // Result rings: sixteen results of each ring from the edited tree, read
  // only after every thread has made its own.
  const char *narrow[16] = {};
  const SG_WCHAR *wide[16] = {}, *quoted[16] = {};
  const char *normal[16] = {};
  if (c) sgMoveTo(c, SG_MOVE_BASE_FIRST);
  for (int i = 0; i < 16; ++i) {
    const SG_WCHAR *name = c ? sgGetNameW(c) : nullptr;
    narrow[i] = sgToMBStr(name ? name : W("none").c_str());
    wide[i] = sgToWCStr(c && sgGetNameA(c) ? sgGetNameA(c) : "none");
    quoted[i] = sgToQuoteStrTemp16W(W(("<" + std::to_string(i) + "> " + Str(name)).c_str()).c_str());
    normal[i] = sgToNormalStrTemp16A(("&lt;" + std::to_string(i) + "&gt;&amp;" + Str(narrow[i])).c_str());
    if (c && !sgMoveTo(c, SG_MOVE_NEXT_IN_ORDER)) sgMoveTo(c, SG_MOVE_BASE_FIRST);
  }
  sync.Wait();
  std::string rings;
  for (int i = 0; i < 16; ++i)
    rings += Str(narrow[i]) + "|" + Str(wide[i]) + "|" + Str(quoted[i]) + "|" + Str(normal[i]) + "\n";
  out.Add("rings", rings);
  // Save in code page 932 and in UTF-8, reopen each and render it.
  if (c) {
    for (uint32_t encoding : {932u, SG_ENC_UTF8}) {
      out.Add("save", std::to_string(sgSaveAsA(c, saved.c_str(), encoding)));
      SG_CURSOR again = sgOpenXMLA(saved.c_str());
      out.Add("reopened", again ? Render(again) : "failed");
      sgCloseXML(again);
    }
    // The last holder of the changed document writes it back to the copy.
    sgCloseXML(c);
  }
  sync.Wait();
}

// Reports the first step where `got` departs from `expected`.
void ExpectSame(const Outcome &expected, const Outcome &got, const std::string &page) {
  EXPECT_EQ(expected.steps.size(), got.steps.size()) << page;
  for (size_t i = 0; i < std::min(expected.steps.size(), got.steps.size()); ++i) {
    if (expected.steps[i] == got.steps[i]) continue;
    ADD_FAILURE() << page << ": step " << i << " (" << expected.steps[i].first << ") differs:\n"
                  << expected.steps[i].second.substr(0, 300) << "\n-- against --\n"
                  << got.steps[i].second.substr(0, 300);
    return;
  }
}

TEST(Threads, EightDocumentsAtOnceMakeWhatOneThreadMakes) {
  TempDir dir;
  // run 0: one thread, page after page; run 1: a thread per page.
  std::vector<Outcome> outcomes[2];
  std::vector<std::string> written[2];
  for (int run = 0; run < 2; ++run) {
    std::vector<std::string> copies;
    for (int i = 0; i < kThreads; ++i) {
      const std::string page = kPages[i];
      copies.push_back(dir.CopyCorpusFile(page, std::to_string(run) + "-" + page.substr(page.rfind('/') + 1)));
    }
    outcomes[run].resize(kThreads);
    auto job = [&](int i, Barrier &sync) {
      const std::string saved = dir.File("saved-" + std::to_string(run) + "-" + std::to_string(i) + ".xml");
      RunJob(kPages[i], copies[i], saved, sync, outcomes[run][i]);
    };
    if (run == 0) {
      Barrier alone(1);
      for (int i = 0; i < kThreads; ++i) job(i, alone);
    } else {
      Barrier all(kThreads);
      std::vector<std::thread> threads;
      for (int i = 0; i < kThreads; ++i) threads.emplace_back(job, i, std::ref(all));
      for (std::thread &t : threads) t.join();
    }
    for (const std::string &copy : copies) written[run].push_back(ReadFileBytes(copy));
  }
  std::set<uint32_t> ids;
  size_t idCount = 0;
  for (int i = 0; i < kThreads; ++i) {
    ASSERT_EQ(outcomes[0][i].steps.at(0).second, "ok") << kPages[i];
    ASSERT_GT(outcomes[0][i].steps.size(), 15u) << kPages[i];
    ExpectSame(outcomes[0][i], outcomes[1][i], kPages[i]);
    EXPECT_TRUE(written[0][i] == written[1][i]) << kPages[i] << ": written back differently";
    EXPECT_NE(written[0][i].find("data-job"), std::string::npos) << kPages[i] << ": not written back";
    // NodeIds of the threaded run: unique across all documents.
    const std::vector<uint32_t> &own = outcomes[1][i].ids;
    EXPECT_GT(own.size(), 10u) << kPages[i];
    ids.insert(own.begin(), own.end());
    idCount += own.size();
  }
  EXPECT_EQ(ids.size(), idCount) << "a NodeId was given twice";
}

// A document opened on one thread and released on another: its original
// cursor, a duplicate and a note reference to it from a second document;
// meanwhile the opening thread parses and closes other pages. The flag word
// set on the main thread holds on both.
TEST(Threads, DocumentOpenedOnOneThreadIsReleasedOnAnother) {
  TempDir dir;
  const std::string copy = dir.CopyCorpusFile("html/guardian-1.html", "handed.html");
  const uint32_t oldFlag = sgSetTextConvFlag(SG_TEXTCONV_KEEP_CONTROLS, SG_TEXTCONV_KEEP_CONTROLS);
  SG_CURSOR opened = nullptr, dup = nullptr, holder = nullptr;
  SG_NOTE note = nullptr;
  std::vector<std::string> seen;  // by the releasing thread
  int parsed = 0;                 // by the opening thread after the hand-over
  Barrier handOver(2);
  std::thread opener([&] {
    opened = sgOpenXMLA(copy.c_str());
    if (opened && sgSearchA(opened, "title", SG_SEARCH_FIRST)) {
      sgSetAttribA(opened, "data-handed", "yes");
      dup = sgDupXML(opened);
      holder = sgCreateXMLA(nullptr, SG_ENC_UTF8, 0);
      note = holder ? sgCreateNoteA(holder, "refs") : nullptr;
      if (note && sgNoteAddStrA(note, "t", "title:")) sgNoteSetReferenceNode(note, dup);
    }
    sgToMBStr(W("left in the opener's ring").c_str());
    handOver.Wait();
    for (const char *page : {"html/bbc-1.html", "html/nytimes-3.html", "html/wikipedia-2.html"}) {
      SG_CURSOR c = sgOpenXMLA(sprig_test::CorpusPath(page).c_str());
      if (c && sgSearchA(c, "a", SG_SEARCH_FIRST) && Take(sgGetOuterXMLW(c)) != "<null>") ++parsed;
      sgDeleteXML(c);
    }
  });
  std::thread releaser([&] {
    handOver.Wait();
    seen.push_back(Str(sgGetNameA(dup)) + " " + Str(sgGetAttribA(dup, "data-handed")));
    sgCloseXML(opened);
    seen.push_back(Str(sgGetInnerStrA(dup)));
    sgCloseXML(dup);
    // The note's reference alone keeps the document alive now.
    seen.push_back(Str(sgNoteGetStrA(note)));
    SG_CURSOR ref = sgNoteGetReferenceNode(note, 0, 0);
    seen.push_back(Str(sgGetNameA(ref)));
    sgCloseXML(ref);
    seen.push_back(std::to_string(sgGetTextConvFlag()) + Str(sgToNormalStrTemp16A("a\tb&amp;")));
    sgCloseXML(holder);  // the note goes, and with it the document: written back
  });
  opener.join();
  releaser.join();
  sgSetTextConvFlag(oldFlag, SG_TEXTCONV_KEEP_CONTROLS);
  ASSERT_NE(opened, nullptr);
  ASSERT_NE(note, nullptr);
  const std::string title = seen.size() > 1 ? seen[1] : "";
  EXPECT_NE(title, "<null>");
  EXPECT_EQ(seen, (std::vector<std::string>{"title yes", title, "title:", "title", "1a\tb&"}));
  EXPECT_EQ(parsed, 3);
  EXPECT_NE(ReadFileBytes(copy).find("data-handed=\"yes\""), std::string::npos);
}

}  // namespace
