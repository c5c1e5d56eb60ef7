#include "fuzz_entry.h"

#include "fuzz/fuzz_support.h"
#include "plot_fixture.h"

namespace qel::plot::fuzz {

void disposeBytes(const std::uint8_t* data, std::size_t size) {
  const std::string dir = qel::fuzz::scratchDir(), input = dir + "/in.plt";
  qel::fuzz::writeBytes(input, data, size);
  // The first byte picks the options, so the fuzzer explores every mode.
  const std::uint8_t sel = size ? data[0] : 0;
  DisposeOptions o;
  o.cutFt = sel % 10;
  o.pageWidth = (sel & 0x10) ? 0.001 : 10;
  o.pageHeight = 10;
  o.tranCi = sel & 0x20;
  o.cutterHandle = sel & 0x40;
  o.leaveCut = sel & 0x80;
  o.strokeAppearOrderOfPage = (sel & 0x30) == 0x30;
  o.deletePointEnabled = (sel & 0x0c) == 0x0c;
  o.fontDisposeEnabled = sel & 0x01;
  test::Collector owner;
  CDisposeFile file(&owner, input, dir + "/out", "F", o);
  file.dispose();
  file.loadOnly();
  std::error_code ec;
  std::filesystem::remove_all(dir + "/out", ec);
}

}  // namespace qel::plot::fuzz
