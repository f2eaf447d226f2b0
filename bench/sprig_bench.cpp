// sprig_bench - Sprig side by side with libxml2 (HTML and XML parsers),
// gumbo, pugixml and tinyxml2, in one run on the same inputs held in memory.
//
// Reported per input: parse throughput (MB/s = 10^6 input bytes per second of
// the bench thread's CPU time, best of --reps), peak heap bytes per input byte
// (heap_count.h; libxml2's own allocations also through xmlMemSetup), the
// Sprig/peer ratios, and for Sprig the save, render, pre-order walk and name
// search on the parsed document, with pugixml's save beside it. Then the
// aggregates, the scaling of the generated shapes (a pass of its own, in
// alternation: MeasureScaling) and a verdict per target.
// Uses Sprig only through sprig.h and libsprig.so, as an application does.
#include <errno.h>
#include <limits.h>
#include <gumbo.h>
#include <libxml/HTMLparser.h>
#include <libxml/parser.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlmemory.h>
#include <malloc.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <pugixml.hpp>
#include <string>
#include <tinyxml2.h>
#include <vector>

#include "bench_inputs.h"
#include "heap_count.h"
#include "sprig.h"

namespace {

// ---- Options ---------------------------------------------------------------

struct Options {
  int reps = 3;               // best of this many timed repetitions
  int scalingRounds = 5;      // scaling pairs: parsed afresh this often,
  int scalingReps = 5;        // and measured at least this often per round and size
  double minSeconds = 0.010;  // each repetition loops until it measured this much
  // Shapes at 16 and 32 MiB: both sizes lie well past the last-level cache,
  // so the time ratio between them shows the algorithm, not where a tree
  // stops fitting in the cache.
  size_t shapeBytes = 16u << 20;
  std::string corpusDir = SPRIG_BENCH_CORPUS_DIR;
  std::string tmpBase = "/tmp";
  std::vector<std::string> filters;
  bool listOnly = false;
  bool hugePages = true;      // the scaling pass on huge pages (a child process)
  bool scalingChild = false;  // this process is that child: scaling pass only
};

void Usage(FILE *out) {
  fprintf(out,
          "usage: sprig_bench [--reps N] [--scaling-rounds N] [--scaling-reps N] [--min-ms N]\n"
          "                   [--filter A,B,...] [--shape-mb N] [--corpus DIR] [--tmp DIR]\n"
          "                   [--list] [--small-pages]\n"
          "  --reps N       timed repetitions per measurement, best kept (default 3)\n"
          "  --scaling-rounds N  how often each shape pair is parsed afresh for the\n"
          "                 scaling ratios, the median of the rounds' kept (default 5;\n"
          "                 every round stays open: about 9 GB for the deep shape)\n"
          "  --scaling-reps N  repetitions per round of each size of a pair at least,\n"
          "                 the sizes in alternation, one run each (default 5)\n"
          "  --min-ms N     a repetition loops until N ms were measured (default 10)\n"
          "  --filter LIST  only inputs whose name contains one of the comma-separated\n"
          "                 parts (names: html/<page>, html-all, feeds/<enc>/<file>,\n"
          "                 shape/<deep|wide|attrs|text|flood>-<1x|2x>)\n"
          "  --shape-mb N   size of a generated shape at 1x, in MiB (default 16)\n"
          "  --corpus DIR   corpus with html/ and feeds/ (default %s)\n"
          "  --tmp DIR      where generated inputs and saved outputs go (default /tmp)\n"
          "  --list         list the selected inputs and exit\n"
          "  --small-pages  run the scaling pass in this process, on small pages\n"
          "                 (see RunScalingChild)\n"
          "  --scaling-child  only the scaling pass, one line of ratios per shape on\n"
          "                 stdout (how the bench runs that pass on huge pages)\n",
          SPRIG_BENCH_CORPUS_DIR);
}

bool ParseOptions(int argc, char **argv, Options *o) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](const char **out) {
      if (i + 1 >= argc) return false;
      *out = argv[++i];
      return true;
    };
    const char *v = nullptr;
    if (arg == "--reps" && value(&v)) {
      o->reps = std::max(1, atoi(v));
    } else if (arg == "--scaling-rounds" && value(&v)) {
      o->scalingRounds = std::max(1, atoi(v));
    } else if (arg == "--scaling-reps" && value(&v)) {
      o->scalingReps = std::max(1, atoi(v));
    } else if (arg == "--min-ms" && value(&v)) {
      o->minSeconds = std::max(0.0, atof(v) / 1000.0);
    } else if (arg == "--shape-mb" && value(&v)) {
      o->shapeBytes = static_cast<size_t>(std::max(0.01, atof(v)) * (1u << 20));
    } else if (arg == "--filter" && value(&v)) {
      std::string list = v;
      size_t at = 0;
      while (at <= list.size()) {
        size_t comma = list.find(',', at);
        if (comma == std::string::npos) comma = list.size();
        if (comma > at) o->filters.push_back(list.substr(at, comma - at));
        at = comma + 1;
      }
    } else if (arg == "--corpus" && value(&v)) {
      o->corpusDir = v;
    } else if (arg == "--tmp" && value(&v)) {
      o->tmpBase = v;
    } else if (arg == "--list") {
      o->listOnly = true;
    } else if (arg == "--small-pages") {
      o->hugePages = false;
    } else if (arg == "--scaling-child") {
      o->scalingChild = true;
    } else if (arg == "--help" || arg == "-h") {
      Usage(stdout);
      exit(0);
    } else {
      Usage(stderr);
      return false;
    }
  }
  return true;
}

// ---- Clock and repetition ----------------------------------------------------

