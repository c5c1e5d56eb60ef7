#pragma once
// The queue's clock for the long-running commands: the real clock with every wait stretched or
// shrunk by a factor (--time-scale), so that simulations and tests run the fixed waits fast.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/clock.h"

namespace qel::app {

class ScaledClock final : public platform::Clock {
 public:
  explicit ScaledClock(double scale) : scale_(scale) {}
  std::int64_t nowMs() const override { return platform::SystemClock::instance().nowMs(); }
  void sleepMs(std::int64_t ms) override {
    platform::SystemClock::instance().sleepMs(static_cast<std::int64_t>(std::llround(double(ms) * scale_)));
  }

 private:
  double scale_;
};

// Reads --time-scale: a number above 0 and at most 100. False when the text is not one.
inline bool parseTimeScale(const std::string& text, double& scale) {
  char* end = nullptr;
  scale = std::strtod(text.c_str(), &end);
  return end != text.c_str() && *end == '\0' && scale > 0.0 && scale <= 100.0;
}

}  // namespace qel::app
