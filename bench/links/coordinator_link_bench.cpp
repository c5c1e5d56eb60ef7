// The default link's throughput: a 20 MB plot file over the controller file link (Ethernet kind,
// channel protocol off and on) to the coordinator simulator on loopback, beside a plain socket
// writing the same escaped bytes; and the worst case of a file of 0x02 bytes.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "config/ini_config.h"
#include "coordinator_services.h"
#include "links/controller_transfer.h"

using namespace qel;

namespace {

constexpr const char* kAddress = "127.0.0.96";

double seconds(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

std::string plotFile(std::size_t size) {
  std::string s;
  s.reserve(size + 64);
  std::mt19937 rng(11);
  while (s.size() < size) {
    s += "PU" + std::to_string(rng() % 40000) + "," + std::to_string(rng() % 40000) + ";PD";
    for (int i = 0; i < 8; ++i) s += std::to_string(rng() % 40000) + "," + std::to_string(rng() % 40000) + ",";
    s += "0,0;\n";
  }
  s.resize(size);
  return s;
}

// A sink on loopback that reads and drops everything; the plain-socket baseline writes to it.
double plainSocket(const std::string& bytes, std::size_t block) {
  const int lfd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  inet_pton(AF_INET, kAddress, &sa.sin_addr);
  ::bind(lfd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  ::listen(lfd, 1);
  socklen_t l = sizeof sa;
  getsockname(lfd, reinterpret_cast<sockaddr*>(&sa), &l);
  std::thread sink([lfd] {
    const int fd = ::accept(lfd, nullptr, nullptr);
    char buf[65536];
    while (::read(fd, buf, sizeof buf) > 0) {
    }
    ::close(fd);
  });
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  const auto t0 = std::chrono::steady_clock::now();
  for (std::size_t at = 0; at < bytes.size(); at += block) {
    const std::size_t n = std::min(block, bytes.size() - at);
    std::size_t done = 0;
    while (done < n) {
      const ssize_t w = ::send(fd, bytes.data() + at + done, n - done, MSG_NOSIGNAL);
      if (w <= 0) break;
      done += static_cast<std::size_t>(w);
    }
  }
  ::shutdown(fd, SHUT_WR);
  sink.join();
  const double s = seconds(t0);
  ::close(fd);
  ::close(lfd);
  return s;
}

double sendOnce(const std::string& home, const std::string& path, std::size_t size, bool channelProtocol,
                std::string* text) {
  {
    config::CIniConfig cfg(home);
    cfg.writeText("Modbus", "Channel_Protocol_Enabled", channelProtocol ? "1" : "0");
  }
  links::QuietOwner owner(home);
  links::CController_Transfer link(owner, path, static_cast<std::int32_t>(size));
  const auto t0 = std::chrono::steady_clock::now();
  const bool ok = link.send();
  const double s = seconds(t0);
  *text = link.resultText();
  return ok ? s : -1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t mb = argc > 1 ? static_cast<std::size_t>(std::atoi(argv[1])) : 20;
  const std::size_t size = mb * 1024 * 1024;
  char tmpl[] = "/tmp/qel-links-bench-XXXXXX";
  const std::string home = ::mkdtemp(tmpl);
  sim::CoordinatorServiceOptions o;
  o.commandPort = -1;
  std::string error;
  auto s = sim::startCoordinatorServices(kAddress, o, &error);
  if (!s) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  {
    config::CIniConfig cfg(home);
    cfg.writeText("Modbus", "Xitong_IP", kAddress);
    cfg.writeText("Modbus", "Modbus_LinkType", "2");
  }
  const std::string body = plotFile(size);
  const std::string path = home + "/bench.plt";
  std::ofstream(path, std::ios::binary) << body;
  const std::string escaped = links::CController_Transfer::header(path) + links::CController_Transfer::escape(body) + "\x03";

  std::string text;
  const double off = sendOnce(home, path, size, false, &text);
  if (off < 0) std::printf("send failed: %s\n", text.c_str());
  const double on = sendOnce(home, path, size, true, &text);
  if (on < 0) std::printf("send failed: %s\n", text.c_str());
  const double plain64 = plainSocket(escaped, 64);
  const double plainBig = plainSocket(escaped, 32768);
  const double m = static_cast<double>(size) / (1024.0 * 1024.0);
  std::printf("%.0f MB plot file over the default link (Ethernet kind, loopback):\n", m);
  std::printf("  link, channel protocol off:        %7.1f MB/s (%.2f s)\n", m / off, off);
  std::printf("  link, channel protocol on (ch 5):  %7.1f MB/s (%.2f s)\n", m / on, on);
  std::printf("  plain socket, 64-byte sends:       %7.1f MB/s  -> link off is %.2fx slower\n", m / plain64, off / plain64);
  std::printf("  plain socket, 32 KB sends:         %7.1f MB/s  -> link off is %.2fx slower\n", m / plainBig, off / plainBig);

  // Worst case by design: every byte is an escape pair written on its own.
  const std::size_t worst = 1024 * 1024;
  const std::string worstPath = home + "/stx.plt";
  std::ofstream(worstPath, std::ios::binary) << std::string(worst, '\x02');
  const double w = sendOnce(home, worstPath, worst, false, &text);
  if (w < 0) std::printf("send failed: %s\n", text.c_str());
  std::printf("  worst case, 1 MB of 0x02 bytes:    %7.2f MB/s (%.2f s)\n", 1.0 / w, w);
  s.reset();
  std::filesystem::remove_all(home);
  return 0;
}
