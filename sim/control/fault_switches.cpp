#include "fault_switches.h"

#include <cerrno>
#include <algorithm>
#include <cstdlib>

namespace qel::sim {

namespace {
constexpr unsigned kCoordinator = kindBit(SimKind::Coordinator);
constexpr unsigned kNetwork = kindBit(SimKind::Network);
constexpr unsigned kBoth = kCoordinator | kNetwork;

std::string trim(const std::string& s) {
  const auto a = s.find_first_not_of(" \t\r");
  if (a == std::string::npos) return {};
  const auto b = s.find_last_not_of(" \t\r");
  return s.substr(a, b - a + 1);
}

std::string kindsText(unsigned kinds) {
  if (kinds == kBoth) return "both kinds";
  return kinds == kCoordinator ? "coordinator" : "network";
}
}  // namespace

const char* kindName(SimKind k) { return k == SimKind::Coordinator ? "coordinator" : "network"; }

const std::vector<FaultSwitch>& faultSwitches() {
  static const std::vector<FaultSwitch> list = {
      {"silent", false, kBoth, "answer nothing at all"},
      {"busy", true, kBoth,
       "network: answer the next N start requests busy; coordinator: report the running program busy for the "
       "next N polls"},
      {"close-after", true, kBoth, "drop the connection after N bytes of a file"},
      {"abort", false, kCoordinator, "refuse every file download with ABORT"},
      {"abort-at", true, kCoordinator, "answer ABORT after N bytes of a download (mid-file)"},
      {"wrong-crc", false, kCoordinator, "answer a CRC that does not match the file"},
      {"download-silent", false, kCoordinator, "answer nothing after a download"},
      {"command-silent", false, kCoordinator, "the command line and the control port answer nothing"},
      {"noise", false, kCoordinator, "a wrong CRC answer on the other data channels first"},
      {"wrong-load-echo", false, kCoordinator, "garble the echo of LOAD_PROJECT"},
      {"never-ready", false, kCoordinator, "never say ready after LOAD_PROJECT"},
      {"refuse-header", false, kCoordinator, "refuse every program header"},
      {"refuse-file", false, kCoordinator, "refuse every program body"},
      {"wrong-key-echo", false, kCoordinator, "garble the echo of the project key"},
      {"wrong-loadsystem-prompt", false, kCoordinator, "answer LOADSYSTEM as an unknown command"},
      {"wrong-confirm", false, kCoordinator, "answer the system loader's confirmation with another text"},
      {"bad-echo-at", true, kCoordinator, "system loader: corrupt the echo of data byte N (from 0)"},
      {"serial-stall", false, kNetwork, "the serial peer (--serial) stops reading; the line fills up"},
  };
  return list;
}

const FaultSwitch* findFaultSwitch(const std::string& name) {
  for (const FaultSwitch& f : faultSwitches())
    if (name == f.name) return &f;
  return nullptr;
}

bool parseFaultValue(const FaultSwitch& f, const std::string& textIn, long long& value) {
  const std::string text = trim(textIn);
  if (!f.counted) {
    if (text == "on" || text == "yes" || text == "true" || text == "1") value = 1;
    else if (text == "off" || text == "no" || text == "false" || text == "0") value = 0;
    else return false;
    return true;
  }
  if (text == "off" || text == "-1") {
    value = -1;
    return true;
  }
  if (text.empty() || text[0] < '0' || text[0] > '9') return false;
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(text.c_str(), &end, 10);
  if (*end != '\0' || errno != 0 || v > (1LL << 40)) return false;
  value = v;
  return true;
}

std::string describeFault(const FaultSwitch& f, long long value) {
  if (!f.counted) return std::string(f.name) + (value != 0 ? " on" : " off");
  return std::string(f.name) + (value < 0 ? " off" : " " + std::to_string(value));
}

bool takeFaultOptions(std::vector<std::string>& args, SimKind kind, FaultValues& values, std::string* error) {
  for (std::size_t i = 0; i < args.size();) {
    const std::string& a = args[i];
    if (a.rfind("--", 0) != 0) {
      ++i;
      continue;
    }
    const auto eq = a.find('=');
    const FaultSwitch* f = findFaultSwitch(a.substr(2, eq == std::string::npos ? std::string::npos : eq - 2));
    if (!f) {
      ++i;
      continue;
    }
    const std::string option = std::string("--") + f->name;
    if (!(f->kinds & kindBit(kind))) {
      *error = option + " is a fault of the " + kindsText(f->kinds) + " simulator; --kind " + kindName(kind) +
               " cannot produce it";
      return false;
    }
    std::size_t used = 1;
    std::string text = "on";
    if (f->counted) {
      if (eq != std::string::npos) {
        text = a.substr(eq + 1);
      } else if (i + 1 < args.size()) {
        text = args[i + 1];
        used = 2;
      } else {
        *error = option + " is missing its count";
        return false;
      }
    } else if (eq != std::string::npos) {
      text = a.substr(eq + 1);
    }
    long long v = 0;
    if (!parseFaultValue(*f, text, v)) {
      *error = option + (f->counted ? " takes a count from 0, not '" : " takes on or off, not '") + text + "'";
      return false;
    }
    values[f->name] = v;
    args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i + used));
  }
  return true;
}

