// The serial port: one line, its protocol settings from the table of serial modes.
#include "controller/port.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace qel::controller {

namespace {
const SerialSettings kSerialTable[3] = {
    {9600, 7, 'e', 2},
    {38400, 8, 'e', 1},
    {9600, 8, 'n', 2},
};

speed_t baudConstant(int baud) {
  switch (baud) {
    case 9600: return B9600;
    case 38400: return B38400;
    default: return B9600;
  }
}
}  // namespace

int serialSettingsIndex(int protocol, int serialMode) {
  if (serialMode != 1 && serialMode != 2) return -1;
  switch (protocol) {
    case 1: return 0;
    case 2: return 1;
    case 0: return serialMode == 1 ? 0 : 1;
    case 3: return serialMode == 1 ? 2 : 1;
    default: return -1;
  }
}

const SerialSettings& serialSettings(int index) { return kSerialTable[index]; }

std::string serialDevicePath(const std::string& portName) {
  if (!portName.empty() && portName[0] == '/') return portName;
  if (portName.size() > 3 && (portName.compare(0, 3, "COM") == 0 || portName.compare(0, 3, "com") == 0)) {
    char* end = nullptr;
    const long n = std::strtol(portName.c_str() + 3, &end, 10);
    if (end && *end == 0 && n >= 1 && n <= 256) return "/dev/ttyS" + std::to_string(n - 1);
  }
  return "/dev/" + portName;
}

CSerialPort::~CSerialPort() { close(-1); }

bool CSerialPort::openName(const std::string& name, int serialMode, int mask) {
  mask &= (kSubMpe | kSubRemote);
  if (mask == 0) return false;
  // MPE and REMOTE share the device and exclude each other.
  if (mask == (kSubMpe | kSubRemote)) return false;
  if (openMask_ & ~mask & (kSubMpe | kSubRemote)) return false;
  if (openMask_ & mask) return true;
  if (serialSettingsIndex(0, serialMode) < 0) return false;
  const std::string path = serialDevicePath(name);
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  fd_ = fd;
  serialMode_ = serialMode;
  name_ = name;
  if (!setLineProtocol(0)) {
    ::close(fd_);
    fd_ = -1;
    return false;
  }
  openMask_ = mask;
  return true;
}

bool CSerialPort::setLineProtocol(int protocol) {
  if (fd_ < 0) return false;
  const int idx = serialSettingsIndex(protocol, serialMode_);
  if (idx < 0) return false;
  const SerialSettings& s = kSerialTable[idx];
  termios t{};
  if (tcgetattr(fd_, &t) != 0) return false;
  cfmakeraw(&t);
  cfsetispeed(&t, baudConstant(s.baud));
  cfsetospeed(&t, baudConstant(s.baud));
  t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
  t.c_cflag |= (s.dataBits == 7 ? CS7 : CS8) | CLOCAL | CREAD;
  if (s.parity != 'n') {
    t.c_cflag |= PARENB;
    if (s.parity == 'o') t.c_cflag |= PARODD;
    t.c_iflag |= INPCK;
  }
  if (s.stopBits == 2 || s.stopBits == 15) t.c_cflag |= CSTOPB;
  if (protocol != 3) {
    t.c_iflag |= IXON | IXOFF;
  } else {
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
  }
  t.c_cc[VSTART] = 0x11;
  t.c_cc[VSTOP] = 0x13;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  if (tcsetattr(fd_, TCSANOW, &t) != 0) return false;
  int lines = 0;
  if (ioctl(fd_, TIOCMGET, &lines) == 0) {  // DTR and RTS off (absent on a pseudo-terminal)
    lines &= ~(TIOCM_DTR | TIOCM_RTS);
    ioctl(fd_, TIOCMSET, &lines);
  }
  clock_->sleepMs(100);
  tcflush(fd_, TCIOFLUSH);
  return true;
}

void CSerialPort::close(int mask) {
  const int m = openMask_ & ~mask;
  if (m == 0 && fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
    name_.clear();
  }
  openMask_ = m;
}

bool CSerialPort::openAdditional(int mask) {
  if (name_.empty()) return false;
  return openName(name_, serialMode_, mask);
}

bool CSerialPort::read(int mask, std::uint8_t* buf, std::size_t* len) {
  if (!(openMask_ & mask) || fd_ < 0) {
    *len = 0;
    return true;
  }
  int queued = 0;
  if (ioctl(fd_, FIONREAD, &queued) != 0) return false;
  if (queued <= 0) {
    *len = 0;
    return true;
  }
  const std::size_t want = std::min<std::size_t>(*len, static_cast<std::size_t>(queued));
  const ssize_t n = ::read(fd_, buf, want);
  if (n < 0) {
    if (errno == EAGAIN || errno == EINTR) {
      *len = 0;
      return true;
    }
    return false;
  }
  *len = static_cast<std::size_t>(n);
  return true;
}

bool CSerialPort::write(int mask, const std::uint8_t* data, std::size_t len) {
  if (!(openMask_ & mask) || fd_ < 0) return true;
  std::size_t done = 0;
  while (done < len) {
    const ssize_t n = ::write(fd_, data + done, len - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace qel::controller
