// Runs the real `qelcut watch` over many files, kills it with SIGKILL at random moments,
// restarts it, and checks that no plot file was lost or doubled on the way.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <random>
#include <regex>
#include <thread>

#include "config/ini_config.h"
#include "platform/files.h"
#include "support/process.h"
#include "support/temp_home.h"

namespace {

namespace fs = std::filesystem;
using qel::test::ChildProcess;
using qel::test::TempHome;

// `qelcut watch` on the home, its output in HOME/watch-RUN.log; stopped by `stopSignal`.
std::unique_ptr<ChildProcess> startWatch(const TempHome& home, int run, int stopSignal) {
  return std::make_unique<ChildProcess>(
      std::vector<std::string>{QELCUT_BINARY, "watch", "--home", home.path(), "--lp-device", home.file("lp%d"), "--time-scale", "0.02"},
      home.file("watch-" + std::to_string(run) + ".log"), stopSignal);
}

std::string sourceContent(int i) {
  return "IN;SP1;PU0,0;PD" + std::to_string(1000 + i) + ",0," + std::to_string(1000 + i) + ",800,0,800,0,0;PU;\n";
}

// For each content, the files holding it below the queue's folders.
std::map<std::string, std::vector<std::string>> contentPlaces(const std::string& home, bool includePages) {
  static const std::regex page(R"(_\d{8}_\d{6}_\d{3}(_\d+)?\.PLT$)");
  std::map<std::string, std::vector<std::string>> out;
  for (const char* folder : {"ListenDir", "DisposeDir", "PrintedDir", "CancelledDir", "UnDisposeDir"}) {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(home + "/" + folder, ec); !ec && it != fs::end(it); it.increment(ec)) {
      if (!it->is_regular_file()) continue;
      if (!includePages && std::regex_search(it->path().filename().string(), page)) continue;
      out[qel::platform::readWholeFile(it->path().string()).value_or("")].push_back(it->path().string());
    }
  }
  return out;
}

bool drained(const std::string& home) {
  std::error_code ec;
  for (const char* folder : {"ListenDir", "DisposeDir"})
    for (auto& e : fs::directory_iterator(home + "/" + folder, ec))
      if (e.is_regular_file()) return false;
  return true;
}

void runKillRestart(int mode, int files, int kills) {
  TempHome home;
  qel::config::CIniConfig cfg(home.path());
  cfg.write(qel::config::keys::Xitong_TT, 1);
  cfg.write(qel::config::keys::CUT_FT, mode);
  cfg.writeText("Transfer_Config", "Transfer_DelayTime", "0");
  cfg.writeText("Watcher", "Watcher_Enabled", "1");
  // The files are written whole before the queue looks: a short settle time will do.
  cfg.writeText("Watcher", "Watcher_SettleMs", "100");
  home.writeFile("lp0", "");
  std::mt19937 rng(12345 + mode);
  int written = 0;
  auto dropFiles = [&](int n) {
    for (int k = 0; k < n && written < files; ++k, ++written)
      home.writeFile("ListenDir/src_" + std::to_string(written) + ".plt", sourceContent(written));
  };
  dropFiles(files / 2);

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  int run = 0;
  for (int k = 0; k < kills && std::chrono::steady_clock::now() < deadline; ++k) {
    auto watch = startWatch(home, run++, SIGKILL);
    std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<int>(30, 500)(rng)));
    dropFiles(files / (2 * kills) + 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 200)(rng)));
  }
  dropFiles(files);

  // A last run drains the folders and ends cleanly on SIGTERM. Generous: the queue drains in
  // seconds, but a loaded machine may be many times slower.
  auto watch = startWatch(home, run, SIGTERM);
  EXPECT_TRUE(watch->waitLog(" home "));
  EXPECT_TRUE(qel::test::waitUntil([&] { return drained(home.path()); }, 240000, 100)) << watch->log().substr(0, 4000);
  EXPECT_EQ(watch->stop(), 0);

  // Every source is in exactly one place (page files are the sources' products in mode 6).
  auto places = contentPlaces(home.path(), mode == 5);
  for (int i = 0; i < files; ++i) {
    auto it = places.find(sourceContent(i));
    ASSERT_NE(it, places.end()) << "source " << i << " lost";
    EXPECT_EQ(it->second.size(), 1u) << "source " << i << " found " << it->second.size() << " times, e.g. "
                                     << it->second.front() << " and " << it->second.back();
  }
  EXPECT_FALSE(home.readFile("lp0").empty());
}

TEST(WatchCommand, RefusesBadOptionsAndSecondQueue) {
  TempHome home;
  // Bounded: a tool that should have refused but runs instead is stopped.
  const auto tool = [&](const std::string& args) {
    return qel::test::runCommand("timeout -s KILL 10 " + std::string(QELCUT_BINARY) + " watch " + args).status;
  };
  const std::string at = "--home " + home.path();
  for (const char* bad : {" --bogus", " --time-scale fast", " --time-scale"}) EXPECT_EQ(tool(at + bad), 2) << bad;
  // A second queue on the same home would take the same files.
  auto first = startWatch(home, 0, SIGINT);
  ASSERT_TRUE(first->waitLog(" home "));
  EXPECT_EQ(tool(at), 1);
  EXPECT_EQ(first->stop(), 0);
  EXPECT_TRUE(first->logHas("stopped"));
}

TEST(KillRestart, DisposeModeLosesNothing) { runKillRestart(6, 200, 15); }

TEST(KillRestart, DirectModeLosesNothing) { runKillRestart(5, 200, 10); }

}  // namespace
