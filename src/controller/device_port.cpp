// Ports reached through a device interface: the common open, read and write of USB and PCI.
#include "controller/port.h"

#include <algorithm>
#include <chrono>

namespace qel::controller {

void CDevicePort::busyWaitMicro() {
  const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(1);
  while (std::chrono::steady_clock::now() < until) {
  }
}

CDevicePort::~CDevicePort() {
  for (int i = 0; i < 3; ++i)
    if (handle_[i] >= 0) io_->close(handle_[i]);
}

CDeviceIo::Io CDevicePort::complete(int handle, CDeviceIo::Io io, std::size_t* done) {
  while (io == CDeviceIo::Io::Pending) {
    busyWaitMicro();
    io = io_->result(handle, done);
  }
  return io;
}

bool CDevicePort::openNumber(int number, int mask) {
  if (!io_) return false;
  bool any = false;
  for (int sub = 0; sub < 3; ++sub) {
    const int bits = sub == 2 ? kSubMemory : (1 << sub);
    if (!(mask & bits)) continue;
    if (handle_[sub] >= 0) {
      any = true;
      continue;
    }
    const std::string path = devicePath(number, sub);
    if (path.empty()) return false;
    const int h = io_->open(path);
    if (h < 0) return false;
    if (!afterOpen(h)) {
      io_->close(h);
      return false;
    }
    handle_[sub] = h;
    openMask_ |= bits;
    number_ = number;
    any = true;
  }
  return any;
}

void CDevicePort::close(int mask) {
  for (int sub = 0; sub < 3; ++sub) {
    const int bits = sub == 2 ? kSubMemory : (1 << sub);
    if (!(mask & bits)) continue;
    // MEMORY closes when either of its bits is asked for.
    if (handle_[sub] >= 0) {
      io_->cancel(handle_[sub]);
      io_->close(handle_[sub]);
      handle_[sub] = -1;
    }
    openMask_ &= ~bits;
  }
}

bool CDevicePort::openAdditional(int mask) { return openNumber(number_, mask); }

bool CDevicePort::read(int mask, std::uint8_t* buf, std::size_t* len) {
  const int sub = (mask & kSubMpe) && handle_[0] >= 0 ? 0 : ((mask & kSubRemote) && handle_[1] >= 0 ? 1 : -1);
  if (sub < 0) {
    *len = 0;
    return true;
  }
  std::size_t done = 0;
  const auto io = complete(handle_[sub], io_->read(handle_[sub], buf, *len, &done), &done);
  if (io != CDeviceIo::Io::Done) {
    *len = 0;
    return false;
  }
  *len = done;
  return true;
}

bool CDevicePort::write(int mask, const std::uint8_t* data, std::size_t len) {
  const std::size_t block = static_cast<std::size_t>(largestBlock());
  for (int sub = 0; sub < 2; ++sub) {
    if (!(mask & (1 << sub)) || handle_[sub] < 0) continue;
    for (std::size_t pos = 0; pos < len; pos += block) {
      const std::size_t n = std::min(block, len - pos);
      std::size_t done = 0;
      const auto io = complete(handle_[sub], io_->write(handle_[sub], data + pos, n, &done), &done);
      if (io != CDeviceIo::Io::Done || done != n) return false;
    }
  }
  return true;
}

}  // namespace qel::controller