// CPU time of this thread: the machine is shared, so wall time would mostly
// measure the other processes.
double Now() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Per-iteration seconds of one repetition: `body` runs one iteration and
// returns the seconds it measured (setup and freeing excluded); it runs until
// the repetition measured --min-ms.
template <class Body>
double RepSeconds(const Options &o, Body body) {
  double total = 0;
  int n = 0;
  do {
    total += body();
    ++n;
  } while (total < o.minSeconds && n < 100000);
  return total / n;
}

// Best per-iteration seconds over --reps repetitions.
template <class Body>
double BestSeconds(const Options &o, Body body) {
  double best = 1e300;
  for (int r = 0; r < o.reps; ++r) best = std::min(best, RepSeconds(o, body));
  return best;
}

// ---- libxml2's allocations through xmlMemSetup -------------------------------

size_t gXmlLive = 0;
size_t gXmlPeak = 0;

void XmlCount(void *block) {
  if (!block) return;
  gXmlLive += HeapBlockCost(malloc_usable_size(block));
  gXmlPeak = std::max(gXmlPeak, gXmlLive);
}

void XmlFree(void *block) {
  if (block) gXmlLive -= HeapBlockCost(malloc_usable_size(block));
  free(block);
}

void *XmlMalloc(size_t size) {
  void *block = malloc(size);
  XmlCount(block);
  return block;
}

void *XmlRealloc(void *block, size_t size) {
  size_t old = block ? HeapBlockCost(malloc_usable_size(block)) : 0;
  void *moved = realloc(block, size);
  if (!moved && size != 0) return nullptr;
  gXmlLive -= old;
  XmlCount(moved);
  return moved;
}

char *XmlStrdup(const char *text) {
  size_t n = strlen(text) + 1;
  char *copy = static_cast<char *>(XmlMalloc(n));
  if (copy) memcpy(copy, text, n);
  return copy;
}

void XmlSilence(void *, const char *, ...) {}

// ---- Parsers -------------------------------------------------------------------

enum Parser { kSprig, kSprigFile, kLxHtml, kGumbo, kLxXml, kPugi, kTiny, kParserCount };
const char *const kParserNames[kParserCount] = {"sprig", "sprig-file", "lx-html", "gumbo",
                                                "lx-xml", "pugixml", "tinyxml2"};

const int kHtmlOptions = HTML_PARSE_RECOVER | HTML_PARSE_NONET | HTML_PARSE_NOERROR |
                         HTML_PARSE_NOWARNING;
const int kXmlOptions = XML_PARSE_RECOVER | XML_PARSE_NOERROR | XML_PARSE_NOWARNING |
                        XML_PARSE_NONET;

bool Applies(Parser p, const BenchInput &in) {
  switch (p) {
    case kSprig:
    case kSprigFile: return true;
    case kLxHtml:
    case kGumbo: return !in.xml;
    default: return in.xml;
  }
}

// One parse and free. Returns the seconds the parse took (freeing excluded);
// *complete is false when the parser stopped at an error before the end.
double ParseOnce(Parser p, const BenchInput &in, bool *complete) {
  const char *bytes = in.bytes.data();
  const size_t n = in.bytes.size();
  double t0 = Now(), t1 = t0;
  bool ok = false;
  switch (p) {
    case kSprig: {
      SG_CURSOR c = sgParseXMLA(bytes, static_cast<uint32_t>(n));
      t1 = Now();
      ok = c != nullptr;
      if (c) sgCloseXML(c);
      break;
    }
    case kSprigFile: {
      SG_CURSOR c = sgOpenXMLA(in.path.c_str());
      t1 = Now();
      ok = c != nullptr;
      if (c) sgDeleteXML(c);
      break;
    }
    case kLxHtml: {
      htmlDocPtr doc = htmlReadMemory(bytes, static_cast<int>(n), nullptr, nullptr, kHtmlOptions);
      t1 = Now();
      ok = doc != nullptr;
      if (doc) xmlFreeDoc(doc);
      break;
    }
    case kGumbo: {
      GumboOutput *out = gumbo_parse_with_options(&kGumboDefaultOptions, bytes, n);
      t1 = Now();
      ok = out != nullptr;
      if (out) gumbo_destroy_output(&kGumboDefaultOptions, out);
      break;
    }
    case kLxXml: {
      xmlResetLastError();
      xmlDocPtr doc = xmlReadMemory(bytes, static_cast<int>(n), nullptr, nullptr, kXmlOptions);
      t1 = Now();
      xmlErrorPtr error = xmlGetLastError();
      ok = doc != nullptr && !(error && error->level >= XML_ERR_ERROR);
      if (doc) xmlFreeDoc(doc);
      break;
    }
    case kPugi: {
      pugi::xml_document doc;
      pugi::xml_parse_result result = doc.load_buffer(bytes, n);
      t1 = Now();
      ok = static_cast<bool>(result);
      break;
    }
    case kTiny: {
      tinyxml2::XMLDocument doc;
      doc.Parse(bytes, n);
      t1 = Now();
      ok = !doc.Error();
      break;
    }
    default: break;
  }
  *complete = ok;
  return t1 - t0;
}

// ---- Results ---------------------------------------------------------------------

struct ParseResult {
  bool ran = false;
  bool complete = false;
  double seconds = 0;
  double heapPerByte = 0;   // peak heap bytes / input bytes
  double xmlMemPerByte = 0; // libxml2 only: the same through xmlMemSetup
};

struct OutputResult {
  bool ran = false;
  double save = 0, render = 0, walk = 0, search = 0, pugiSave = -1;
  uint64_t saveBytes = 0, renderUnits = 0, nodes = 0, hitsA = 0, hitsDiv = 0;
  double covered = 0;  // share of the source text that the tree's tags span
};

