// The simulated coordinator's system software loader, entered after LOADSYSTEM and "Y": every
// byte is echoed; the stream is sections of big-endian words (size in bytes, load address,
// data), and a size of 0 ends the load.
#include "coordinator_sim.h"

namespace qel::sim {

void SimConnection::loaderByte(std::uint8_t b) {
  const CoordinatorFaults f = sim_.faults();
  std::uint8_t echo = b;
  if (loaderStep_ == 2) {
    if (f.badEchoAt >= 0 && loaderDataBytes_ == f.badEchoAt) echo = static_cast<std::uint8_t>(b ^ 0xFF);
    ++loaderDataBytes_;
  }
  if (!f.silent) sendRaw(std::string(1, static_cast<char>(echo)));
  loaderWord_ += static_cast<char>(b);
  if (loaderWord_.size() < 4) return;
  const auto* u = reinterpret_cast<const unsigned char*>(loaderWord_.data());
  const std::uint32_t w = (static_cast<std::uint32_t>(u[0]) << 24) | (u[1] << 16) | (u[2] << 8) | u[3];
  loaderWord_.clear();
  if (loaderStep_ == 0) {
    if (w == 0) {
      loader_ = false;
      sim_.record([&] { ++sim_.systemLoads_; });
      return;
    }
    section_ = SimSection{};
    section_.size = w;
    loaderStep_ = 1;
  } else if (loaderStep_ == 1) {
    section_.address = w;
    loaderStep_ = 2;
    loaderDataBytes_ = 0;
  } else {
    section_.words.push_back(w);
    if (section_.words.size() * 4 >= section_.size) {
      sim_.record([&] { sim_.sections_.push_back(section_); });
      loaderStep_ = 0;
    }
  }
}

}  // namespace qel::sim
