// `qelcut send` and `qelcut sim` as processes: exit codes and result texts. (A delivery with its
// progress is the simulator's and the console's test.)
#include <gtest/gtest.h>

#include <string>

#include "config/ini_config.h"
#include "support/process.h"
#include "support/temp_home.h"

namespace {

using qel::test::TempHome;
namespace keys = qel::config::keys;

// `qelcut ARGS`, to its end.
qel::test::CommandResult run(const std::string& args) { return qel::test::runCommand(std::string(QELCUT_BINARY) + " " + args); }

TEST(SendCommand, FailuresExitNonZeroWithTheResultText) {
  TempHome home;
  qel::config::CIniConfig cfg(home.path());
  cfg.write(keys::Xitong_IP, "127.0.0.58");  // nothing listens there
  cfg.write(keys::Language_Type, 1);
  home.writeFile("job.plt", std::string(250, 'Q'));
  const std::string job = home.file("job.plt") + " --home " + home.path();
  const struct { int linkType; std::string args; int status; const char* says; } rows[] = {
      {4, job, 1, "not delivered: QEL_Connect_Fail"},
      {4, home.file("missing.plt") + " --home " + home.path(), 1, "missing.plt"},
      {4, "--home " + home.path(), 2, "give one file"},
      {9, job, 1, "has no link"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.says);
    cfg.write(keys::Xitong_TT, row.linkType);
    const qel::test::CommandResult r = run("send " + row.args);
    EXPECT_EQ(r.status, row.status) << r.output;
    EXPECT_NE(r.output.find(row.says), std::string::npos) << r.output;
  }
}

// (A home pointed at the simulator with --configure-home is what every end-to-end script starts
// from.)
TEST(SimCommand, RefusesAddressesOutsideLoopbackAndUnknownKinds) {
  for (const char* bad : {"--bind 192.168.0.250", "--port 70000", "--kind modem"}) {
    const qel::test::CommandResult r = run(std::string("sim ") + bad);
    EXPECT_EQ(r.status, 2) << bad << ": " << r.output;
  }
}

}  // namespace
