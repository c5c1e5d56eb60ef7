// The simulated coordinator's connections while other threads drop them: a dropped connection
// ends cleanly, and the next one is served whole (its descriptor is never read by the thread
// of a connection that went before). Built with -fsanitize=thread these also check the
// connection's shared state.
#include <gtest/gtest.h>

#include "support/process.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "coordinator_services.h"
#include "sim_crc.h"

namespace {

constexpr const char* kAddress = "127.0.0.183";

int connectTo(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET, sa.sin_port = htons(static_cast<std::uint16_t>(port));
  ::inet_pton(AF_INET, kAddress, &sa.sin_addr);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0) return fd;
  ::close(fd);
  return -1;
}

// The texts are short: a blocking send on loopback takes each whole.
void sendAll(int fd, const std::string& s) { (void)::send(fd, s.data(), s.size(), MSG_NOSIGNAL); }

// Reads until the text holds `until` or the stream ends or 5 s pass.
std::string readUntil(int fd, const std::string& until) {
  return qel::test::readUntil(fd, [&](const std::string& got) { return got.find(until) != std::string::npos; });
}

// The coordinator on kAddress with the services asked for (0: any free port, −1: none).
std::unique_ptr<qel::sim::CoordinatorServices> startServices(int controlPort, int commandPort) {
  qel::sim::CoordinatorServiceOptions o;
  o.mpePort = 0;
  o.controlPort = controlPort;
  o.commandPort = commandPort;
  std::string error;
  auto s = qel::sim::startCoordinatorServices(kAddress, o, &error);
  EXPECT_TRUE(s) << error;
  return s;
}

TEST(CoordinatorConnections, StoppedMidFileEveryConnectionEndsAndTheNextSimulatorServes) {
  auto s = startServices(-1, -1);
  ASSERT_TRUE(s);
  for (int round = 0; round < 25; ++round) {
    const int first = connectTo(s->mpePort());
    ASSERT_GE(first, 0);
    sendAll(first, "MPE(1)\r");
    ASSERT_TRUE(s->sim().waitFor([&] { return s->sim().anyMpe(); }));
    // Half a file, then the connection is pulled from this thread while its own reads.
    sendAll(first, std::string("\x1b" "5\x01") + "half.plt\x02" + std::string(500, 'h'));
    s->sim().stop();  // ends every serving thread; their descriptors close behind them
    EXPECT_EQ(readUntil(first, "never"), "");  // the stream ends, nothing is answered
    ::close(first);
    s = startServices(-1, -1);
    ASSERT_TRUE(s);
  }
  // The last one is whole: a download is answered with its CRC.
  const int fd = connectTo(s->mpePort());
  sendAll(fd, "\x01whole.plt\x02" "abc\x03");  // a download as the control port takes it
  EXPECT_EQ(readUntil(fd, "\x03"), qel::sim::simCrcReply(qel::sim::simCrc16("abc"), false));
  ::close(fd);
}

TEST(CoordinatorConnections, APulledCableLosesOnlyItsOwnConnection) {
  auto s = startServices(-1, 0);
  ASSERT_TRUE(s);
  const int port = s->commandPort();
  for (int round = 0; round < 40; ++round) {
    const int old = connectTo(port);
    ASSERT_GE(old, 0);
    sendAll(old, "?vr(1)\r\n");
    ASSERT_NE(readUntil(old, ">>").find(">>"), std::string::npos);
    s->dropClients();  // from this thread, while the connection's thread polls it
    EXPECT_EQ(readUntil(old, "never"), "");
    ::close(old);
    // A new connection takes the next descriptor, possibly the old number: it must get all of
    // its answers, none read away by the old connection's thread.
    const int next = connectTo(port);
    ASSERT_GE(next, 0);
    for (int k = 0; k < 3; ++k) {
      sendAll(next, "vr(" + std::to_string(k) + ")=" + std::to_string(round) + "\r\n?vr(" + std::to_string(k) + ")\r\n");
      const std::string answer = "?vr(" + std::to_string(k) + ")\r\n" + std::to_string(round) + "\r\n>>";
      const std::string got = readUntil(next, answer);
      EXPECT_NE(got.find(answer), std::string::npos) << "round " << round << ": " << got;
    }
    ::close(next);
  }
  // A client that leaves with answers still owed costs the simulator nothing.
  const int rude = connectTo(port);
  sendAll(rude, std::string(2000, '\r'));
  ::close(rude);
  const int polite = connectTo(port);
  sendAll(polite, "?vr(2)\r\n");
  EXPECT_NE(readUntil(polite, ">>").find("39\r\n>>"), std::string::npos);
  ::close(polite);
}

}  // namespace
