#include "controller/device_io.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

namespace qel::controller {
namespace {

// Argument block handed to the driver with each control code.
struct ControlArgs {
  const void* in;
  unsigned long inLen;
  void* out;
  unsigned long outLen;
  unsigned long got;
};

class SystemDeviceIo final : public CDeviceIo {
 public:
  int open(const std::string& path) override {
    return ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC | O_EXCL);
  }
  void close(int handle) override { ::close(handle); }
  Io control(int handle, std::uint32_t code, const void* in, std::size_t inLen, void* out, std::size_t outLen,
             std::size_t* got) override {
    ControlArgs a{in, inLen, out, outLen, 0};
    if (::ioctl(handle, static_cast<unsigned long>(code), &a) < 0) return Io::Failed;
    if (got) *got = a.got;
    return Io::Done;
  }
  Io write(int handle, const std::uint8_t* data, std::size_t len, std::size_t* done) override {
    const ssize_t n = ::write(handle, data, len);
    if (n < 0) return errno == EAGAIN ? (*done = 0, Io::Done) : Io::Failed;
    *done = static_cast<std::size_t>(n);
    return Io::Done;
  }
  Io read(int handle, std::uint8_t* buf, std::size_t len, std::size_t* done) override {
    const ssize_t n = ::read(handle, buf, len);
    if (n < 0) return errno == EAGAIN ? (*done = 0, Io::Done) : Io::Failed;
    *done = static_cast<std::size_t>(n);
    return Io::Done;
  }
  Io result(int, std::size_t*) override { return Io::Done; }
};

}  // namespace

std::shared_ptr<CDeviceIo> makeSystemDeviceIo() { return std::make_shared<SystemDeviceIo>(); }

}  // namespace qel::controller
