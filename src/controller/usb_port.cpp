// The USB port: device paths, its start-up control call and reconnection.
#include "controller/port.h"

#include <cstdio>

namespace qel::controller {

std::string CUsbPort::devicePath(int number, int sub) const {
  if (sub == 2) return {};
  char buf[64];
  std::snprintf(buf, sizeof buf, "/dev/qelmc-%03d-%s", number, sub == 0 ? "mpe" : "remote");
  return buf;
}

bool CUsbPort::afterOpen(int handle) {
  const std::uint32_t one = 1;
  std::size_t got = 0;
  const auto io = complete(handle, io_->control(handle, kIoctlUsbInit, &one, 4, nullptr, 0, &got), &got);
  return io == CDeviceIo::Io::Done;
}

bool CUsbPort::reconnect() {
  const int mask = openMask_.load();
  const int first = number_;
  return runReconnect([&](int attempt) {
    const int n = (first + attempt) % 16;
    if (attempt > 0 && n == 0) clock_->sleepMs(100);
    if (openNumber(n, mask)) return true;
    close(-1);
    return false;
  });
}

}  // namespace qel::controller
