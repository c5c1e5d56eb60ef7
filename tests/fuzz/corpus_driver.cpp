// Runs the files of seed corpora through a fuzz target without libFuzzer, so that every build
// (g++ included) keeps the corpus passing: corpus_driver DIR|FILE...
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  std::vector<std::filesystem::path> files;
  for (int i = 1; i < argc; ++i) {
    std::error_code ec;
    if (!std::filesystem::is_directory(argv[i], ec)) files.emplace_back(argv[i]);
    for (const auto& e : std::filesystem::directory_iterator(argv[i], ec))
      if (e.is_regular_file()) files.push_back(e.path());
  }
  std::sort(files.begin(), files.end());
  qel::fuzz::check(!files.empty(), "no corpus files given");
  for (const auto& f : files) {
    qel::fuzz::check(std::filesystem::is_regular_file(f), "cannot read " + f.string());
    const std::string bytes = qel::fuzz::readBytes(f);
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  }
  std::printf("%zu corpus files passed\n", files.size());
  return 0;
}
