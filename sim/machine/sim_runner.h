#pragma once
// Runs the simulated machine(s) in the foreground until SIGINT or SIGTERM: the command-line
// front of the simulators, shared by `qelcut sim` and the standalone qel-machine-sim.
#include <functional>
#include <string>
#include <vector>

#include "fault_switches.h"

namespace qel::sim {

struct MachineSimSettings {
  std::string bind = "127.0.0.1";
  int port = 3241;
  bool serial = false;      // also a serial peer on a pseudo-terminal
  std::string storeDir;     // received files are written here when set
  std::string controlFile;  // faults switched at run time from here when set
  FaultValues faults;       // faults from the start (takeFaultOptions)
};

// Takes the simulator options out of args (--bind, --port, --serial, --store, --control).
// False with a message in *error for a bad value. The faults are takeFaultOptions()'.
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

// Switches one fault of running simulators by name (fault_switches.h); any thread.
using FaultSetter = std::function<void(const std::string& name, long long value)>;

// The network kind's simulators the settings ask for, with the settings' faults switched on,
// reporting their events through print; *setFault (when given) switches their faults later.
std::vector<SimulatorEntry> machineSimulators(const MachineSimSettings& s, std::function<void(const std::string&)> print,
                                              FaultSetter* setFault = nullptr);

// Starts every entry, prints where each listens and the faults switched on, waits for SIGINT
// or SIGTERM, stops them all. With a control file (s.controlFile), its faults are switched
// through setFault once all have started, again whenever it changes and on SIGUSR1, each
// change printed (without one, SIGUSR1 is only noted). Returns the process exit code (1 when a simulator could not start).
int runSimulators(std::vector<SimulatorEntry> sims, std::function<void(const std::string&)> print,
                  SimKind kind = SimKind::Network, const MachineSimSettings& s = {}, FaultSetter setFault = {});

}  // namespace qel::sim
