// libFuzzer entry for the reader and the pipeline (built with clang: see CMakeLists.txt).
#include "fuzz_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qel::plot::fuzz::disposeBytes(data, size);
  return 0;
}
