// libFuzzer entry point of the api_sequence harness (harnesses.cpp holds the body).
#include "harnesses.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  return sprig_fuzz::ApiSequence(data, size);
}
