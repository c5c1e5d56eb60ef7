#pragma once
// The faults a simulated machine can be told to produce, by name: each kind of simulator (the
// motion coordinator, the network controller) has its own, a few are shared. The same names
// serve the command line (--wrong-crc, --close-after 100) and the control file that switches
// them at run time (wrong-crc=on, close-after=100).
#include <map>
#include <string>
#include <vector>

namespace qel::sim {

enum class SimKind : unsigned { Coordinator = 1u << 0, Network = 1u << 1 };

constexpr unsigned kindBit(SimKind k) { return static_cast<unsigned>(k); }
const char* kindName(SimKind k);

struct FaultSwitch {
  const char* name;  // option --name, control-file key name
  bool counted;      // takes a count (off: −1); otherwise on (1) or off (0)
  unsigned kinds;    // kindBit()s of the simulators that can produce it
  const char* help;
};

// Every fault of every kind, in the order the help lists them.
const std::vector<FaultSwitch>& faultSwitches();
const FaultSwitch* findFaultSwitch(const std::string& name);

// Setting of each fault named so far: 0/1 for on/off faults, a count or −1 (off) for counted
// ones. A fault not in the map is off.
using FaultValues = std::map<std::string, long long>;

// Reads a fault's value as the control file writes it: on/off, yes/no, true/false, 1/0 for an
// on/off fault; a whole number from 0, or "off", for a counted one. False for anything else.
bool parseFaultValue(const FaultSwitch& f, const std::string& text, long long& value);

// The text of a setting for the log: "wrong-crc on", "close-after 100", "busy off".
std::string describeFault(const FaultSwitch& f, long long value);

// Takes every fault option out of args (--name for an on/off fault, --name N or --name=N for a
// counted one) into values. False with a message for a bad count or for a fault the kind
// cannot produce.
bool takeFaultOptions(std::vector<std::string>& args, SimKind kind, FaultValues& values, std::string* error);

// The help lines of the faults some of kinds (kindBit()s) can produce, each followed by the
// kinds that can produce it.
std::string faultOptionsHelp(unsigned kinds = ~0u);

// Reads a control file's text: one "fault=value" a line; blank lines and lines starting with
// '#' are skipped. Lines naming an unknown fault, a fault the kind cannot produce or a bad
// value are left out, each with its line number in *problems.
FaultValues parseFaultControl(const std::string& text, SimKind kind, std::vector<std::string>* problems);

}  // namespace qel::sim
