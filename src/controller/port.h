#pragma once
// Port objects: one physical connection to the motion coordinator with up to three byte streams
// (sub-ports): MPE (bit 1, the multiplexed channels), REMOTE (bit 2) and, on PCI, MEMORY
// (bits 4 and 8). A port only opens, reads, writes, closes and reconnects; framing is the
// controller's business.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>

#include "controller/device_io.h"
#include "platform/clock.h"

namespace qel::controller {

enum SubPortBits : int { kSubMpe = 1, kSubRemote = 2, kSubMemory = 4 | 8 };
enum PortType : int { kPortSerial = 1, kPortUsb = 2, kPortPci = 3, kPortEthernet = 4 };

// Notification to the host (message number, first and second parameter); answers the host's reply.
using HostNotify = std::function<std::intptr_t(unsigned msg, std::uintptr_t w, std::intptr_t l)>;

class CPort {
 public:
  explicit CPort(platform::Clock* clock) : clock_(clock ? clock : &platform::SystemClock::instance()) {}
  virtual ~CPort() = default;
  CPort(const CPort&) = delete;
  CPort& operator=(const CPort&) = delete;

  virtual bool openNumber(int /*number*/, int /*mask*/) { return false; }
  virtual bool openName(const std::string& /*name*/, int /*serialMode*/, int /*mask*/) { return false; }
  virtual bool openHost(const std::string& /*host*/, int /*tcpPort*/, int /*mask*/) { return false; }
  virtual void close(int mask) = 0;
  virtual bool reconnect() { return false; }
  virtual bool openAdditional(int mask) = 0;
  virtual int portType() const = 0;
  virtual bool setLineProtocol(int /*protocol*/) { return false; }
  virtual int largestBlock() const = 0;
  virtual int canDownload() const = 0;
  virtual int canTableTransfer() const { return 0; }
  virtual int canVrTransfer() const { return 0; }
  virtual int escapeOnRemoteChannel() const { return 1; }
  virtual bool getTable(int /*first*/, int /*count*/, double* /*values*/) { return false; }
  virtual bool setTable(int /*first*/, int /*count*/, const double* /*values*/) { return false; }
  virtual bool getVr(int /*index*/, double* /*value*/) { return false; }
  virtual bool setVr(int /*index*/, double /*value*/) { return false; }
  // Reads up to *len bytes from the first open sub-port of mask; *len becomes the count read
  // (0 when nothing waits: reads never block).
  virtual bool read(int mask, std::uint8_t* buf, std::size_t* len) = 0;
  virtual bool write(int mask, const std::uint8_t* data, std::size_t len) = 0;

  int openMask() const { return openMask_.load(); }
  bool reconnecting() const { return reconnecting_.load() != 0; }
  void setNotify(HostNotify n) { notify_ = std::move(n); }
  // The connection's cancel word: a write that cannot go on gives up once it is set.
  void setCancelSource(const std::atomic<int>* cancel) { cancel_ = cancel; }
  bool cancelled() const { return cancel_ && cancel_->load() != 0; }

 protected:
  std::intptr_t notify(unsigned msg, std::uintptr_t w, std::intptr_t l) {
    return notify_ ? notify_(msg, w, l) : 0;
  }
  // Reconnection frame shared by USB and Ethernet: reopen() is tried until it succeeds or the
  // host sets the cancel word; between tries the kind's own pause runs.
  bool runReconnect(const std::function<bool(int attempt)>& reopen);

  platform::Clock* clock_;
  const std::atomic<int>* cancel_ = nullptr;
  std::atomic<int> openMask_{0};
  std::atomic<std::uint32_t> reconnecting_{0};
  std::timed_mutex reconnectMutex_;
  HostNotify notify_;
};

// Serial line settings (baud, data bits, parity letter, stop bits as 1, 2 or 15).
struct SerialSettings {
  int baud;
  int dataBits;
  char parity;
  int stopBits;
};
// Table index for a protocol number in a serial mode, or −1 when the pair is not allowed.
int serialSettingsIndex(int protocol, int serialMode);
const SerialSettings& serialSettings(int index);
// "COM3" names /dev/ttyS2; a name beginning with '/' is a device path.
std::string serialDevicePath(const std::string& portName);

class CSerialPort final : public CPort {
 public:
  using CPort::CPort;
  ~CSerialPort() override;
  bool openName(const std::string& name, int serialMode, int mask) override;
  void close(int mask) override;
  bool openAdditional(int mask) override;
  int portType() const override { return kPortSerial; }
  bool setLineProtocol(int protocol) override;
  int largestBlock() const override { return 16; }
  int canDownload() const override { return 1; }
  bool read(int mask, std::uint8_t* buf, std::size_t* len) override;
  bool write(int mask, const std::uint8_t* data, std::size_t len) override;

