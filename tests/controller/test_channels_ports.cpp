#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>

#include "controller/bakery_lock.h"
#include "controller/channels.h"
#include "controller/controller.h"
#include "controller/port.h"
#include "fake_device.h"
#include "support/temp_home.h"
#include "support/wait.h"

using namespace qel::controller;

TEST(ChannelBuffer, HoldsAtMost4095Bytes) {
  CChannelBuffer b(5, true);
  EXPECT_EQ(b.name(), "Channel[5][pc_to_controller]");
  std::string big(5000, 'x');
  EXPECT_EQ(b.put(reinterpret_cast<const std::uint8_t*>(big.data()), big.size()), 4095u);
  const std::uint8_t one = 'y';
  EXPECT_EQ(b.put(&one, 1), 0u);
  std::uint8_t out[5000];
  EXPECT_EQ(b.take(out, 10), 10u);
  // wraps around the end of the ring and keeps order
  const std::string tail = "abcdefghij";
  EXPECT_EQ(b.put(reinterpret_cast<const std::uint8_t*>(tail.data()), 10), 10u);
  EXPECT_EQ(b.take(out, sizeof out), 4095u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out) + 4085, 10), tail);
  EXPECT_TRUE(b.empty());
}

TEST(BakeryLock, ExcludesAndRefusesWhileHeld) {
  CBakeryLock lock;
  ASSERT_TRUE(lock.tryAcquire());
  std::atomic<bool> refused{false};
  std::thread([&] { refused = !lock.tryAcquire(); }).join();
  EXPECT_TRUE(refused);
  lock.release();
  std::thread([&] {
    refused = !lock.tryAcquire();
    lock.release();
  }).join();
  EXPECT_FALSE(refused);

  long counter = 0;
  std::vector<std::thread> ts;
  for (int t = 0; t < 4; ++t)
    ts.emplace_back([&] {
      for (int i = 0; i < 5000; ++i) {
        CBakeryGuard g(lock);
        const long v = counter;
        counter = v + 1;
      }
    });
  for (auto& t : ts) t.join();
  EXPECT_EQ(counter, 20000);
}

// ---------------------------------------------------------------------------------------------
// USB and PCI against the fake device

namespace {
struct Recorder {
  std::vector<std::pair<unsigned, std::uintptr_t>> msgs;
  static std::intptr_t cb(void* user, void*, unsigned m, std::uintptr_t w, std::intptr_t) {
    static_cast<Recorder*>(user)->msgs.push_back({m, w});
    return 0;
  }
};
struct DeviceRig {
  explicit DeviceRig(std::set<std::string> present) {
    dev->present = std::move(present);
    c.setDeviceIo(dev);
  }
  std::shared_ptr<qel::test::FakeDevice> dev = std::make_shared<qel::test::FakeDevice>();
  qel::platform::FakeClock clock;
  CController c{&clock};
};
}  // namespace

TEST(UsbPort, WritesInBlocksOf32AndOpensSubPortsIndependently) {
  DeviceRig r({"/dev/qelmc-000-mpe", "/dev/qelmc-000-remote"});
  CController& c = r.c;
  ASSERT_EQ(c.openUsb(0, 3), 1);
  EXPECT_EQ(c.portType(), 2);
  EXPECT_EQ(c.canDownload(), 0);
  EXPECT_EQ(c.status(), 0xFF00);
  r.dev->pendOnce = true;  // the first block completes later
  ASSERT_EQ(c.write(0, std::string(100, 'd')), 1);
  EXPECT_EQ(r.dev->writeBlocks, (std::vector<std::size_t>{32, 32, 32, 4}));
  EXPECT_EQ(std::count(r.dev->controls.begin(), r.dev->controls.end(), kIoctlUsbInit), 2);
  c.close(2);
  // more than a ring holds for a closed sub-port: refused instead of waiting for ever
  EXPECT_EQ(c.write(98, std::string(5000, 'r')), 0);
  EXPECT_EQ(c.isOpen(1), 1);
  EXPECT_EQ(c.isOpen(2), 0);
  c.close(1);
  EXPECT_EQ(c.port(), nullptr);
  EXPECT_EQ(c.status(), 0);
}

