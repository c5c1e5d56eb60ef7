// Runs the real `qelcut watch` over many files, kills it with SIGKILL at random moments,
// restarts it, and checks that no plot file was lost or doubled on the way.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <random>
#include <regex>
#include <thread>

#include "config/ini_config.h"
#include "support/temp_home.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using qel::test::TempHome;
using Clock = std::chrono::steady_clock;

pid_t startWatch(const std::string& home) {
  std::string lp = home + "/lp%d";
  std::string log = home + "/watch.log";
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&fa, 1, 2);
  std::vector<std::string> args = {QELCUT_BINARY, "watch", "--home", home, "--lp-device", lp, "--time-scale", "0.02"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, QELCUT_BINARY, &fa, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  return rc == 0 ? pid : -1;
}

int waitExit(pid_t pid) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return status;
}

std::string sourceContent(int i) {
  return "IN;SP1;PU0,0;PD" + std::to_string(1000 + i) + ",0," + std::to_string(1000 + i) + ",800,0,800,0,0;PU;\n";
}

// Counts, for each content, the files holding it below the queue's folders.
std::map<std::string, std::vector<std::string>> contentPlaces(const std::string& home, bool includePages) {
  static const std::regex page(R"(_\d{8}_\d{6}_\d{3}(_\d+)?\.PLT$)");
  std::map<std::string, std::vector<std::string>> out;
  for (const char* folder : {"ListenDir", "DisposeDir", "PrintedDir", "CancelledDir", "UnDisposeDir"}) {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(home + "/" + folder, ec); !ec && it != fs::end(it); it.increment(ec)) {
      if (!it->is_regular_file()) continue;
      std::string name = it->path().filename().string();
      if (!includePages && std::regex_search(name, page)) continue;
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
  {
    qel::config::CIniConfig cfg(home.path());
    cfg.write(qel::config::keys::Xitong_TT, 1);
    cfg.write(qel::config::keys::CUT_FT, mode);
    cfg.writeText("Transfer_Config", "Transfer_DelayTime", "0");
    cfg.writeText("Watcher", "Watcher_Enabled", "1");
    // The files are written whole before the queue looks: a short settle time will do.
    cfg.writeText("Watcher", "Watcher_SettleMs", "100");
  }
  home.writeFile("lp0", "");
  std::mt19937 rng(12345 + mode);
  int written = 0;
  auto dropFiles = [&](int n) {
    for (int k = 0; k < n && written < files; ++k, ++written) {
      char name[32];
      std::snprintf(name, sizeof name, "ListenDir/src_%03d.plt", written);
      home.writeFile(name, sourceContent(written));
    }
  };
  dropFiles(files / 2);

  const auto deadline = Clock::now() + std::chrono::seconds(60);
  for (int k = 0; k < kills && Clock::now() < deadline; ++k) {
    pid_t pid = startWatch(home.path());
    ASSERT_GT(pid, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<int>(30, 500)(rng)));
    dropFiles(files / (2 * kills) + 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 200)(rng)));
    ::kill(pid, SIGKILL);
    waitExit(pid);
  }
  dropFiles(files);

  // A last run drains the folders and ends cleanly on SIGTERM.
  auto runsLogged = [&] {
    std::string log = home.readFile("watch.log");
    int n = 0;
    for (size_t at = log.find(" home "); at != std::string::npos; at = log.find(" home ", at + 1)) ++n;
    return n;
  };
  const int before = runsLogged();
  pid_t pid = startWatch(home.path());
  ASSERT_GT(pid, 0);
  const auto upDeadline = Clock::now() + std::chrono::seconds(10);
  while (runsLogged() == before && Clock::now() < upDeadline) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  // Generous: the queue drains in seconds, but a loaded machine may be many times slower.
  const auto drainDeadline = Clock::now() + std::chrono::seconds(240);
  while (!drained(home.path()) && Clock::now() < drainDeadline) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ::kill(pid, SIGTERM);
  int status = waitExit(pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_TRUE(drained(home.path())) << home.readFile("watch.log").substr(0, 4000);

  // Every source is in exactly one place (page files are the sources' products in mode 6).
  auto places = contentPlaces(home.path(), mode == 5);
  for (int i = 0; i < files; ++i) {
    auto it = places.find(sourceContent(i));
    ASSERT_NE(it, places.end()) << "source " << i << " lost";
    EXPECT_EQ(it->second.size(), 1u) << "source " << i << " found " << it->second.size() << " times, e.g. "
                                     << it->second.front() << " and " << it->second.back();
  }
  EXPECT_FALSE(home.readFile("lp0").empty());
  std::string log = home.readFile("watch.log");
  auto count = [&](const std::string& what) {
    int n = 0;
    for (size_t at = log.find(what); at != std::string::npos; at = log.find(what, at + 1)) ++n;
    return n;
  };
  std::printf("runs %d, translated %d, sent %d, leftovers %d, recycled %zu\n", count(" home "), count(" translated "),
              count(" sent "), count("leftover to recycle bin"), contentPlaces(home.path(), true).size());
}

int runTool(std::vector<std::string> args) {
  args.insert(args.begin(), QELCUT_BINARY);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, QELCUT_BINARY, &fa, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  if (rc != 0) return -1;
  // Bounded: a tool that should have refused but runs instead is stopped.
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (Clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(WatchCommand, RefusesBadOptionsAndSecondQueue) {
  TempHome home;
  EXPECT_EQ(runTool({"watch", "--help"}), 0);
  EXPECT_EQ(runTool({"watch", "--home", home.path(), "--bogus"}), 2);
  EXPECT_EQ(runTool({"watch", "--home", home.path(), "--time-scale", "fast"}), 2);
  EXPECT_EQ(runTool({"watch", "--home", home.path(), "--time-scale"}), 2);
  // A second queue on the same home would take the same files.
  pid_t first = startWatch(home.path());
  ASSERT_GT(first, 0);
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (home.readFile("watch.log").find(" home ") == std::string::npos && Clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(runTool({"watch", "--home", home.path()}), 1);
  ::kill(first, SIGINT);
  int status = waitExit(first);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_NE(home.readFile("watch.log").find("stopped"), std::string::npos);
}

TEST(KillRestart, DisposeModeLosesNothing) { runKillRestart(6, 200, 15); }

TEST(KillRestart, DirectModeLosesNothing) { runKillRestart(5, 200, 10); }

}  // namespace
