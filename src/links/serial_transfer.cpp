#include "links/serial_transfer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "config/ini_config.h"

namespace qel::links {

bool TtyModemLines::read(int fd, ModemStatus& status) {
  int bits = 0;
  if (::ioctl(fd, TIOCMGET, &bits) != 0) return false;
  status.cts = (bits & TIOCM_CTS) != 0;
  status.dsr = (bits & TIOCM_DSR) != 0;
  return true;
}

bool TtyModemLines::set(int fd, bool dtr, bool rts) {
  int bits = 0;
  if (::ioctl(fd, TIOCMGET, &bits) != 0) return false;
  bits = dtr ? (bits | TIOCM_DTR) : (bits & ~TIOCM_DTR);
  bits = rts ? (bits | TIOCM_RTS) : (bits & ~TIOCM_RTS);
  return ::ioctl(fd, TIOCMSET, &bits) == 0;
}

TtyModemLines& TtyModemLines::instance() {
  static TtyModemLines lines;
  return lines;
}

namespace {

bool speedFor(std::uint32_t baud, speed_t& out) {
  static const struct {
    std::uint32_t baud;
    speed_t speed;
  } table[] = {{50, B50},         {75, B75},         {110, B110},       {134, B134},       {150, B150},
               {200, B200},       {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
               {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
               {57600, B57600},   {115200, B115200}, {230400, B230400}, {460800, B460800}, {500000, B500000},
               {576000, B576000}, {921600, B921600}, {1000000, B1000000}};
  for (const auto& e : table)
    if (e.baud == baud) {
      out = e.speed;
      return true;
    }
  return false;
}

std::uint32_t parseUnsigned(const std::string& text, std::uint32_t fallback) {
  const char* s = text.c_str();
  while (*s == ' ') ++s;
  char* end = nullptr;
  errno = 0;
  unsigned long v = std::strtoul(s, &end, 10);
  if (end == s || errno != 0 || v > 0xFFFFFFFFul) return fallback;
  return static_cast<std::uint32_t>(v);
}

}  // namespace

bool makeLineSettings(termios& t, std::uint32_t baudRate, int parity, int dataBits, int stopBits, int handshaking) {
  speed_t speed;
  if (!speedFor(baudRate, speed)) return false;
  tcflag_t size;
  switch (dataBits) {
    case 5: size = CS5; break;
    case 6: size = CS6; break;
    case 7: size = CS7; break;
    case 8: size = CS8; break;
    default: return false;
  }
  // 1.5 stop bits exist only with 5 data bits (the UART's long stop bit), 2 only with more.
  if (stopBits < 0 || stopBits > 2 || (stopBits == 1 && dataBits != 5) || (stopBits == 2 && dataBits == 5))
    return false;
  if (parity < +SerialParity::None || parity > +SerialParity::Space || handshaking < 0) return false;

  // Binary mode: every byte passes unchanged both ways.
  t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK);
  t.c_oflag &= ~OPOST;
  t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  t.c_cflag |= CREAD | CLOCAL | size;
  switch (static_cast<SerialParity>(parity)) {
    case SerialParity::Odd: t.c_cflag |= PARENB | PARODD; break;
    case SerialParity::Even: t.c_cflag |= PARENB; break;
    case SerialParity::Mark: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case SerialParity::Space: t.c_cflag |= PARENB | CMSPAR; break;
    case SerialParity::None: break;
  }
  if (stopBits != 0) t.c_cflag |= CSTOPB;
  switch (static_cast<SerialHandshake>(handshaking)) {
    case SerialHandshake::None: break;
    case SerialHandshake::RtsCts: t.c_cflag |= CRTSCTS; break;
    case SerialHandshake::DtrDsr: break;  // no termios counterpart: DSR is checked before each block
    default:  // Xon/Xoff, and any higher stored number
      t.c_iflag |= IXON | IXOFF;
      t.c_cc[VSTART] = 0x11;
      t.c_cc[VSTOP] = 0x13;
      break;
  }
  // Reads return at once with what is there.
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  return ::cfsetispeed(&t, speed) == 0 && ::cfsetospeed(&t, speed) == 0;
}

std::string serialDevicePath(const std::string& name) {
  if (!name.empty() && name[0] == '/') return name;
  if (name.size() > 3 && std::toupper(static_cast<unsigned char>(name[0])) == 'C' &&
      std::toupper(static_cast<unsigned char>(name[1])) == 'O' &&
      std::toupper(static_cast<unsigned char>(name[2])) == 'M') {
    int n = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
      if (!std::isdigit(static_cast<unsigned char>(name[i])) || n > 9999) return {};
      n = n * 10 + (name[i] - '0');
    }
    if (n >= 1) return "/dev/ttyS" + std::to_string(n - 1);
  }
  return {};
}

CSerial_Transfer::CSerial_Transfer(TransferOwner& owner, std::string filePath, std::int32_t fileSize,
                                   SerialLinkOptions options)
    : owner_(owner), filePath_(std::move(filePath)), fileSize_(fileSize), opt_(options) {
  synchronous_ = true;
  namespace k = config::keys;
  config::CIniConfig cfg(owner_.programDir());
  portName_ = cfg.read(k::Serial_Comport);
  baudRate_ = parseUnsigned(cfg.read(k::Serial_Baudrate), 0);
  parity_ = cfg.read(k::Serial_Parity);
  dataBits_ = static_cast<int>(parseUnsigned(cfg.read(k::Serial_DataBits), 0));
  stopBits_ = cfg.read(k::Serial_StopBits);
  handshaking_ = cfg.read(k::Serial_Protocol);
}

CSerial_Transfer::~CSerial_Transfer() { closePort(); }

platform::Clock& CSerial_Transfer::clock() const {
  return opt_.clock ? *opt_.clock : owner_.clock();
}

ModemLines& CSerial_Transfer::lines() const {
  return opt_.modemLines ? *opt_.modemLines : TtyModemLines::instance();
}

void CSerial_Transfer::closePort() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

// Opens the device for this process alone and applies the line settings. Any setting the
// device refuses (or that the line cannot carry) fails the open.
bool CSerial_Transfer::openPort() {
  const std::string device = serialDevicePath(portName_);
  if (device.empty()) return false;
  fd_ = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) return false;
  if (!::isatty(fd_) || ::flock(fd_, LOCK_EX | LOCK_NB) != 0 || ::ioctl(fd_, TIOCEXCL) != 0) return false;
  struct termios t {};
  if (::tcgetattr(fd_, &t) != 0) return false;
  if (!makeLineSettings(t, baudRate_, parity_, dataBits_, stopBits_, handshaking_)) return false;
  if (::tcsetattr(fd_, TCSANOW, &t) != 0) return false;
  // The kernel keeps its own queues; the write time-out is kept by writeBlock().
  // DTR and RTS are raised for every handshake (in RTS/CTS mode the driver takes RTS over).
  // Ports without modem lines (pseudo-terminals) go on without them.
  lines().set(fd_, true, true);
  return true;
}

