#include "machine_sim.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace qel::sim {

namespace {

std::int64_t nowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool sendAll(int fd, const std::uint8_t* p, std::size_t n) {
  while (n > 0) {
    ssize_t w = ::send(fd, p, n, MSG_NOSIGNAL);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

bool makeWakePipe(int fds[2]) { return ::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0; }

void closeFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// A store whose files are PREFIX_001.plt, PREFIX_002.plt, ...
std::unique_ptr<ReceivedStore> numberedStore(const std::string& dir, const std::string& prefix) {
  if (dir.empty()) return nullptr;
  return std::make_unique<ReceivedStore>(dir, [prefix](int n, const std::string&) {
    char number[16];
    std::snprintf(number, sizeof number, "_%03d.plt", n);
    return prefix + number;
  });
}

}  // namespace

bool isLoopbackAddress(const std::string& address) {
  in_addr a{};
  if (::inet_pton(AF_INET, address.c_str(), &a) != 1) return false;
  return (ntohl(a.s_addr) >> 24) == 127;
}

// ---------------------------------------------------------------------------------------------
// Network controller

NetworkMachineSim::NetworkMachineSim() = default;
NetworkMachineSim::~NetworkMachineSim() { stop(); }

void NetworkMachineSim::setStoreDir(const std::string& dir) { store_ = numberedStore(dir, "job"); }

void NetworkMachineSim::setListener(EventListener l) {
  std::lock_guard<std::mutex> g(m_);
  listener_ = std::move(l);
}

void NetworkMachineSim::event(const std::string& line) {
  EventListener l;
  {
    std::lock_guard<std::mutex> g(m_);
    l = listener_;
  }
  if (l) l(line);
}

bool NetworkMachineSim::start(const std::string& bindAddress, int port, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    closeFd(listenFd_);
    return false;
  };
  if (listenFd_ >= 0) return fail("already listening");
  if (!isLoopbackAddress(bindAddress)) return fail("not a loopback address (127.x.x.x): " + bindAddress);
  if (port < 0 || port > 65535) return fail("bad port " + std::to_string(port));
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<std::uint16_t>(port));
  ::inet_pton(AF_INET, bindAddress.c_str(), &sa.sin_addr);
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) return fail(std::string("socket: ") + std::strerror(errno));
  int one = 1;
  ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0)
    return fail("cannot listen on " + bindAddress + ":" + std::to_string(port) + ": " + std::strerror(errno));
  if (::listen(listenFd_, 8) != 0) return fail(std::string("listen: ") + std::strerror(errno));
  socklen_t len = sizeof sa;
  ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&sa), &len);
  port_ = ntohs(sa.sin_port);
  address_ = bindAddress;
  if (!makeWakePipe(wakeFds_)) return fail("pipe");
  thread_ = std::thread(&NetworkMachineSim::run, this);
  return true;
}

void NetworkMachineSim::stop() {
  if (thread_.joinable()) {
    char c = 1;
    (void)!::write(wakeFds_[1], &c, 1);
    thread_.join();
  }
  closeFd(listenFd_);
  closeFd(wakeFds_[0]);
  closeFd(wakeFds_[1]);
}

std::vector<ReceivedFile> NetworkMachineSim::files() const {
  std::lock_guard<std::mutex> g(m_);
  return files_;
}

bool NetworkMachineSim::waitForFiles(std::size_t n, int timeoutMs) const {
  std::unique_lock<std::mutex> g(m_);
  return cv_.wait_for(g, std::chrono::milliseconds(timeoutMs), [&] { return files_.size() >= n; });
}

void NetworkMachineSim::run() {
  for (;;) {
    pollfd p[2] = {{listenFd_, POLLIN, 0}, {wakeFds_[0], POLLIN, 0}};
    int r = ::poll(p, 2, -1);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 || (p[1].revents & POLLIN)) return;
    if (!(p[0].revents & POLLIN)) continue;
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    int fd = ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
    if (fd < 0) continue;
    ++connections_;
    char ip[INET_ADDRSTRLEN] = "?";
    ::inet_ntop(AF_INET, &peer.sin_addr, ip, sizeof ip);
    event(std::string("connection from ") + ip + ":" + std::to_string(ntohs(peer.sin_port)));
    serve(fd);
    ::close(fd);
  }
}

namespace {
const std::uint8_t kReady[2] = {0x01, 0x01}, kBusy[2] = {0x01, 0x00}, kEnd[2] = {0x01, 0x02};
}  // namespace

