#include "coordinator_sim.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace qel::sim {
namespace {

int digitChannel(std::uint8_t d) {
  switch (d) {
    case '0': return 0;
    case '5': return 5;
    case '6': return 6;
    case '7': return 7;
    case '8': return 8;
    case '9': return 9;
    case '/': return -1;
    default: return -2;
  }
}
char channelDigit(int ch) { return ch == -1 ? '/' : static_cast<char>('0' + ch); }

// CRC-16 (poly 0x8005, init 0): the simulator's own check of what it received, from a table
// built bit by bit.
std::uint16_t crc16(const std::string& s) {
  static const auto table = [] {
    std::array<std::uint16_t, 256> t{};
    for (int i = 0; i < 256; ++i) {
      std::uint16_t crc = static_cast<std::uint16_t>(i << 8);
      for (int k = 0; k < 8; ++k)
        crc = (crc & 0x8000) ? static_cast<std::uint16_t>((crc << 1) ^ 0x8005) : static_cast<std::uint16_t>(crc << 1);
      t[static_cast<std::size_t>(i)] = crc;
    }
    return t;
  }();
  std::uint16_t crc = 0;
  for (unsigned char ch : s) crc = static_cast<std::uint16_t>((crc << 8) ^ table[((crc >> 8) ^ ch) & 0xFF]);
  return crc;
}
std::string crcText(std::uint16_t crc) {
  return {static_cast<char>(0x20 + ((crc >> 12) & 0x0F)), static_cast<char>(0x20 + ((crc >> 6) & 0x3F)),
          static_cast<char>(0x20 + (crc & 0x3F))};
}

}  // namespace

// ---------------------------------------------------------------------------------------------

SimConnection::SimConnection(CoordinatorSim& sim, int fd, bool remote) : sim_(sim), fd_(fd), remote_(remote) {}

SimConnection::~SimConnection() { drop(); }

void SimConnection::drop() {
  std::lock_guard<std::mutex> g(writeMutex_);
  const int fd = fd_.exchange(-1);
  if (fd >= 0) {
    ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
  }
}