TEST(UsbPort, ReconnectFindsTheDeviceUnderANewNumberAndAFailedOpenLeavesNoPort) {
  DeviceRig r({"/dev/qelmc-000-mpe"});
  Recorder rec;
  r.c.setHostCallback(&Recorder::cb, &rec);
  ASSERT_EQ(r.c.openUsb(0, 1), 1);
  r.dev->present = {"/dev/qelmc-003-mpe"};
  const int before = r.dev->opens;
  ASSERT_TRUE(r.c.port()->reconnect());
  EXPECT_EQ(r.dev->opens - before, 4);
  EXPECT_EQ(r.c.isOpen(1), 1);
  EXPECT_EQ(rec.msgs, (std::vector<std::pair<unsigned, std::uintptr_t>>{{0x504u, 1u}, {0x504u, 0u}}));

  DeviceRig none({});
  std::vector<std::string> msgs;
  none.c.setMessageSink([&](const std::string& t) { msgs.push_back(t); });
  EXPECT_EQ(none.c.openUsb(7, 1), 0);
  EXPECT_EQ(msgs, std::vector<std::string>{"Cannot open USB port"});
  EXPECT_EQ(none.c.port(), nullptr);
  EXPECT_EQ(none.c.portType(), 0);
}

TEST(PciPort, VrAndTableThroughTheMemoryWindow) {
  DeviceRig r({"/dev/qelmcpci-001-mpe", "/dev/qelmcpci-001-memory"});
  CController& c = r.c;
  ASSERT_EQ(c.openPci(1, 1), 1);
  double v = 0;
  EXPECT_EQ(c.getVr(10, &v), 0);  // MEMORY not open yet
  ASSERT_EQ(c.openAdditional(4), 1);
  EXPECT_EQ(c.isOpen(8), 1);
  EXPECT_EQ(c.canTableTransfer(), 1);
  EXPECT_EQ(c.escapeOnRemoteChannel(), 0);
  ASSERT_EQ(c.setVr(10, 2.5), 1);
  ASSERT_EQ(c.getVr(10, &v), 1);
  EXPECT_EQ(v, 2.5);
  // a transfer across a window boundary is split into both windows
  std::vector<double> vals(50);
  for (int i = 0; i < 50; ++i) vals[static_cast<std::size_t>(i)] = i * 0.5;
  ASSERT_EQ(c.setTable(1000, 50, vals.data()), 1);
  EXPECT_EQ(r.dev->table[1023], 11.5f);
  EXPECT_EQ(r.dev->table[1024], 12.0f);
  std::vector<double> back(50, -1);
  ASSERT_EQ(c.getTable(1000, 50, back.data()), 1);
  EXPECT_EQ(back, vals);
  EXPECT_EQ(c.getTable(31990, 20, back.data()), 0);  // beyond the last window
  EXPECT_EQ(c.getTable(0, 1, nullptr), 0);
}

// ---------------------------------------------------------------------------------------------
// Ethernet and the multiplexer, against a plain listening socket

namespace {
struct Listener {
  int fd = -1;
  int port = 0;
  explicit Listener(const char* addr, int backlog = 4) {
    fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    inet_pton(AF_INET, addr, &sa.sin_addr);
    bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    listen(fd, backlog);
    socklen_t l = sizeof sa;
    getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &l);
    port = ntohs(sa.sin_port);
  }
  ~Listener() { ::close(fd); }
  int accept() { return ::accept(fd, nullptr, nullptr); }
};
std::string readExactly(int fd, std::size_t n) {
  std::string s;
  char buf[256];
  while (s.size() < n) {
    const ssize_t r = ::recv(fd, buf, std::min(sizeof buf, n - s.size()), 0);
    if (r <= 0) break;
    s.append(buf, static_cast<std::size_t>(r));
  }
  return s;
}
}  // namespace

TEST(Multiplexer, EscapesOutgoingChannelsAndKeepsLinesWhole) {
  Listener l("127.0.0.1");
  qel::platform::FakeClock clock;
  CController c(&clock);
  ASSERT_EQ(c.openTcp("127.0.0.1", l.port, 1), 1);
  const int peer = l.accept();
  EXPECT_EQ(c.portType(), 4);
  std::uint8_t b[8];
  std::size_t len = sizeof b;
  EXPECT_EQ(c.read(0, b, &len), 1);  // nothing waits: returns at once
  EXPECT_EQ(len, 0u);
  c.setChannelMode(1, false);
  EXPECT_EQ(readExactly(peer, 10), "\x1b" "0\rMPE(1)\r");
  ASSERT_EQ(c.write(5, "AB"), 1);
  ASSERT_EQ(c.write(0, "C"), 1);
  EXPECT_EQ(readExactly(peer, 7), "\x1b" "5AB\x1b" "0C");
  // A line on channel 8 goes out whole with LF DC4 for its carriage return, even when other
  // channels have bytes waiting.
  c.write(8, "L1");  // no carriage return yet: the line lock holds channel 8
  EXPECT_EQ(c.status(), 0xFFFF);
  c.write(5, "x");
  c.write(8, "\rL2\r");
  EXPECT_EQ(readExactly(peer, 15), std::string("\x1b" "8L1\n\x14\x1b" "5x\x1b" "8L2\n\x14"));
  EXPECT_EQ(c.status(), 0xFF00);
  // How incoming bytes are sorted by their escapes is the channel-pump fuzz target's check; an
  // invalid channel and bad buffers are refused.
  EXPECT_EQ(c.read(3, b, &len), 0);
  EXPECT_EQ(c.read(0, nullptr, &len), 0);
  EXPECT_EQ(c.write(4, "x"), 0);
  // Closing in mode 1 tells the coordinator to leave the multiplexed mode.
  c.close(-1);
  EXPECT_EQ(readExactly(peer, 9), "\x1b" "0MPE(0)\r");
  ::close(peer);
}