// What one connection has brought so far.
struct NetworkMachineSim::Connection {
  explicit Connection(int f) : fd(f) {}
  const int fd;
  enum class State { Idle, Receiving } state = State::Idle;
  std::vector<std::uint8_t> pending;  // requests not yet taken (idle)
  std::vector<std::uint8_t> data;     // the file as it comes in, end request included
  std::size_t answeredAt = 0;         // data size when the last end request was answered
  bool endAnswered = false;
};

// One connection, until the link closes it, a fault drops it, or the simulator stops.
void NetworkMachineSim::serve(int fd) {
  Connection c(fd);
  std::uint8_t buf[65536];
  for (;;) {
    pollfd p[2] = {{fd, POLLIN, 0}, {wakeFds_[0], POLLIN, 0}};
    int r = ::poll(p, 2, quietMs_);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 || (p[1].revents & POLLIN)) return;
    if (r == 0) {
      // Quiet: a trailing 01 02 not yet answered is the end request.
      const std::vector<std::uint8_t>& data = c.data;
      if (c.state == Connection::State::Receiving && !silent_ && data.size() >= 2 && data.size() != c.answeredAt &&
          data[data.size() - 2] == 0x01 && data.back() == 0x02) {
        event("end request after " + std::to_string(data.size() - 2) + " file bytes");
        if (!sendAll(fd, kEnd, 2)) break;
        c.answeredAt = data.size();
        c.endAnswered = true;
      }
      continue;
    }
    ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    if (c.state == Connection::State::Idle) {
      c.pending.insert(c.pending.end(), buf, buf + n);
      if (!takeRequests(c)) break;
    } else {
      c.data.insert(c.data.end(), buf, buf + n);
    }
    long long limit = closeAfter_;
    if (c.state == Connection::State::Receiving && limit >= 0 && static_cast<long long>(c.data.size()) >= limit) {
      event("dropping the connection after " + std::to_string(c.data.size()) + " file bytes");
      ++aborted_;
      linger lg{1, 0};  // reset, as a machine that loses power would leave it
      ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
      return;
    }
  }
  if (c.state != Connection::State::Receiving) {
    event("connection closed");
    return;
  }
  finishFile(c);
}

// Start requests while idle: answered busy, ready (the file follows) or not at all.
bool NetworkMachineSim::takeRequests(Connection& c) {
  std::vector<std::uint8_t>& pending = c.pending;
  std::size_t i = 0;
  while (c.state == Connection::State::Idle && pending.size() - i >= 2) {
    std::uint8_t a = pending[i], b = pending[i + 1];
    if (a != 0x01) {  // out of step: drop one byte
      ++i;
      continue;
    }
    i += 2;
    if (b != 0x01) {
      event("unexpected request 01 " + std::to_string(b) + " outside a file");
      continue;
    }
    ++startRequests_;
    if (silent_) {
      event("start request: staying silent");
    } else if (busyRounds_ > 0) {
      --busyRounds_;
      event("start request: busy");
      if (!sendAll(c.fd, kBusy, 2)) return false;
    } else {
      event("start request: ready");
      if (!sendAll(c.fd, kReady, 2)) return false;
      c.state = Connection::State::Receiving;
    }
  }
  if (c.state == Connection::State::Receiving) c.data.assign(pending.begin() + static_cast<long>(i), pending.end());
  pending.erase(pending.begin(), pending.begin() + static_cast<long>(std::min(i, pending.size())));
  if (c.state == Connection::State::Receiving) pending.clear();
  return true;
}

// The link closed during a file: kept when it ended with its end request, else counted aborted.
void NetworkMachineSim::finishFile(Connection& c) {
  std::vector<std::uint8_t>& data = c.data;
  // The link closes after its end request has been answered; the end request may also have
  // come in just before the close, faster than the quiet time.
  bool complete = data.size() >= 2 && data[data.size() - 2] == 0x01 && data.back() == 0x02 &&
                  (c.endAnswered || !silent_);
  if (!complete) {
    ++aborted_;
    event("connection closed mid-file after " + std::to_string(data.size()) + " bytes");
    return;
  }
  if (data.size() != c.answeredAt && !silent_) sendAll(c.fd, kEnd, 2);
  data.resize(data.size() - 2);
  ReceivedFile f;
  f.data = std::move(data);
  std::string line = "file received, " + std::to_string(f.data.size()) + " bytes";
  if (store_) {
    std::string why;
    f.storedAs = store_->keep({}, std::string(f.data.begin(), f.data.end()), &why);
    line += f.storedAs.empty() ? ", not kept: " + why : ", kept as " + f.storedAs;
  }
  {
    std::lock_guard<std::mutex> g(m_);
    files_.push_back(std::move(f));
  }
  cv_.notify_all();
  event(line);
}