 private:
  int fd_ = -1;
  int serialMode_ = 1;
  std::string name_;
};

class CEthernetPort final : public CPort {
 public:
  static constexpr int kRemotePort = 3240;
  using CPort::CPort;
  ~CEthernetPort() override;
  bool openHost(const std::string& host, int tcpPort, int mask) override;
  void close(int mask) override;
  bool reconnect() override;
  bool openAdditional(int mask) override;
  int portType() const override { return kPortEthernet; }
  int largestBlock() const override { return 64; }
  int canDownload() const override { return 1; }
  bool read(int mask, std::uint8_t* buf, std::size_t* len) override;
  bool write(int mask, const std::uint8_t* data, std::size_t len) override;
  // Connect time-out (5 s); tests shorten it.
  void setConnectTimeoutMs(int ms) { connectTimeoutMs_ = ms; }

 private:
  bool openAddress(std::uint32_t addrNetOrder, int tcpPort, int mask);
  int connectOne(std::uint32_t addrNetOrder, int port);
  // Atomic: a reconnection on the sending thread may replace them while the receiver polls.
  std::atomic<int> fd_[2] = {-1, -1};
  // Held shared while a read or write uses a descriptor and exclusively to close it, so that a
  // descriptor is never closed (and its number handed to another file) under a reader.
  std::shared_mutex fdUse_[2];
  std::uint32_t addr_ = 0;
  int tcpPort_ = 0;
  int connectTimeoutMs_ = 5000;
  // A write that makes no progress for this long fails (a coordinator that stopped reading).
  int writeStallMs_ = 30000;

 public:
  void setWriteStallMs(int ms) { writeStallMs_ = ms; }
};

// USB and PCI reach their devices through a device interface.
class CDevicePort : public CPort {
 public:
  CDevicePort(platform::Clock* clock, std::shared_ptr<CDeviceIo> io) : CPort(clock), io_(std::move(io)) {}
  ~CDevicePort() override;
  bool openNumber(int number, int mask) override;
  void close(int mask) override;
  bool openAdditional(int mask) override;
  bool read(int mask, std::uint8_t* buf, std::size_t* len) override;
  bool write(int mask, const std::uint8_t* data, std::size_t len) override;

 protected:
  virtual std::string devicePath(int number, int sub) const = 0;  // sub: 0 MPE, 1 REMOTE, 2 MEMORY
  virtual bool afterOpen(int /*handle*/) { return true; }
  CDeviceIo::Io complete(int handle, CDeviceIo::Io io, std::size_t* done);
  // Spins for about a microsecond between polls of a pending device call.
  static void busyWaitMicro();
  std::shared_ptr<CDeviceIo> io_;
  int handle_[3] = {-1, -1, -1};
  int number_ = 0;
};

class CUsbPort final : public CDevicePort {
 public:
  using CDevicePort::CDevicePort;
  bool reconnect() override;
  int portType() const override { return kPortUsb; }
  int largestBlock() const override { return 32; }
  int canDownload() const override { return 0; }

 protected:
  std::string devicePath(int number, int sub) const override;
  bool afterOpen(int handle) override;
};

class CPciPort final : public CDevicePort {
 public:
  using CDevicePort::CDevicePort;
  int portType() const override { return kPortPci; }
  int largestBlock() const override { return 160; }
  int canDownload() const override { return 1; }
  int canTableTransfer() const override { return 1; }
  int canVrTransfer() const override { return 1; }
  int escapeOnRemoteChannel() const override { return 0; }
  bool getTable(int first, int count, double* values) override;
  bool setTable(int first, int count, const double* values) override;
  bool getVr(int index, double* value) override;
  bool setVr(int index, double value) override;

 protected:
  std::string devicePath(int number, int sub) const override;

 private:
  bool memoryCall(std::uint32_t code, const void* in, std::size_t inLen, void* out, std::size_t outLen);
  bool moveWindow(int base);
  // Walks the table locations [first, first + count) in pieces that each lie within one window
  // position: moves the window, then calls piece(location, window base, piece length, locations
  // done before it). False for a range outside the table or at the first failure.
  bool inWindows(int first, int count, const std::function<bool(int loc, int base, int n, int done)>& piece);
};

// Device control codes of the coordinator's USB and PCI drivers.
enum : std::uint32_t {
  kIoctlUsbInit = 0x220014,
  kIoctlGetVr = 0x220024,
  kIoctlSetVr = 0x220028,
  kIoctlGetTable = 0x22002C,
  kIoctlSetTable = 0x220030,
};

}  // namespace qel::controller
