// The Ethernet port: two TCP connections to the coordinator, MPE on the given port and REMOTE
// on 3240, each guarded so that a reconnection never closes a descriptor under a reader.
#include "controller/port.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/net_guard.h"

namespace qel::controller {

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

}  // namespace qel::controller
