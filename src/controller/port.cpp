#include "controller/port.h"

#include "platform/net_guard.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>
#include <algorithm>

namespace qel::controller {

namespace {
void busyWaitMicro() {
  const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(1);
  while (std::chrono::steady_clock::now() < until) {
  }
}
}  // namespace

// ---------------------------------------------------------------------------------------------
// Reconnection

bool CPort::runReconnect(const std::function<bool(int attempt)>& reopen) {
  if (openMask_.load() == 0) return false;
  std::unique_lock<std::timed_mutex> lock(reconnectMutex_, std::try_to_lock);
  if (!lock.owns_lock()) return false;  // another thread is reconnecting
  std::atomic<std::int32_t> cancel{0};
  notify(0x504, 1, reinterpret_cast<std::intptr_t>(&cancel));
  reconnecting_ = 0xFFFFFFFFu;
  const int mask = openMask_.load();
  close(-1);
  bool ok = false;
  for (int attempt = 0; cancel.load() == 0; ++attempt) {
    if (reopen(attempt)) {
      ok = true;
      break;
    }
    (void)mask;
  }
  notify(0x504, 0, 0);
  if (!ok) close(-1);
  reconnecting_ = 0;
  return ok;
}

// ---------------------------------------------------------------------------------------------
// Serial

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

// ---------------------------------------------------------------------------------------------
// Ethernet

CEthernetPort::~CEthernetPort() { close(-1); }

bool CEthernetPort::openHost(const std::string& host, int tcpPort, int mask) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* res = nullptr;
  std::uint32_t addr = 0;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &res) == 0 && res) {
    addr = reinterpret_cast<sockaddr_in*>(res->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(res);
  } else {
    if (res) freeaddrinfo(res);
    in_addr a{};
    if (inet_aton(host.c_str(), &a) == 0) return false;
    addr = a.s_addr;
  }
  return openAddress(addr, tcpPort, mask);
}

int CEthernetPort::connectOne(std::uint32_t addr, int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) return -1;
  const int flags = fcntl(fd, F_GETFL);
  fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<std::uint16_t>(port));
  sa.sin_addr.s_addr = addr;
  if (!platform::outgoingConnectionAllowed(addr)) {
    ::close(fd);
    return -1;
  }
  int rc = ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  if (rc != 0 && errno == EINPROGRESS) {
    pollfd p{fd, POLLOUT, 0};
    rc = -1;
    if (::poll(&p, 1, connectTimeoutMs_) == 1) {
      int err = 0;
      socklen_t l = sizeof err;
      if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &l) == 0 && err == 0) rc = 0;
    }
  }
  if (rc != 0) {
    ::close(fd);
    return -1;
  }
  fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return fd;
}

bool CEthernetPort::openAddress(std::uint32_t addr, int tcpPort, int mask) {
  mask &= (kSubMpe | kSubRemote);
  if (mask == 0) return false;
  for (int sub = 0; sub < 2; ++sub) {
    const int bit = 1 << sub;
    if (!(mask & bit) || (openMask_ & bit)) continue;
    const int fd = connectOne(addr, sub == 0 ? tcpPort : kRemotePort);
    if (fd < 0) return false;
    fd_[sub] = fd;
    openMask_ |= bit;
    addr_ = addr;
    tcpPort_ = tcpPort;
  }
  return true;
}

void CEthernetPort::close(int mask) {
  for (int sub = 0; sub < 2; ++sub) {
    if (mask & (1 << sub)) {
      // The shutdown ends a read or a stalled write under way at once; the descriptor is
      // closed once nobody uses it.
      if (const int fd = fd_[sub].load(); fd >= 0) ::shutdown(fd, SHUT_RDWR);
      std::unique_lock<std::shared_mutex> use(fdUse_[sub]);
      const int fd = fd_[sub].exchange(-1);
      if (fd >= 0) ::close(fd);
    }
    if (mask & (1 << sub)) openMask_ &= ~(1 << sub);
  }
}

bool CEthernetPort::openAdditional(int mask) {
  if (tcpPort_ == 0) return false;
  return openAddress(addr_, tcpPort_, mask);
}

bool CEthernetPort::reconnect() {
  const int mask = openMask_.load();
  const std::uint32_t addr = addr_;
  const int port = tcpPort_;
  return runReconnect([&](int attempt) {
    if (attempt > 0) clock_->sleepMs(100);
    if (openAddress(addr, port, mask)) return true;
    close(-1);
    return false;
  });
}

bool CEthernetPort::read(int mask, std::uint8_t* buf, std::size_t* len) {
  const int sub = (mask & kSubMpe) && fd_[0] >= 0 ? 0 : ((mask & kSubRemote) && fd_[1] >= 0 ? 1 : -1);
  if (sub < 0 || *len == 0) {
    *len = 0;
    return sub >= 0 || !(openMask_ & mask);
  }
  std::shared_lock<std::shared_mutex> use(fdUse_[sub]);
  const int fd = fd_[sub].load();
  pollfd p{fd, POLLIN, 0};
  if (fd < 0 || ::poll(&p, 1, 0) <= 0) {
    *len = 0;
    return true;
  }
  // The whole buffer may be filled; a terminating zero is added only when it fits.
  const ssize_t n = ::recv(fd, buf, *len, MSG_DONTWAIT);
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
    *len = 0;
    return true;
  }
  if (n <= 0) {
    *len = 0;
    return false;
  }
  if (static_cast<std::size_t>(n) < *len) buf[n] = 0;
  *len = static_cast<std::size_t>(n);
  return true;
}