struct InputResult {
  ParseResult parse[kParserCount];
  OutputResult out;
};

double Mbps(double bytes, double seconds) { return seconds > 0 ? bytes / seconds / 1e6 : 0; }

uint64_t FileSize(const std::string &path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

bool IsSprig(Parser p) { return p == kSprig || p == kSprigFile; }

// Sprig's peak heap for one parse, measured in a child process forked while
// this one has closed no Sprig document yet. A closed document leaves a few
// chunks for the next parse to reuse, and a parse taking them would count
// less than it holds. The child first parses a small text and keeps it open,
// so that the code-page converters are set up and no chunk waits for reuse;
// then it measures. Negative when the child failed.
double SprigHeapPerByte(Parser p, const BenchInput &in) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return -1;
  const pid_t child = fork();
  if (child == 0) {
    close(pipeEnds[0]);
    static const char kWarm[] = "<?xml version=\"1.0\"?><a><b c=\"d\">e</b></a>";
    SG_CURSOR warm = sgParseXMLA(kWarm, sizeof kWarm - 1);
    const size_t base = HeapLiveBytes();
    HeapResetPeak();
    bool complete = false;
    ParseOnce(p, in, &complete);
    const double n = static_cast<double>(std::max<size_t>(in.bytes.size(), 1));
    double perByte = static_cast<double>(HeapPeakBytes() - base) / n;
    if (!warm) perByte = -1;
    ssize_t written = write(pipeEnds[1], &perByte, sizeof perByte);
    _exit(written == static_cast<ssize_t>(sizeof perByte) ? 0 : 1);
  }
  close(pipeEnds[1]);
  double perByte = -1;
  if (child < 0 || read(pipeEnds[0], &perByte, sizeof perByte) != sizeof perByte) perByte = -1;
  close(pipeEnds[0]);
  if (child > 0) waitpid(child, nullptr, 0);
  return perByte;
}

// Heap, completeness and time of one parser on one input. Sprig's heap was
// measured beforehand (SprigHeapPerByte) and is kept.
void MeasureParse(const Options &o, Parser p, const BenchInput &in, ParseResult *r) {
  r->ran = true;
  // The memory run comes first and doubles as the warm-up.
  const size_t base = HeapLiveBytes();
  const size_t xmlBase = gXmlLive;
  HeapResetPeak();
  gXmlPeak = gXmlLive;
  bool complete = false;
  ParseOnce(p, in, &complete);
  const double n = static_cast<double>(std::max<size_t>(in.bytes.size(), 1));
  if (!IsSprig(p)) r->heapPerByte = static_cast<double>(HeapPeakBytes() - base) / n;
  r->xmlMemPerByte = static_cast<double>(gXmlPeak - xmlBase) / n;
  r->complete = complete;
  r->seconds = BestSeconds(o, [&] { return ParseOnce(p, in, &complete); });
}

// ---- Sprig's operations on a parsed document ----------------------------------

// Saves the document in its own encoding to `path`; the seconds it took.
double SaveOnce(SG_CURSOR c, const std::string &path) {
  const uint32_t encoding = sgGetEncoding(c);
  double t0 = Now();
  sgSaveAsA(c, path.c_str(), encoding);
  return Now() - t0;
}

// Renders the whole top level as one string; the seconds it took (freeing
// excluded). *units receives the string's length.
double RenderOnce(SG_CURSOR c, uint64_t *units) {
  double t0 = Now();
  sgMoveTo(c, SG_MOVE_LIST_HEAD);
  SG_WCHAR *text = sgGetOuterXMLW(c);
  double t = Now() - t0;
  *units = 0;
  if (text) {
    while (text[*units]) ++*units;
    GlobalUnlock(GlobalHandle(text));
    GlobalFree(GlobalHandle(text));
  }
  return t;
}

// Visits every node in document order; *nodes receives how many.
double WalkOnce(SG_CURSOR c, uint64_t *nodes) {
  double t0 = Now();
  *nodes = 0;
  if (sgMoveTo(c, SG_MOVE_BASE_FIRST)) {
    *nodes = 1;
    while (sgMoveTo(c, SG_MOVE_NEXT_IN_ORDER)) ++*nodes;
  }
  return Now() - t0;
}

// Finds every "a" and then every "div"; hits[] receives the counts.
double SearchOnce(SG_CURSOR c, uint64_t hits[2]) {
  static const SG_WCHAR kA[] = {'a', 0};
  static const SG_WCHAR kDiv[] = {'d', 'i', 'v', 0};
  const SG_WCHAR *names[2] = {kA, kDiv};
  double t0 = Now();
  for (int k = 0; k < 2; ++k) {
    hits[k] = 0;
    if (!sgSearchW(c, names[k], SG_SEARCH_FIRST)) continue;
    hits[k] = 1;
    while (sgSearchW(c, names[k], SG_SEARCH_NEXT)) ++hits[k];
  }
  return Now() - t0;
}

