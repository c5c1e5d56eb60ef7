#include "sim_runner.h"

#include <signal.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

#include "fault_control.h"
#include "machine_sim.h"

namespace qel::sim {

namespace {

bool takeValue(std::vector<std::string>& args, const std::string& name, std::string& value, bool* present,
               std::string* error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == name) {
      if (i + 1 >= args.size()) {
        *error = name + " is missing its value";
        return false;
      }
      value = args[i + 1];
      args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
      *present = true;
      return true;
    }
    if (args[i].rfind(name + "=", 0) == 0) {
      value = args[i].substr(name.size() + 1);
      args.erase(args.begin() + static_cast<long>(i));
      *present = true;
      return true;
    }
  }
  *present = false;
  return true;
}

bool parseWhole(const std::string& text, long long lo, long long hi, long long& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  long long v = std::strtoll(text.c_str(), &end, 10);
  if (*end != '\0' || errno != 0 || v < lo || v > hi) return false;
  out = v;
  return true;
}

bool takeFlag(std::vector<std::string>& args, const std::string& name) {
  for (std::size_t i = 0; i < args.size(); ++i)
    if (args[i] == name) {
      args.erase(args.begin() + static_cast<long>(i));
      return true;
    }
  return false;
}

}  // namespace

bool takeMachineSimOptions(std::vector<std::string>& args, MachineSimSettings& s, std::string* error) {
  std::string v;
  bool present = false;
  long long n = 0;
  if (!takeValue(args, "--bind", v, &present, error)) return false;
  if (present) {
    if (!isLoopbackAddress(v)) {
      *error = "--bind takes a loopback address (127.x.x.x), not '" + v + "'";
      return false;
    }
    s.bind = v;
  }
  if (!takeValue(args, "--port", v, &present, error)) return false;
  if (present) {
    if (!parseWhole(v, 0, 65535, n)) {
      *error = "--port takes a number from 0 to 65535, not '" + v + "'";
      return false;
    }
    s.port = static_cast<int>(n);
  }
  if (!takeValue(args, "--store", v, &present, error)) return false;
  if (present) s.storeDir = v;
  if (!takeValue(args, "--control", v, &present, error)) return false;
  if (present) s.controlFile = v;
  if (takeFlag(args, "--serial")) s.serial = true;
  return true;
}

const char* machineSimOptionsHelp() {
  return "  --bind ADDR          loopback address to listen on (default 127.0.0.1; 127.x.x.x only)\n"
         "  --port N             TCP port of the network controller (default 3241; 0 any free port)\n"
         "  --serial             also a serial peer on a pseudo-terminal (its path is printed)\n"
         "  --store DIR          keep each received file in DIR (numbered; none is replaced)\n"
         "  --control FILE       switch faults while running: one fault=value a line (wrong-crc=on,\n"
         "                       close-after=100, busy=off), read again when FILE changes and on\n"
         "                       SIGUSR1; a fault FILE does not name keeps its command-line setting\n";
}

std::vector<SimulatorEntry> machineSimulators(const MachineSimSettings& s, std::function<void(const std::string&)> print,
                                              FaultSetter* setFault) {
  std::vector<SimulatorEntry> list;
  auto net = std::make_shared<NetworkMachineSim>();
  auto peer = s.serial ? std::make_shared<SerialPeerSim>() : nullptr;
  FaultSetter set = [net, peer](const std::string& name, long long value) {
    if (name == "busy") net->setBusyRounds(value < 0 ? 0 : static_cast<int>(value));
    else if (name == "close-after") net->setCloseAfterBytes(value);
    else if (name == "silent") net->setSilent(value > 0);
    else if (name == "serial-stall" && peer) peer->setReading(value <= 0);
  };
  for (const auto& [name, value] : s.faults) set(name, value);
  if (setFault) *setFault = set;
  net->setStoreDir(s.storeDir);
  net->setListener([print](const std::string& l) { print("network machine: " + l); });
  list.push_back({"network machine",
                  [net, s](std::string* where, std::string* error) {
                    if (!net->start(s.bind, s.port, error)) return false;
                    *where = "TCP " + net->address() + ":" + std::to_string(net->port());
                    if (!s.storeDir.empty()) *where += ", files into " + s.storeDir;
                    return true;
                  },
                  [net] { net->stop(); }});
  if (peer) {
    peer->setStoreDir(s.storeDir);
    peer->setListener([print](const std::string& l) { print("serial peer: " + l); });
    list.push_back({"serial peer",
                    [peer](std::string* where, std::string* error) {
                      if (!peer->open(error)) return false;
                      *where = "pseudo-terminal " + peer->path() + " (set Serial_Comport to it)";
                      return true;
                    },
                    [peer] { peer->close(); }});
  }
  return list;
}

int runSimulators(std::vector<SimulatorEntry> sims, std::function<void(const std::string&)> print, SimKind kind,
                  const MachineSimSettings& s, FaultSetter setFault) {
  // The simulators' threads inherit the blocked signals, so only sigwait() below takes them.
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGUSR1);  // reads the control file again; without one it is only noted
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  std::size_t started = 0;
  int rc = 0;
  for (; started < sims.size(); ++started) {
    std::string where, error;
    if (!sims[started].start(&where, &error)) {
      print(sims[started].name + " could not start: " + error);
      rc = 1;
      break;
    }
    print(sims[started].name + " listening on " + where);
  }
  if (rc == 0) {
    std::string on;
    for (const auto& [name, value] : s.faults)
      if (const FaultSwitch* f = findFaultSwitch(name); f && value != (f->counted ? -1 : 0))
        on += (on.empty() ? "" : ", ") + describeFault(*f, value);
    if (!on.empty()) print("faults: " + on);
    std::unique_ptr<FaultControlFile> control;
    if (!s.controlFile.empty()) {
      control = std::make_unique<FaultControlFile>(
          s.controlFile, kind, s.faults,
          [setFault](const std::string& name, long long value) {
            if (setFault) setFault(name, value);
          },
          print);
      control->start();
      print("faults switched from " + s.controlFile + " (read again when it changes and on SIGUSR1)");
    }
    print("running; Ctrl-C stops");
    for (;;) {
      int sig = 0;
      sigwait(&set, &sig);
      if (sig != SIGUSR1) break;
      if (control) control->reload();
      else print("SIGUSR1: no control file to read (see --control)");
    }
    if (control) control->stop();
    print("stopping");
  }
  for (std::size_t i = started; i-- > 0;) sims[i].stop();
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  return rc;
}

}  // namespace qel::sim