bool CEthernetPort::write(int mask, const std::uint8_t* data, std::size_t len) {
  for (int sub = 0; sub < 2; ++sub) {
    std::shared_lock<std::shared_mutex> use(fdUse_[sub]);
    const int fd = fd_[sub].load();
    if (!(mask & (1 << sub)) || fd < 0) continue;
    std::size_t done = 0;
    int stalledMs = 0;
    while (done < len) {
      const ssize_t n = ::send(fd, data + done, len - done, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
        stalledMs = 0;
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) return false;
      // The coordinator is not reading: wait in short steps, so that a cancel or a coordinator
      // that never reads again ends the write instead of blocking the sender for ever.
      if (cancelled() || stalledMs >= writeStallMs_) return false;
      pollfd p{fd, POLLOUT, 0};
      ::poll(&p, 1, 100);
      stalledMs += 100;
    }
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// USB and PCI

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

std::string CPciPort::devicePath(int number, int sub) const {
  static const char* const kNames[3] = {"mpe", "remote", "memory"};
  char buf[64];
  std::snprintf(buf, sizeof buf, "/dev/qelmcpci-%03d-%s", number, kNames[sub]);
  return buf;
}

bool CPciPort::memoryCall(std::uint32_t code, const void* in, std::size_t inLen, void* out, std::size_t outLen) {
  if (handle_[2] < 0) return false;
  std::size_t got = 0;
  const auto io = complete(handle_[2], io_->control(handle_[2], code, in, inLen, out, outLen, &got), &got);
  return io == CDeviceIo::Io::Done;
}

bool CPciPort::getVr(int index, double* value) {
  if (!value) return false;
  const std::int32_t in[2] = {index, index};
  float f = 0;
  if (!memoryCall(kIoctlGetVr, in, sizeof in, &f, sizeof f)) return false;
  *value = f;
  return true;
}

bool CPciPort::setVr(int index, double value) {
  struct {
    std::int32_t index;
    float value;
  } in{index, static_cast<float>(value)};
  return memoryCall(kIoctlSetVr, &in, sizeof in, nullptr, 0);
}

namespace {
constexpr int kWindow = 1024;
constexpr int kMaxBase = 30976;
}  // namespace

bool CPciPort::moveWindow(int base) {
  if (base < 0 || base > kMaxBase) return false;
  struct {
    std::int32_t location;
    float value;
  } rec{1024, static_cast<float>(base)};
  if (!memoryCall(kIoctlSetTable, &rec, sizeof rec, nullptr, 0)) return false;
  // The window moves once the coordinator reports the new base at location 1025.
  for (int tries = 0; tries < 100000; ++tries) {
    const std::int32_t in[2] = {1025, 1025};
    float cur = -1;
    if (!memoryCall(kIoctlGetTable, in, sizeof in, &cur, sizeof cur)) return false;
    if (static_cast<int>(cur) == base) return true;
    busyWaitMicro();
  }
  return false;
}

bool CPciPort::getTable(int first, int count, double* values) {
  if (!values || first < 0 || count < 0 || first > kMaxBase + kWindow - count) return false;
  int done = 0;
  while (done < count) {
    const int loc = first + done;
    const int base = (loc / kWindow) * kWindow;
    const int n = std::min(count - done, base + kWindow - loc);
    if (!moveWindow(base)) return false;
    const std::int32_t in[2] = {loc - base, loc - base + n - 1};
    std::vector<float> out(static_cast<std::size_t>(n));
    if (!memoryCall(kIoctlGetTable, in, sizeof in, out.data(), out.size() * sizeof(float))) return false;
    for (int i = 0; i < n; ++i) values[done + i] = out[static_cast<std::size_t>(i)];
    done += n;
  }
  return true;
}

bool CPciPort::setTable(int first, int count, const double* values) {
  if (!values || first < 0 || count < 0 || first > kMaxBase + kWindow - count) return false;
  struct Rec {
    std::int32_t location;
    float value;
  };
  int done = 0;
  while (done < count) {
    const int loc = first + done;
    const int base = (loc / kWindow) * kWindow;
    const int n = std::min(count - done, base + kWindow - loc);
    if (!moveWindow(base)) return false;
    std::vector<Rec> recs(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) recs[static_cast<std::size_t>(i)] = {loc - base + i, static_cast<float>(values[done + i])};
    if (!memoryCall(kIoctlSetTable, recs.data(), recs.size() * sizeof(Rec), nullptr, 0)) return false;
    done += n;
  }
  return true;
}

}  // namespace qel::controller
