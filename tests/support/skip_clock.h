#pragma once
// A test clock that runs in real time but skips what its sleepers wait: retry pauses and polling
// steps pass at once while simulators on other threads still get real time to answer. Each sleep
// takes at most `realCapMs` of real time (0: a tenth of a millisecond), so that a wait for frames
// rendered after a move can still let a little real time pass.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

#include "platform/clock.h"

namespace qel::test {

class SkipClock final : public platform::Clock {
 public:
  explicit SkipClock(std::int64_t realCapMs = 0) : realCapMs_(realCapMs) {}
  std::int64_t nowMs() const override { return platform::SystemClock::instance().nowMs() + skipped_.load(); }
  void sleepMs(std::int64_t ms) override {
    const std::int64_t real = std::clamp<std::int64_t>(ms, 0, realCapMs_);
    std::this_thread::sleep_for(real > 0 ? std::chrono::microseconds(real * 1000) : std::chrono::microseconds(100));
    if (ms > real) skipped_ += ms - real;
  }
  // The time the sleepers skipped so far: grows only while someone waits on this clock.
  std::int64_t skippedMs() const { return skipped_.load(); }

 private:
  const std::int64_t realCapMs_;
  std::atomic<std::int64_t> skipped_{0};
};

}  // namespace qel::test
