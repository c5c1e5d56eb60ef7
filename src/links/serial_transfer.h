#pragma once
// The serial link: opens the configured serial port with its line settings and handshaking,
// waits for the machine's readiness line, and writes the plot file in 4096-byte blocks, the
// last one padded with zero bytes. No framing, acknowledgement or checksum: flow control is
// the port's handshaking.
#include <termios.h>

#include <cstdint>
#include <string>

#include "links/modem_lines.h"
#include "links/transfer_link.h"
#include "platform/clock.h"

namespace qel::links {

struct SerialLinkOptions {
  platform::Clock* clock = nullptr;    // the fixed sleeps and the readiness polling; the owner's when null
  ModemLines* modemLines = nullptr;    // the real lines when null
  int writeTimeoutMs = 2000;           // a block must be taken within this time
};

inline constexpr const char* kOpenTransferFileFail = "Open Transfer-File Fail.";
inline constexpr const char* kSerialCancelled = "File transfer cancelled by user.";

// "COM3" is /dev/ttyS2; a name beginning with '/' is a device path; anything else has no device
// (empty result).
std::string serialDevicePath(const std::string& portName);

// Serial_Parity and Serial_Protocol as stored.
enum class SerialParity : int { None = 0, Odd = 1, Even = 2, Mark = 3, Space = 4 };
enum class SerialHandshake : int { None = 0, RtsCts = 1, DtrDsr = 2, XonXoff = 3 };
constexpr int operator+(SerialParity p) { return static_cast<int>(p); }
constexpr int operator+(SerialHandshake h) { return static_cast<int>(h); }

// Fills in the line settings of a port (baud rate, binary mode, data bits, parity 0..4 none,
// odd, even, mark, space, stop bits 0..2 for 1, 1.5, 2, handshaking 0..3 none, RTS/CTS,
// DTR/DSR, Xon/Xoff); every other field keeps its value. False for a setting the line cannot
// carry.
bool makeLineSettings(termios& t, std::uint32_t baudRate, int parity, int dataBits, int stopBits, int handshaking);

class CSerial_Transfer : public TransferLink {
 public:
  static constexpr int kBlockSize = 4096;

  // Reads the six keys of section "Serial" from the owner's Config.ini.
  CSerial_Transfer(TransferOwner& owner, std::string filePath, std::int32_t fileSize, SerialLinkOptions options = {});
  ~CSerial_Transfer() override;
  CSerial_Transfer(const CSerial_Transfer&) = delete;
  CSerial_Transfer& operator=(const CSerial_Transfer&) = delete;

  bool send() override;
  std::string resultText() const override { return resultText_; }

  const std::string& portName() const { return portName_; }
  std::uint32_t baudRate() const { return baudRate_; }
  int parity() const { return parity_; }
  int dataBits() const { return dataBits_; }
  int stopBits() const { return stopBits_; }
  int handshaking() const { return handshaking_; }

 private:
  bool openPort();
  void closePort();
  bool waitReady(bool dsr);
  void writeFile();
  int writeBlock(const std::uint8_t* data, int len);
  platform::Clock& clock() const;
  ModemLines& lines() const;

  TransferOwner& owner_;
  bool synchronous_ = true;
  std::string portName_;
  std::uint32_t baudRate_ = 38400;
  int parity_ = 0;
  int dataBits_ = 8;
  int stopBits_ = 0;
  int handshaking_ = 0;
  int fd_ = -1;
  std::string filePath_;
  bool success_ = false;
  std::string resultText_;
  std::int32_t fileSize_;
  SerialLinkOptions opt_;
};

}  // namespace qel::links
