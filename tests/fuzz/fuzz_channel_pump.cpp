// The controller's receive pump with fuzzer bytes arriving on the port: what every channel
// receives must equal what a plain reading of the escape protocol gives. The first byte picks
// the channel mode (multiplexed or not) and the size of the port's deliveries.
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "controller/controller.h"
#include "controller/fake_device.h"
#include "fuzz/fuzz_support.h"
#include "platform/clock.h"

namespace {

using qel::controller::CController;

constexpr std::uint8_t kEsc = 0x1B;
constexpr int kChannels[7] = {0, 5, 6, 7, 8, 9, -1};

// The escape protocol as written down: ESC followed by a channel digit switches the channel;
// ESC followed by any other byte is data (both bytes); a last ESC waits for its partner.
std::map<int, std::string> model(const std::string& in, bool multiplexed) {
  std::map<int, std::string> out;
  if (!multiplexed) {
    if (!in.empty()) out[0] = in;
    return out;
  }
  const std::string digits = "056789/";
  int channel = 0;
  for (std::size_t i = 0; i < in.size(); ++i) {
    const char b = in[i];
    if (static_cast<std::uint8_t>(b) != kEsc) {
      out[channel] += b;
      continue;
    }
    if (i + 1 == in.size()) break;
    const char next = in[++i];
    const std::size_t d = digits.find(next);
    if (next != '\0' && d != std::string::npos) {
      channel = kChannels[d];
    } else {
      out[channel] += static_cast<char>(kEsc);
      out[channel] += next;
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t sel = data[0];
  const bool multiplexed = sel & 1;
  const std::string in(reinterpret_cast<const char*>(data) + 1, size - 1);

  auto dev = std::make_shared<qel::test::FakeDevice>();
  dev->present = {"/dev/qelmc-000-mpe"};
  qel::platform::FakeClock clock;
  CController c(&clock);
  c.setDeviceIo(dev);
  qel::fuzz::check(c.openUsb(0, 1) == 1, "the fake port does not open");
  if (multiplexed) c.setChannelMode(1, false);
  // The port hands the bytes over in pieces of 1 to 64 bytes at a time.
  const std::size_t piece = 1 + (sel >> 2) % 64;
  std::map<int, std::string> got;
  std::size_t fed = 0;
  for (int idle = 0; idle < 3;) {
    if (fed < in.size()) {
      std::lock_guard<std::mutex> g(dev->m);
      const std::size_t n = std::min(piece, in.size() - fed);
      dev->toRead.append(in, fed, n);
      fed += n;
    }
    bool moved = false;
    for (int ch : kChannels) {
      std::uint8_t buf[512];
      std::size_t len = sizeof buf;
      qel::fuzz::check(c.read(ch, buf, &len) == 1, "a channel read failed");
      if (len) moved = true;
      got[ch].append(reinterpret_cast<const char*>(buf), len);
    }
    const bool drained = [&] {
      std::lock_guard<std::mutex> g(dev->m);
      return dev->toRead.empty();
    }();
    idle = (!moved && drained && fed == in.size()) ? idle + 1 : 0;
  }
  c.close(-1);
  std::map<int, std::string> want = model(in, multiplexed);
  for (int ch : kChannels)
    qel::fuzz::check(got[ch] == want[ch], "channel " + std::to_string(ch) + " received other bytes than sent");
  return 0;
}
