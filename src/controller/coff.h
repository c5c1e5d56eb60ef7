#pragma once
// COFF system software images: the DSP kind (magic 0x0093, 4-byte words) and the MIPS kind
// (magic 0x0166, 1-byte words). Every offset and size is checked against the file before use.
#include <cstdint>
#include <string>
#include <vector>

namespace qel::controller {

struct CoffSection {
  std::string name;
  std::uint32_t address = 0;
  std::uint32_t size = 0;
  std::uint32_t fileOffset = 0;
  std::uint32_t flags = 0;
  bool loadable() const { return (flags & 0x60) != 0 && size != 0; }
};

struct CoffImage {
  std::vector<std::uint8_t> bytes;
  int wordSize = 0;
  std::vector<CoffSection> sections;
};

constexpr int kCoffMaxSections = 50;

// Reads and checks the image; diagnostics go to err (errors) and out (the listing).
bool readCoff(const std::string& path, CoffImage* image, std::string* err, std::string* out);

}  // namespace qel::controller
