// The network kind's faults as `qelcut sim` switches them, on the running simulators: busy
// start requests, and a serial peer that stops reading and then keeps what it got once it
// reads again.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "sim_runner.h"
#include "support/process.h"
#include "support/temp_home.h"

namespace {

using qel::test::waitUntil;

std::string readSome(int fd, std::size_t n) {
  return qel::test::readUntil(fd, [n](const std::string& got) { return got.size() >= n; });
}

class NetworkKind : public ::testing::Test {
 protected:
  void SetUp() override {
    s.bind = "127.0.0.184";
    s.port = 0;
    s.serial = true;
    s.storeDir = home.file("got");
    s.faults = {{"busy", 1}};
    sims = qel::sim::machineSimulators(s, [](const std::string&) {}, &setFault);
    for (auto& e : sims) {
      std::string error;
      ASSERT_TRUE(e.start(&where.emplace_back(), &error)) << e.name << ": " << error;
    }
  }
  void TearDown() override {
    for (auto it = sims.rbegin(); it != sims.rend(); ++it) it->stop();
  }
  qel::test::TempHome home;
  qel::sim::MachineSimSettings s;
  qel::sim::FaultSetter setFault;
  std::vector<qel::sim::SimulatorEntry> sims;
  std::vector<std::string> where;
};

TEST_F(NetworkKind, BusyFromTheStartAndAgainWhenSwitched) {
  // "TCP 127.0.0.184:PORT, ..."
  const int port = std::stoi(where[0].substr(where[0].find(':') + 1));
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<std::uint16_t>(port));
  ::inet_pton(AF_INET, "127.0.0.184", &sa.sin_addr);
  ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
  const std::string start("\x01\x01", 2);
  ASSERT_EQ(::send(fd, start.data(), 2, MSG_NOSIGNAL), 2);
  EXPECT_EQ(readSome(fd, 2), std::string("\x01\x00", 2));  // the command line's one busy round
  setFault("busy", 2);
  for (const char* want : {"\x01\x00", "\x01\x00", "\x01\x01"}) {
    ASSERT_EQ(::send(fd, start.data(), 2, MSG_NOSIGNAL), 2);
    EXPECT_EQ(readSome(fd, 2), std::string(want, 2));
  }
  ::close(fd);
}

TEST_F(NetworkKind, StalledSerialPeerFillsTheLineThenKeepsEverySendWhole) {
  const std::string path = where[1].substr(where[1].find("/dev/"), where[1].find(' ', where[1].find("/dev/")) -
                                                                        where[1].find("/dev/"));
  const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(fd, 0) << path;
  setFault("serial-stall", 1);
  // Nothing is read: the line's buffers fill and a write would block.
  std::string sent;
  const std::string chunk(512, 'S');
  bool full = false;
  while (sent.size() < (4u << 20)) {
    const ssize_t n = ::write(fd, chunk.data(), chunk.size());
    if (n < 0 && errno == EAGAIN) {
      full = true;
      break;
    }
    ASSERT_GT(n, 0);
    sent.append(chunk, 0, static_cast<std::size_t>(n));
  }
  EXPECT_TRUE(full) << sent.size() << " bytes went in without blocking";
  setFault("serial-stall", 0);
  // Reading again: the whole send is kept once the line goes quiet.
  const std::string kept = home.file("got/serial_001.plt");
  EXPECT_TRUE(waitUntil([&] { return std::filesystem::exists(kept) && home.readFile("got/serial_001.plt") == sent; }))
      << home.readFile("got/serial_001.plt").size() << " of " << sent.size();
  ::close(fd);
}

}  // namespace
