// Standalone coordinator simulator for demos: serves loopback TCP (and optionally a pty) until
// standard input closes. With --services it is the whole coordinator: the multiplexed stream on
// 3241, the control port on 3240 and the command line on 23, over one machine model.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "coordinator_services.h"
#include "coordinator_sim.h"

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
      const std::string f = argv[++i];
      if (f == "wrong-crc") faults.downloadWrongCrc = true;
      else if (f == "abort") faults.downloadAbort = true;
      else if (f == "silent") faults.downloadSilent = true;
      else if (f == "command-silent") faults.commandSilent = true;
      else if (f.rfind("drop=", 0) == 0) faults.dropAfterBytes = std::atol(f.c_str() + 5);
      else if (f.rfind("abort-at=", 0) == 0) faults.abortAfterBytes = std::atol(f.c_str() + 9);
      else if (f.rfind("busy=", 0) == 0) busyPolls = std::atoi(f.c_str() + 5);
      else {
        std::fprintf(stderr, "unknown fault %s\n", f.c_str());
        return 2;
      }
    }
    else {
      std::fprintf(stderr,
                   "usage: qel-coordinator-sim [--address 127.0.0.x] [--port N] [--remote-port N|-1] [--pty]\n"
                   "       qel-coordinator-sim --services [--address 127.0.0.x] [--port N (3241)]\n"
                   "                           [--remote-port N (3240)] [--command-port N|-1 (23)] [--pty]\n"
                   "                           [--fault wrong-crc|abort|silent|command-silent|drop=N|abort-at=N|busy=N]...\n");
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
