// The main job end to end: `qelcut watch` runs as a process with a home whose Config.ini points
// a link at a simulated machine on loopback; a plot file dropped into the watch folder is
// disposed of, sent and moved to the printed folder. Over the network link and over the default
// link, a CRC-checked download to the simulated coordinator. (Failed sends are the queue's tests.)
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "config/ini_config.h"
#include "machine_sim.h"
#include "support/process.h"
#include "support/temp_home.h"
#include "support/wait.h"
#if QEL_HAS_COORDINATOR_SIM
#include "coordinator_services.h"
#endif

namespace {

namespace fs = std::filesystem;
using qel::test::waitUntil;
namespace keys = qel::config::keys;

const std::string kPlot = "IN;SP1;PU0,0;PD4000,0,4000,4000,0,4000,0,0;PU8000,0;PD12000,0,12000,4000;PU;SP0;\n";

class WatchEndToEnd : public ::testing::Test {
 protected:
  void configure(int linkType, const std::string& address) {
    qel::config::CIniConfig cfg(home.path());
    cfg.write(keys::Xitong_TT, linkType);
    cfg.write(keys::Xitong_IP, address);
    cfg.writeText("Transfer_Config", "Transfer_DelayTime", "0");
    cfg.writeText("Modbus", "Modbus_LinkType", "2");  // the default link over Ethernet
  }
  // `qelcut watch` on the home, its waits 20 times faster; stopped with SIGTERM, as Ctrl-C would.
  std::unique_ptr<qel::test::ChildProcess> watch() {
    return std::make_unique<qel::test::ChildProcess>(
        std::vector<std::string>{QELCUT_BINARY, "watch", "--home", home.path(), "--time-scale", "0.05"},
        home.file("watch.log"));
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
  static std::string contentOf(const std::string& path) { return qel::platform::readWholeFile(path).value_or(""); }

  qel::test::TempHome home;
  qel::sim::NetworkMachineSim machine;
};

TEST_F(WatchEndToEnd, DroppedPlotFileReachesTheMachineAndTheHistory) {
  configure(4, "127.0.0.53");
  std::string error;
  ASSERT_TRUE(machine.start("127.0.0.53", 3241, &error)) << error;
  auto w = watch();
  drop("job.plt", kPlot);

  ASSERT_TRUE(machine.waitForFiles(1, 60000)) << w->log();
  ASSERT_TRUE(w->waitLog("sent ", 0, 20000)) << w->log();
  const std::string page = find("PrintedDir", isPage);
  ASSERT_FALSE(page.empty()) << w->log();
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
  EXPECT_EQ(w->stop(), 0) << w->log();
}

#if QEL_HAS_COORDINATOR_SIM
TEST_F(WatchEndToEnd, DefaultLinkDeliversADroppedFileWithAMatchingCrc) {
  qel::sim::CoordinatorServiceOptions o;
  o.commandPort = -1;
  std::string error;
  auto sim = qel::sim::startCoordinatorServices("127.0.0.99", o, &error);
  ASSERT_TRUE(sim) << error;
  qel::config::CIniConfig(home.path()).read(keys::Xitong_TT);  // first-run values
  configure(3, "127.0.0.99");
  auto w = watch();
  std::string plot = "IN;SP1;";
  for (int i = 0; i < 400; ++i) plot += "PU" + std::to_string(i * 40) + ",0;PD" + std::to_string(i * 40) + ",4000;";
  drop("job.plt", plot + "PU;\n");

  ASSERT_TRUE(waitUntil([&] { return !find("PrintedDir", isPage).empty() && !sim->sim().downloads().empty(); }, 30000, 50))
      << w->log();
  const auto downloads = sim->sim().downloads();
  ASSERT_EQ(downloads.size(), 1u) << w->log();
  // The coordinator received exactly the page that was filed as printed, so its CRC matched.
  EXPECT_EQ(downloads[0].data, contentOf(find("PrintedDir", isPage)));
  EXPECT_EQ(downloads[0].channel, 0);
  EXPECT_FALSE(downloads[0].data.empty());
  EXPECT_EQ(w->stop(), 0) << w->log();
}
#endif

}  // namespace