// Save, render, walk and search on one Sprig document; pugixml's save when
// pugixml reads the input completely.
void MeasureOutput(const Options &o, const BenchInput &in, const std::string &tmpDir,
                   InputResult *r) {
  OutputResult &out = r->out;
  SG_CURSOR c = sgParseXMLA(in.bytes.data(), static_cast<uint32_t>(in.bytes.size()));
  if (!c) return;
  out.ran = true;
  // Reading stops at an end tag or a stray '<' on the top level, so the tree
  // may span less than the whole text: the furthest tag end over the text.
  if (const SG_WCHAR *source = sgGetSrcXML(c)) {
    uint64_t length = 0, furthest = 0;
    while (source[length]) ++length;
    if (sgMoveTo(c, SG_MOVE_BASE_FIRST)) {
      do {
        for (uint32_t selector = 1; selector <= 2; ++selector) {
          const uint32_t at = sgGetTagPos(c, selector);
          if (at != 0xFFFFFFFFu) furthest = std::max<uint64_t>(furthest, at);
        }
      } while (sgMoveTo(c, SG_MOVE_NEXT_IN_ORDER));
    }
    out.covered = length ? static_cast<double>(furthest) / static_cast<double>(length) : 1.0;
  }
  const std::string savePath = tmpDir + "/sprig-save.out";
  out.save = BestSeconds(o, [&] { return SaveOnce(c, savePath); });
  out.saveBytes = FileSize(savePath);
  unlink(savePath.c_str());
  out.render = BestSeconds(o, [&] { return RenderOnce(c, &out.renderUnits); });
  out.walk = BestSeconds(o, [&] { return WalkOnce(c, &out.nodes); });
  uint64_t hits[2];
  out.search = BestSeconds(o, [&] { return SearchOnce(c, hits); });
  out.hitsA = hits[0];
  out.hitsDiv = hits[1];
  sgCloseXML(c);

  // pugixml indents every level by its depth, without limit: a deep chain
  // would write a quadratic amount of tabs.
  if (in.xml && r->parse[kPugi].complete && in.shape != "deep") {
    pugi::xml_document doc;
    doc.load_buffer(in.bytes.data(), in.bytes.size());
    const std::string pugiPath = tmpDir + "/pugixml-save.out";
    out.pugiSave = BestSeconds(o, [&] {
      double t0 = Now();
      doc.save_file(pugiPath.c_str());
      return Now() - t0;
    });
    unlink(pugiPath.c_str());
  }
}

// ---- Scaling -----------------------------------------------------------------------

enum ScalingOp { kOpParse, kOpFile, kOpSave, kOpRender, kOpWalk, kOpSearch, kOpCount };
const char *const kOpNames[kOpCount] = {"parse", "file", "save", "render", "walk", "search"};

// One iteration of operation `op` on input `in`, whose document is `c`.
double RunOp(int op, const BenchInput &in, SG_CURSOR c, const std::string &savePath) {
  bool complete;
  uint64_t count, hits[2];
  switch (op) {
    case kOpParse: return ParseOnce(kSprig, in, &complete);
    case kOpFile: return ParseOnce(kSprigFile, in, &complete);
    case kOpSave: return SaveOnce(c, savePath);
    case kOpRender: return RenderOnce(c, &count);
    case kOpWalk: return WalkOnce(c, &count);
    default: return SearchOnce(c, hits);
  }
}

struct ScalingResult {
  std::string shape;
  double ratio[kOpCount] = {};  // time at 2x / time at 1x; 0 when not measured
};

// Time at 2x over time at 1x of each Sprig operation on one shape. The two
// sizes are measured in alternation, one run of the operation at a time, so
// that the rest of the machine's load and memory traffic, which change over
// a run, fall on both sizes alike, and so that each run finds the caches
// filled by the other size: a run repeated at once would find part of a
// smaller tree still cached, and a larger one less so.
//
// A walk or a search over a tree too big for the caches runs at the speed
// of the memory it lies in, and on a virtual machine that speed differs from
// one allocation to the next by up to half, the more so the bigger the tree.
// So the documents are parsed afresh in each of --scaling-rounds rounds, the
// earlier rounds' documents staying open, so that each round's pair lies in
// memory not used before; each round gives the ratio of its best times, and
// the median over the rounds is reported. Two documents parsed one after
// the other lie in alike memory far more often than two of different rounds.
ScalingResult MeasureScaling(const Options &o, const BenchInput &one, const BenchInput &two,
                             const std::string &tmpDir) {
  ScalingResult result;
  result.shape = one.shape;
  const BenchInput *in[2] = {&one, &two};
  const std::string savePath = tmpDir + "/sprig-scaling.out";
  std::vector<double> ratios[kOpCount];
  std::vector<SG_CURSOR> open;
  for (int round = 0; round < o.scalingRounds; ++round) {
    SG_CURSOR c[2];
    bool parsed = true;
    for (int s = 0; s < 2; ++s) {
      c[s] = sgParseXMLA(in[s]->bytes.data(), static_cast<uint32_t>(in[s]->bytes.size()));
      if (c[s]) open.push_back(c[s]);
      parsed = parsed && c[s];
    }
    if (!parsed) break;
    for (int op = 0; op < kOpCount; ++op) {
      // Quick operations get more pairs, up to half a second a round: their
      // runs scatter more, and the best of many is steadier.
      double best[2] = {1e300, 1e300}, spent = 0;
      for (int r = 0; r < o.scalingReps || (spent < 0.5 && r < 100); ++r) {
        for (int s = 0; s < 2; ++s) {
          const double t = RunOp(op, *in[s], c[s], savePath);
          best[s] = std::min(best[s], t);
          spent += t;
        }
      }
      if (best[0] > 0) ratios[op].push_back(best[1] / best[0]);
    }
  }
  for (int op = 0; op < kOpCount; ++op) {
    std::vector<double> &r = ratios[op];
    if (r.size() != static_cast<size_t>(o.scalingRounds)) continue;  // a parse failed: 0
    std::sort(r.begin(), r.end());
    const size_t n = r.size();
    result.ratio[op] = n % 2 ? r[n / 2] : (r[n / 2 - 1] + r[n / 2]) / 2;
  }
  unlink(savePath.c_str());
  for (SG_CURSOR cursor : open) sgCloseXML(cursor);
  return result;
}

