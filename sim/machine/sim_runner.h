#pragma once
// Runs the simulated machine(s) in the foreground until SIGINT or SIGTERM: the command-line
// front of the simulators, shared by `qelcut sim` and the standalone qel-machine-sim.
#include <functional>
#include <string>
#include <vector>

namespace qel::sim {

struct MachineSimSettings {
  std::string bind = "127.0.0.1";
  int port = 3241;
  int busyRounds = 0;
  long long closeAfterBytes = -1;
  bool silent = false;
  bool serial = false;   // also a serial peer on a pseudo-terminal
  std::string storeDir;  // received files are written here when set
};

// Takes the simulator options out of args (--bind, --port, --busy, --close-after, --silent,
// --serial, --store). False with a message in *error for a bad value.
bool takeMachineSimOptions(std::vector<std::string>& args, MachineSimSettings& s, std::string* error);

// Help lines of those options.
const char* machineSimOptionsHelp();

// One simulator of the list that `run` starts: its name, how to start it (filling in where it
// listens) and how to stop it.
struct SimulatorEntry {
  std::string name;
  std::function<bool(std::string* where, std::string* error)> start;
  std::function<void()> stop;
};

// The simulators the settings ask for, reporting their events through print.
std::vector<SimulatorEntry> machineSimulators(const MachineSimSettings& s, std::function<void(const std::string&)> print);

// Starts every entry, prints where each listens, waits for SIGINT/SIGTERM, stops them all.
// Returns the process exit code (1 when a simulator could not start).
int runSimulators(std::vector<SimulatorEntry> sims, std::function<void(const std::string&)> print);

}  // namespace qel::sim
