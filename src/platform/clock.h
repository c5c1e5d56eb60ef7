#pragma once
// Time comes through this interface so that long protocol waits run fast in tests.
#include <atomic>
#include <chrono>
#include <cstdint>

namespace qel::platform {

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds on a monotonic scale.
  virtual std::int64_t nowMs() const = 0;
  virtual void sleepMs(std::int64_t ms) = 0;
};

// The real clock.
class SystemClock final : public Clock {
 public:
  std::int64_t nowMs() const override;
  void sleepMs(std::int64_t ms) override;
  static SystemClock& instance();
};

// A clock for tests: sleeping advances time at once, without waiting.
class FakeClock final : public Clock {
 public:
  std::int64_t nowMs() const override { return now_.load(); }
  void sleepMs(std::int64_t ms) override { now_ += ms > 0 ? ms : 0; }
  void advance(std::int64_t ms) { now_ += ms; }

 private:
  std::atomic<std::int64_t> now_{0};
};

}  // namespace qel::platform