// The 1x and 2x inputs of `shape`, or false when either is missing.
bool ShapePair(const std::vector<BenchInput> &inputs, const std::string &shape,
               const BenchInput *pair[2]) {
  pair[0] = pair[1] = nullptr;
  for (const BenchInput &in : inputs)
    if (in.group == InputGroup::kShape && in.shape == shape && in.scale >= 1 && in.scale <= 2)
      pair[in.scale - 1] = &in;
  return pair[0] && pair[1];
}

bool AnyShapePair(const std::vector<BenchInput> &inputs) {
  const BenchInput *pair[2];
  for (const std::string &shape : ShapeNames())
    if (ShapePair(inputs, shape, pair)) return true;
  return false;
}

// The shapes present at both sizes, measured pair by pair.
std::vector<ScalingResult> MeasureAllScaling(const Options &o, const std::vector<BenchInput> &inputs,
                                             const std::string &tmpDir) {
  std::vector<ScalingResult> results;
  for (const std::string &shape : ShapeNames()) {
    const BenchInput *pair[2];
    if (!ShapePair(inputs, shape, pair)) continue;
    fprintf(stderr, "[scaling] %s\n", shape.c_str());
    results.push_back(MeasureScaling(o, *pair[0], *pair[1], tmpDir));
  }
  return results;
}

// The scaling pass on transparent huge pages, in a child process: this bench
// started again with glibc's malloc asking for them (a tunable read only when
// a process starts) and --scaling-child, which generates the same shapes and
// writes one line per shape: its name and the ratios. On small pages a walk
// over a tree of a few hundred MB misses the TLB every few dozen nodes, and
// the page-table walks cost more per node the bigger the tree, as their
// entries fall out of the caches: doubling the wide shape made its walk
// 2.1-2.5x slower on a virtual machine. The parse measurements stay on small
// pages, where glibc's faults on fresh huge pages cannot land in them. False
// when the child could not run; `argv` is this process's.
bool RunScalingChild(char **argv, std::vector<ScalingResult> *results) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return false;
  fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    close(pipeEnds[0]);
    if (dup2(pipeEnds[1], STDOUT_FILENO) < 0) _exit(127);
    setenv("GLIBC_TUNABLES", "glibc.malloc.hugetlb=1", 1);
    std::vector<char *> args;
    for (char **a = argv; *a; ++a) args.push_back(*a);
    static char flag[] = "--scaling-child";
    args.push_back(flag);
    args.push_back(nullptr);
    execv("/proc/self/exe", args.data());
    _exit(127);
  }
  close(pipeEnds[1]);
  std::string out;
  if (child > 0) {
    char buffer[4096];
    ssize_t got;
    while ((got = read(pipeEnds[0], buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<size_t>(got));
  }
  close(pipeEnds[0]);
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
      WEXITSTATUS(status) != 0)
    return false;
  results->clear();
  size_t at = 0;
  while (at < out.size()) {
    size_t end = out.find('\n', at);
    if (end == std::string::npos) end = out.size();
    const std::string line = out.substr(at, end - at);
    at = end + 1;
    char shape[64];
    ScalingResult r;
    if (sscanf(line.c_str(), "%63s %lf %lf %lf %lf %lf %lf", shape, &r.ratio[0], &r.ratio[1],
               &r.ratio[2], &r.ratio[3], &r.ratio[4], &r.ratio[5]) != 1 + kOpCount)
      return false;
    r.shape = shape;
    results->push_back(r);
  }
  return true;
}

// ---- Report ----------------------------------------------------------------------

std::string Short(const std::string &name, size_t width) {
  if (name.size() <= width) return name;
  return name.substr(0, width - 3) + "...";
}

// A throughput cell: MB/s, '!' when the parser stopped early, '-' when not run.
std::string Cell(const ParseResult &r, size_t bytes) {
  char buf[32];
  if (!r.ran) return "-";
  snprintf(buf, sizeof buf, "%.1f%s", Mbps(static_cast<double>(bytes), r.seconds),
           r.complete ? "" : "!");
  return buf;
}

std::string Ratio(double value) {
  char buf[32];
  if (value <= 0) return "-";
  snprintf(buf, sizeof buf, "%.2f", value);
  return buf;
}

// Sprig's speed over the peer's on one input, when both read it whole.
double SpeedRatio(const InputResult &r, Parser peer) {
  const ParseResult &s = r.parse[kSprig], &p = r.parse[peer];
  if (!s.ran || !p.ran || !s.complete || !p.complete || s.seconds <= 0) return 0;
  return p.seconds / s.seconds;
}

void PrintParseTable(const std::vector<BenchInput> &inputs, const std::vector<InputResult> &results) {
  printf("\n## Parse throughput, MB/s ('!' = the parser stopped at an error; ratios = Sprig speed / peer speed)\n\n");
  printf("%-34s %9s", "input", "KB");
  for (int p = 0; p < kParserCount; ++p) printf(" %10s", kParserNames[p]);
  printf(" | %7s %7s %7s %7s %7s\n", "/lxhtml", "/gumbo", "/lxxml", "/pugi", "/tiny");
  for (size_t i = 0; i < inputs.size(); ++i) {
    const BenchInput &in = inputs[i];
    const InputResult &r = results[i];
    printf("%-34s %9.1f", Short(in.name, 34).c_str(), static_cast<double>(in.bytes.size()) / 1024);
    for (int p = 0; p < kParserCount; ++p) printf(" %10s", Cell(r.parse[p], in.bytes.size()).c_str());
    printf(" | %7s %7s %7s %7s %7s\n", Ratio(SpeedRatio(r, kLxHtml)).c_str(),
           Ratio(SpeedRatio(r, kGumbo)).c_str(), Ratio(SpeedRatio(r, kLxXml)).c_str(),
           Ratio(SpeedRatio(r, kPugi)).c_str(), Ratio(SpeedRatio(r, kTiny)).c_str());
  }
}