void SimConnection::sendRaw(const std::string& bytes) {
  std::lock_guard<std::mutex> g(writeMutex_);
  std::size_t done = 0;
  while (fd_ >= 0 && done < bytes.size()) {
    const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;
    }
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

void SimConnection::send(int channel, const std::string& bytes) {
  if (sim_.faults().silent) return;
  std::string out;
  if (mpe_ && channel != outChan_) {
    out += '\x1b';
    out += channelDigit(channel);
    outChan_ = channel;
  }
  out += bytes;
  sendRaw(out);
}

void SimConnection::feed(const std::uint8_t* data, std::size_t len) {
  for (std::size_t i = 0; i < len; ++i) {
    const std::uint8_t b = data[i];
    if (loader_) {
      loaderByte(b);
      continue;
    }
    if (mpe_) {
      if (escapePending_) {
        escapePending_ = false;
        const int ch = digitChannel(b);
        if (ch != -2) {
          inChan_ = ch;
          continue;
        }
        byte(inChan_, 0x1B);
        byte(inChan_, b);
        continue;
      }
      if (b == 0x1B) {
        escapePending_ = true;
        continue;
      }
    }
    byte(mpe_ ? inChan_ : 0, b);
  }
}

void SimConnection::byte(int channel, std::uint8_t b) {
  Chan& c = chans_[channel];
  // Download bodies are kept in the download record, not byte by byte.
  if (c.state != Chan::Download) sim_.record([&] { sim_.channelBytes_[channel] += static_cast<char>(b); });
  switch (c.state) {
    case Chan::Program: programByte(channel, c, b); break;
    case Chan::Header:
    case Chan::Download: downloadByte(channel, c, b); break;
    default:
      if (b == 0x01 && c.line.empty() && channel != 8 && channel != 9 && channel != -1) {
        c.state = Chan::Header;
        c.header.clear();
        c.data.clear();
        c.escape = false;
        c.faults = sim_.faults();
        c.aborted = false;
        downloadBytes_ = 0;
        break;
      }
      lineByte(channel, c, b);
  }
}

void SimConnection::lineByte(int channel, Chan& c, std::uint8_t b) {
  if (b == 0x14) return;  // the second byte of a line end on channels 8 and 9
  if (b == '\r' || b == '\n') {
    std::string line;
    line.swap(c.line);
    // An escape pair left in the text (sent in plain mode) selects nothing here.
    while (line.size() >= 2 && line[0] == '\x1b') line.erase(0, 2);
    if (!line.empty() || c.state != Chan::Line) command(channel, line);
    return;
  }
  c.line += static_cast<char>(b);
}

void SimConnection::command(int channel, const std::string& line) {
  Chan& c = chans_[channel];
  const CoordinatorFaults f = sim_.faults();
  sim_.record([&] { sim_.commandLines_ += line + "\n"; });
  if (c.state == Chan::Key) {
    c.state = Chan::Line;
    std::string key = line;
    if (f.wrongKeyEcho) key += "?";
    send(channel, key + "\r\n>>");
    return;
  }
  if (c.state == Chan::Confirm) {
    c.state = Chan::Line;
    if (line == "Y") {
      send(channel, f.wrongConfirm ? "Y\b\r\nSystem will not shut down." : "Y\b\r\nSystem will shut down in 5 seconds.");
      if (!f.wrongConfirm) {
        loader_ = true;
        loaderStep_ = 0;
        loaderWord_.clear();
        loaderDataBytes_ = 0;
        mpe_ = false;
      }
    }
    return;
  }
  if (line == "MPE(1)") {
    mpe_ = true;
    inChan_ = 0;
    outChan_ = 0;
  } else if (line == "MPE(0)") {
    mpe_ = false;
  } else if (line == "LOAD_PROJECT(0)" || line == "LOAD_PROJECT(1)") {
    const bool inMpe = line == "LOAD_PROJECT(1)";
    std::string echo = inMpe ? "LOAD_PROJECT(1)\n" : "LOAD_PROJECT(0)\r\n";
    if (f.wrongLoadEcho) echo = "LOAD_PROJECT?\r\n";
    send(channel, echo + "\x14");
    if (f.wrongLoadEcho) return;
    programChannel_ = inMpe ? -1 : 0;
    Chan& p = chans_[programChannel_];
    p.state = Chan::Program;
    p.sub = 0;
    p.project = false;
    if (!f.neverReady) send(programChannel_, "\x05");
  } else if (line == "PROJECT_KEY") {
    send(channel, "PROJECT_KEY\r\nEnter project key: ");
    c.state = Chan::Key;
  } else if (line == "LOADSYSTEM") {
    send(channel, f.wrongLoadSystemPrompt ? "LOADSYSTEM\r\nUnknown command"
                                          : "LOADSYSTEM\r\nWARNING: This will stop the controller\r\nContinue [Y/N] ?");
    if (!f.wrongLoadSystemPrompt) c.state = Chan::Confirm;
  }
}

void SimConnection::programByte(int channel, Chan& c, std::uint8_t b) {
  const CoordinatorFaults f = sim_.faults();
  switch (c.sub) {
    case 0:
      if (b == 0x08) c.project = true;
      if (b == 0x01) {
        c.sub = 1;
        c.entry.clear();
      }
      if (b == 0x04) c.state = Chan::Line;
      return;
    case 1:
      if (b == 0x03) {
        c.sub = 2;
        c.crc.clear();
      } else {
        c.entry += static_cast<char>(b);
      }
      return;
    case 2:
      c.crc += static_cast<char>(b);
      if (c.crc.size() == 3) c.sub = 3;
      return;
    case 3:
      if (b != 0x02) return;
      if (f.refuseHeader || c.crc != crcText(crc16(c.entry))) {
        send(channel, "\x15");
        c.state = Chan::Line;
        return;
      }
      c.sub = 4;
      c.body.clear();
      send(channel, "\x06");
      return;
    case 4:
      if (b == 0x03) {
        c.sub = 5;
        c.crc.clear();
      } else {
        c.body += static_cast<char>(b);
      }
      return;
    case 5:
      c.crc += static_cast<char>(b);
      if (c.crc.size() < 3) return;
      if (f.refuseFile || c.crc != crcText(crc16(c.body))) {
        send(channel, "\x15");
        c.state = Chan::Line;
        return;
      }
      sim_.record([&] { sim_.programs_.push_back({c.entry, c.body, c.project}); });
      c.sub = 0;
      send(channel, "\x06");
      return;
  }
}

void SimConnection::downloadByte(int channel, Chan& c, std::uint8_t b) {
  if (c.state == Chan::Header) {
    if (b == 0x02) {
      c.state = Chan::Download;
    } else {
      c.header += static_cast<char>(b);
    }
    return;
  }
  const CoordinatorFaults& f = c.faults;
  if (f.dropAfterBytes >= 0 && downloadBytes_ >= f.dropAfterBytes) {
    drop();
    return;
  }
  if (f.abortAfterBytes >= 0 && downloadBytes_ >= f.abortAfterBytes && !c.aborted) {
    c.aborted = true;
    send(channel, "\x02" "ABORT\x03");
  }
  ++downloadBytes_;
  if (c.escape) {
    c.escape = false;
    c.data += b == 's' ? '\x02' : b == 'e' ? '\x03' : static_cast<char>(b);
    return;
  }
  if (b == 0x5C) {
    c.escape = true;
    return;
  }
  if (b != 0x03) {
    c.data += static_cast<char>(b);
    return;
  }
  c.state = Chan::Line;
  const std::string name = c.header.rfind("SD:", 0) == 0 ? c.header.substr(3) : c.header;
  const std::uint16_t crc = crc16(c.data);
  sim_.addDownload({channel, name, c.data});
  c.data.clear();
  c.data.shrink_to_fit();
  if (f.downloadSilent || c.aborted) return;
  if (f.noiseOnOtherChannels && mpe_) {
    for (int other : {0, 5, 6, 7})
      if (other != channel) send(other, "\x02" "CRC=0\x03");
  }
  if (f.downloadAbort) {
    send(channel, "\x02" "ABORT\x03");
    return;
  }
  char reply[32];
  std::snprintf(reply, sizeof reply, "\x02" "CRC=%X\x03", crc ^ (f.downloadWrongCrc ? 0x1111 : 0));
  send(channel, reply);
}

void SimConnection::loaderByte(std::uint8_t b) {
  const CoordinatorFaults f = sim_.faults();
  std::uint8_t echo = b;
  if (loaderStep_ == 2) {
    if (f.badEchoAt >= 0 && loaderDataBytes_ == f.badEchoAt) echo = static_cast<std::uint8_t>(b ^ 0xFF);
    ++loaderDataBytes_;
  }
  if (!f.silent) sendRaw(std::string(1, static_cast<char>(echo)));
  loaderWord_ += static_cast<char>(b);
  if (loaderWord_.size() < 4) return;
  const auto* u = reinterpret_cast<const unsigned char*>(loaderWord_.data());
  const std::uint32_t w = (static_cast<std::uint32_t>(u[0]) << 24) | (u[1] << 16) | (u[2] << 8) | u[3];
  loaderWord_.clear();
  if (loaderStep_ == 0) {
    if (w == 0) {
      loader_ = false;
      sim_.record([&] { ++sim_.systemLoads_; });
      return;
    }
    section_ = SimSection{};
    section_.size = w;
    loaderStep_ = 1;
  } else if (loaderStep_ == 1) {
    section_.address = w;
    loaderStep_ = 2;
    loaderDataBytes_ = 0;
  } else {
    section_.words.push_back(w);
    if (section_.words.size() * 4 >= section_.size) {
      sim_.record([&] { sim_.sections_.push_back(section_); });
      loaderStep_ = 0;
    }
  }
}

// ---------------------------------------------------------------------------------------------

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
  {
    std::lock_guard<std::mutex> g(mutex_);
    for (auto& c : connections_) c->drop();
    connections_.clear();
  }
  if (ptyMaster_ >= 0) ::close(ptyMaster_);
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
  while (!stopping_) {
    const int fd = c->fd();
    if (fd < 0) return;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n <= 0) {
      // A pseudo-terminal with no slave open reads as an error; keep waiting for one.
      if (ptyMaster_ >= 0 && fd == ptyMaster_) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        continue;
      }
      c->drop();
      return;
    }
    if (handler)
      handler(*c, std::string(reinterpret_cast<char*>(buf), static_cast<std::size_t>(n)));
    else
      c->feed(buf, static_cast<std::size_t>(n));
  }
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
