#pragma once
// Access to the coordinator's USB and PCI device drivers. The real implementation opens the
// character devices and uses ioctl; tests put an in-memory device in its place.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace qel::controller {

class CDeviceIo {
 public:
  enum class Io { Done, Pending, Failed };
  virtual ~CDeviceIo() = default;
  virtual int open(const std::string& path) = 0;  // a handle ≥ 0, or −1
  virtual void close(int handle) = 0;
  virtual void cancel(int /*handle*/) {}
  virtual Io control(int handle, std::uint32_t code, const void* in, std::size_t inLen, void* out,
                     std::size_t outLen, std::size_t* got) = 0;
  virtual Io write(int handle, const std::uint8_t* data, std::size_t len, std::size_t* done) = 0;
  virtual Io read(int handle, std::uint8_t* buf, std::size_t len, std::size_t* done) = 0;
  // Completion of the call left pending on the handle.
  virtual Io result(int handle, std::size_t* done) = 0;
};

// Character devices with ioctl; a read finding nothing answers Done with 0 bytes.
std::shared_ptr<CDeviceIo> makeSystemDeviceIo();

}  // namespace qel::controller
