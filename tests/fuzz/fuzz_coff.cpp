// A COFF system image made of fuzzer bytes: the reader either refuses it with a reason or
// gives sections whose data lies wholly inside the file (the loader reads them unchecked).
#include <cstdint>
#include <string>

#include "controller/coff.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using qel::fuzz::check;
  const std::string path = qel::fuzz::scratchDir() + "/system.out";
  qel::fuzz::writeBytes(path, data, size);
  qel::controller::CoffImage image;
  std::string err, listing;
  if (!qel::controller::readCoff(path, &image, &err, &listing)) {
    check(!err.empty(), "a refused image without a reason");
    return 0;
  }
  check(image.bytes.size() == size, "the image is not the file");
  check(image.wordSize == 1 || image.wordSize == 4, "word size");
  check(image.sections.size() <= static_cast<std::size_t>(qel::controller::kCoffMaxSections), "section count");
  for (const auto& s : image.sections)
    if (s.loadable())
      check(static_cast<std::uint64_t>(s.fileOffset) + s.size <= image.bytes.size(),
            "section " + s.name + " reaches past the end of the file");
  return 0;
}
