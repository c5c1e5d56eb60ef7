// `qelcut sim` as a process, as someone trying the system's failure paths runs it: faults
// switched on and off through the control file while the link sends with `qelcut send`,
// every received file logged and kept, and faults a kind cannot produce refused.
#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "config/ini_config.h"
#include "support/process.h"
#include "support/temp_home.h"

namespace {

using qel::test::TempHome;
namespace fs = std::filesystem;

// `qelcut ARGS`, to its end.
qel::test::CommandResult run(const std::string& args) { return qel::test::runCommand(std::string(QELCUT_BINARY) + " " + args); }

// `qelcut sim ARGS...` in the background, its output in HOME/sim.log; Ctrl-C stops it.
std::unique_ptr<qel::test::ChildProcess> startSim(const TempHome& home, std::vector<std::string> args) {
  args.insert(args.begin(), {QELCUT_BINARY, "sim"});
  return std::make_unique<qel::test::ChildProcess>(std::move(args), home.file("sim.log"), SIGINT);
}

class SimCommand : public ::testing::Test {
 protected:
  // The control file is written beside and renamed in, as an editor saving it would.
  void control(const std::string& text) {
    home.writeFile("faults.part", text);
    fs::rename(home.file("faults.part"), home.file("faults"));
  }
  qel::test::CommandResult send() { return run("send " + home.file("job.plt") + " --home " + home.path()); }
  std::set<std::string> kept(const std::string& folder) {
    std::set<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(home.file(folder), ec)) names.insert(e.path().filename().string());
    return names;
  }
  std::string configure(const std::string& address, const std::string& kind) {
    return run("sim --home " + home.path() + " --bind " + address + " --kind " + kind + " --configure-home").output;
  }

  TempHome home;
  const std::string job = "IN;SP1;PU0,0;PD4000,0,4000,4000,0,4000,0,0;PU;SP0;\n";
};

TEST_F(SimCommand, NetworkFaultSwitchedOnAndOffWhileRunning) {
  configure("127.0.0.181", "network");
  home.writeFile("job.plt", job);
  auto sim = startSim(home, {"--home", home.path(), "--bind", "127.0.0.181", "--kind", "network", "--control",
                        home.file("faults"), "--store", home.file("got")});
  ASSERT_TRUE(sim->waitLog("running; Ctrl-C stops")) << sim->log();

  qel::test::CommandResult r = send();
  EXPECT_EQ(r.status, 0) << r.output;
  ASSERT_TRUE(sim->waitLog("kept as " + home.file("got/job_001.plt"))) << sim->log();
  EXPECT_NE(sim->log().find("file received, " + std::to_string(job.size()) + " bytes"), std::string::npos);
  EXPECT_EQ(home.readFile("got/job_001.plt"), job);

  std::size_t mark = sim->log().size();
  control("# the cable comes loose\nclose-after=10\n");
  ASSERT_TRUE(sim->waitLog("fault close-after 10 (was off)", mark)) << sim->log();
  r = send();
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_NE(r.output.find("QEL_Connect_Close"), std::string::npos) << r.output;
  EXPECT_TRUE(sim->waitLog("dropping the connection", mark)) << sim->log();
  EXPECT_EQ(kept("got"), (std::set<std::string>{"job_001.plt"}));  // half a file is not kept

  mark = sim->log().size();
  control("");
  ASSERT_TRUE(sim->waitLog("fault close-after off (was 10)", mark)) << sim->log();
  r = send();
  EXPECT_EQ(r.status, 0) << r.output;
  ASSERT_TRUE(sim->waitLog("kept as " + home.file("got/job_002.plt"), mark)) << sim->log();
  EXPECT_EQ(home.readFile("got/job_002.plt"), job);

  // SIGUSR1 reads the file too, and leaves the simulator running.
  mark = sim->log().size();
  control("silent=on\n");
  sim->signal(SIGUSR1);
  EXPECT_TRUE(sim->waitLog("fault silent on (was off)", mark)) << sim->log();
  EXPECT_EQ(sim->stop(), 0) << sim->log();
  EXPECT_EQ(sim->log().find("fault silent on", sim->log().find("fault silent on") + 1), std::string::npos)
      << "one change, logged once: " << sim->log();
}

