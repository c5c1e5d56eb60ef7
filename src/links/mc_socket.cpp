#include "links/mc_socket.h"

#include "platform/net_guard.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>

namespace qel::links::mcsock {

bool validIpv4(const std::string& address) {
  in_addr a{};
  return !address.empty() && inet_pton(AF_INET, address.c_str(), &a) == 1;
}

int connectTcp(const std::string& address, int port, int timeoutMs, bool* created) {
  if (created) *created = false;
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<std::uint16_t>(port));
  if (port <= 0 || port > 65535 || inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1) return -1;
  if (!platform::outgoingConnectionAllowed(sa.sin_addr.s_addr)) return -1;
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return -1;
  if (created) *created = true;
  int rc = ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  if (rc != 0 && errno == EINPROGRESS) {
    pollfd p{fd, POLLOUT, 0};
    rc = ::poll(&p, 1, timeoutMs) == 1 ? 0 : -1;
    int err = 0;
    socklen_t l = sizeof err;
    if (rc == 0 && (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &l) != 0 || err != 0)) rc = -1;
  }
  if (rc != 0) {
    ::close(fd);
    return -1;
  }
  const int flags = fcntl(fd, F_GETFL);
  fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  // A peer that stops reading makes a write fail after a while instead of hanging it.
  timeval tv{};
  tv.tv_sec = 10;
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  return fd;
}

bool sendAll(int fd, const void* data, std::size_t len) {
  const char* p = static_cast<const char*>(data);
  while (len > 0) {
    const ssize_t n = ::send(fd, p, len, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    len -= static_cast<std::size_t>(n);
  }
  return true;
}

long recvSome(int fd, void* buf, std::size_t max, int timeoutMs) {
  if (fd < 0) return -1;
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    const int r = ::poll(&p, 1, timeoutMs);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return -1;
    const ssize_t n = ::recv(fd, buf, max, 0);
    if (n < 0 && errno == EINTR) continue;
    return n < 0 ? -1 : static_cast<long>(n);
  }
}

bool stillOpen(int fd) {
  if (fd < 0) return false;
  pollfd p{fd, POLLIN, 0};
  if (::poll(&p, 1, 0) <= 0) return true;
  if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) return false;
  char c;
  const ssize_t n = ::recv(fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
  return n > 0 || (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK));
}

void closeSocket(int& fd) {
  if (fd >= 0) {
    ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
  }
  fd = -1;
}

}  // namespace qel::links::mcsock
