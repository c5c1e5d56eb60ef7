// qelcut sim: the simulated machine(s) on a loopback address, printing where they listen and
// what they receive, until Ctrl-C. With --configure-home it points the home folder's links at
// them instead and ends.
#include <cstdio>
#include <ctime>
#include <mutex>
#include <string>

#include "app/command.h"
#include "config/ini_config.h"
#include "platform/files.h"
#include "platform/home.h"
#ifdef QEL_HAS_MACHINE_SIM
#include "sim_runner.h"
#endif

namespace {

#ifdef QEL_HAS_MACHINE_SIM

void printStamped(const std::string& line) {
  static std::mutex m;
  std::lock_guard<std::mutex> g(m);
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  ::localtime_r(&t, &tm);
  char stamp[16];
  std::strftime(stamp, sizeof stamp, "%H:%M:%S", &tm);
  std::printf("%s sim: %s\n", stamp, line.c_str());
  std::fflush(stdout);
}

int runSim(const std::vector<std::string>& argsIn) {
  std::vector<std::string> args = argsIn;
  bool missing = false;
  auto homeOpt = qel::app::takeOption(args, "--home", &missing);
  if (missing) {
    std::fprintf(stderr, "qelcut sim: --home is missing its value\n");
    return 2;
  }
  const bool configure = qel::app::takeFlag(args, "--configure-home");
  qel::sim::MachineSimSettings s;
  std::string error;
  if (!qel::sim::takeMachineSimOptions(args, s, &error)) {
    std::fprintf(stderr, "qelcut sim: %s\n", error.c_str());
    return 2;
  }
  if (!args.empty()) {
    std::fprintf(stderr, "qelcut sim: unexpected argument '%s' (see 'qelcut sim --help')\n", args[0].c_str());
    return 2;
  }
  const std::string home = qel::platform::resolveHome(homeOpt);
  if (configure) {
    if (s.port != 3241) {
      std::fprintf(stderr, "qelcut sim: the network link always uses port 3241; --configure-home needs it\n");
      return 2;
    }
    if (!qel::platform::makeDirectories(home)) {
      std::fprintf(stderr, "qelcut sim: cannot create the home folder %s\n", home.c_str());
      return 1;
    }
    qel::config::CIniConfig cfg(home);
    cfg.write(qel::config::keys::Xitong_TT, 4);
    cfg.write(qel::config::keys::Xitong_IP, s.bind);
    std::printf("home %s: network link (Xitong_TT=4) to the simulated machine at %s\n", home.c_str(), s.bind.c_str());
    std::printf("watch folder: %s\n", cfg.read(qel::config::keys::Watcher_Dir).c_str());
    std::printf("printed folder: %s\n", cfg.read(qel::config::keys::SPD).c_str());
    return 0;
  }
  if (s.storeDir.empty()) s.storeDir = home + "/SimMachine";
  qel::platform::makeDirectories(home);
  return qel::sim::runSimulators(qel::sim::machineSimulators(s, printStamped), printStamped);
}

#else

int runSim(const std::vector<std::string>&) {
  std::fprintf(stderr, "qelcut sim: the machine simulators are not part of this build\n");
  return 1;
}

#endif

std::string usage() {
  std::string u =
      "usage: qelcut sim [--home DIR] [--bind 127.0.0.1] [options]\n\n"
      "Starts the simulated machine on a loopback address: the network controller on TCP 3241\n"
      "(and, with --serial, a serial peer on a pseudo-terminal). Prints where each listens and\n"
      "every request and file it receives; received files are written into DIR/SimMachine.\n"
      "Ctrl-C stops it.\n\n"
      "  --home DIR           home folder (default: $QELCUT_HOME, else ~/.local/share/qelcut)\n"
      "  --configure-home     only point DIR/Config.ini at the simulated machine (Xitong_TT=4,\n"
      "                       Xitong_IP = the --bind address) and print the watch folder\n";
#ifdef QEL_HAS_MACHINE_SIM
  u += qel::sim::machineSimOptionsHelp();
#endif
  return u;
}

const qel::app::CommandRegistration kSim{{
    "sim",
    "start the simulated machine on a loopback address",
    usage(),
    runSim,
}};

}  // namespace
