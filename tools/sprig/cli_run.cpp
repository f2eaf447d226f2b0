// The ordered file runner: worker threads take files from the two parts of
// the schedule; whichever thread completes the next file in index order
// prints the finished outputs and keeps the progress line. Files are taken
// and outputs handed over under one mutex; nothing else is shared between
// the workers.
#include "cli_run.h"

#include <chrono>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace sprig_cli {

namespace {

using Clock = std::chrono::steady_clock;

void Write(std::FILE* stream, const std::string& text) {
  if (!text.empty()) std::fwrite(text.data(), 1, text.size(), stream);
}

// The progress line and when it was last shown.
class ProgressLine {
 public:
  ProgressLine(std::FILE* err, Progress progress, std::size_t total)
      : err_(err), progress_(progress), total_(total), start_(Clock::now()) {}

  // Shows "done/total" when the run is long enough and the last showing is
  // old enough.
  void Update(std::size_t done) {
    if (!progress_.enabled || done == total_) return;
    Clock::time_point now = Clock::now();
    if (now - start_ < std::chrono::milliseconds(progress_.afterMs)) return;
    if (shown_ && now - last_ < (progress_.inPlace ? std::chrono::milliseconds(200)
                                                     : std::chrono::milliseconds(5000)))
      return;
    std::string text = "sprig: " + std::to_string(done) + "/" + std::to_string(total_) + " files";
    if (progress_.inPlace) {
      Write(err_, "\r" + text);
      width_ = text.size();
    } else {
      Write(err_, text + "\n");
    }
    std::fflush(err_);
    shown_ = true;
    last_ = now;
  }

  // Clears an in-place line before a message is printed.
  void Clear() {
    if (shown_ && progress_.inPlace && width_ > 0) {
      Write(err_, "\r" + std::string(width_, ' ') + "\r");
      width_ = 0;
    }
  }

  // Ends the run: a last count and a line break after an in-place line.
  void Finish() {
    if (shown_ && progress_.inPlace) {
      Write(err_, "\rsprig: " + std::to_string(total_) + "/" + std::to_string(total_) + " files\n");
    }
  }

 private:
  std::FILE* err_;
  Progress progress_;
  std::size_t total_;
  Clock::time_point start_, last_;
  bool shown_ = false;
  std::size_t width_ = 0;
};

}  // namespace

void RunInOrder(std::size_t count, unsigned threads, const Schedule& schedule,
                const std::function<void(std::size_t, FileOutput*)>& work,
                const std::function<void(const FileOutput&)>& tally, std::FILE* out,
                std::FILE* err, Progress progress) {
  std::vector<FileOutput> outputs(count);
  std::vector<char> done(count, 0);
  std::mutex mutex;  // guards the parts, outputs, done, printed, finished, printing
  std::size_t printed = 0, finished = 0;
  bool printing = false;  // one thread at a time prints, outside the lock
  const bool ordered = schedule.order.size() == count;
  const std::size_t lead = ordered && schedule.lead < count ? schedule.lead : 0;
  std::size_t next[2] = {0, lead};          // the next entry of each part
  const std::size_t end[2] = {lead, count};  // where each part ends
  ProgressLine line(err, progress, count);

  // Takes the next file of `part`, or of the other part when `part` is done.
  auto take = [&](int part, std::size_t* index) {
    for (int p : {part, 1 - part}) {
      if (next[p] < end[p]) {
        const std::size_t taken = next[p]++;
        *index = ordered ? schedule.order[taken] : taken;
        return true;
      }
    }
    return false;
  };

  // The thread that completes the next file in input order prints it and
  // every complete file after it, so no thread waits for another.
  auto worker = [&](int part) {
    std::unique_lock<std::mutex> lock(mutex);
    for (std::size_t i; take(part, &i);) {
      lock.unlock();
      FileOutput output;
      try {
        work(i, &output);
      } catch (const std::bad_alloc&) {
        output.err += "sprig: out of memory\n";
        output.failed = true;
      }
      lock.lock();
      outputs[i] = std::move(output);
      done[i] = 1;
      ++finished;
      if (printing) continue;
      printing = true;
      while (printed < count && done[printed]) {
        FileOutput ready = std::move(outputs[printed]);
        ++printed;
        std::size_t finishedNow = finished;
        lock.unlock();
        Write(out, ready.out);
        if (!ready.err.empty()) {
          line.Clear();
          std::fflush(out);
          Write(err, ready.err);
        }
        tally(ready);
        line.Update(finishedNow);
        lock.lock();
      }
      printing = false;
    }
  };

  std::vector<std::thread> pool;
  unsigned wanted = threads == 0 ? 1 : threads;
  if (wanted > count) wanted = static_cast<unsigned>(count);
  for (unsigned t = 1; t < wanted; ++t) {
    try {
      pool.emplace_back(worker, 1);
    } catch (const std::system_error&) {
      break;  // fewer threads
    }
  }
  worker(0);
  for (std::thread& thread : pool) thread.join();
  line.Finish();
}

}  // namespace sprig_cli
