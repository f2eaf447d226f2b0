// exact_bench - the editing layer beside the core on the same files: opening
// (sxOpen against sgOpenXMLA), saving an unedited document (sxSave against
// sgSaveAsA, both into a temporary folder) and the peak heap of an open
// document (heap_count.h), per file of the corpus's html/ and feeds/ folders
// and in total, with a verdict per target of the layer.
//
// Opens are timed in thread CPU time; saves in wall time and in CPU time.
// The core's save writes in place without a sync; the layer's save is timed
// as it comes (it syncs the file and its folder, which waits for the disk
// without using the CPU) and with SX_SAVE_NO_SYNC, which gives the same
// guarantee as the core's against the system stopping: the target compares
// that one with the core's. Run with --tmp on a disk folder for the syncs'
// real cost. Heaps are measured in a child process per open (PeakOfOpen).
// Uses the library only through sprig_exact.h and libsprig-exact.so.
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "heap_count.h"
#include "sprig_exact.h"

namespace {

double Clock(clockid_t id) {
  timespec ts;
  clock_gettime(id, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

struct Times {
  double cpu = 0, wall = 0;
};

// Best of `reps` runs of `body`, CPU and wall time apart.
template <typename Body>
Times Best(int reps, Body body) {
  Times best{1e30, 1e30};
  for (int r = 0; r < reps; ++r) {
    double c0 = Clock(CLOCK_THREAD_CPUTIME_ID), w0 = Clock(CLOCK_MONOTONIC);
    body();
    best.cpu = std::min(best.cpu, Clock(CLOCK_THREAD_CPUTIME_ID) - c0);
    best.wall = std::min(best.wall, Clock(CLOCK_MONOTONIC) - w0);
  }
  return best;
}

// The heap an open of `path` adds (sxOpen with `layer`, else sgOpenXMLA),
// in a child process, so that core and layer start from the same state: the
// arena chunks that closed documents leave parked for the next ones would
// otherwise serve whichever is measured second. The child first opens and
// closes `head` (the file's first kilobyte), which makes the process's
// one-time tables of the file's encoding and parks only chunks too small
// for the real document.
size_t PeakOfOpen(const std::string &path, const std::string &head, bool layer) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return 0;
  pid_t child = fork();
  if (child == 0) {
    auto open = [layer](const std::string &p) {
      return layer ? sxOpen(p.c_str(), nullptr, nullptr) : sgOpenXMLA(p.c_str());
    };
    sgDeleteXML(open(head));
    HeapResetPeak();
    const size_t base = HeapLiveBytes();
    SG_CURSOR doc = open(path);
    size_t peak = HeapPeakBytes() - base;
    if (write(pipeEnds[1], &peak, sizeof peak) != sizeof peak) _exit(1);
    sgDeleteXML(doc);
    _exit(0);
  }
  close(pipeEnds[1]);
  size_t peak = 0;
  if (child < 0 || read(pipeEnds[0], &peak, sizeof peak) != sizeof peak) peak = 0;
  close(pipeEnds[0]);
  if (child > 0) waitpid(child, nullptr, 0);
  return peak;
}

struct Row {
  std::string name;
  size_t bytes = 0;
  Times coreOpen, exactOpen, coreSave, exactSave, exactQuick;
  size_t coreHeap = 0, exactHeap = 0;
  bool exactOk = false;
};

void ListFiles(const std::string &dir, const std::string &prefix, std::vector<std::string> *out) {
  DIR *d = opendir(dir.c_str());
  if (!d) return;
  std::vector<std::string> names;
  while (dirent *e = readdir(d))
    if (e->d_name[0] != '.') names.push_back(e->d_name);
  closedir(d);
  std::sort(names.begin(), names.end());
  for (const std::string &name : names) {
    std::string full = dir + "/" + name;
    struct stat info;
    if (stat(full.c_str(), &info) != 0) continue;
    if (S_ISDIR(info.st_mode)) ListFiles(full, prefix + name + "/", out);
    else if (S_ISREG(info.st_mode) && name != "README.md") out->push_back(prefix + name);
  }
}

Row Measure(const std::string &corpus, const std::string &name, const std::string &tmp, int reps) {
  Row row;
  row.name = name;
  const std::string path = corpus + "/" + name;
  std::string bytes;
  if (FILE *f = fopen(path.c_str(), "rb")) {
    char block[65536];
    size_t n;
    while ((n = fread(block, 1, sizeof block, f)) > 0) bytes.append(block, n);
    fclose(f);
  }
  row.bytes = bytes.size();
  const std::string coreOut = tmp + "/core.out", exactOut = tmp + "/exact.out";

  row.coreOpen = Best(reps, [&] { sgDeleteXML(sgOpenXMLA(path.c_str())); });
  row.exactOpen = Best(reps, [&] { sgDeleteXML(sxOpen(path.c_str(), nullptr, nullptr)); });

  const std::string head = tmp + "/head";
  if (FILE *f = fopen(head.c_str(), "wb")) {
    fwrite(bytes.data(), 1, std::min<size_t>(bytes.size(), 1024), f);
    fclose(f);
  }
  row.coreHeap = PeakOfOpen(path, head, false);
  row.exactHeap = PeakOfOpen(path, head, true);
  unlink(head.c_str());
  SG_CURSOR core = sgOpenXMLA(path.c_str());
  SG_CURSOR exact = sxOpen(path.c_str(), nullptr, nullptr);

  if (core) row.coreSave = Best(reps, [&] { sgSaveAsA(core, coreOut.c_str(), sgGetEncoding(core)); });
  if (exact) {
    row.exactOk = true;
    row.exactSave = Best(reps, [&] { row.exactOk &= sxSave(exact, exactOut.c_str(), nullptr, 0, nullptr) == 1; });
    row.exactQuick = Best(reps, [&] {
      row.exactOk &= sxSave(exact, exactOut.c_str(), nullptr, SX_SAVE_NO_SYNC, nullptr) == 1;
    });
  }
  sgDeleteXML(core);
  sgDeleteXML(exact);
  unlink(coreOut.c_str());
  unlink(exactOut.c_str());
  return row;
}

void Verdict(const char *what, double ratio, double limit) {
  printf("%-58s %-8s %.2fx (limit %.2fx)\n", what, ratio <= limit ? "MET" : "NOT MET", ratio, limit);
}

}  // namespace

int main(int argc, char **argv) {
  std::string corpus = SPRIG_BENCH_CORPUS_DIR, tmp = "/tmp";
  std::vector<std::string> filters;
  int reps = 5;
  bool quiet = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    const char *v = i + 1 < argc ? argv[i + 1] : nullptr;
    if (a == "--reps" && v) reps = std::max(1, atoi(argv[++i]));
    else if (a == "--corpus" && v) corpus = argv[++i];
    else if (a == "--tmp" && v) tmp = argv[++i];
    else if (a == "--filter" && v) filters.push_back(argv[++i]);
    else if (a == "--totals") quiet = true;
    else {
      fprintf(stderr,
              "usage: exact_bench [--reps N] [--corpus DIR] [--tmp DIR] [--filter PART]... [--totals]\n"
              "  --tmp DIR   folder the saves go to; a tmpfs folder (/dev/shm) makes every\n"
              "              sync free, a disk folder shows what the sync costs\n");
      return 2;
    }
  }
  std::vector<std::string> names;
  ListFiles(corpus, "", &names);
  if (!filters.empty())
    names.erase(std::remove_if(names.begin(), names.end(),
                               [&](const std::string &n) {
                                 for (const std::string &f : filters)
                                   if (n.find(f) != std::string::npos) return false;
                                 return true;
                               }),
                names.end());
  char folder[4096];
  snprintf(folder, sizeof folder, "%s/exact_bench.XXXXXX", tmp.c_str());
  if (names.empty() || !mkdtemp(folder)) {
    fprintf(stderr, "exact_bench: no inputs in %s or no folder in %s\n", corpus.c_str(), tmp.c_str());
    return 1;
  }
  printf("# exact_bench: %zu files of %s, best of %d; saves into %s\n", names.size(), corpus.c_str(), reps, folder);
  printf("# open: CPU ms; save: wall ms (CPU ms); the layer's save with its syncs and with SX_SAVE_NO_SYNC\n");
  if (!quiet)
    printf("%-44s %8s | %8s %8s %5s | %16s %16s %5s | %7s | %6s %6s %5s\n", "file", "KB", "core", "layer",
           "x", "core save", "layer no sync", "x", "synced", "heapC", "heapL", "x");
  Row total;
  bool allSaved = true;
  for (const std::string &name : names) {
    Row r = Measure(corpus, name, folder, reps);
    allSaved &= r.exactOk;
    total.bytes += r.bytes;
    total.coreOpen.cpu += r.coreOpen.cpu;
    total.exactOpen.cpu += r.exactOpen.cpu;
    total.coreSave.wall += r.coreSave.wall;
    total.coreSave.cpu += r.coreSave.cpu;
    total.exactSave.wall += r.exactSave.wall;
    total.exactSave.cpu += r.exactSave.cpu;
    total.exactQuick.wall += r.exactQuick.wall;
    total.exactQuick.cpu += r.exactQuick.cpu;
    total.coreHeap += r.coreHeap;
    total.exactHeap += r.exactHeap;
    if (quiet) continue;
    printf("%-44s %8.1f | %8.3f %8.3f %5.2f | %7.3f (%6.3f) %7.3f (%6.3f) %5.2f | %7.3f | %6.2f %6.2f %5.2f\n",
           name.c_str(), r.bytes / 1024.0, r.coreOpen.cpu * 1e3, r.exactOpen.cpu * 1e3,
           r.exactOpen.cpu / r.coreOpen.cpu, r.coreSave.wall * 1e3, r.coreSave.cpu * 1e3, r.exactQuick.wall * 1e3,
           r.exactQuick.cpu * 1e3, r.exactQuick.wall / r.coreSave.wall, r.exactSave.wall * 1e3,
           static_cast<double>(r.coreHeap) / r.bytes,
           static_cast<double>(r.exactHeap) / r.bytes, static_cast<double>(r.exactHeap) / r.coreHeap);
  }
  rmdir(folder);
  printf("\n## Totals over %zu files, %.1f MB\n", names.size(), total.bytes / 1e6);
  printf("open   core %9.2f ms   layer %9.2f ms   (CPU)\n", total.coreOpen.cpu * 1e3, total.exactOpen.cpu * 1e3);
  printf("save   core %9.2f ms   layer %9.2f ms no sync, %.2f ms synced   (wall; CPU %.2f / %.2f / %.2f ms)\n",
         total.coreSave.wall * 1e3, total.exactQuick.wall * 1e3, total.exactSave.wall * 1e3,
         total.coreSave.cpu * 1e3, total.exactQuick.cpu * 1e3, total.exactSave.cpu * 1e3);
  printf("heap   core %9.2f B/B   layer %9.2f B/B\n\n", static_cast<double>(total.coreHeap) / total.bytes,
         static_cast<double>(total.exactHeap) / total.bytes);
  Verdict("open with detection and whole-file reading <= 1.1x core", total.exactOpen.cpu / total.coreOpen.cpu, 1.1);
  Verdict("unedited save, SX_SAVE_NO_SYNC, <= 1.2x core save", total.exactQuick.wall / total.coreSave.wall, 1.2);
  printf("(the syncs add %.2f ms over %zu files: %.2fx the core's save with them)\n",
         (total.exactSave.wall - total.exactQuick.wall) * 1e3, names.size(), total.exactSave.wall / total.coreSave.wall);
  Verdict("peak heap of an open document <= 1.5x core", static_cast<double>(total.exactHeap) / total.coreHeap, 1.5);
  if (!allSaved) printf("some saves of the layer FAILED\n");
  return allSaved ? 0 : 1;
}
