// `qelcut send` and `qelcut sim` as processes: exit codes, result texts and the progress line.
#include <gtest/gtest.h>

#include <string>

#include "config/ini_config.h"
#include "machine_sim.h"
#include "support/process.h"
#include "support/temp_home.h"

namespace {

using qel::test::TempHome;

// `qelcut ARGS`, to its end.
qel::test::CommandResult run(const std::string& args) { return qel::test::runCommand(std::string(QELCUT_BINARY) + " " + args); }

class SendCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    qel::config::CIniConfig cfg(home.path());
    cfg.write(qel::config::keys::Xitong_TT, 4);
    cfg.write(qel::config::keys::Xitong_IP, "127.0.0.56");
    cfg.write(qel::config::keys::Language_Type, 1);
    home.writeFile("job.plt", std::string(250, 'Q'));
  }
  TempHome home;
};

TEST_F(SendCommand, DeliversWithProgressAndExitsZero) {
  qel::sim::NetworkMachineSim machine;
  std::string error;
  ASSERT_TRUE(machine.start("127.0.0.56", 3241, &error)) << error;
  qel::test::CommandResult r = run("send " + home.file("job.plt") + " --home " + home.path());
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("delivered"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("250/250 bytes"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("B/s"), std::string::npos) << r.output;
  ASSERT_TRUE(machine.waitForFiles(1, 5000));
  EXPECT_EQ(machine.files()[0].data.size(), 250u);
}

TEST_F(SendCommand, FailuresExitNonZeroWithTheResultText) {
  // Nothing listens on 127.0.0.58.
  qel::config::CIniConfig(home.path()).write(qel::config::keys::Xitong_IP, "127.0.0.58");
  qel::test::CommandResult r = run("send " + home.file("job.plt") + " --home " + home.path());
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_NE(r.output.find("not delivered: QEL_Connect_Fail"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("can not connect to machine !"), std::string::npos) << r.output;

  r = run("send " + home.file("missing.plt") + " --home " + home.path());
  EXPECT_EQ(r.status, 1) << r.output;
  r = run("send --home " + home.path());
  EXPECT_EQ(r.status, 2) << r.output;

  qel::config::CIniConfig cfg(home.path());
  cfg.write(qel::config::keys::Xitong_TT, 9);
  r = run("send " + home.file("job.plt") + " --home " + home.path());
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_NE(r.output.find("has no link"), std::string::npos) << r.output;
}

TEST(SimCommand, RefusesAddressesOutsideLoopbackAndPointsAHome) {
  qel::test::CommandResult r = run("sim --bind 192.168.0.250");
  EXPECT_EQ(r.status, 2) << r.output;
  EXPECT_NE(r.output.find("loopback"), std::string::npos) << r.output;
  r = run("sim --port 70000");
  EXPECT_EQ(r.status, 2) << r.output;

  r = run("sim --kind modem");
  EXPECT_EQ(r.status, 2) << r.output;

  TempHome home;
  r = run("sim --home " + home.path() + " --bind 127.0.0.57 --kind network --configure-home");
  EXPECT_EQ(r.status, 0) << r.output;
  qel::config::CIniConfig cfg(home.path());
  EXPECT_EQ(cfg.read(qel::config::keys::Xitong_TT), 4);
  EXPECT_EQ(cfg.read(qel::config::keys::Xitong_IP), "127.0.0.57");
  EXPECT_NE(r.output.find("watch folder: " + home.path() + "/ListenDir"), std::string::npos) << r.output;
  // The default kind is the coordinator, reached by the default link over Ethernet.
  r = run("sim --home " + home.path() + " --bind 127.0.0.58 --configure-home");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(cfg.read(qel::config::keys::Xitong_TT), 3);
  EXPECT_EQ(cfg.read(qel::config::keys::Modbus_LinkType), 2);
  EXPECT_EQ(cfg.read(qel::config::keys::Xitong_IP), "127.0.0.58");
}

}  // namespace
