// The allocation-failure sweep: a scenario (a fixed sequence of public calls)
// runs once to record every call's result and the number N of allocations,
// then once for each k in 1..N with the k-th allocation failing. In a failing
// run, every call before the failure must give its recorded result, the call
// that meets the failure its recorded result or its failure result, and after
// every call the invariant checker must accept every document the scenario
// holds. Leaks show in the ASan run, since every scenario closes all it opens.
#ifndef SPRIG_TESTS_RELIABILITY_SWEEP_H
#define SPRIG_TESTS_RELIABILITY_SWEEP_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "testing/testing.h"
#include "model/document.h"
#include "testing/invariants.h"
#include "platform/platform.h"
#include "sprig.h"
#include "support.h"

namespace sprig_reliability {

// True when `part` is `whole` with zero or more characters left out.
inline bool IsSubsequence(const std::string &part, const std::string &whole) {
  size_t j = 0;
  for (char ch : whole) j += (j < part.size() && part[j] == ch);
  return j == part.size();
}

// Result texts.
inline std::string Num(uint32_t v) { return std::to_string(v); }
inline std::string Ptr(const void *p) { return p ? "ptr" : "null"; }
inline std::string Str(const char *s) { return s ? "'" + std::string(s) + "'" : "null"; }
inline std::string Str(const SG_WCHAR *s) { return s ? "'" + sprig_test::Utf8(s) + "'" : "null"; }

// A UTF-16 argument made from UTF-8, alive to the end of the full expression.
struct W {
  W(const std::string &utf8) : text(sprig_test::Utf16(utf8)) {}
  operator const SG_WCHAR *() const { return text.c_str(); }
  sprig_test::WString text;
};

// One run of a scenario. Scenarios call Step for every public call whose
// result matters, and Open (or Track) and Close for every cursor they hold.
class ScenarioRun {
 public:
  // failAt 0: the recording run.
  ScenarioRun(unsigned long failAt, std::vector<std::string> *recorded)
      : failAt_(failAt), recorded_(recorded) {}

  // Runs `call`, whose result is rendered as text by the caller; `failure`
  // is the text of the result that the call gives when memory runs out, or
  // "*" for a step of several calls whose partial results cannot be told,
  // or "~" for a text that may come back null or with pieces left out (a
  // rendering whose growth step failed, a note whose piece could not be
  // converted).
  std::string Step(const char *label, const std::string &failure,
                   const std::function<std::string()> &call) {
    const unsigned long before = PlatformAllocationCount();
    std::string result = call();
    const unsigned long after = PlatformAllocationCount();
    const size_t index = step_++;
    if (failAt_ == 0) {
      recorded_->push_back(result);
    } else if (index < recorded_->size() && !failed_) {
      const std::string &expected = (*recorded_)[index];
      if (before < failAt_ && after >= failAt_) {
        failed_ = true;
        EXPECT_TRUE(result == expected || result == failure || failure == "*" ||
                    (failure == "~" && (result == "null" || IsSubsequence(result, expected))))
            << label << " (step " << index << ") with allocation " << failAt_
            << " failing gave \"" << result << "\", expected \"" << expected
            << "\" or the failure result \"" << failure << "\"";
      } else {
        EXPECT_EQ(expected, result) << label << " (step " << index << ") before allocation "
                                    << failAt_ << " failed";
      }
    }
    Verify(label);
    return result;
  }

  // One step per call, each giving a number and `failure` when memory runs out.
  void Steps(const std::string &failure,
             std::initializer_list<std::pair<const char *, std::function<uint32_t()>>> calls) {
    for (const auto &[label, call] : calls) Step(label, failure, [&] { return Num(call()); });
  }

  // A step that opens a cursor (null when memory runs out), tracked from then on.
  SG_CURSOR Open(const char *label, const std::function<SG_CURSOR()> &open) {
    SG_CURSOR c = nullptr;
    Step(label, "null", [&] {
      Track(c = open());
      return Ptr(c);
    });
    return c;
  }

  void Track(SG_CURSOR c) {
    if (c) cursors_.push_back(AsCursor(c));
  }
  // Closes (or deletes) a tracked cursor; null is skipped.
  // Closing is a step of its own: a close may write a document back.
  void Close(SG_CURSOR c, bool del = false) {
    if (!c) return;
    cursors_.erase(std::remove(cursors_.begin(), cursors_.end(), AsCursor(c)), cursors_.end());
    Step(del ? "sgDeleteXML" : "sgCloseXML", "", [&] {
      (del ? sgDeleteXML : sgCloseXML)(c);
      return std::string();
    });
  }
  void Verify(const char *label) {
    if (const char *e = CheckInvariants(cursors_.data(), cursors_.size())) {
      ADD_FAILURE() << "invariant broken after " << label << " with allocation " << failAt_
                    << " failing: " << e;
    }
  }
  bool failed() const { return failed_; }

 private:
  unsigned long failAt_;
  std::vector<std::string> *recorded_;
  std::vector<const Cursor *> cursors_;
  size_t step_ = 0;
  bool failed_ = false;
};

// Runs the sweep; returns the number of allocation points N.
inline unsigned long Sweep(const std::function<void(ScenarioRun &)> &scenario) {
  std::vector<std::string> recorded;
  PlatformFailAllocationAt(0);
  {
    ScenarioRun run(0, &recorded);
    scenario(run);
  }
  const unsigned long n = PlatformAllocationCount();
  for (unsigned long k = 1; k <= n && !::testing::Test::HasFailure(); ++k) {
    PlatformFailAllocationAt(k);
    ScenarioRun run(k, &recorded);
    scenario(run);
    PlatformFailAllocationAt(0);
    EXPECT_TRUE(run.failed()) << "allocation " << k << " was never reached";
  }
  PlatformFailAllocationAt(0);
  std::printf("[  sweep   ] %lu allocation points\n", n);
  return n;
}

}  // namespace sprig_reliability

#endif
