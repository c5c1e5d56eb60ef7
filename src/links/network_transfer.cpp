#include "links/network_transfer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "config/ini_config.h"
#include "platform/net_guard.h"

namespace qel::links {

namespace {

constexpr std::uint8_t kRequest = 0x01;
constexpr std::uint8_t kStart = 0x01;
constexpr std::uint8_t kEnd = 0x02;

// poll() that carries on after a signal, with the time left.
int pollFor(int fd, short events, int timeoutMs, short* revents) {
  struct pollfd p {};
  p.fd = fd;
  p.events = events;
  for (;;) {
    int r = ::poll(&p, 1, timeoutMs);
    if (r < 0 && errno == EINTR) continue;
    if (revents) *revents = r > 0 ? p.revents : 0;
    return r;
  }
}

}  // namespace

std::string networkConnectFailMessage(int language) {
  return language ? "can not connect to machine !" : "无法连接到机器！";
}

std::string networkInterruptionMessage(int language) {
  return language ? "network interruption !" : "网络中断！";
}

CNetwork_Transfer::CNetwork_Transfer(TransferOwner& owner, std::string filePath, std::int32_t fileSize,
                                     NetworkLinkOptions options)
    : owner_(owner), filePath_(std::move(filePath)), fileSize_(fileSize), opt_(options) {
  config::CIniConfig cfg(owner_.programDir());
  address_ = cfg.read(config::keys::Xitong_IP);
  if (opt_.pieceSize < 1) opt_.pieceSize = 100;
}

CNetwork_Transfer::~CNetwork_Transfer() { Close(); }

platform::Clock& CNetwork_Transfer::clock() const {
  return opt_.clock ? *opt_.clock : owner_.clock();
}

void CNetwork_Transfer::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool CNetwork_Transfer::openConnection() {
  Close();
  struct sockaddr_in sa {};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<std::uint16_t>(opt_.port));
  if (opt_.port <= 0 || opt_.port > 65535 || ::inet_pton(AF_INET, address_.c_str(), &sa.sin_addr) != 1) return false;
  if (!platform::outgoingConnectionAllowed(sa.sin_addr.s_addr)) return false;
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return false;
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    if (errno != EINPROGRESS && errno != EINTR) {
      ::close(fd);
      return false;
    }
    short rev = 0;
    if (pollFor(fd, POLLOUT, opt_.connectTimeoutMs, &rev) <= 0) {
      ::close(fd);
      return false;
    }
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0) {
      ::close(fd);
      return false;
    }
  }
  fd_ = fd;
  return true;
}

int CNetwork_Transfer::Connect() {
  resultText_.clear();
  if (openConnection()) return 1;
  resultText_ = kQelConnectFail;
  Close();
  return 0;
}

// Sends all of data; a socket that takes only part gets the rest as soon as it has room. Fails
// on a socket error, a hang-up, or a stop while the machine takes nothing.
bool CNetwork_Transfer::sendWhole(const std::uint8_t* data, std::size_t len) {
  while (len > 0) {
    ssize_t n = ::send(fd_, data, len, MSG_NOSIGNAL);
    if (n > 0) {
      data += n;
      len -= static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      short rev = 0;
      int r = pollFor(fd_, POLLOUT, opt_.eventWaitMs, &rev);
      if (r < 0 || (rev & (POLLERR | POLLHUP))) return false;
      if (r == 0 && owner_.stopInForce()) return false;
      continue;
    }
    return false;
  }
  return true;
}

