// Timed figures for the controller library: CRC throughput, escape encoding, and channel
// throughput over loopback TCP against a plain socket sending the same block sizes.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "controller/controller.h"
#include "controller/crc.h"

using namespace qel::controller;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

struct Sink {
  int listenFd = -1, port = 0, peer = -1;
  std::atomic<long long> received{0};
  std::thread reader;
  Sink() {
    listenFd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listenFd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    ::listen(listenFd, 1);
    socklen_t l = sizeof sa;
    getsockname(listenFd, reinterpret_cast<sockaddr*>(&sa), &l);
    port = ntohs(sa.sin_port);
  }
  void start() {
    peer = ::accept(listenFd, nullptr, nullptr);
    reader = std::thread([this] {
      char buf[65536];
      for (;;) {
        const ssize_t n = ::recv(peer, buf, sizeof buf, 0);
        if (n <= 0) return;
        received += n;
      }
    });
  }
  ~Sink() {
    if (peer >= 0) ::shutdown(peer, SHUT_RDWR);
    if (reader.joinable()) reader.join();
    ::close(peer);
    ::close(listenFd);
  }
};

double plainSocket(std::size_t total, std::size_t block) {
  Sink sink;
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<std::uint16_t>(sink.port));
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  sink.start();
  std::string data(block, 'p');
  const auto t0 = Clock::now();
  for (std::size_t sent = 0; sent < total; sent += block) ::send(fd, data.data(), block, MSG_NOSIGNAL);
  while (sink.received < static_cast<long long>(total)) std::this_thread::yield();
  const double s = seconds(t0);
  ::close(fd);
  return total / s / 1e6;
}

double library(std::size_t total, std::size_t block, int threads, int mode) {
  Sink sink;
  CController c;
  c.openTcp("127.0.0.1", sink.port, 1);
  sink.start();
  c.setChannelMode(mode, false);
  while (sink.received < (mode == 1 ? 10 : 0)) std::this_thread::yield();
  const long long base = sink.received;
  const int channels[3] = {5, 6, 7};
  const auto t0 = Clock::now();
  std::vector<std::thread> ts;
  for (int t = 0; t < threads; ++t)
    ts.emplace_back([&, t] {
      std::string data(block, static_cast<char>('a' + t));
      for (std::size_t sent = 0; sent < total / static_cast<std::size_t>(threads); sent += block)
        c.write(channels[t], data);
    });
  for (auto& t : ts) t.join();
  while (sink.received - base < static_cast<long long>(total)) {
    c.sendPump();
    std::this_thread::yield();
  }
  const double s = seconds(t0);
  c.setChannelMode(0, false);
  c.close(-1);
  return total / s / 1e6;
}

}  // namespace

int main() {
  // CRC-16
  std::vector<std::uint8_t> buf(16 << 20);
  for (std::size_t i = 0; i < buf.size(); ++i) buf[i] = static_cast<std::uint8_t>(i * 131 + 7);
  auto t0 = Clock::now();
  std::uint16_t crc = 0;
  for (int r = 0; r < 8; ++r) crc = crc16Fast(buf.data(), buf.size(), crc);
  const double fast = 8.0 * buf.size() / seconds(t0) / 1e9;
  CCrc model;
  model.selectModel("CRC-16");
  t0 = Clock::now();
  model.update(buf.data(), 4 << 20);
  const double slow = (4 << 20) / seconds(t0) / 1e9;
  std::printf("CRC-16 slicing-by-8:      %.2f GB/s (crc %04x)\n", fast, crc);
  std::printf("CRC engine byte by byte:  %.3f GB/s\n", slow);

  // escape encoding: lines on channel 8 (carriage returns become LF DC4) alternating with channel 5
  {
    Sink sink;
    CController c;
    c.openTcp("127.0.0.1", sink.port, 1);
    sink.start();
    c.setChannelMode(1, false);
    const std::string line = "G1 X100.5 Y200.25 F3000\r";
    const std::size_t rounds = 100000;
    t0 = Clock::now();
    for (std::size_t i = 0; i < rounds; ++i) {
      c.write(8, line);
      c.write(5, "abc");
    }
    const double s = seconds(t0);
    std::printf("escape encoding (ch 8 lines + ch 5): %.1f MB/s of payload, %.0f k switches/s\n",
                rounds * (line.size() + 3) / s / 1e6, rounds * 2 / s / 1e3);
    c.close(-1);
  }

  const std::size_t total = 32 << 20;
  const double plain = plainSocket(total, 64);
  const double one = library(total, 64, 1, 1);
  const double three = library(total, 64, 3, 1);
  const double plainMode0 = library(total, 64, 1, 0);
  std::printf("plain socket, 64-byte sends:        %.1f MB/s\n", plain);
  std::printf("library, 1 channel, mode 1:         %.1f MB/s (%.2fx of plain)\n", one, plain / one);
  std::printf("library, 3 threads on 5/6/7, mode 1: %.1f MB/s (%.2fx of plain)\n", three, plain / three);
  std::printf("library, 1 channel, mode 0:         %.1f MB/s\n", plainMode0);
  return 0;
}
