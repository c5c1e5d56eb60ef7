// The main job on the default link: `qelcut watch` with Xitong_TT = 3 (Ethernet kind) against the
// coordinator simulator on a loopback address. A file dropped in the watch folder is disposed
// of, sent as a CRC-checked download, and its page lands in the printed folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "config/ini_config.h"
#include "coordinator_services.h"
#include "platform/files.h"
#include "support/temp_home.h"
#include "support/wait.h"

extern char** environ;

namespace fs = std::filesystem;

TEST(DefaultLinkEndToEnd, DroppedFileReachesTheCoordinatorAndLandsInPrinted) {
  qel::sim::CoordinatorServiceOptions o;
  o.commandPort = -1;
  std::string error;
  auto sim = qel::sim::startCoordinatorServices("127.0.0.99", o, &error);
  ASSERT_TRUE(sim) << error;

  qel::test::TempHome home;
  {
    qel::config::CIniConfig cfg(home.path());
    cfg.read(qel::config::keys::Xitong_TT);  // first-run values
    cfg.writeText("Transfer_Config", "Xitong_TT", "3");
    cfg.writeText("Transfer_Config", "Transfer_DelayTime", "0");
    cfg.writeText("Watcher", "Watcher_Enabled", "1");
    cfg.writeText("Modbus", "Modbus_LinkType", "2");
    cfg.writeText("Modbus", "Xitong_IP", "127.0.0.99");
  }
  const std::string log = home.file("watch.log");
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&fa, 1, 2);
  std::vector<std::string> args = {QELCUT_BINARY, "watch", "--home", home.path(), "--time-scale", "0.05"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  ASSERT_EQ(posix_spawn(&pid, QELCUT_BINARY, &fa, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&fa);

  std::string plot = "IN;SP1;";
  for (int i = 0; i < 400; ++i) plot += "PU" + std::to_string(i * 40) + ",0;PD" + std::to_string(i * 40) + ",4000;";
  plot += "PU;\n";
  home.writeFile("ListenDir/job.plt", plot);

  auto printed = [&] {
    std::vector<fs::path> files;
    std::error_code ec;
    for (auto& e : fs::recursive_directory_iterator(home.file("PrintedDir"), ec))
      if (e.is_regular_file() && e.path().extension() == ".PLT") files.push_back(e.path());  // pages, not the backup
    return files;
  };
  qel::test::waitUntil([&] { return !printed().empty() && !sim->sim().downloads().empty(); }, 30000, 50);
  ::kill(pid, SIGTERM);
  int status = 0;
  ::waitpid(pid, &status, 0);

  const auto files = printed();
  const auto downloads = sim->sim().downloads();
  ASSERT_EQ(files.size(), 1u) << home.readFile("watch.log");
  ASSERT_EQ(downloads.size(), 1u) << home.readFile("watch.log");
  // The coordinator received exactly the page that was filed as printed, so its CRC matched.
  EXPECT_EQ(downloads[0].data, qel::platform::readWholeFile(files[0].string()).value_or("?"));
  EXPECT_EQ(downloads[0].channel, 0);
  EXPECT_FALSE(downloads[0].data.empty());
}