bool CNetwork_Transfer::peerClosed() {
  short rev = 0;
  if (pollFor(fd_, POLLRDHUP, 0, &rev) < 0) return true;
  return (rev & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

// One request round: the request, then the wait for the machine's two-byte answer. The only
// events waited for are "readable" and "closed": a socket is writable nearly all the time, and
// treating that as an event would send request after request without waiting for an answer.
CNetwork_Transfer::Answer CNetwork_Transfer::exchange(std::uint8_t second, bool allowPartial) {
  const std::uint8_t request[2] = {kRequest, second};
  if (allowPartial) {
    ssize_t n;
    do n = ::send(fd_, request, 2, MSG_NOSIGNAL);
    while (n < 0 && errno == EINTR);
    if (n < 0) return Answer::SendError;
    if (n < 2) return Answer::Partial;
  } else if (!sendWhole(request, 2)) {
    return Answer::SendError;
  }
  std::uint8_t reply[2];
  std::size_t got = 0;
  while (got < 2) {
    short rev = 0;
    int r = pollFor(fd_, POLLIN | POLLRDHUP, opt_.eventWaitMs, &rev);
    if (r < 0) return Answer::WaitFailed;
    if (r == 0) return got == 0 ? Answer::Timeout : Answer::Other;
    if (rev & POLLIN) {
      ssize_t n = ::recv(fd_, reply + got, 2 - got, 0);
      if (n > 0) {
        got += static_cast<std::size_t>(n);
        continue;
      }
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      return Answer::Closed;  // orderly close (0) or a reset
    }
    return Answer::Closed;  // hang-up or error without data
  }
  return reply[0] == kRequest && reply[1] == second ? Answer::Expected : Answer::Other;
}

// The start or end phase: the request goes out again and again until the machine answers as
// expected. A stop ends the phase as if it had succeeded; the caller sorts that out.
bool CNetwork_Transfer::phase(std::uint8_t second) {
  for (;;) {
    if (owner_.stopInForce()) return true;
    const std::int64_t roundStart = clock().nowMs();
    switch (exchange(second, false)) {
      case Answer::Expected:
        return true;
      case Answer::Closed:
      case Answer::SendError:
      case Answer::Partial:
        interrupted();
        return false;
      case Answer::Timeout:
        break;
      case Answer::Other:
      case Answer::WaitFailed: {
        // A busy machine answers at once: keep to one round per wait so that it is asked
        // about once a second rather than thousands of times.
        std::int64_t left = opt_.eventWaitMs - (clock().nowMs() - roundStart);
        if (left > 0) clock().sleepMs(left);
        break;
      }
    }
  }
}

void CNetwork_Transfer::interrupted() {
  owner_.showMessage("QEL", networkInterruptionMessage(owner_.language()));
  resultText_ = kQelConnectClose;
  Close();
}

bool CNetwork_Transfer::send() {
  resultText_.clear();
  // The file is opened before the machine is asked to take it: a file that cannot be read
  // must not turn into an empty delivery reported as a success.
  std::FILE* f = std::fopen(filePath_.c_str(), "rb");
  if (!f) {
    resultText_ = "Open Transfer-File Fail.";
    return false;
  }
  if (!openConnection()) {
    std::fclose(f);
    owner_.showMessage("QEL", networkConnectFailMessage(owner_.language()));
    resultText_ = kQelConnectFail;
    Close();
    return false;
  }

  if (!phase(kStart)) {
    std::fclose(f);
    return false;
  }

  if (!owner_.stopInForce()) {
    std::fseek(f, 0, SEEK_END);
    const std::int64_t total = std::ftell(f);
    std::fseek(f, 0, SEEK_SET);
    std::int64_t sent = 0;
    owner_.reportBytesSent(0, total);
    std::vector<std::uint8_t> piece(static_cast<std::size_t>(opt_.pieceSize));
    std::size_t n = std::fread(piece.data(), 1, piece.size(), f);
    while (n > 0) {
      if (owner_.stopInForce()) break;
      if (peerClosed() || !sendWhole(piece.data(), n)) {
        std::fclose(f);
        interrupted();
        return false;
      }
      sent += static_cast<std::int64_t>(n);
      owner_.reportBytesSent(sent, total);
      clock().sleepMs(opt_.piecePauseMs);
      n = std::fread(piece.data(), 1, piece.size(), f);
    }
  }
  std::fclose(f);

  if (!phase(kEnd)) return false;
  Close();
  return !owner_.stopInForce();
}

int CNetwork_Transfer::Probe(int tries) {
  resultText_.clear();
  if (fd_ < 0 && !openConnection()) {
    resultText_ = kQelConnectFail;
    return -1;
  }
  int result = 0;
  while (tries-- > 0 && result == 0) {
    switch (exchange(kStart, true)) {
      case Answer::Expected: result = 1; break;
      case Answer::Other: result = -4; break;
      case Answer::Partial: return 0;  // the rest of the request is still owed: stay connected
      case Answer::SendError:
        result = -1;
        resultText_ = kQelConnectClose;
        break;
      case Answer::WaitFailed: result = -2; break;
      case Answer::Timeout: result = -3; break;
      case Answer::Closed:
        result = -5;
        resultText_ = kQelConnectClose;
        break;
    }
  }
  Close();
  return result;
}

}  // namespace qel::links
