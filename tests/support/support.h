// Shared helpers for the Sprig test suites: the corpus, whole-file reads,
// per-test temporary folders and a small-stack runner for deep-tree tests.
//
// Paths are narrow UTF-8 strings in the form the running platform accepts: on
// Windows (under Wine) absolute Unix paths get a "Z:" drive prefix. Nothing
// here allocates through the library; every helper owns what it returns.
// This header includes no system header beyond the C++ standard library and
// the public sprig.h (for SG_WCHAR).
#ifndef SPRIG_TESTS_SUPPORT_H
#define SPRIG_TESTS_SUPPORT_H

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "sprig.h"

namespace sprig_test {

// A UTF-16 string of the library's wide character type.
using WString = std::basic_string<SG_WCHAR>;

// ---- Paths -----------------------------------------------------------------

// Turns an absolute Unix path into one the platform opens ("/x" -> "Z:/x" on
// Windows); other paths are returned unchanged.
std::string NativePath(const std::string& path);

// The corpus root (html/, feeds/<encoding>/), as a native path without a
// trailing slash.
std::string CorpusDir();

// Native path of a corpus file given relative to the corpus root, for example
// CorpusPath("html/001.html") or CorpusPath("feeds/utf-8/x.xml").
std::string CorpusPath(const std::string& relative);

// Sorted native paths of the regular files directly inside a corpus folder
// ("html", "feeds/SHIFT_JIS", "feeds/CP932", "feeds/EUC-JP", "feeds/utf-8").
// Empty when the folder does not exist.
std::vector<std::string> CorpusFiles(const std::string& folder);

// The encoding folders under feeds/, sorted ("CP932", "EUC-JP", ...).
std::vector<std::string> CorpusFeedEncodings();

// Sorted native paths of the regular files directly inside a folder given as a
// native path; empty when the folder does not exist.
std::vector<std::string> ListFiles(const std::string& folder);

// ---- Files -----------------------------------------------------------------

// Whole contents of a file as bytes. Fails the current test (ADD_FAILURE) and
// returns an empty string when the file cannot be read.
std::string ReadFileBytes(const std::string& path);

// Writes bytes to a file, replacing it. Returns false on failure.
bool WriteFileBytes(const std::string& path, const std::string& bytes);

bool FileExists(const std::string& path);

// ---- Text ------------------------------------------------------------------

// UTF-8 <-> UTF-16 by hand, independent of the library and of code pages.
// Invalid input becomes U+FFFD.
WString Utf16(const std::string& utf8);
std::string Utf8(const SG_WCHAR* text, std::ptrdiff_t length = -1);
inline std::string Utf8(const WString& text) {
  return Utf8(text.c_str(), static_cast<std::ptrdiff_t>(text.size()));
}

// Frees a block the library hands out as global memory (outer XML) through
// GlobalHandle and GlobalFree; true when it was freed.
bool FreeGlobalBlock(void *block);

// ---- Temporary folders -----------------------------------------------------

// A fresh, empty folder for one test, removed with everything in it when the
// object is destroyed. Folders are made under the build tree's test-tmp/ and
// named after the running test, so a failed run leaves nothing behind but is
// easy to trace while it runs.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // Native path of the folder, without a trailing slash.
  const std::string& path() const { return path_; }
  // Native path of `name` inside the folder (the file is not created).
  std::string File(const std::string& name) const;
  // Copies a corpus file (relative to the corpus root) into the folder under
  // `name` (default: its own file name) and returns the copy's native path.
  // Fails the current test and returns "" when the copy fails.
  std::string CopyCorpusFile(const std::string& relative, const std::string& name = "") const;
  // Writes `bytes` to `name` in the folder and returns its native path.
  std::string WriteFile(const std::string& name, const std::string& bytes) const;

 private:
  std::string path_;
};

// ---- Stack -----------------------------------------------------------------

// Windows' default main-thread stack reserve, the budget every deep-tree
// operation must live within.
constexpr std::size_t kSmallStack = 1024 * 1024;

// Runs `fn` to completion on a new thread whose stack is `stackBytes` (natively
// a pthread with that stack size, on Windows a thread with that reserve; Wine
// never reserves less than 1 MiB), so a recursion per tree level overflows and
// crashes the test instead of passing.
// Exceptions thrown by `fn` are rethrown on the calling thread; gtest
// assertions inside `fn` are reported as usual (ASSERT_* only leaves `fn`).
void RunOnSmallStack(std::size_t stackBytes, const std::function<void()>& fn);
inline void RunOnSmallStack(const std::function<void()>& fn) {
  RunOnSmallStack(kSmallStack, fn);
}

// Total stack size (reserve) of the calling thread in bytes, 0 if unknown.
std::size_t CurrentStackSize();

// Runs `body` in a child process holding the rights of the unprivileged user
// "nobody", for checks that root's rights would defeat (a file without read
// permission). 1 when `body` returned true there, 0 when false, -1 when it
// cannot be done here: not root, or Windows.
int RunUnprivileged(const std::function<bool()>& body);

// Makes a FIFO at `path`; false when it cannot be made (and on Windows,
// which has no FIFOs in its file system).
bool MakeFifo(const std::string& path);
// Runs `body` in a child process that is ended after `seconds`: its result
// (0..127), -2 when it was still running then, -1 when no child could be run
// (Windows).
int RunWithTimeout(unsigned seconds, const std::function<int()>& body);

}  // namespace sprig_test

#endif  // SPRIG_TESTS_SUPPORT_H
