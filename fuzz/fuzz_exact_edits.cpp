// libFuzzer entry point of the exact_edits harness (harnesses.cpp holds the body).
#include "harnesses.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  return sprig_fuzz::ExactEdits(data, size);
}