TEST(EthernetPort, ConnectTimesOutOnAHostThatDoesNotAnswer) {
  // A listener whose accept queue is full drops further connection attempts unanswered.
  Listener l("127.0.0.7", 0);
  std::vector<int> fills;
  for (int i = 0; i < 3; ++i) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET, sa.sin_port = htons(static_cast<std::uint16_t>(l.port));
    inet_pton(AF_INET, "127.0.0.7", &sa.sin_addr);
    ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    fills.push_back(fd);
  }
  // The first attempt is taken into the queue; the ones behind it find the queue full.
  pollfd first{fills[0], POLLOUT, 0};
  ASSERT_EQ(::poll(&first, 1, 5000), 1);
  CEthernetPort p(nullptr);
  p.setConnectTimeoutMs(300);
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(p.openHost("127.0.0.7", l.port, 1));
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_GE(ms, 250);
  EXPECT_LT(ms, 3000);
  EXPECT_EQ(p.openMask(), 0);
  for (int fd : fills) ::close(fd);
}

TEST(EthernetPort, ReadNeverWritesPastTheCallersBuffer) {
  Listener l("127.0.0.1");
  CEthernetPort p(nullptr);
  ASSERT_TRUE(p.openHost("localhost", l.port, 1));
  const int peer = l.accept();
  ::send(peer, "ABCDEFGH", 8, 0);
  std::uint8_t buf[8];
  std::memset(buf, '#', sizeof buf);
  std::size_t len = 0;
  EXPECT_TRUE(qel::test::waitUntil([&] { return (len = 4, p.read(1, buf, &len)) && len > 0; }, 1000, 1));
  EXPECT_EQ(len, 4u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 8), "ABCD####");
  ::close(peer);
  // The rest of the data, then the hang-up.
  EXPECT_TRUE(qel::test::waitUntil([&] { return (len = 4, !p.read(1, buf, &len)); }, 1000, 1));
}

TEST(EthernetPort, WriteToACoordinatorThatStopsReadingEnds) {
  Listener l("127.0.0.1");
  CEthernetPort p(nullptr);
  ASSERT_TRUE(p.openHost("127.0.0.1", l.port, 1));
  const int peer = l.accept();  // accepted, never read
  std::atomic<int> cancel{0};
  p.setCancelSource(&cancel);
  p.setWriteStallMs(300);
  const std::vector<std::uint8_t> block(64 * 1024, 0x41);
  // Fill the socket buffers until the write gives up after the stall limit.
  auto t0 = std::chrono::steady_clock::now();
  bool ok = true;
  for (int i = 0; i < 2000 && ok; ++i) ok = p.write(1, block.data(), block.size());
  EXPECT_FALSE(ok);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(20));
  // With the stall limit out of the way, a cancel ends the write at once.
  p.setWriteStallMs(1 << 30);
  cancel = 1;
  t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(p.write(1, block.data(), block.size()));
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
  ::close(peer);
}

TEST(Capture, SectionsAndControlByteNames) {
  qel::test::TempHome home;
  Listener l("127.0.0.1");
  qel::platform::FakeClock clock;
  CController c(&clock);
  ASSERT_EQ(c.openCaptureFile(home.file("cap.txt")), 1);
  ASSERT_EQ(c.openCaptureFile("/nonexistent/dir/x"), 1);  // already open
  ASSERT_EQ(c.openTcp("127.0.0.1", l.port, 1), 1);
  const int peer = l.accept();
  c.startCapture(0);
  c.startCapture(157);
  c.write(0, "ab\r\x7f");
  c.stopCapture(157);
  ::send(peer, "xy", 2, 0);
  EXPECT_EQ(qel::test::readUntil(c, 0, 'y'), "xy");
  c.startCapture(3);  // invalid: nothing
  c.closeCaptureFile();
  EXPECT_EQ(home.readFile("cap.txt"),
            "ab\r\x7f"
            "]\nPut RAW[pc_to_controller]: ab<CR><DEL>"
            "]\nGet Channel[0][controller_to_pc]: xy"
            "]\n");
  ::close(peer);
}
