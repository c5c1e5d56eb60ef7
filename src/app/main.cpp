// qelcut: the command-line front end of the cutting system. The same dispatcher serves the
// desktop program's executable (qelcut-gui), to which qelcut hands the window commands.
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <initializer_list>
#include <cstdio>
#include <string>
#include <vector>

#include "app/command.h"

namespace {

struct Forwarded {
  const char* name;
  const char* summary;
  const char* program;  // the executable beside this one that runs the command
  // When set, the command is handed on only with one of these options (else it runs here).
  std::initializer_list<const char*> onlyWith = {};

  bool takes(const std::vector<std::string>& args) const {
    if (!name || args[0] != name) return false;
    if (onlyWith.size() == 0) return true;
    return std::any_of(args.begin() + 1, args.end(), [this](const std::string& a) {
      for (const char* o : onlyWith)
        if (a == o || a.rfind(std::string(o) + "=", 0) == 0) return true;
      return false;
    });
  }
};

// Commands run by the executables beside this one: the desktop program's (qelcut-gui), the
// camera's (qelcut-camera) and the printer application's (qelcut-printer-app), so that the plain
// commands load neither widgets, image libraries nor the printing framework.
constexpr Forwarded kForwardedCommands[] = {
#ifdef QEL_HAS_DESKTOP_PROGRAM
    {"gui", "open the desktop program (main window and send queue)", "qelcut-gui"},
    {"screenshots", "render every window of the desktop program to PNG files", "qelcut-gui"},
#endif
#ifdef QEL_HAS_PRINTER_PROGRAM
    {"printer-app", "serve every cutter as a network printer (IPP Everywhere) with a web page", "qelcut-printer-app"},
#endif
#ifdef QEL_HAS_CAMERA_PROGRAM
#define QEL_CAMERA_COMMAND(name, summary) {name, summary, "qelcut-camera"},
#include "camera_commands.inc"
#undef QEL_CAMERA_COMMAND
#endif
#ifdef QEL_SIM_TABLE_IN_CAMERA_PROGRAM
    // A simulated machine with a printed sheet on its table draws camera frames: the camera
    // program runs it, so that the plain simulator loads no image library.
    {"sim", nullptr, "qelcut-camera",
     {"--sheet", "--print-scale", "--print-rotate", "--mark-faults", "--codes", "--print-stretch", "--print-drift",
      "--sheet-off", "--code-format"}},
#endif
    {nullptr, nullptr, nullptr},
};

std::string siblingProgram(const char* name) {
  char self[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return {};
  self[n] = '\0';
  std::string dir(self);
  dir.erase(dir.find_last_of('/') + 1);
  return dir + name;
}

// Runs the command line in the executable `name` beside this one; returns only when it cannot.
int handOn(const char* name, int argc, char** argv) {
  const std::string program = siblingProgram(name);
  std::vector<char*> av;
  av.push_back(const_cast<char*>(program.c_str()));
  for (int i = 1; i < argc; ++i) av.push_back(argv[i]);
  av.push_back(nullptr);
  ::execv(program.c_str(), av.data());
  std::fprintf(stderr, "qelcut: the program %s cannot be started\n", program.c_str());
  return 1;
}

void printToolHelp() {
  std::printf(
      "usage: qelcut COMMAND [options]\n\n"
      "QEL Cutting System: prepares HPGL plot files for cutting and sends them to the machine.\n\n"
      "commands:\n");
  std::vector<std::pair<std::string, std::string>> list;
  for (const auto& c : qel::app::commands()) list.emplace_back(c.name, c.summary);
  for (const auto& f : kForwardedCommands)
    if (f.summary) list.emplace_back(f.name, f.summary);
  std::sort(list.begin(), list.end());
  list.erase(std::unique(list.begin(), list.end()), list.end());
  for (const auto& [name, summary] : list) std::printf("  %-12s %s\n", name.c_str(), summary.c_str());
  std::printf("\n  %-12s %s\n", "--version", "print the version and end");
  std::printf("\nEvery command takes --home DIR (default: $QELCUT_HOME, else ~/.local/share/qelcut)\n"
              "and --help. 'qelcut COMMAND --help' describes one command.\n");
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    printToolHelp();
    return args.empty() ? 2 : 0;
  }
  if (args[0] == "--version" || args[0] == "-V") {
    std::printf("qelcut %s\n", QELCUT_VERSION);
    return 0;
  }
  for (const auto& f : kForwardedCommands)
    if (f.takes(args)) return handOn(f.program, argc, argv);
  for (const auto& c : qel::app::commands()) {
    if (c.name != args[0]) continue;
    std::vector<std::string> rest(args.begin() + 1, args.end());
    if (qel::app::wantsHelp(rest)) {
      std::printf("%s", c.usage.c_str());
      return 0;
    }
    return c.run(rest);
  }
  std::fprintf(stderr, "qelcut: unknown command '%s' (see 'qelcut --help')\n", args[0].c_str());
  return 2;
}