// Waits until the machine raises CTS (or DSR), polling every 100 ms. False when a stop came
// first or the port cannot tell its line status.
bool CSerial_Transfer::waitReady(bool dsr) {
  for (;;) {
    if (owner_.stopInForce()) return false;
    ModemStatus s;
    if (!lines().read(fd_, s)) return false;
    if (dsr ? s.dsr : s.cts) return true;
    clock().sleepMs(100);
  }
}

// Writes one block, waiting at most the write time-out for the port to take it. Returns the
// count written.
int CSerial_Transfer::writeBlock(const std::uint8_t* data, int len) {
  using namespace std::chrono;
  const auto deadline = steady_clock::now() + milliseconds(opt_.writeTimeoutMs);
  int done = 0;
  while (done < len) {
    ssize_t n = ::write(fd_, data + done, static_cast<std::size_t>(len - done));
    if (n > 0) {
      done += static_cast<int>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) break;
    auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
    if (left <= 0) break;
    struct pollfd p {fd_, POLLOUT, 0};
    int r = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 100)));
    if (r < 0 && errno != EINTR) break;
    if (r > 0 && (p.revents & (POLLERR | POLLNVAL))) break;
  }
  return done;
}

void CSerial_Transfer::writeFile() {
  success_ = false;
  std::FILE* f = std::fopen(filePath_.c_str(), "rb");
  if (!f) {
    resultText_ = kOpenTransferFileFail;
    return;
  }
  std::fseek(f, 0, SEEK_END);
  const long long length = std::ftell(f);
  std::fseek(f, 0, SEEK_SET);
  ::tcflush(fd_, TCIOFLUSH);
  if (length < 2048) clock().sleepMs(200);

  std::uint8_t block[kBlockSize];
  long long count = 0;
  bool stopped = false;
  std::string text;
  for (;;) {
    if (owner_.stopInForce()) {
      stopped = true;
      break;
    }
    if (count >= length) break;
    // DTR/DSR has no flow control in the driver: the machine's DSR is checked before each block.
    if (handshaking_ == +SerialHandshake::DtrDsr && !waitReady(true)) {
      stopped = true;
      break;
    }
    std::memset(block, 0, sizeof block);
    const int got = static_cast<int>(std::fread(block, 1, sizeof block, f));
    if (got <= 0) break;  // the file got shorter than it was
    const int written = writeBlock(block, kBlockSize);
    if (written < got && count + got < length) {
      char buf[96];
      std::snprintf(buf, sizeof buf, "File transfer failed(Transfer=$%x, Received=$%x)", static_cast<unsigned>(got),
                    static_cast<unsigned>(written));
      std::fclose(f);
      resultText_ = buf;
      return;
    }
    // The share sent before this block; 64-bit so that large files don't wrap round.
    owner_.setProgressPos(static_cast<int>(count * 100 / length));
    count += got;
    owner_.reportBytesSent(count, length);
  }
  if (stopped) text = kSerialCancelled;
  else success_ = true;
  clock().sleepMs(1000);
  std::fclose(f);
  resultText_ = text;
}

bool CSerial_Transfer::send() {
  owner_.setStopRequest(false);
  owner_.setProgressRange(0, 100);
  owner_.setProgressPos(1);
  resultText_.clear();
  bool result = false;
  if (!openPort()) {
    resultText_ = kSerialOpenFail;
  } else if ((handshaking_ == +SerialHandshake::RtsCts || handshaking_ == +SerialHandshake::DtrDsr) &&
             !waitReady(handshaking_ == +SerialHandshake::DtrDsr)) {
    // Stopped while waiting, or a port that cannot tell its lines.
    ModemStatus probe;
    if (!owner_.stopInForce() && !lines().read(fd_, probe)) resultText_ = kSerialOpenFail;
  } else {
    clock().sleepMs(500);
    writeFile();
    result = success_;
  }
  closePort();
  owner_.setProgressPos(0);
  clock().sleepMs(1000);
  return result;
}

}  // namespace qel::links
