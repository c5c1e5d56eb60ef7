// The serial link over a pseudo-terminal whose far end is the simulated serial peer. Modem
// lines don't exist on a pty: tests that need CTS or DSR give the link their own lines.
#include <gtest/gtest.h>

#include <termios.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "config/ini_config.h"
#include "fake_owner.h"
#include "links/serial_transfer.h"
#include "machine_sim.h"
#include "platform/clock.h"
#include "support/temp_home.h"

namespace qel::links {
namespace {

using test::TempHome;

// Lines that come on after a number of reads.
class ScriptedLines : public ModemLines {
 public:
  bool read(int, ModemStatus& s) override {
    if (++reads >= 5 && pauseAfterFive) *pauseAfterFive = true;
    s.cts = ctsAfter >= 0 && reads > ctsAfter;
    s.dsr = dsrAfter >= 0 && reads > dsrAfter;
    return true;
  }
  bool set(int, bool, bool) override { return false; }  // like a pty
  int ctsAfter = -1, dsrAfter = -1;
  std::atomic<int> reads{0};
  std::atomic<bool>* pauseAfterFive = nullptr;  // pressed Pause after the fifth read
};

class SerialLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(peer.open(&error)) << error;
    configure(peer.path(), "38400", 0, "8", 0, 0);
  }

  void configure(const std::string& port, const std::string& baud, int parity, const std::string& bits, int stop,
                 int protocol) {
    config::CIniConfig cfg(home.path());
    for (const auto& [key, value] : {std::pair<const char*, std::string>{"Serial_Comport", port}, {"Serial_Baudrate", baud},
                                     {"Serial_Parity", std::to_string(parity)}, {"Serial_DataBits", bits},
                                     {"Serial_StopBits", std::to_string(stop)}, {"Serial_Protocol", std::to_string(protocol)}})
      cfg.writeText("Serial", key, value);
  }

  SerialLinkOptions options() {
    SerialLinkOptions o;
    o.clock = &clock;
    o.modemLines = &lines;
    return o;
  }

  std::string job(std::size_t size) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>('A' + i % 23);
    home.writeFile("job.plt", s);
    content = s;
    return home.file("job.plt");
  }

  TempHome home;
  test::FakeTransferOwner owner{home.path()};
  platform::FakeClock clock;
  ScriptedLines lines;
  sim::SerialPeerSim peer;
  std::string content;
};

TEST_F(SerialLinkTest, FileGoesOutInZeroPaddedBlocks) {
  CSerial_Transfer link(owner, job(5000), 5000, options());
  owner.stop_ = true;  // a pause pressed before the send does not stop it
  ASSERT_TRUE(link.send());
  EXPECT_EQ(link.resultText(), "");
  ASSERT_TRUE(peer.waitForBytes(8192, 5000));
  EXPECT_EQ(peer.settle(50), 8192u);
  const auto got = peer.received();
  EXPECT_EQ(std::string(got.begin(), got.begin() + 5000), content);
  EXPECT_EQ(std::vector<std::uint8_t>(got.begin() + 5000, got.end()), std::vector<std::uint8_t>(3192, 0));
  // Progress shows the share sent before each block, never 100.
  EXPECT_EQ(owner.progress(), (std::vector<std::string>{"range 0..100", "pos 1", "pos 0", "pos 81", "pos 0"}));
  // 500 ms before writing, 1000 ms after the last block, 1000 ms after closing.
  EXPECT_EQ(clock.nowMs(), 2500);
  EXPECT_EQ(lines.reads, 0) << "no handshake: no readiness wait";
  // An empty file writes nothing and succeeds.
  CSerial_Transfer empty(owner, job(0), 0, options());
  ASSERT_TRUE(empty.send());
  EXPECT_EQ(peer.settle(30), 8192u);
  EXPECT_EQ(clock.nowMs(), 2500 + 500 + 200 + 1000 + 1000);
}

TEST_F(SerialLinkTest, HandshakeReadinessRules) {
  struct Case {
    const char* name;
    int protocol, ctsAfter, dsrAfter;
    bool waits;
  };
  const Case cases[] = {
      {"RTS/CTS waits for CTS", 1, 3, -1, true},
      {"DTR/DSR waits for DSR, CTS or not", 2, 0, 4, true},
      {"Xon/Xoff never looks at the lines", 3, -1, -1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    configure(peer.path(), "9600", 0, "8", 0, c.protocol);
    ScriptedLines l;
    l.ctsAfter = c.ctsAfter;
    l.dsrAfter = c.dsrAfter;
    SerialLinkOptions o = options();
    o.modemLines = &l;
    const std::size_t before = peer.settle(20);
    const std::int64_t t0 = clock.nowMs();
    CSerial_Transfer link(owner, job(3000), 3000, o);
    ASSERT_TRUE(link.send());
    EXPECT_TRUE(peer.waitForBytes(before + 4096, 5000));
    const int readyAfter = c.waits ? std::max(c.ctsAfter, c.dsrAfter) : 0;
    EXPECT_GE(l.reads, c.waits ? readyAfter + 1 : 0);
    EXPECT_EQ(l.reads == 0, !c.waits);
    EXPECT_EQ(clock.nowMs() - t0, 2500 + 100 * readyAfter);
  }
}

TEST_F(SerialLinkTest, APauseEndsTheReadinessWait) {
  configure(peer.path(), "38400", 0, "8", 0, 2);
  lines.pauseAfterFive = &owner.stop_;  // DSR never comes
  CSerial_Transfer link(owner, job(100), 100, options());
  EXPECT_FALSE(link.send());
  EXPECT_EQ(link.resultText(), "");
  EXPECT_EQ(peer.settle(30), 0u);
}

TEST_F(SerialLinkTest, PortsThatCannotBeOpenedOrSetUp) {
  const struct {
    const char* port;
    const char* baud;
    const char* bits;
    int stop, protocol = 0;
  } cases[] = {
      {"/dev/qelcut-no-such-port", "38400", "8", 0},
      {"NOTAPORT", "38400", "8", 0},
      {nullptr, "12345", "8", 0},  // no such rate
      {nullptr, "38400", "4", 0},  // four data bits
      {nullptr, "38400", "8", 1},  // 1.5 stop bits need five data bits
      {nullptr, "38400", "5", 2},
      {nullptr, "38400", "8", 0, 1},  // RTS/CTS on a pty, which has no CTS to read
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.port ? c.port : peer.path()) + " " + c.baud + " " + c.bits);
    configure(c.port ? c.port : peer.path(), c.baud, 0, c.bits, c.stop, c.protocol);
    SerialLinkOptions o = options();
    if (c.protocol) o.modemLines = nullptr;  // the port's real lines
    CSerial_Transfer link(owner, job(10), 10, o);
    EXPECT_FALSE(link.send());
    EXPECT_EQ(link.resultText(), "Serial_Open_Fail");
  }
  EXPECT_EQ(peer.settle(20), 0u);
  EXPECT_EQ((std::vector<std::string>{serialDevicePath("COM1"), serialDevicePath("com12"), serialDevicePath("COM0")}),
            (std::vector<std::string>{"/dev/ttyS0", "/dev/ttyS11", ""}));
}

