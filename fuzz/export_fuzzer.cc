// One export on raw request bytes; TARV_FUZZ_REQUEST names its request type.
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz/check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tarv::fuzz::run<tarv::fuzz::pb::TARV_FUZZ_REQUEST>(std::span(data, size));
  return 0;
}
