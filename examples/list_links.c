/* list_links: prints every link of a page with the line it stands on.
 *
 *   list_links page.html
 *
 * Opens the page, searches every "a" element in document order and prints
 * "line: href". The line is counted from the source text the library keeps,
 * at the position of the link's '<'. Text is read with the A functions, in
 * the system code page (Shift-JIS outside Windows). */
#include <stdio.h>

#include "sprig.h"

int main(int argc, char **argv) {
  SG_CURSOR doc;
  const SG_WCHAR *source;
  uint32_t counted = 0, line = 1, links = 0;

  if (argc != 2) {
    fprintf(stderr, "usage: %s page.html\n", argv[0]);
    return 2;
  }
  doc = sgOpenXMLA(argv[1]);
  if (doc == NULL) {
    fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[1]);
    return 2;
  }
  source = sgGetSrcXML(doc);

  /* SG_SEARCH_FIRST finds the first "a" anywhere, SG_SEARCH_NEXT the next. */
  for (int found = sgSearchA(doc, "a", SG_SEARCH_FIRST); found;
       found = sgSearchA(doc, "a", SG_SEARCH_NEXT)) {
    uint32_t at = sgGetTagPos(doc, 0); /* the '<' of the start tag */
    const char *href = sgGetAttribA(doc, "href");
    /* Links come in document order: count line breaks only once. */
    for (; source != NULL && counted < at && source[counted] != 0; ++counted)
      if (source[counted] == '\n') ++line;
    printf("%u: %s\n", (unsigned)line, href != NULL ? href : "(no href)");
    ++links;
  }
  printf("%u links\n", (unsigned)links);

  /* Nothing was changed, so closing writes nothing back. */
  sgCloseXML(doc);
  return 0;
}
