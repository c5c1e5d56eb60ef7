// The network link against the simulated network controller on loopback: every failure comes
// from a real fault of the simulator (busy, dropped connection, silence) or a port nobody
// listens on.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "config/ini_config.h"
#include "fake_owner.h"
#include "links/network_transfer.h"
#include "machine_sim.h"
#include "platform/clock.h"
#include "support/temp_home.h"
#include "support/wait.h"

namespace qel::links {
namespace {

using test::TempHome;

constexpr const char* kAddr = "127.0.0.41";

class NetworkLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    config::CIniConfig cfg(home.path());
    cfg.write(config::keys::Xitong_TT, 4);
    cfg.write(config::keys::Xitong_IP, kAddr);
    std::string error;
    ASSERT_TRUE(machine.start(kAddr, 0, &error)) << error;
    machine.setQuietMs(10);
  }

  NetworkLinkOptions options() {
    NetworkLinkOptions o;
    o.clock = &clock;
    o.port = machine.port();
    o.eventWaitMs = 200;
    return o;
  }

  std::string writeJob(const std::string& content) {
    home.writeFile("job.plt", content);
    return home.file("job.plt");
  }

  TempHome home;
  test::FakeTransferOwner owner{home.path()};
  platform::FakeClock clock;
  sim::NetworkMachineSim machine;
};

TEST_F(NetworkLinkTest, DeliversFilesByteForByteInPacedPieces) {
  std::string big(1 << 20, '\0');  // every byte value, many times over
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 7919u) >> 3);
  std::size_t expectedFiles = 0;
  for (const std::string& content : {std::string(), std::string(250, 'P'), big}) {
    SCOPED_TRACE(content.size());
    const std::int64_t before = clock.nowMs();
    CNetwork_Transfer link(owner, writeJob(content), static_cast<std::int32_t>(content.size()), options());
    EXPECT_EQ(link.machineAddress(), kAddr);
    ASSERT_TRUE(link.send());
    EXPECT_EQ(link.resultText(), "");
    EXPECT_FALSE(link.connected());
    ASSERT_TRUE(machine.waitForFiles(++expectedFiles, 5000));
    const auto got = machine.files().back().data;
    EXPECT_TRUE(std::string(got.begin(), got.end()) == content) << "received " << got.size() << " bytes";
    // One 200 ms pause after each piece of at most 100 bytes (250 bytes: 100, 100, 50).
    EXPECT_EQ(clock.nowMs() - before, std::int64_t((content.size() + 99) / 100) * 200);
  }
  // A busy machine is asked again until it is ready: busy answers come at once, the rounds are
  // still spaced by the answer wait.
  machine.setBusyRounds(3);
  const int asked = machine.startRequests();
  const std::int64_t before = clock.nowMs();
  CNetwork_Transfer busy(owner, writeJob("IN;SP1;"), 7, options());
  ASSERT_TRUE(busy.send());
  ASSERT_TRUE(machine.waitForFiles(++expectedFiles, 5000));
  EXPECT_EQ(machine.startRequests() - asked, 4);
  EXPECT_GE(clock.nowMs() - before, 3 * 200);
  EXPECT_TRUE(owner.messages().empty());
  // The network link leaves the progress bar and the stop request alone.
  EXPECT_TRUE(owner.progress().empty());
}

// How a send fails: its text (whether a text counts as a machine out of reach is the send
// outcome table's test), what the operator is told, and the connections the machine saw.
TEST_F(NetworkLinkTest, FailuresEndWithTheirTextAndMessage) {
  struct Row {
    const char* name;
    std::function<void()> fault;
    bool readable;
    int lang;
    const char* text;
    const char* message;  // null: none
    int connections;
  };
  const Row rows[] = {
      {"file unreadable", [] {}, false, 1, "Open Transfer-File Fail.", nullptr, 0},
      {"dropped mid-file", [this] { machine.setCloseAfterBytes(3000); }, true, 1, "QEL_Connect_Close",
       "QEL: network interruption !", 1},
      {"out of reach", [this] { machine.stop(); }, true, 1, "QEL_Connect_Fail", "QEL: can not connect to machine !", 1},
      {"out of reach, Chinese", [] {}, true, 0, "QEL_Connect_Fail", "QEL: 无法连接到机器！", 1},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    r.fault();
    owner.lang_ = r.lang;
    owner.clearMessages();
    const std::string path = r.readable ? writeJob(std::string(20000, 'x')) : home.file("missing.plt");
    CNetwork_Transfer link(owner, path, 20000, options());
    EXPECT_FALSE(link.send());
    EXPECT_EQ(link.resultText(), r.text);
    EXPECT_EQ(owner.messages(), r.message ? std::vector<std::string>{r.message} : std::vector<std::string>{});
    EXPECT_EQ(machine.connections(), r.connections);
    EXPECT_TRUE(machine.files().empty());
    EXPECT_FALSE(link.connected());
  }
}

TEST_F(NetworkLinkTest, PauseBeforeSendConnectsSendsNothingAndFails) {
  owner.stop_ = true;
  CNetwork_Transfer link(owner, writeJob("PU;PD;"), 6, options());
  EXPECT_FALSE(link.send());
  EXPECT_EQ(link.resultText(), "");
  EXPECT_TRUE(owner.stop_) << "the network link leaves the stop request as it is";
  EXPECT_TRUE(test::waitUntil([&] { return machine.connections() == 1; }, 500));
  EXPECT_EQ(machine.startRequests(), 0);
  EXPECT_TRUE(machine.files().empty());
}

TEST_F(NetworkLinkTest, SilentMachineIsAskedAgainUntilThePause) {
  machine.setSilent(true);
  NetworkLinkOptions o = options();
  o.eventWaitMs = 20;
  std::atomic<bool> done{false};
  std::thread pauser([&] {
    while (!done && machine.startRequests() < 3) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    owner.stop_ = true;
  });
  CNetwork_Transfer link(owner, writeJob("PU;"), 3, o);
  EXPECT_FALSE(link.send());
  done = true;
  pauser.join();
  EXPECT_EQ(link.resultText(), "");
  EXPECT_GE(machine.startRequests(), 3);
  EXPECT_TRUE(owner.messages().empty());
}

TEST_F(NetworkLinkTest, ProbeResultsAndTheLinkLeftClosed) {
  NetworkLinkOptions o = options();
  o.eventWaitMs = 50;
  CNetwork_Transfer link(owner, "", 0, o);
  EXPECT_EQ(link.Probe(0), 0);

  EXPECT_EQ(link.Connect(), 1);
  EXPECT_TRUE(link.connected());
  EXPECT_EQ(link.Probe(1), 1);
  EXPECT_FALSE(link.connected());
  // A later probe connects again by itself.
  machine.setBusyRounds(1);
  EXPECT_EQ(link.Probe(1), -4);
  EXPECT_FALSE(link.connected());
  machine.setSilent(true);
  EXPECT_EQ(link.Probe(2), -3);
  EXPECT_EQ(link.resultText(), "");
  machine.setSilent(false);
  EXPECT_EQ(link.Probe(1), 1);
  link.Close();
  link.Close();  // twice is harmless

  machine.stop();
  EXPECT_EQ(link.Probe(1), -1);
  EXPECT_EQ(link.resultText(), "QEL_Connect_Fail");
}

}  // namespace
}  // namespace qel::links