TEST_F(SimCommand, CoordinatorFaultSwitchedOnAndOffWhileRunning) {
  configure("127.0.0.182", "coordinator");
  home.writeFile("job.plt", job);
  auto sim = startSim(home, {"--home", home.path(), "--bind", "127.0.0.182", "--control", home.file("faults")});
  ASSERT_TRUE(sim->waitLog("running; Ctrl-C stops")) << sim->log();
  const std::string store = home.file("SimMachine");  // the default store

  qel::test::CommandResult r = send();
  EXPECT_EQ(r.status, 0) << r.output;
  ASSERT_TRUE(sim->waitLog("file job.plt received on channel 0, " + std::to_string(job.size()) + " bytes, kept as " +
                          store + "/0001_job.plt"))
      << sim->log();
  EXPECT_EQ(home.readFile("SimMachine/0001_job.plt"), job);

  // A wrong CRC, switched on before a send and off while the link waits to try again: the
  // attempt fails as the fault says (the file arrived whole, the answer does not match it),
  // and the next attempt of the same send delivers.
  std::size_t mark = sim->log().size();
  control("wrong-crc=on\n");
  ASSERT_TRUE(sim->waitLog("fault wrong-crc on (was off)", mark)) << sim->log();
  qel::test::CommandResult during;
  std::thread sending([&] { during = send(); });
  EXPECT_TRUE(sim->waitLog("coordinator: answered a wrong CRC to job.plt", mark)) << sim->log();
  control("wrong-crc=off\n");
  EXPECT_TRUE(sim->waitLog("fault wrong-crc off (was on)", mark)) << sim->log();
  sending.join();
  EXPECT_EQ(during.status, 0) << during.output;
  EXPECT_GE(kept("SimMachine").size(), 3u);  // the first send, the refused attempt, the retry

  // And the next send is fine from its first attempt.
  const std::size_t before = kept("SimMachine").size();
  r = send();
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(kept("SimMachine").size(), before + 1);
  // Every file under its own number: nothing received was replaced.
  for (const auto& name : kept("SimMachine")) EXPECT_EQ(home.readFile("SimMachine/" + name), job) << name;
  EXPECT_EQ(sim->stop(), 0);
}

TEST(SimCommandOptions, FaultsAKindCannotProduceAreRefused) {
  TempHome home;
  const qel::test::CommandResult r = run("sim --home " + home.path() + " --bind 127.0.0.183 --kind network --wrong-crc");
  EXPECT_EQ(r.status, 2) << r.output;
  EXPECT_NE(r.output.find("--wrong-crc is a fault of the coordinator simulator; --kind network cannot produce it"),
            std::string::npos)
      << r.output;
}

TEST(SimCommandOptions, HelpNamesEachFaultsKindsAndTheManualPageEveryOption) {
  const qel::test::CommandResult help = run("sim --help");
  ASSERT_EQ(help.status, 0) << help.output;
  EXPECT_NE(help.output.find("--wrong-crc"), std::string::npos);
  // Every fault names the kinds that can produce it.
  const std::string faults = help.output.substr(help.output.find("\nfaults"));
  int entries = 0;
  for (std::size_t at = faults.find("\n  --"); at != std::string::npos; ++entries) {
    const std::size_t next = faults.find("\n  --", at + 1);
    const std::string entry = faults.substr(at, next == std::string::npos ? std::string::npos : next - at);
    EXPECT_TRUE(std::regex_search(entry, std::regex(R"(\[(coordinator|network|both kinds)\])"))) << entry;
    at = next;
  }
  EXPECT_GE(entries, 15) << help.output;

  std::ifstream in(std::string(QEL_SOURCE_DIR) + "/data/man/qelcut-sim.1.in");
  std::string page((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  page = std::regex_replace(page, std::regex(R"(\\-)"), "-");
  const std::regex option(R"(--[a-z][a-z-]*)");
  std::set<std::string> missing;
  for (std::sregex_iterator it(help.output.begin(), help.output.end(), option), end; it != end; ++it)
    if (page.find(it->str()) == std::string::npos) missing.insert(it->str());
  EXPECT_TRUE(missing.empty()) << "not in the manual page: " << ::testing::PrintToString(missing);
}

}  // namespace