void PrintMemoryTable(const std::vector<BenchInput> &inputs, const std::vector<InputResult> &results) {
  printf("\n## Peak heap bytes per input byte (ratios = Sprig / peer; xmlMem = libxml2's own count through xmlMemSetup)\n\n");
  printf("%-34s", "input");
  for (int p = 0; p < kParserCount; ++p) printf(" %10s", kParserNames[p]);
  printf(" | %7s %7s %7s %7s %7s | %s\n", "/lxhtml", "/gumbo", "/lxxml", "/pugi", "/tiny", "xmlMem");
  for (size_t i = 0; i < inputs.size(); ++i) {
    const InputResult &r = results[i];
    printf("%-34s", Short(inputs[i].name, 34).c_str());
    for (int p = 0; p < kParserCount; ++p) {
      char buf[32] = "-";
      if (r.parse[p].ran) snprintf(buf, sizeof buf, "%.2f", r.parse[p].heapPerByte);
      printf(" %10s", buf);
    }
    const double s = r.parse[kSprig].heapPerByte;
    auto mem = [&](Parser p) {
      return r.parse[p].ran && r.parse[p].heapPerByte > 0 ? s / r.parse[p].heapPerByte : 0.0;
    };
    const Parser lx = r.parse[kLxHtml].ran ? kLxHtml : kLxXml;
    printf(" | %7s %7s %7s %7s %7s | %.2f\n", Ratio(mem(kLxHtml)).c_str(), Ratio(mem(kGumbo)).c_str(),
           Ratio(mem(kLxXml)).c_str(), Ratio(mem(kPugi)).c_str(), Ratio(mem(kTiny)).c_str(),
           r.parse[lx].xmlMemPerByte);
  }
}

void PrintOutputTable(const std::vector<BenchInput> &inputs, const std::vector<InputResult> &results) {
  printf("\n## Sprig output and traversal (MB/s of input bytes; save/parse = save time / parse time;\n"
         "## tree%% = share of the text inside the tree: reading ends at a top-level end tag or stray '<')\n\n");
  printf("%-34s %7s %9s %9s %9s %9s %9s %10s %9s %8s %8s %9s\n", "input", "tree%", "save",
         "save/prs", "render", "pugisave", "walk", "nodes", "Mnodes/s", "a", "div", "search");
  for (size_t i = 0; i < inputs.size(); ++i) {
    const OutputResult &o = results[i].out;
    if (!o.ran) continue;
    const double bytes = static_cast<double>(inputs[i].bytes.size());
    char pugi[32] = "-";
    if (o.pugiSave > 0) snprintf(pugi, sizeof pugi, "%.1f", Mbps(bytes, o.pugiSave));
    printf("%-34s %6.1f%% %9.1f %9.2f %9.1f %9s %9.1f %10llu %9.1f %8llu %8llu %8.2fms\n",
           Short(inputs[i].name, 34).c_str(), 100.0 * o.covered, Mbps(bytes, o.save),
           o.save / results[i].parse[kSprig].seconds, Mbps(bytes, o.render), pugi,
           Mbps(bytes, o.walk), static_cast<unsigned long long>(o.nodes),
           o.walk > 0 ? static_cast<double>(o.nodes) / o.walk / 1e6 : 0.0,
           static_cast<unsigned long long>(o.hitsA), static_cast<unsigned long long>(o.hitsDiv),
           o.search * 1e3);
  }
}

// Throughput of Sprig and of `peer` over the inputs of `group` that both read
// completely; *count receives how many that were.
struct Aggregate {
  int count = 0;
  double bytes = 0, sprig = 0, peer = 0;  // seconds summed
  double sprigHeap = 0, peerHeap = 0;     // peak heap bytes summed
  double SprigMbps() const { return Mbps(bytes, sprig); }
  double PeerMbps() const { return Mbps(bytes, peer); }
  double Ratio() const { return sprig > 0 ? peer / sprig : 0; }
  double HeapRatio() const { return peerHeap > 0 ? sprigHeap / peerHeap : 0; }
};

Aggregate Aggregated(const std::vector<BenchInput> &inputs, const std::vector<InputResult> &results,
                     InputGroup group, Parser peer) {
  Aggregate a;
  for (size_t i = 0; i < inputs.size(); ++i) {
    if (inputs[i].group != group || SpeedRatio(results[i], peer) <= 0) continue;
    ++a.count;
    a.bytes += static_cast<double>(inputs[i].bytes.size());
    a.sprig += results[i].parse[kSprig].seconds;
    a.peer += results[i].parse[peer].seconds;
    const double bytes = static_cast<double>(inputs[i].bytes.size());
    a.sprigHeap += results[i].parse[kSprig].heapPerByte * bytes;
    a.peerHeap += results[i].parse[peer].heapPerByte * bytes;
  }
  return a;
}

const char *GroupName(InputGroup g) {
  switch (g) {
    case InputGroup::kHtmlPage: return "html pages";
    case InputGroup::kHtmlConcat: return "html-all";
    case InputGroup::kFeedXml: return "feeds .xml";
    case InputGroup::kFeedOther: return "feeds other";
    default: return "shapes";
  }
}

