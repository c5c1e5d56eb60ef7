// A plot file made of fuzzer bytes through the character conversion: the source is never
// changed, a failure says why and leaves the destination as it was, and a file in a
// single-byte code page is not altered.
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "platform/clock.h"
#include "plot/file_code_conv.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using qel::fuzz::check;
  using qel::plot::CFileCodeConv;
  const std::string dir = qel::fuzz::scratchDir();
  const std::string source = dir + "/job.plt";
  const std::string dest = dir + "/job_cp.plt";
  const std::string raw(reinterpret_cast<const char*>(data), size);
  qel::fuzz::writeBytes(source, data, size);
  qel::fuzz::writeBytes(dest, "old", 3);
  static qel::platform::FakeClock clock;
  CFileCodeConv conv(source, dest, &clock);
  const bool ok = conv.convert();
  const std::string out = qel::fuzz::readBytes(dest);
  check(qel::fuzz::readBytes(source) == raw, "the source changed");
  if (!ok) {
    check(!conv.message().empty(), "a failed conversion without a reason");
    check(out == "old", "a failed conversion changed the destination");
    return 0;
  }
  if (conv.encoding() == CFileCodeConv::SingleByte) {
    check(out == "old" || out == raw, "a single-byte file was changed");
    return 0;
  }
  // The pure conversions on the raw bytes must not fail on any input.
  std::string tmp;
  (void)CFileCodeConv::isUtf8(data, size);
  (void)CFileCodeConv::utf16LeToCodePage(raw, tmp);
  (void)CFileCodeConv::utf8ToUtf16Le(raw, tmp);
  return 0;
}
