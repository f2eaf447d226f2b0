// bench_inputs.h - the inputs of sprig_bench: every page of the corpus's
// html/ folder, their concatenation, every file of feeds/<encoding>/, and
// generated shapes at two sizes each (the second twice the first), all held
// in memory and, for the file-open measurement, also on disk.
#ifndef SPRIG_BENCH_BENCH_INPUTS_H
#define SPRIG_BENCH_BENCH_INPUTS_H

#include <stddef.h>

#include <string>
#include <vector>

// Which group an input belongs to; the targets aggregate by group.
enum class InputGroup { kHtmlPage, kHtmlConcat, kFeedXml, kFeedOther, kShape };

struct BenchInput {
  std::string name;   // "html/cnn.html", "html-all", "feeds/utf-8/x.xml", "shape/deep-2x"
  InputGroup group;
  bool xml;           // XML peers (libxml2 XML, pugixml, tinyxml2) or HTML peers
  std::string path;   // the file sgOpenXMLA reads
  std::string bytes;  // the whole input
  std::string shape;  // generated shapes: "deep", "wide", ...; else empty
  int scale = 0;      // generated shapes: 1 or 2
};

// Generated shape names, in report order.
const std::vector<std::string> &ShapeNames();

// Collects the inputs whose name contains one of `filters` (all when empty).
// Generated inputs and the concatenation are written into `tmpDir`; corpus
// files are read where they are. `shapeBytes` is the size of a shape at
// scale 1. Returns false (with a message on stderr) when the corpus cannot
// be read.
bool CollectInputs(const std::string &corpusDir, const std::string &tmpDir,
                   const std::vector<std::string> &filters, size_t shapeBytes,
                   std::vector<BenchInput> *inputs);

#endif
