// qel-machine-sim: the simulated cutting machine (network controller, optional serial peer)
// on a loopback address, until interrupted.
#include <cstdio>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

#include "sim_runner.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  for (const std::string& a : args)
    if (a == "--help" || a == "-h") {
      std::printf("usage: qel-machine-sim [options]\n\n%s", qel::sim::machineSimOptionsHelp());
      return 0;
    }
  qel::sim::MachineSimSettings s;
  std::string error;
  if (!qel::sim::takeMachineSimOptions(args, s, &error)) {
    std::fprintf(stderr, "qel-machine-sim: %s\n", error.c_str());
    return 2;
  }
  if (!args.empty()) {
    std::fprintf(stderr, "qel-machine-sim: unexpected argument '%s'\n", args[0].c_str());
    return 2;
  }
  static std::mutex m;
  auto print = [](const std::string& line) {
    std::lock_guard<std::mutex> g(m);
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  };
  return qel::sim::runSimulators(qel::sim::machineSimulators(s, print), print);
}
