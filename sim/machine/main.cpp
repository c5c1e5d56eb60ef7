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
      std::printf("usage: qel-machine-sim [options]\n\n%s\nfaults (also as fault=value lines of --control FILE):\n%s",
                  qel::sim::machineSimOptionsHelp(),
                  qel::sim::faultOptionsHelp(qel::sim::kindBit(qel::sim::SimKind::Network)).c_str());
      return 0;
    }
  qel::sim::MachineSimSettings s;
  std::string error;
  if (!qel::sim::takeMachineSimOptions(args, s, &error) ||
      !qel::sim::takeFaultOptions(args, qel::sim::SimKind::Network, s.faults, &error)) {
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
  qel::sim::FaultSetter setFault;
  auto sims = qel::sim::machineSimulators(s, print, &setFault);
  return qel::sim::runSimulators(std::move(sims), print, qel::sim::SimKind::Network, s, setFault);
}
