#pragma once
// Waiting in tests without a fixed sleep: poll a condition until it holds or a deadline passes.
// For tests that run no Qt event loop (the Qt ones use pumpUntil, which also delivers events).
#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace qel::test {

// Polls `done` every `stepMs` until it holds or `timeoutMs` have passed; returns done().
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs = 5000, int stepMs = 2) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(stepMs));
  }
  return done();
}

// How often `needle` occurs in `text` (for "the peer has seen one more of these").
inline std::size_t occurrences(const std::string& text, const std::string& needle) {
  std::size_t n = 0;
  for (std::size_t at = text.find(needle); !needle.empty() && at != std::string::npos; at = text.find(needle, at + 1)) ++n;
  return n;
}

}  // namespace qel::test