// ---------------------------------------------------------------------------------------------
// Serial peer

SerialPeerSim::SerialPeerSim() = default;
SerialPeerSim::~SerialPeerSim() { close(); }

void SerialPeerSim::setListener(EventListener l) {
  std::lock_guard<std::mutex> g(m_);
  listener_ = std::move(l);
}

void SerialPeerSim::setStoreDir(const std::string& dir, int quietMs) {
  storeQuietMs_ = quietMs;
  store_ = numberedStore(dir, "serial");
}

bool SerialPeerSim::open(std::string* error) {
  if (master_ >= 0) return true;
  char name[128] = {};
  if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
    if (error) *error = std::string("openpty: ") + std::strerror(errno);
    return false;
  }
  ::fcntl(master_, F_SETFD, FD_CLOEXEC);
  ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
  ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  // Raw until the link sets the line up, so that nothing is changed on the way.
  termios t{};
  if (::tcgetattr(slave_, &t) == 0) {
    ::cfmakeraw(&t);
    ::tcsetattr(slave_, TCSANOW, &t);
  }
  path_ = name;
  if (!makeWakePipe(wakeFds_)) {
    if (error) *error = "pipe";
    close();
    return false;
  }
  thread_ = std::thread(&SerialPeerSim::run, this);
  return true;
}

void SerialPeerSim::close() {
  if (thread_.joinable()) {
    char c = 1;
    (void)!::write(wakeFds_[1], &c, 1);
    thread_.join();
  }
  closeFd(master_);
  closeFd(slave_);
  closeFd(wakeFds_[0]);
  closeFd(wakeFds_[1]);
}

bool SerialPeerSim::sendByte(std::uint8_t b) {
  if (master_ < 0) return false;
  return ::write(master_, &b, 1) == 1;
}

std::vector<std::uint8_t> SerialPeerSim::received() const {
  std::lock_guard<std::mutex> g(m_);
  return received_;
}

bool SerialPeerSim::waitForBytes(std::size_t n, int timeoutMs) const {
  std::unique_lock<std::mutex> g(m_);
  return cv_.wait_for(g, std::chrono::milliseconds(timeoutMs), [&] { return received_.size() >= n; });
}

std::size_t SerialPeerSim::settle(int quietMs) const {
  for (;;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(quietMs / 4 + 1));
    std::lock_guard<std::mutex> g(m_);
    if (nowMs() - lastArrivalMs_ >= quietMs) return received_.size();
  }
}

void SerialPeerSim::keepPending() {
  if (!store_ || pending_.empty()) return;
  std::string why;
  const std::string path = store_->keep({}, pending_, &why);
  const std::string line = "file received, " + std::to_string(pending_.size()) + " bytes" +
                           (path.empty() ? ", not kept: " + why : ", kept as " + path);
  pending_.clear();
  EventListener l;
  {
    std::lock_guard<std::mutex> g(m_);
    l = listener_;
  }
  if (l) l(line);
}

void SerialPeerSim::run() {
  std::uint8_t buf[8192];
  for (;;) {
    const bool reading = reading_;
    const bool keeping = store_ && !pending_.empty();
    pollfd p[2] = {{master_, static_cast<short>(reading ? POLLIN : 0), 0}, {wakeFds_[0], POLLIN, 0}};
    int r = ::poll(p, 2, !reading ? 10 : keeping ? storeQuietMs_ : -1);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 || (p[1].revents & POLLIN)) {
      keepPending();
      return;
    }
    if (r == 0 && keeping && reading) {
      keepPending();
      continue;
    }
    if (!reading || !(p[0].revents & POLLIN)) {
      if (p[0].revents & (POLLHUP | POLLERR)) std::this_thread::sleep_for(std::chrono::milliseconds(5));
      continue;
    }
    ssize_t n = ::read(master_, buf, sizeof buf);
    if (n <= 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      continue;
    }
    EventListener l;
    std::size_t total;
    {
      std::lock_guard<std::mutex> g(m_);
      received_.insert(received_.end(), buf, buf + n);
      lastArrivalMs_ = nowMs();
      if (store_) pending_.append(reinterpret_cast<const char*>(buf), static_cast<std::size_t>(n));
      total = received_.size();
      l = listener_;
    }
    cv_.notify_all();
    if (l) l("serial: " + std::to_string(n) + " bytes (" + std::to_string(total) + " in all)");
  }
}

}  // namespace qel::sim
