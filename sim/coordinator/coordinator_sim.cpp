// The simulated coordinator's server: it listens on loopback ports, gives each connection (and
// the pseudo-terminal) a serving thread, and keeps the record of everything received.
#include "coordinator_sim.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace qel::sim {

CoordinatorSim::CoordinatorSim() {
  remoteHandler_ = [](SimConnection& c, const std::string& bytes) { c.sendRaw(bytes); };
}

CoordinatorSim::~CoordinatorSim() { stop(); }

void CoordinatorSim::stop() {
  stopping_ = true;
  for (auto& t : threads_)
    if (t.joinable()) t.join();
  threads_.clear();
  for (int fd : listenFds_) ::close(fd);
  listenFds_.clear();
  // Every serving thread has released its connection's descriptor (the pseudo-terminal's
  // master among them).
  {
    std::lock_guard<std::mutex> g(mutex_);
    for (auto& c : connections_) c->release();
    connections_.clear();
  }
  ptyMaster_ = -1;
}

void CoordinatorSim::setFaults(const CoordinatorFaults& f) {
  std::lock_guard<std::mutex> g(mutex_);
  faults_ = f;
}
CoordinatorFaults CoordinatorSim::faults() {
  std::lock_guard<std::mutex> g(mutex_);
  return faults_;
}
void CoordinatorSim::setRemoteHandler(std::function<void(SimConnection&, const std::string&)> h) {
  std::lock_guard<std::mutex> g(mutex_);
  remoteHandler_ = std::move(h);
}

namespace {
int listenOn(const std::string& address, int port, int* bound) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  const int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<std::uint16_t>(port));
  if (inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1 || (ntohl(sa.sin_addr.s_addr) >> 24) != 127 ||
      ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(fd, 8) != 0) {
    ::close(fd);
    return -1;
  }
  socklen_t l = sizeof sa;
  getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &l);
  if (bound) *bound = ntohs(sa.sin_port);
  return fd;
}
}  // namespace

bool CoordinatorSim::listenTcp(const std::string& address, int mpePort, int remotePort) {
  const int fd = listenOn(address, mpePort, &mpePort_);
  if (fd < 0) return false;
  listenFds_.push_back(fd);
  threads_.emplace_back([this, fd] { acceptLoop(fd, 0, nullptr); });
  if (remotePort >= 0) {
    const int rfd = listenOn(address, remotePort, nullptr);
    if (rfd < 0) return false;
    listenFds_.push_back(rfd);
    threads_.emplace_back([this, rfd] { acceptLoop(rfd, 1, nullptr); });
  }
  return true;
}

bool CoordinatorSim::listenService(const std::string& address, int port,
                                   std::function<void(SimConnection&, const std::string&)> handler, int* boundPort) {
  const int fd = listenOn(address, port, boundPort);
  if (fd < 0) return false;
  listenFds_.push_back(fd);
  threads_.emplace_back([this, fd, handler] { acceptLoop(fd, 2, handler); });
  return true;
}

void CoordinatorSim::acceptLoop(int listenFd, int kind, std::function<void(SimConnection&, const std::string&)> handler) {
  std::vector<std::thread> workers;
  while (!stopping_) {
    pollfd p{listenFd, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    auto c = std::make_shared<SimConnection>(*this, fd, kind != 0);
    {
      std::lock_guard<std::mutex> g(mutex_);
      connections_.push_back(c);
    }
    std::function<void(SimConnection&, const std::string&)> h = handler;
    if (kind == 1) {
      std::lock_guard<std::mutex> g(mutex_);
      h = remoteHandler_;
    }
    workers.emplace_back([this, c, h] { serve(c, h); });
  }
  for (auto& w : workers) w.join();
}

void CoordinatorSim::serve(std::shared_ptr<SimConnection> c, std::function<void(SimConnection&, const std::string&)> handler) {
  std::uint8_t buf[4096];
  const int fd = c->fd();
  const bool pty = fd >= 0 && fd == ptyMaster_;
  while (fd >= 0 && !stopping_ && !c->dropped()) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n <= 0) {
      // A pseudo-terminal with no slave open reads as an error; keep waiting for one.
      if (pty) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        continue;
      }
      break;
    }
    if (handler)
      handler(*c, std::string(reinterpret_cast<char*>(buf), static_cast<std::size_t>(n)));
    else
      c->feed(buf, static_cast<std::size_t>(n));
  }
  if (!handler) c->ended();
  // Only this thread reads the descriptor, so only now may it be closed.
  c->release();
}

std::string CoordinatorSim::openPty() {
  int master = -1, slave = -1;
  char name[256] = {0};
  if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) return {};
  termios t{};
  tcgetattr(slave, &t);
  cfmakeraw(&t);
  tcsetattr(slave, TCSANOW, &t);
  ptyMaster_ = master;
  // The slave end stays open here as well, so the master never reads as hung up between
  // the library's opens.
  auto c = std::make_shared<SimConnection>(*this, master, false);
  {
    std::lock_guard<std::mutex> g(mutex_);
    connections_.push_back(c);
  }
  threads_.emplace_back([this, c, slave] {
    serve(c, nullptr);
    ::close(slave);
  });
  return name;
}

void CoordinatorSim::setDownloadHook(std::function<void(const SimDownload&)> hook) {
  std::lock_guard<std::mutex> g(mutex_);
  downloadHook_ = std::move(hook);
}

void CoordinatorSim::setEventHook(std::function<void(const std::string&)> hook) {
  std::lock_guard<std::mutex> g(mutex_);
  eventHook_ = std::move(hook);
}

void CoordinatorSim::event(const std::string& line) {
  std::function<void(const std::string&)> hook;
  {
    std::lock_guard<std::mutex> g(mutex_);
    hook = eventHook_;
  }
  if (hook) hook(line);
}

void CoordinatorSim::addDownload(const SimDownload& d) {
  std::function<void(const SimDownload&)> hook;
  {
    std::lock_guard<std::mutex> g(mutex_);
    downloads_.push_back(d);
    hook = downloadHook_;
  }
  if (hook) hook(d);
}

std::vector<SimDownload> CoordinatorSim::downloads() {
  std::lock_guard<std::mutex> g(mutex_);
  return downloads_;
}
std::vector<SimProgram> CoordinatorSim::programs() {
  std::lock_guard<std::mutex> g(mutex_);
  return programs_;
}
std::vector<SimSection> CoordinatorSim::sections() {
  std::lock_guard<std::mutex> g(mutex_);
  return sections_;
}
int CoordinatorSim::systemLoadsFinished() {
  std::lock_guard<std::mutex> g(mutex_);
  return systemLoads_;
}
std::string CoordinatorSim::commandLines() {
  std::lock_guard<std::mutex> g(mutex_);
  return commandLines_;
}
std::string CoordinatorSim::channelBytes(int channel) {
  std::lock_guard<std::mutex> g(mutex_);
  return channelBytes_[channel];
}
bool CoordinatorSim::anyMpe() {
  std::lock_guard<std::mutex> g(mutex_);
  for (auto& c : connections_)
    if (c->mpe()) return true;
  return false;
}

bool CoordinatorSim::waitFor(const std::function<bool()>& pred, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < end) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return pred();
}

}  // namespace qel::sim
