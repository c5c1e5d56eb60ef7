// A plot file made of fuzzer bytes through the whole dispose pipeline in the two splitting
// modes (6 rolling split, 8 whole strokes) with page sizes from small to usual. The first
// byte picks the options. Every page file the run reports must exist; a failed run must say
// why.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "plot/dispose_file.h"

namespace {

struct Collect : qel::plot::DisposeOwner {
  void addOutputFileReport(const qel::plot::OutputFileReport& r) override { reports.push_back(r); }
  std::vector<qel::plot::OutputFileReport> reports;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using qel::fuzz::check;
  if (size == 0) return 0;
  const std::uint8_t sel = data[0];
  const std::string dir = qel::fuzz::scratchDir();
  const std::string input = dir + "/in.plt";
  const std::string outDir = dir + "/out";
  qel::fuzz::writeBytes(input, data + 1, size - 1);
  qel::plot::DisposeOptions o;
  o.cutFt = (sel & 1) ? 8 : 6;
  static const double kWidths[4] = {10, 100, 1500, 0.5};
  o.pageWidth = kWidths[(sel >> 1) & 3], o.pageHeight = 1200, o.tranCi = sel & 0x08, o.cutterHandle = sel & 0x10;
  o.leaveCut = sel & 0x20, o.needExtraPage = sel & 0x40, o.fontDisposeEnabled = sel & 0x80;
  Collect owner;
  qel::plot::CDisposeFile file(&owner, input, outDir, "F", o);
  const bool ok = file.dispose();
  if (ok) {
    for (const auto& r : owner.reports) {
      std::error_code ec;
      check(std::filesystem::exists(r.fileName, ec), "a reported page file is missing: " + r.fileName);
    }
  } else {
    check(!file.errorText().empty(), "a failed run without a reason");
  }
  file.loadOnly();
  std::error_code ec;
  std::filesystem::remove_all(outDir, ec);
  return 0;
}
