// The libFuzzer entry of one target, chosen by KORVEX_FUZZ_TARGET.
#include <stddef.h>
#include <stdint.h>

#include "fuzz/harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return korvex::fuzz::KORVEX_FUZZ_TARGET(data, size);
}