TEST_F(SerialLinkTest, LineSettingsReachThePort) {
  struct Case {
    const char* baud;
    int parity;
    const char* bits;
    int stop, protocol;
    speed_t speed;
    tcflag_t size, parityFlags, stopFlag;
  };
  const Case cases[] = {
      {"4800", 0, "8", 0, 0, B4800, CS8, 0, 0},
      {"9600", 1, "7", 2, 1, B9600, CS7, PARENB | PARODD, CSTOPB},
      {"19200", 2, "6", 0, 2, B19200, CS6, PARENB, 0},
      {"57600", 3, "5", 1, 3, B57600, CS5, PARENB | PARODD | CMSPAR, CSTOPB},
      {"115200", 4, "8", 2, 0, B115200, CS8, PARENB | CMSPAR, CSTOPB},
  };
  lines.ctsAfter = 0;
  lines.dsrAfter = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.baud);
    configure(peer.path(), c.baud, c.parity, c.bits, c.stop, c.protocol);
    CSerial_Transfer link(owner, job(10), 10, options());
    ASSERT_TRUE(link.send()) << link.resultText();
    // A pty keeps 8 data bits and no parity check whatever it is told; what it keeps shows
    // that the settings reached the port, the rest is checked on the settings themselves.
    termios t{};
    const int fd = ::open(peer.path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_EQ(::tcgetattr(fd, &t), 0);
    ::close(fd);
    EXPECT_EQ(cfgetospeed(&t), c.speed);
    EXPECT_EQ(t.c_cflag & (CSTOPB | CRTSCTS), c.stopFlag | (c.protocol == 1 ? CRTSCTS : 0));
    EXPECT_EQ((t.c_iflag & (IXON | IXOFF)) == (IXON | IXOFF), c.protocol == 3);

    termios m{};
    m.c_cflag = CS8 | PARENB | CRTSCTS, m.c_iflag = IXON | ICRNL, m.c_oflag = OPOST;
    ASSERT_TRUE(makeLineSettings(m, static_cast<std::uint32_t>(std::stoul(c.baud)), c.parity, std::stoi(c.bits), c.stop,
                                 c.protocol));
    EXPECT_EQ(m.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS),
              c.size | c.parityFlags | c.stopFlag | (c.protocol == 1 ? CRTSCTS : 0));
    EXPECT_EQ(m.c_iflag & (IXON | ICRNL), c.protocol == 3 ? IXON : 0u);
    EXPECT_EQ(m.c_oflag & OPOST, 0u) << "binary: bytes go out unchanged";
    EXPECT_TRUE(c.protocol != 3 || (m.c_cc[VSTART] == 0x11 && m.c_cc[VSTOP] == 0x13));
  }
}

TEST_F(SerialLinkTest, PauseDuringTheSendCancelsIt) {
  owner.pauseAtPos_ = 20;  // after the second block has gone
  CSerial_Transfer link(owner, job(5 * 4096), 5 * 4096, options());
  EXPECT_FALSE(link.send());
  EXPECT_EQ(link.resultText(), "File transfer cancelled by user.");
  // The two blocks written may still be on their way through the line; no third follows.
  EXPECT_TRUE(peer.waitForBytes(2 * 4096, 5000));
  EXPECT_EQ(peer.settle(50), 2u * 4096);
}

TEST_F(SerialLinkTest, PeerThatStopsTakingDataGivesTheShortWriteText) {
  peer.setReading(false);
  SerialLinkOptions o = options();
  o.writeTimeoutMs = 50;
  const std::size_t size = 1 << 20;
  CSerial_Transfer link(owner, job(size), static_cast<std::int32_t>(size), o);
  EXPECT_FALSE(link.send());
  EXPECT_TRUE(std::regex_match(link.resultText(), std::regex(R"(File transfer failed\(Transfer=\$1000, Received=\$[0-9a-f]+\))")))
      << link.resultText();
}

}  // namespace
}  // namespace qel::links
