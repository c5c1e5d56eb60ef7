// Standalone coordinator simulator for programs that drive it through a pipe (the controller
// library's C and Python clients): serves loopback TCP (and optionally a pty) until standard
// input closes. With --services it is the whole coordinator: the multiplexed stream on 3241, the
// control port on 3240 and the command line on 23, over one machine model. `qelcut sim` is the
// simulator for people: the same coordinator with logs, kept files and run-time faults.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "coordinator_services.h"
#include "coordinator_sim.h"
#include "fault_switches.h"

int main(int argc, char** argv) {
  std::string address = "127.0.0.1";
  int port = 0, remote = 3240, command = 23;
  bool pty = false, services = false, portGiven = false;
  qel::sim::CoordinatorFaults faults;
  int busyPolls = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--address" && i + 1 < argc) address = argv[++i];
    else if (a == "--port" && i + 1 < argc) port = std::atoi(argv[++i]), portGiven = true;
    else if (a == "--remote-port" && i + 1 < argc) remote = std::atoi(argv[++i]);
    else if (a == "--command-port" && i + 1 < argc) command = std::atoi(argv[++i]);
    else if (a == "--pty") pty = true;
    else if (a == "--services") services = true;
    else if (a == "--fault" && i + 1 < argc) {
      // NAME or NAME=VALUE, by the names of `qelcut sim`; a few older names are kept.
      std::string f = argv[++i];
      const auto eq = f.find('=');
      std::string name = f.substr(0, eq), value = eq == std::string::npos ? "on" : f.substr(eq + 1);
      if (name == "silent") name = "download-silent";
      else if (name == "drop") name = "close-after";
      const qel::sim::FaultSwitch* sw = qel::sim::findFaultSwitch(name);
      long long v = 0;
      if (!sw || !(sw->kinds & qel::sim::kindBit(qel::sim::SimKind::Coordinator)) ||
          !qel::sim::parseFaultValue(*sw, value, v)) {
        std::fprintf(stderr, "unknown fault %s\n", f.c_str());
        return 2;
      }
      if (name == "busy") busyPolls = static_cast<int>(v < 0 ? 0 : v);
      else qel::sim::setCoordinatorFault(faults, name, v);
    }
    else {
      std::fprintf(stderr,
                   "usage: qel-coordinator-sim [--address 127.0.0.x] [--port N] [--remote-port N|-1] [--pty]\n"
                   "       qel-coordinator-sim --services [--address 127.0.0.x] [--port N (3241)]\n"
                   "                           [--remote-port N (3240)] [--command-port N|-1 (23)] [--pty]\n"
                   "                           [--fault NAME[=VALUE]]... (the coordinator faults of `qelcut sim --help`;\n"
                   "                           silent is download-silent here, drop=N is close-after=N)\n");
      return a == "--help" ? 0 : 2;
    }
  }
  char buf[64];
  if (services) {
    qel::sim::CoordinatorServiceOptions o;
    o.mpePort = portGiven ? port : 3241;
    o.controlPort = remote;
    o.commandPort = command;
    o.pty = pty;
    std::string error;
    auto s = qel::sim::startCoordinatorServices(address, o, &error);
    if (!s) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
    s->sim().setFaults(faults);
    s->model().setBusyPolls(busyPolls);
    std::printf("MPE on %s:%d\n", address.c_str(), s->mpePort());
    if (s->controlPort() >= 0) std::printf("control port %s:%d\n", address.c_str(), s->controlPort());
    if (s->commandPort() >= 0) std::printf("command line %s:%d\n", address.c_str(), s->commandPort());
    if (pty) std::printf("serial line %s\n", s->ptyPath().c_str());
    std::fflush(stdout);
    while (std::fgets(buf, sizeof buf, stdin)) {
    }
    return 0;
  }
  qel::sim::CoordinatorSim sim;
  if (!sim.listenTcp(address, port, remote)) {
    std::fprintf(stderr, "cannot listen on %s (loopback addresses only)\n", address.c_str());
    return 1;
  }
  std::printf("MPE on %s:%d\n", address.c_str(), sim.mpePort());
  if (pty) std::printf("serial line %s\n", sim.openPty().c_str());
  std::fflush(stdout);
  while (std::fgets(buf, sizeof buf, stdin)) {
  }
  return 0;
}
