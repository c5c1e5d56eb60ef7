#pragma once
// The controller file link (transfer type 3, the default): the file goes to the motion
// coordinator as a download on one channel of the controller library: an "SD" header, the
// escaped bytes, an end-of-text byte, and then the coordinator's CRC-16 of what it received.
// A sending and a reply worker share each attempt; up to six attempts, each on a new connection.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "links/transfer_link.h"

namespace qel::controller {
class CController;
class CDeviceIo;
}  // namespace qel::controller

namespace qel::links {

// How the controller file link reaches the coordinator: Modbus_LinkType, as stored.
enum class CoordinatorPort : int { Serial = 0, Usb = 1, Ethernet = 2, Pci = 3 };
constexpr int operator+(CoordinatorPort p) { return static_cast<int>(p); }

class CController_Transfer : public TransferLink {
 public:
  // State flags shared by the two workers.
  enum : std::uint32_t { kFlagTimeout = 1, kFlagAbort = 2, kFlagCrc = 4, kFlagWorkerEnded = 8 };
  static constexpr int kCoordinatorTcpPort = 3241;
  static constexpr int kMaxFailures = 5;  // six attempts in all
  static constexpr int kRetryPauseMs = 3000;

  // What the link takes from outside Config.ini: the device access of the USB and PCI kinds,
  // a serial device path that replaces "COM%i" (a pseudo-terminal in tests), the coordinator's
  // TCP port, and a thread starter that tests replace to refuse a worker.
  struct Options {
    std::shared_ptr<controller::CDeviceIo> deviceIo;
    std::string serialDevice;
    int tcpPort = kCoordinatorTcpPort;
    int connectTimeoutMs = 5000;
    std::function<bool(std::thread&, std::function<void()>)> startThread;
  };

  // Reads the "Modbus" settings from the owner's Config.ini.
  CController_Transfer(TransferOwner& owner, std::string filePath, std::int32_t fileSize);
  CController_Transfer(TransferOwner& owner, std::string filePath, std::int32_t fileSize, Options options);
  ~CController_Transfer() override;

  bool send() override;
  std::string resultText() const override { return resultText_; }

  // The download header for a path in the machine's code page: 0x01 "SD:" base name (8 bytes at
  // most) extension with its dot (4 at most) 0x02, both cut at a character boundary. The link
  // sends the name the machine name register gives the file (machine_name.h).
  static std::string header(const std::string& path);
  // How long a stop waits once the whole file and its trailer are out: the machine holds the
  // whole file then, and its CRC answer tells whether it was delivered.
  static constexpr int kStopGraceMs = 3000;
  // Escapes a block: 0x02 → "\s", 0x03 → "\e", 0x5C → "\\".
  static std::string escape(const std::string& raw);
  // Understands one reply text: "CRC=<hex>" gives kFlagCrc and the value, "ABORT" gives
  // kFlagAbort; any other text gives 0.
  static std::uint32_t parseReply(const std::string& text, std::uint32_t* crc);
  // "\nDuration=HH:MM:SS"
  static std::string durationText(std::int64_t seconds);

  int attempts() const { return attempts_; }
  // The name the file was sent under (code page bytes), after send().
  const std::string& machineName() const { return machineName_; }
  bool crcMatched() const { return crcMatched_ != 0; }

 private:
  bool connect();
  void closeController();
  bool runTransfer();
  void sendingWorker();
  void replyWorker();
  bool writeEscaped(int channel, const std::uint8_t* data, std::size_t len);
  bool startWorker(std::thread& t, std::function<void()> body);
  std::uint32_t flags() const { return flags_.load(std::memory_order_acquire); }
  void raise(std::uint32_t f) { flags_.fetch_or(f, std::memory_order_acq_rel); }
  int dataChannel() const { return channelProtocol_ ? channelNo_ : 0; }

  std::unique_ptr<controller::CController> controller_;
  std::atomic<std::uint32_t> flags_{0};
  std::atomic<std::uint32_t> receivedCrc_{0};
  TransferOwner& owner_;
  int linkType_ = +CoordinatorPort::Ethernet;  // Modbus_LinkType
  int rs232No_ = 1;
  bool rs232Fast_ = false;
  std::string address_;
  int pciNo_ = 5;
  bool channelProtocol_ = false;
  bool timeoutOn_ = true;
  int channelNo_ = 5;
  int timeValue_ = 60;
  std::string filePath_;
  std::string machineName_;
  // Set by the sending worker once the trailer is out: the reply worker then reads on through a
  // stop (for the grace above).
  std::atomic<bool> trailerSent_{false};
  std::int32_t crcMatched_ = 0;
  std::string resultText_;
  std::int32_t fileSize_;
  Options options_;
  int attempts_ = 0;
};

}  // namespace qel::links
