// The file runner of the sprig tool: works on many files on several threads
// and prints their output in the order the files were given, with a progress
// line on long runs.
#ifndef SPRIG_TOOL_CLI_RUN_H
#define SPRIG_TOOL_CLI_RUN_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace sprig_cli {

// What the work on one file produced: its output and messages, buffered until
// every file before it has been printed, and its tallies.
struct FileOutput {
  std::string out;       // for the output stream
  std::string err;       // for the error stream ("sprig: ...\n" lines)
  bool failed = false;   // the file could not be read or written
  uint64_t matches = 0;  // matches found (or edited)
  bool written = false;  // the file was saved
};

// How the runner reports progress.
struct Progress {
  bool enabled = false;   // the output is not a terminal: a long run shows progress
  bool inPlace = false;   // the error stream is a terminal: one line rewritten with '\r'
  int afterMs = 2000;     // how long a run lasts before its progress shows
};

// The order in which the files are taken. The calling thread takes
// order[0, lead) first and the other threads order[lead, end); a thread whose
// part is done goes on with the other part. An empty order: index order,
// all in one part.
struct Schedule {
  std::vector<std::size_t> order;  // a permutation of the indexes, or empty
  std::size_t lead = 0;
};

// Calls work(i, &output) for every i below `count`, on up to `threads`
// threads (at least one), taking them as `schedule` says, and writes each
// output's texts to `out` and `err` in index order as soon as it and every
// output before it are complete. The work must not share anything mutable
// between calls. When a run lasts over two seconds and progress is enabled,
// "sprig: DONE/COUNT files" is shown on `err` (rewritten in place, or a line
// every five seconds) and ended with a line break. `tally` receives every
// output, in order, after it is printed.
void RunInOrder(std::size_t count, unsigned threads, const Schedule& schedule,
                const std::function<void(std::size_t, FileOutput*)>& work,
                const std::function<void(const FileOutput&)>& tally, std::FILE* out,
                std::FILE* err, Progress progress);

}  // namespace sprig_cli

#endif  // SPRIG_TOOL_CLI_RUN_H
