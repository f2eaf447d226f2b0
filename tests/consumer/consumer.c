/* A program built against an installed Sprig, the way a user builds one:
 * with find_package(Sprig) (CMakeLists.txt here) or with pkg-config:
 *   cc consumer.c $(pkg-config --cflags --libs sprig) -o consumer
 * It parses a text, finds an element, reads and changes an attribute and
 * renders it; prints "consumer: ok" and exits 0 when all of that works. */
#include <stdio.h>
#include <string.h>

#include "sprig.h"

int main(void) {
  static const char page[] = "<ul><li><a href='x.html'>x</a></li></ul>";
  SG_CURSOR doc = sgParseXMLA(page, (uint32_t)strlen(page));
  const char *href;
  char *xml;
  int ok;

  if (doc == NULL || Version() != 0x202u) return 1;
  ok = sgSearchA(doc, "a", SG_SEARCH_FIRST) == 1;
  href = ok ? sgGetAttribA(doc, "href") : NULL;
  ok = ok && href != NULL && strcmp(href, "x.html") == 0;
  ok = ok && sgSetAttribA(doc, "href", "y.html") == 1;
  xml = ok ? sgGetOuterXMLA(doc, SG_ENC_UTF8) : NULL;
  ok = ok && xml != NULL && strcmp(xml, "<a href=\"y.html\">x</a>") == 0;
  if (xml != NULL) {
    GlobalUnlock(GlobalHandle(xml));
    GlobalFree(GlobalHandle(xml));
  }
  sgCloseXML(doc);
  puts(ok ? "consumer: ok" : "consumer: FAILED");
  return ok ? 0 : 1;
}
