// bench_inputs.cpp - reading the corpus and generating the shapes.
//
// Shapes (all but the flood are well-formed XML, so every XML peer can read
// them; the flood is loose HTML text full of '<' that open no tag):
//   deep   one chain of nested elements, as deep as the size allows
//   wide   one root with a flat run of small elements
//   attrs  elements with sixteen attributes each, quoted both ways and bare
//   text   long paragraphs of text between few tags
//   flood  one paragraph whose text is a run of stray '<'
#include "bench_inputs.h"

#include <dirent.h>
#include <stdio.h>

#include <algorithm>

namespace {

bool ReadFile(const std::string &path, std::string *out) {
  FILE *file = fopen(path.c_str(), "rb");
  if (!file) return false;
  out->clear();
  char buffer[1 << 16];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) out->append(buffer, got);
  bool ok = !ferror(file);
  fclose(file);
  return ok;
}

bool WriteFile(const std::string &path, const std::string &bytes) {
  FILE *file = fopen(path.c_str(), "wb");
  if (!file) return false;
  bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return fclose(file) == 0 && ok;
}

// Regular files of `dir`, sorted by name.
std::vector<std::string> ListFiles(const std::string &dir) {
  std::vector<std::string> names;
  if (DIR *d = opendir(dir.c_str())) {
    while (dirent *entry = readdir(d)) {
      if (entry->d_name[0] == '.') continue;
      names.push_back(entry->d_name);
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool EndsWith(const std::string &text, const char *suffix) {
  std::string s(suffix);
  return text.size() >= s.size() && text.compare(text.size() - s.size(), s.size(), s) == 0;
}

bool Selected(const std::string &name, const std::vector<std::string> &filters) {
  if (filters.empty()) return true;
  for (const std::string &f : filters)
    if (name.find(f) != std::string::npos) return true;
  return false;
}

// A shape of about `target` bytes.
std::string MakeShape(const std::string &shape, size_t target) {
  std::string s;
  s.reserve(target + 4096);
  if (shape == "deep") {
    const size_t levels = target / 9;  // "<d>" + "</d>" + a line break
    s += "<?xml version=\"1.0\"?>\n";
    for (size_t i = 0; i < levels; ++i) s += "<d>";
    s += "x";
    for (size_t i = 0; i < levels; ++i) s += "</d>\n";
  } else if (shape == "wide") {
    s += "<?xml version=\"1.0\"?>\n<root>\n";
    for (unsigned i = 0; s.size() < target; ++i) {
      s += "  <item id=\"" + std::to_string(i) + "\">entry " + std::to_string(i) + "</item>\n";
    }
    s += "</root>\n";
  } else if (shape == "attrs") {
    s += "<?xml version=\"1.0\"?>\n<root>\n";
    for (unsigned i = 0; s.size() < target; ++i) {
      s += "<e";
      for (int a = 0; a < 16; ++a) {
        s += " attr" + std::to_string(a) + "=";
        s += (a % 2) ? "'v" + std::to_string(i + a) + "'" : "\"value " + std::to_string(i) + "\"";
      }
      s += "/>\n";
    }
    s += "</root>\n";
  } else if (shape == "text") {
    static const char kWords[] =
        "Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor "
        "incididunt ut labore et dolore magna aliqua. Ut enim ad minim veniam, quis nostrud "
        "exercitation ullamco laboris nisi ut aliquip ex ea commodo consequat. ";
    s += "<?xml version=\"1.0\"?>\n<book>\n";
    while (s.size() < target) {
      s += "<p>";
      for (int i = 0; i < 10; ++i) s += kWords;
      s += "</p>\n";
    }
    s += "</book>\n";
  } else if (shape == "flood") {
    s += "<html><body><p>";
    // Each '<' is followed by something that cannot begin a tag name.
    while (s.size() < target) s += "x <= y <> z <<= w <. v <, u < = ";
    s += "</p></body></html>\n";
  }
  return s;
}

}  // namespace

const std::vector<std::string> &ShapeNames() {
  static const std::vector<std::string> kNames = {"deep", "wide", "attrs", "text", "flood"};
  return kNames;
}

bool CollectInputs(const std::string &corpusDir, const std::string &tmpDir,
                   const std::vector<std::string> &filters, size_t shapeBytes,
                   std::vector<BenchInput> *inputs) {
  // The pages one by one, then all of them as one document.
  const std::string htmlDir = corpusDir + "/html";
  const std::vector<std::string> pages = ListFiles(htmlDir);
  if (pages.empty()) {
    fprintf(stderr, "sprig_bench: no pages in %s\n", htmlDir.c_str());
    return false;
  }
  const bool wantAll = Selected("html-all", filters);
  std::string all;
  for (const std::string &page : pages) {
    BenchInput input;
    input.name = "html/" + page;
    input.group = InputGroup::kHtmlPage;
    input.xml = false;
    input.path = htmlDir + "/" + page;
    const bool want = Selected(input.name, filters);
    if (!want && !wantAll) continue;
    if (!ReadFile(input.path, &input.bytes)) {
      fprintf(stderr, "sprig_bench: cannot read %s\n", input.path.c_str());
      return false;
    }
    if (wantAll) all += input.bytes;
    if (want) inputs->push_back(std::move(input));
  }
  if (wantAll) {
    BenchInput input;
    input.name = "html-all";
    input.group = InputGroup::kHtmlConcat;
    input.xml = false;
    input.path = tmpDir + "/html-all.html";
    input.bytes = std::move(all);
    if (!WriteFile(input.path, input.bytes)) return false;
    inputs->push_back(std::move(input));
  }

  // The feeds, folder by folder; .xml files are XML, the rest loose HTML/text.
  for (const std::string &folder : ListFiles(corpusDir + "/feeds")) {
    const std::string dir = corpusDir + "/feeds/" + folder;
    for (const std::string &file : ListFiles(dir)) {
      BenchInput input;
      input.name = "feeds/" + folder + "/" + file;
      if (!Selected(input.name, filters)) continue;
      input.xml = EndsWith(file, ".xml");
      input.group = input.xml ? InputGroup::kFeedXml : InputGroup::kFeedOther;
      input.path = dir + "/" + file;
      if (!ReadFile(input.path, &input.bytes)) {
        fprintf(stderr, "sprig_bench: cannot read %s\n", input.path.c_str());
        return false;
      }
      inputs->push_back(std::move(input));
    }
  }

  for (const std::string &shape : ShapeNames()) {
    for (int scale = 1; scale <= 2; ++scale) {
      BenchInput input;
      input.name = "shape/" + shape + "-" + std::to_string(scale) + "x";
      if (!Selected(input.name, filters)) continue;
      input.group = InputGroup::kShape;
      input.xml = shape != "flood";
      input.shape = shape;
      input.scale = scale;
      input.path = tmpDir + "/" + shape + "-" + std::to_string(scale) + "x.xml";
      input.bytes = MakeShape(shape, shapeBytes * static_cast<size_t>(scale));
      if (!WriteFile(input.path, input.bytes)) {
        fprintf(stderr, "sprig_bench: cannot write %s\n", input.path.c_str());
        return false;
      }
      inputs->push_back(std::move(input));
    }
  }
  return true;
}
