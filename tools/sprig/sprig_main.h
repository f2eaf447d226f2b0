// The sprig command-line tool as a function, so that the executable and the
// tests run the very same code: SprigMain parses the arguments, runs one
// subcommand through the editing layer and reports on the two streams given.
#ifndef SPRIG_TOOL_SPRIG_MAIN_H
#define SPRIG_TOOL_SPRIG_MAIN_H

#include <cstdio>

// Exit statuses of the tool.
enum SprigExit {
  kSprigOk = 0,        // success
  kSprigNoMatch = 1,   // the query matched nothing (or no match had the attribute)
  kSprigError = 2      // usage error, unreadable input, failed write
};

// Runs the tool. argv[0] is the program name; every argument is UTF-8. The
// input "-" is read from `in`. Results go to `out` as UTF-8 whatever the
// document's encoding; messages ("sprig: ...") go to `err`. Returns one of
// SprigExit. A file whose write fails is left as it was.
int SprigMain(int argc, char** argv, std::FILE* in, std::FILE* out, std::FILE* err);

// As above, with standard input as `in`.
int SprigMain(int argc, char** argv, std::FILE* out, std::FILE* err);

#endif  // SPRIG_TOOL_SPRIG_MAIN_H
