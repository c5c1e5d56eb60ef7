// The main job end to end: `qelcut watch` runs as a process with a home whose Config.ini points
// the default link at the simulated coordinator on loopback; a plot file dropped into the watch
// folder is disposed of, downloaded with its CRC checked, and filed as printed. (The network
// link's run is the console progress test; failed sends are the queue's tests.)
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "config/ini_config.h"
#include "support/process.h"
#include "support/temp_home.h"
#include "support/wait.h"
#if QEL_HAS_COORDINATOR_SIM
#include "coordinator_services.h"
#endif

namespace {

namespace fs = std::filesystem;

#if QEL_HAS_COORDINATOR_SIM
// The file of `folder` whose name starts with `prefix` and ends with `suffix`, or "".
std::string find(const qel::test::TempHome& home, const char* folder, const std::string& prefix, const std::string& suffix) {
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(home.file(folder), ec)) {
    const std::string n = e.path().filename().string();
    if (n.starts_with(prefix) && n.ends_with(suffix)) return e.path().string();
  }
  return {};
}

TEST(WatchEndToEnd, DroppedFileReachesTheCoordinatorWithAMatchingCrcAndTheHistory) {
  qel::sim::CoordinatorServiceOptions o;
  o.commandPort = -1;
  std::string error;
  auto sim = qel::sim::startCoordinatorServices("127.0.0.99", o, &error);
  ASSERT_TRUE(sim) << error;
  qel::test::TempHome home;
  {
    qel::config::CIniConfig cfg(home.path());
    cfg.write(qel::config::keys::Xitong_TT, 3);
    cfg.write(qel::config::keys::Xitong_IP, "127.0.0.99");
    cfg.writeText("Transfer_Config", "Transfer_DelayTime", "0");
    cfg.writeText("Modbus", "Modbus_LinkType", "2");  // the default link over Ethernet
  }
  // Its waits 20 times faster; stopped with SIGTERM, as Ctrl-C would.
  qel::test::ChildProcess w({QELCUT_BINARY, "watch", "--home", home.path(), "--time-scale", "0.05"}, home.file("watch.log"));
  std::string plot = "IN;SP1;";
  for (int i = 0; i < 400; ++i) plot += "PU" + std::to_string(i * 40) + ",0;PD" + std::to_string(i * 40) + ",4000;";
  plot += "PU;\n";
  // Written beside the folder and renamed in, as a design program finishing a file would.
  home.writeFile("job.plt.part", plot);
  fs::create_directories(home.file("ListenDir"));
  fs::rename(home.file("job.plt.part"), home.file("ListenDir/job.plt"));
  home.writeFile("ListenDir/note.plt", "no plot here\n");  // refused, and said so; the job still goes

  ASSERT_TRUE(qel::test::waitUntil(
      [&] { return !find(home, "PrintedDir", "", "_001.PLT").empty() && !sim->sim().downloads().empty(); }, 30000, 50))
      << w.log();
  const auto downloads = sim->sim().downloads();
  ASSERT_EQ(downloads.size(), 1u) << w.log();
  // The coordinator received exactly the page that was filed as printed, so its CRC matched.
  EXPECT_EQ(downloads[0].data, qel::platform::readWholeFile(find(home, "PrintedDir", "", "_001.PLT")).value_or(""));
  EXPECT_TRUE(downloads[0].channel == 0 && !downloads[0].data.empty());
  // The source is kept in the printed folder under its run stamp.
  EXPECT_EQ(qel::platform::readWholeFile(find(home, "PrintedDir", "job_", ".plt")).value_or(""), plot);
  EXPECT_FALSE(fs::exists(home.file("ListenDir/job.plt")));
  ASSERT_TRUE(w.waitLog("ListenDir/note.plt: it holds no plot command\n")) << w.log();
  EXPECT_TRUE(w.logHas("cannot be cut: it holds no plot command, it was moved to: " + home.file("UnDisposeDir/note.plt")));
  EXPECT_EQ(w.stop(), 0) << w.log();
}
#endif

}  // namespace