void PrintAggregates(const std::vector<BenchInput> &inputs, const std::vector<InputResult> &results) {
  printf("\n## Aggregates over the inputs both parsers read completely: speed = total bytes / total\n"
         "## time (ratio Sprig/peer); heap = summed peaks / total bytes (ratio Sprig/peer)\n\n");
  printf("%-12s %-10s %6s %9s %9s %9s %7s | %9s %9s %7s\n", "group", "peer", "inputs", "MB",
         "sprig", "peer", "speed", "sprig B/B", "peer B/B", "heap");
  const InputGroup groups[] = {InputGroup::kHtmlPage, InputGroup::kHtmlConcat, InputGroup::kFeedXml,
                               InputGroup::kFeedOther};
  for (InputGroup g : groups) {
    for (int p = kSprigFile; p < kParserCount; ++p) {
      Aggregate a = Aggregated(inputs, results, g, static_cast<Parser>(p));
      if (a.count == 0) continue;
      printf("%-12s %-10s %6d %9.1f %9.1f %9.1f %7.2f | %9.2f %9.2f %7.2f\n", GroupName(g),
             kParserNames[p], a.count, a.bytes / 1e6, a.SprigMbps(), a.PeerMbps(), a.Ratio(),
             a.sprigHeap / a.bytes, a.peerHeap / a.bytes, a.HeapRatio());
    }
  }
}

// The scaling ratios; the worst in *worst, *any when a shape pair ran.
void PrintScaling(const Options &o, const std::vector<ScalingResult> &scaling, double *worst,
                  bool *any) {
  *worst = 0;
  *any = !scaling.empty();
  if (scaling.empty()) return;
  printf("\n## Scaling: time at 2x / time at 1x (target <= 2.20); median of %d rounds, each the best of %d+ runs per size in alternation\n\n",
         o.scalingRounds, o.scalingReps);
  printf("%-8s", "shape");
  for (const char *name : kOpNames) printf(" %8s", name);
  printf("\n");
  for (const ScalingResult &r : scaling) {
    printf("%-8s", r.shape.c_str());
    for (double v : r.ratio) {
      printf(" %8.2f", v);
      *worst = std::max(*worst, v);
    }
    printf("\n");
  }
}

void Verdict(const char *what, bool measured, bool met, const std::string &detail) {
  printf("%-58s %-11s %s\n", what, !measured ? "not run" : met ? "MET" : "NOT MET", detail.c_str());
}

void PrintTargets(const std::vector<BenchInput> &inputs, const std::vector<InputResult> &results,
                  double worst, bool any) {
  printf("\n## Targets\n\n");
  char buf[256];
  Aggregate lx = Aggregated(inputs, results, InputGroup::kHtmlPage, kLxHtml);
  Aggregate gu = Aggregated(inputs, results, InputGroup::kHtmlPage, kGumbo);
  snprintf(buf, sizeof buf, "%.2fx libxml2-html over %d pages", lx.Ratio(), lx.count);
  Verdict("parse the HTML corpus >= 4x libxml2's HTML parser", lx.count > 0, lx.Ratio() >= 4, buf);
  snprintf(buf, sizeof buf, "%.2fx gumbo over %d pages", gu.Ratio(), gu.count);
  Verdict("parse the HTML corpus >= 10x gumbo", gu.count > 0, gu.Ratio() >= 10, buf);
  Aggregate ti = Aggregated(inputs, results, InputGroup::kFeedXml, kTiny);
  snprintf(buf, sizeof buf, "%.2fx tinyxml2 over %d feeds", ti.Ratio(), ti.count);
  Verdict("parse the XML feeds >= tinyxml2's throughput", ti.count > 0, ti.Ratio() >= 1, buf);
  const InputResult *all = nullptr;
  for (size_t i = 0; i < inputs.size(); ++i)
    if (inputs[i].group == InputGroup::kHtmlConcat) all = &results[i];
  if (all) {
    const double s = all->parse[kSprig].heapPerByte, l = all->parse[kLxHtml].heapPerByte;
    snprintf(buf, sizeof buf, "sprig %.2f, libxml2-html %.2f bytes per input byte (%.2fx)", s, l,
             l > 0 ? s / l : 0);
    Verdict("peak memory on html-all <= libxml2's HTML parser", true, s <= l, buf);
    snprintf(buf, sizeof buf, "Sprig's tree spans %.1f%% of html-all's text; page by page: %.2fx",
             100.0 * all->out.covered, lx.HeapRatio());
    Verdict("  (the same, page by page over the html pages)", lx.count > 0,
            lx.HeapRatio() <= 1, buf);
    const double save = all->out.save, parse = all->parse[kSprig].seconds;
    snprintf(buf, sizeof buf, "save %.3fs, parse %.3fs (save/parse %.2f)", save, parse,
             parse > 0 ? save / parse : 0);
    Verdict("save the parsed html-all no slower than parsing it", all->out.ran, save <= parse, buf);
  } else {
    Verdict("peak memory on html-all <= libxml2's HTML parser", false, false, "");
    Verdict("save the parsed html-all no slower than parsing it", false, false, "");
  }
  snprintf(buf, sizeof buf, "worst time ratio %.2f", worst);
  Verdict("doubling a generated input at most 2.2x the time", any, worst <= 2.2, buf);
}

