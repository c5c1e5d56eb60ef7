// The main job end to end: `qelcut watch` runs as a process with a home whose Config.ini
// points the network link at the simulated machine on loopback; a plot file dropped into the
// watch folder is disposed of, sent and moved to the printed folder.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "config/ini_config.h"
#include "machine_sim.h"
#include "support/process.h"
#include "support/temp_home.h"
#include "support/wait.h"

namespace {

namespace fs = std::filesystem;
using qel::test::TempHome;
using qel::test::waitUntil;

class WatchProcess {
 public:
  explicit WatchProcess(const TempHome& home) : home_(home) {}
  ~WatchProcess() { stop(); }

  void start() {
    const std::string log = home_.file("watch.log");
    pid_ = ::fork();
    if (pid_ == 0) {
      int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(fd, 1);
      ::dup2(fd, 2);
      ::execl(QELCUT_BINARY, "qelcut", "watch", "--home", home_.path().c_str(), "--time-scale", "0.05",
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
  }

  // SIGTERM, as Ctrl-C would; the exit status, or -1 when it had to be killed.
  int stop() {
    if (pid_ <= 0) return status_;
    status_ = qel::test::endProcess(pid_, SIGTERM, 15000);
    return status_;
  }

  std::string log() const { return home_.readFile("watch.log"); }
  bool logHas(const std::string& text) const { return log().find(text) != std::string::npos; }

 private:
  const TempHome& home_;
  pid_t pid_ = -1;
  int status_ = -1;
};

const std::string kPlot =
    "IN;SP1;PU0,0;PD4000,0,4000,4000,0,4000,0,0;PU8000,0;PD12000,0,12000,4000;PU;SP0;\n";

class WatchEndToEnd : public ::testing::Test {
 protected:
  void configure(const std::string& address) {
    qel::config::CIniConfig cfg(home.path());
    cfg.write(qel::config::keys::Xitong_TT, 4);
    cfg.write(qel::config::keys::Xitong_IP, address);
    cfg.writeText("Transfer_Config", "Transfer_DelayTime", "0");
  }

  // Written beside the folder and renamed in, as a design program finishing a file would.
  void drop(const std::string& name, const std::string& content) {
    home.writeFile(name + ".part", content);
    fs::create_directories(home.file("ListenDir"));
    fs::rename(home.file(name + ".part"), home.file("ListenDir/" + name));
  }

  // The file in folder whose name matches, or "".
  std::string find(const std::string& folder, const std::function<bool(const std::string&)>& match) {
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(home.file(folder), ec))
      if (match(e.path().filename().string())) return e.path().string();
    return {};
  }

  static bool isPage(const std::string& n) { return n.size() > 8 && n.substr(n.size() - 8) == "_001.PLT"; }

  static std::string contentOf(const std::string& path) {
    auto s = qel::platform::readWholeFile(path);
    return s ? *s : std::string();
  }

  TempHome home;
  qel::sim::NetworkMachineSim machine;
};

TEST_F(WatchEndToEnd, DroppedPlotFileReachesTheMachineAndTheHistory) {
  configure("127.0.0.53");
  std::string error;
  ASSERT_TRUE(machine.start("127.0.0.53", 3241, &error)) << error;
  WatchProcess watch(home);
  watch.start();
  drop("job.plt", kPlot);

  ASSERT_TRUE(machine.waitForFiles(1, 60000)) << watch.log();
  ASSERT_TRUE(waitUntil([&] { return watch.logHas("sent "); }, 20000)) << watch.log();
  const std::string page = find("PrintedDir", isPage);
  ASSERT_FALSE(page.empty()) << watch.log();
  const auto got = machine.files()[0].data;
  EXPECT_EQ(std::string(got.begin(), got.end()), contentOf(page));
  EXPECT_NE(contentOf(page).find("PD"), std::string::npos);
  // The source is kept in the printed folder under its run stamp.
  const std::string source = find("PrintedDir", [](const std::string& n) {
    return n.rfind("job_", 0) == 0 && n.size() > 4 && n.substr(n.size() - 4) == ".plt";
  });
  ASSERT_FALSE(source.empty());
  EXPECT_EQ(contentOf(source), kPlot);
  EXPECT_FALSE(fs::exists(home.file("ListenDir/job.plt")));
  EXPECT_EQ(watch.stop(), 0) << watch.log();
}

TEST_F(WatchEndToEnd, ConnectionDroppedMidFileKeepsTheFileQueuedUntilItGoesThrough) {
  configure("127.0.0.54");
  std::string error;
  ASSERT_TRUE(machine.start("127.0.0.54", 3241, &error)) << error;
  machine.setCloseAfterBytes(20);
  WatchProcess watch(home);
  watch.start();
  drop("cut.plt", kPlot);

  ASSERT_TRUE(waitUntil([&] { return watch.logHas("QEL_Connect_Close"); }, 60000)) << watch.log();
  EXPECT_FALSE(watch.logHas("button: Continue")) << "a broken connection fails the file, not the queue";
  EXPECT_TRUE(machine.files().empty());
  // Still queued in the dispose folder, and sent whole once the machine keeps its connection.
  const std::string queued = find("DisposeDir", isPage);
  ASSERT_FALSE(queued.empty()) << watch.log();
  const std::string pageContent = contentOf(queued);
  machine.setCloseAfterBytes(-1);
  ASSERT_TRUE(machine.waitForFiles(1, 30000)) << watch.log();
  const auto got = machine.files()[0].data;
  EXPECT_EQ(std::string(got.begin(), got.end()), pageContent);
  ASSERT_TRUE(waitUntil([&] { return !find("PrintedDir", isPage).empty(); }, 20000)) << watch.log();
  EXPECT_GE(machine.abortedFiles(), 1);
  EXPECT_EQ(watch.stop(), 0) << watch.log();
}

TEST_F(WatchEndToEnd, UnreachableMachinePausesTheQueue) {
  configure("127.0.0.55");  // nothing listens there
  WatchProcess watch(home);
  watch.start();
  drop("far.plt", kPlot);

  ASSERT_TRUE(waitUntil([&] { return watch.logHas("QEL_Connect_Fail"); }, 60000)) << watch.log();
  ASSERT_TRUE(waitUntil([&] { return watch.logHas("button: Continue"); }, 10000)) << watch.log();
  EXPECT_FALSE(find("DisposeDir", isPage).empty()) << "the file waits in the queue";
  EXPECT_TRUE(find("PrintedDir", isPage).empty());
  EXPECT_EQ(watch.stop(), 0) << watch.log();
}

}  // namespace
