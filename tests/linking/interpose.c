/* A program with GlobalHandle, GlobalUnlock and GlobalFree of its own, linked
 * against the shared library (exported with -rdynamic, so they would win any
 * lookup through the symbol table). The library must reach its own versions:
 * a program's GlobalFree may count, log or free from another heap, and the
 * library's blocks must never reach it.
 *
 *   interpose SAMPLE_PAGE WORK_FOLDER
 *
 * Each of the program's versions counts its calls and forwards to the
 * library's (dlsym RTLD_NEXT), so the outer-XML blocks the program frees
 * itself are freed where they came from. Parses, opens, edits, renders (W and
 * A), saves in three code pages, writes back by flush and by close, copies and
 * closes; the counts must stay 0 through all of it and grow by exactly the
 * program's own calls. Prints "interpose: ok" and exits 0 when they do. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "sprig.h"

static unsigned handle_calls, unlock_calls, free_calls;

static void *Next(const char *name) {
  void *next = dlsym(RTLD_NEXT, name);
  if (next == NULL) {
    fprintf(stderr, "interpose: no library %s\n", name);
    _exit(2);
  }
  return next;
}

void *GlobalHandle(const void *pointer) {
  ++handle_calls;
  return ((void *(*)(const void *))Next("GlobalHandle"))(pointer);
}
int GlobalUnlock(void *handle) {
  ++unlock_calls;
  return ((int (*)(void *))Next("GlobalUnlock"))(handle);
}
void *GlobalFree(void *handle) {
  ++free_calls;
  return ((void *(*)(void *))Next("GlobalFree"))(handle);
}

static int Check(const char *step, unsigned expected) {
  if (handle_calls == 2 * expected && unlock_calls == expected && free_calls == expected)
    return 1;
  fprintf(stderr, "interpose: after %s: GlobalHandle %u, GlobalUnlock %u, GlobalFree %u "
          "calls; the program made %u, %u, %u\n", step, handle_calls, unlock_calls,
          free_calls, 2 * expected, expected, expected);
  return 0;
}

int main(int argc, char **argv) {
  enum { kBlocks = 4 };
  void *blocks[kBlocks] = {NULL};
  char path[4096];
  static const char page[] = "<ul><li><a href='x.html'>x&amp;y</a></li></ul>";
  static const uint32_t pages[] = {SG_ENC_UTF8, SG_ENC_ANSI, SG_ENC_UTF7};
  SG_CURSOR parsed, opened, copy, again;
  int ok = 1;

  if (argc != 3) return 2;
  parsed = sgParseXMLA(page, (uint32_t)strlen(page));
  opened = sgOpenXMLA(argv[1]);
  if (parsed == NULL || opened == NULL) return 2;

  ok &= sgSearchA(parsed, "a", SG_SEARCH_FIRST) && sgSetAttribA(parsed, "href", "y.html");
  blocks[0] = sgGetOuterXMLW(parsed);
  blocks[1] = sgGetOuterXMLA(parsed, SG_ENC_UTF8);
  ok &= sgSearchA(opened, "ul", SG_SEARCH_FIRST);
  blocks[2] = sgGetOuterXMLA(opened, SG_ENC_ANSI);
  ok &= sgMoveTo(opened, SG_MOVE_BASE);
  blocks[3] = sgGetOuterXMLW(opened);
  for (int i = 0; i < kBlocks; ++i) ok &= blocks[i] != NULL;

  for (int i = 0; i < 3; ++i) {
    snprintf(path, sizeof path, "%s/interpose-%d.html", argv[2], i);
    ok &= sgSaveAsA(opened, path, pages[i]) == 1;
  }
  /* The UTF-8 copy, edited, written back by a flush and then by the close. */
  snprintf(path, sizeof path, "%s/interpose-0.html", argv[2]);
  again = sgOpenXMLA(path);
  ok &= again != NULL && sgSearchA(again, "a", SG_SEARCH_FIRST) &&
        sgSetAttribA(again, "title", "flushed") && sgFlushXML(again) == 1 &&
        sgSetAttribA(again, "title", "closed");
  copy = sgCopyTree(opened);
  ok &= copy != NULL && sgDeleteNode(copy);
  sgCloseXML(again);
  sgDeleteXML(copy);
  ok &= Check("parsing, rendering and saving", 0);

  for (int i = 0; i < kBlocks; ++i) {
    GlobalUnlock(GlobalHandle(blocks[i]));
    GlobalFree(GlobalHandle(blocks[i]));
  }
  ok &= Check("the program freed its blocks", kBlocks);
  sgCloseXML(parsed);
  sgDeleteXML(opened);
  ok &= Check("closing the documents", kBlocks);

  puts(ok ? "interpose: ok" : "interpose: FAILED");
  return ok ? 0 : 1;
}