std::string faultOptionsHelp(unsigned kinds) {
  constexpr std::size_t kIndent = 23, kWidth = 92;
  std::string out;
  for (const FaultSwitch& f : faultSwitches()) {
    if (!(f.kinds & kinds)) continue;
    std::string line = std::string("  --") + f.name + (f.counted ? " N" : "");
    // The text after the option, wrapped under its first column.
    const std::string text = std::string(f.help) + " [" + kindsText(f.kinds) + "]";
    std::size_t pos = 0;
    while (pos < text.size()) {
      if (line.size() >= kIndent) {
        out += line + "\n";
        line.clear();
      }
      line.resize(kIndent, ' ');
      std::size_t end = std::min(text.size(), pos + (kWidth - kIndent));
      if (end < text.size()) {
        const std::size_t space = text.rfind(' ', end);
        if (space != std::string::npos && space > pos) end = space;
      }
      line += text.substr(pos, end - pos);
      pos = end < text.size() && text[end] == ' ' ? end + 1 : end;
    }
    out += line + "\n";
  }
  return out;
}

FaultValues parseFaultControl(const std::string& text, SimKind kind, std::vector<std::string>* problems) {
  FaultValues values;
  std::size_t pos = 0;
  int number = 0;
  while (pos <= text.size()) {
    const auto nl = text.find('\n', pos);
    const std::string line = trim(text.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos));
    pos = nl == std::string::npos ? text.size() + 1 : nl + 1;
    ++number;
    if (line.empty() || line[0] == '#') continue;
    const std::string where = "line " + std::to_string(number) + ": ";
    const auto eq = line.find('=');
    if (eq == std::string::npos) {
      if (problems) problems->push_back(where + "'" + line + "' is not fault=value");
      continue;
    }
    const std::string name = trim(line.substr(0, eq));
    const FaultSwitch* f = findFaultSwitch(name);
    long long v = 0;
    if (!f) {
      if (problems) problems->push_back(where + "no fault is called '" + name + "'");
    } else if (!(f->kinds & kindBit(kind))) {
      if (problems)
        problems->push_back(where + name + " is a fault of the " + kindsText(f->kinds) + " simulator, not of the " +
                            kindName(kind));
    } else if (!parseFaultValue(*f, line.substr(eq + 1), v)) {
      if (problems)
        problems->push_back(where + name + (f->counted ? " takes a count from 0 or off" : " takes on or off"));
    } else {
      values[name] = v;
    }
  }
  return values;
}

}  // namespace qel::sim
