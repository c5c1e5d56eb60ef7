// Standalone coordinator simulator for demos: serves loopback TCP (and optionally a pty) until
// standard input closes.
#include <cstdio>
#include <cstring>
#include <string>

#include "coordinator_sim.h"

int main(int argc, char** argv) {
  std::string address = "127.0.0.1";
  int port = 0, remote = 3240;
  bool pty = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--address" && i + 1 < argc) address = argv[++i];
    else if (a == "--port" && i + 1 < argc) port = std::atoi(argv[++i]);
    else if (a == "--remote-port" && i + 1 < argc) remote = std::atoi(argv[++i]);
    else if (a == "--pty") pty = true;
    else {
      std::fprintf(stderr, "usage: qel-coordinator-sim [--address 127.0.0.x] [--port N] [--remote-port N|-1] [--pty]\n");
      return a == "--help" ? 0 : 2;
    }
  }
  qel::sim::CoordinatorSim sim;
  if (!sim.listenTcp(address, port, remote)) {
    std::fprintf(stderr, "cannot listen on %s (loopback addresses only)\n", address.c_str());
    return 1;
  }
  std::printf("MPE on %s:%d\n", address.c_str(), sim.mpePort());
  if (pty) std::printf("serial line %s\n", sim.openPty().c_str());
  std::fflush(stdout);
  char buf[64];
  while (std::fgets(buf, sizeof buf, stdin)) {
  }
  return 0;
}
