// set_attribute: changes one attribute of the first element of a name and
// saves the document under a new name, in the encoding it was read in.
//
//   set_attribute page.html a href https://example.com/ out.html
//
// The source file is left alone: the cursor is released with sgDeleteXML,
// which also forbids the library from writing the change back on close.
#include <cstdio>
#include <memory>

#include "sprig.h"

namespace {

// Releases a cursor without writing its document back to its own file.
struct DeleteCursor {
  void operator()(SG_CURSOR cursor) const { sgDeleteXML(cursor); }
};
using Document = std::unique_ptr<SgCursor, DeleteCursor>;

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: %s IN ELEMENT ATTRIBUTE VALUE OUT\n", argv[0]);
    return 2;
  }
  Document doc(sgOpenXMLA(argv[1]));
  if (!doc) {
    std::fprintf(stderr, "cannot read %s\n", argv[1]);
    return 2;
  }
  if (!sgSearchA(doc.get(), argv[2], SG_SEARCH_FIRST)) {
    std::fprintf(stderr, "no <%s> in %s\n", argv[2], argv[1]);
    return 1;
  }
  const char* before = sgGetAttribA(doc.get(), argv[3]);
  std::printf("%s was: %s\n", argv[3], before != nullptr ? before : "(none)");

  // The new value is written double-quoted, exactly as given.
  if (!sgSetAttribA(doc.get(), argv[3], argv[4])) {
    std::fprintf(stderr, "out of memory\n");
    return 2;
  }
  // Same encoding as the source: Shift-JIS, UTF-8 or UTF-7.
  if (!sgSaveAsA(doc.get(), argv[5], sgGetEncoding(doc.get()))) {
    std::fprintf(stderr, "cannot write %s\n", argv[5]);
    return 2;
  }
  std::printf("%s now: %s (saved to %s)\n", argv[3], sgGetAttribA(doc.get(), argv[3]), argv[5]);
  return 0;
}
