// libFuzzer entry point of the open_file harness (harnesses.cpp holds the body).
#include "harnesses.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  return sprig_fuzz::OpenFile(data, size);
}
