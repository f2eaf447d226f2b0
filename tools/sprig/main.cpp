// Entry point of the sprig executable: takes the command line as UTF-8,
// switches the standard streams to binary and hands over to SprigMain.
#include <cstdio>
#include <string>
#include <vector>

#include "cli_sys.h"
#include "sprig_main.h"

int main(int argc, char** argv) {
  std::vector<std::string> args = sprig_cli::Utf8Arguments(argc, argv);
  std::vector<char*> pointers;
  for (std::string& arg : args) pointers.push_back(&arg[0]);
  pointers.push_back(nullptr);
  sprig_cli::UseBinaryStreams();
  return SprigMain(static_cast<int>(args.size()), pointers.data(), stdout, stderr);
}
