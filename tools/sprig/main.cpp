// Entry point of the sprig executable: takes the command line as UTF-8,
// switches the standard streams to binary and hands over to SprigMain.
#include <cstdio>
#include <string>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "cli_sys.h"
#include "sprig_main.h"

int main(int argc, char** argv) {
#if defined(__GLIBC__)
  // The tool reads file after file on every thread, each needing buffers of
  // the file's size. By default glibc maps every block over 128 KiB afresh
  // and gives freed memory back at once, so each file pays to fault its
  // pages in again, and each unmapping interrupts the other threads' cores
  // to flush their address translations. Keeping up to 64 MiB blocks in the
  // heap and freed memory in the process lets the next file reuse them.
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
  std::vector<std::string> args = sprig_cli::Utf8Arguments(argc, argv);
  std::vector<char*> pointers;
  for (std::string& arg : args) pointers.push_back(&arg[0]);
  pointers.push_back(nullptr);
  sprig_cli::UseBinaryStreams();
  return SprigMain(static_cast<int>(args.size()), pointers.data(), stdout, stderr);
}
