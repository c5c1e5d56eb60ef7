#pragma once
// Shared pieces of the fuzz targets: a scratch folder of this process and a check that stops
// the run with a message (libFuzzer then keeps the input that broke it).
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/files.h"

namespace qel::fuzz {

inline const std::string& scratchDir() {
  static const std::string dir = [] {
    std::string d =
        (std::filesystem::temp_directory_path() / ("qelcut-fuzz-" + std::to_string(::getpid()))).string();
    std::filesystem::create_directories(d);
    return d;
  }();
  return dir;
}

inline void writeBytes(const std::string& path, const void* data, std::size_t size) {
  platform::writeFileAtomically(path, {static_cast<const char*>(data), size});
}

inline std::string readBytes(const std::string& path) { return platform::readWholeFile(path).value_or(""); }

inline void check(bool ok, const std::string& what) {
  if (ok) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
  std::abort();
}

}  // namespace qel::fuzz