void PrintMachine(const Options &o, bool scalingPass, bool scalingOnHugePages) {
  utsname u;
  uname(&u);
  char cpu[256] = "?";
  if (FILE *f = fopen("/proc/cpuinfo", "r")) {
    char line[512];
    while (fgets(line, sizeof line, f)) {
      if (strncmp(line, "model name", 10) == 0) {
        const char *colon = strchr(line, ':');
        if (colon) snprintf(cpu, sizeof cpu, "%s", colon + 2);
        cpu[strcspn(cpu, "\n")] = 0;
        break;
      }
    }
    fclose(f);
  }
  time_t now = time(nullptr);
  char date[64];
  strftime(date, sizeof date, "%Y-%m-%d %H:%M UTC", gmtime(&now));
  double load[3] = {0, 0, 0};
  getloadavg(load, 3);
  printf("# sprig_bench, %s\n", date);
  printf("machine: %s, %ld cores, %s %s, load %.1f\n", cpu, sysconf(_SC_NPROCESSORS_ONLN),
         u.sysname, u.release, load[0]);
  printf("peers: libxml2 %s, gumbo, pugixml %d, tinyxml2 %d.%d.%d\n", xmlParserVersion,
         PUGIXML_VERSION, TIXML2_MAJOR_VERSION, TIXML2_MINOR_VERSION, TIXML2_PATCH_VERSION);
  printf("memory: glibc malloc on small pages%s\n",
         !scalingPass          ? ""
         : scalingOnHugePages ? "; the scaling pass on transparent huge pages (glibc.malloc.hugetlb=1)"
                              : "; the scaling pass too");
  printf("timing: thread CPU time, best of %d (scaling: median of %d rounds, best of %d+ each), each repetition"
         " >= %.0f ms; MB = 10^6 bytes\n", o.reps, o.scalingRounds, o.scalingReps, o.minSeconds * 1e3);
}

}  // namespace

int main(int argc, char **argv) {
  Options o;
  if (!ParseOptions(argc, argv, &o)) return 2;

  // glibc gives large freed blocks back to the system, and the next parse
  // that needs them has them mapped and cleared afresh. Which sizes that
  // hits depends on what ran before (its thresholds follow the blocks freed),
  // so a 32 MiB input could pay the kernel's page clearing on every
  // repetition while its 16 MiB half pays it once. Freed memory stays in the
  // process instead, for every parser and size alike.
  mallopt(M_MMAP_MAX, 0);
  mallopt(M_TRIM_THRESHOLD, INT_MAX);

  // libxml2 counts through our functions from its first allocation on.
  xmlMemSetup(XmlFree, XmlMalloc, XmlRealloc, XmlStrdup);
  xmlInitParser();
  xmlSetGenericErrorFunc(nullptr, XmlSilence);

  std::string tmpDir = o.tmpBase + "/sprig-bench-XXXXXX";
  if (!mkdtemp(&tmpDir[0])) {
    fprintf(stderr, "sprig_bench: cannot create a folder in %s: %s\n", o.tmpBase.c_str(),
            strerror(errno));
    return 1;
  }
  // The scaling child needs the shapes only: without a filter it reads no corpus.
  if (o.scalingChild && o.filters.empty()) o.filters.push_back("shape/");
  std::vector<BenchInput> inputs;
  bool ok = CollectInputs(o.corpusDir, tmpDir, o.filters, o.shapeBytes, &inputs);
  if (ok && o.listOnly) {
    for (const BenchInput &in : inputs) printf("%-44s %10zu\n", in.name.c_str(), in.bytes.size());
  }
  if (ok && o.scalingChild) {
    for (const ScalingResult &r : MeasureAllScaling(o, inputs, tmpDir)) {
      printf("%s", r.shape.c_str());
      for (double v : r.ratio) printf(" %.6f", v);
      printf("\n");
    }
  } else if (ok && !o.listOnly) {
    if (inputs.empty()) fprintf(stderr, "sprig_bench: no input matches the filter\n");
    std::vector<InputResult> results(inputs.size());
    for (size_t i = 0; i < inputs.size(); ++i) {
      for (Parser p : {kSprig, kSprigFile}) results[i].parse[p].heapPerByte = SprigHeapPerByte(p, inputs[i]);
    }
    // One parse of a small text by each parser sets up their global state, so
    // that no first measurement pays for it.
    BenchInput warm;
    warm.bytes = "<?xml version=\"1.0\"?><a><b c=\"d\">e</b></a>";
    warm.path = "/nonexistent";
    for (int p = 0; p < kParserCount; ++p) {
      bool complete;
      ParseOnce(static_cast<Parser>(p), warm, &complete);
    }
    for (size_t i = 0; i < inputs.size(); ++i) {
      fprintf(stderr, "[%zu/%zu] %s\n", i + 1, inputs.size(), inputs[i].name.c_str());
      for (int p = 0; p < kParserCount; ++p) {
        if (Applies(static_cast<Parser>(p), inputs[i]))
          MeasureParse(o, static_cast<Parser>(p), inputs[i], &results[i].parse[p]);
      }
      MeasureOutput(o, inputs[i], tmpDir, &results[i]);
    }
    std::vector<ScalingResult> scaling;
    const bool pairs = AnyShapePair(inputs);
    const bool onHugePages = pairs && o.hugePages && RunScalingChild(argv, &scaling);
    if (pairs && !onHugePages) scaling = MeasureAllScaling(o, inputs, tmpDir);
    PrintMachine(o, pairs, onHugePages);
    PrintParseTable(inputs, results);
    PrintMemoryTable(inputs, results);
    PrintOutputTable(inputs, results);
    PrintAggregates(inputs, results);
    double worst;
    bool any;
    PrintScaling(o, scaling, &worst, &any);
    PrintTargets(inputs, results, worst, any);
  }
  for (const BenchInput &in : inputs)
    if (in.path.compare(0, tmpDir.size(), tmpDir) == 0) unlink(in.path.c_str());
  rmdir(tmpDir.c_str());
  xmlCleanupParser();
  return ok ? 0 : 1;
}
