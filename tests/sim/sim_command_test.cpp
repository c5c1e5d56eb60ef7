// `qelcut sim` as a process: faults switched at run time (the installed tree's test checks every
// option of its help against the manual page).
#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>
#include <string>

#include "support/process.h"
#include "support/temp_home.h"

namespace {

using qel::test::occurrences;
using qel::test::TempHome;
namespace fs = std::filesystem;

// `qelcut ARGS`, to its end.
qel::test::CommandResult run(const std::string& args) { return qel::test::runCommand(std::string(QELCUT_BINARY) + " " + args); }

// The network simulator run by `qelcut sim` with a control file, as someone trying the link's
// failure paths runs it: faults switched while `qelcut send` sends (switching off is the control
// file's own test), every received file logged and kept, half a file never.
TEST(SimCommand, NetworkFaultSwitchedOnAndOffWhileRunning) {
  TempHome home;
  // The control file is written beside and renamed in, as an editor saving it would.
  const auto control = [&](const std::string& text) {
    home.writeFile("faults.part", text);
    fs::rename(home.file("faults.part"), home.file("faults"));
  };
  const auto send = [&] { return run("send " + home.file("job.plt") + " --home " + home.path()); };
  const std::string job = "IN;SP1;PU0,0;PD4000,0,4000,4000,0,4000,0,0;PU;SP0;\n";
  run("sim --home " + home.path() + " --bind 127.0.0.181 --kind network --configure-home");
  home.writeFile("job.plt", job);
  qel::test::ChildProcess sim({QELCUT_BINARY, "sim", "--home", home.path(), "--bind", "127.0.0.181", "--kind", "network",
                               "--control", home.file("faults"), "--store", home.file("got")},
                              home.file("sim.log"), SIGINT);
  ASSERT_TRUE(sim.waitLog("running; Ctrl-C stops")) << sim.log();

  qel::test::CommandResult r = send();
  EXPECT_EQ(r.status, 0) << r.output;
  ASSERT_TRUE(sim.waitLog("kept as " + home.file("got/job_001.plt"))) << sim.log();
  EXPECT_TRUE(sim.logHas("file received, " + std::to_string(job.size()) + " bytes"));
  EXPECT_EQ(home.readFile("got/job_001.plt"), job);

  std::size_t mark = sim.log().size();
  control("# the cable comes loose\nclose-after=10\n");
  ASSERT_TRUE(sim.waitLog("fault close-after 10 (was off)", mark)) << sim.log();
  r = send();
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_NE(r.output.find("QEL_Connect_Close"), std::string::npos) << r.output;
  EXPECT_TRUE(sim.waitLog("dropping the connection", mark)) << sim.log();
  EXPECT_FALSE(fs::exists(home.file("got/job_002.plt")));  // half a file is not kept

  // SIGUSR1 reads the file too, and leaves the simulator running.
  mark = sim.log().size();
  control("silent=on\n");
  sim.signal(SIGUSR1);
  EXPECT_TRUE(sim.waitLog("fault silent on (was off)", mark)) << sim.log();
  EXPECT_EQ(sim.stop(), 0) << sim.log();
  EXPECT_EQ(occurrences(sim.log(), "fault silent on"), 1u) << "one change, logged once: " << sim.log();
}

}  // namespace
