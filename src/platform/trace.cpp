#include "platform/trace.h"

#include <atomic>
#include <cstdio>
#include <mutex>

namespace qel::platform {

namespace {
std::atomic<bool> enabled{false};
}

void setTraceEnabled(bool on) { enabled = on; }
bool traceEnabled() { return enabled; }

void trace(std::string_view line) {
  if (!enabled) return;
  static std::mutex m;
  std::lock_guard<std::mutex> g(m);
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace qel::platform
