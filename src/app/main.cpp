// qelcut: the command-line front end of the cutting system.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/command.h"

namespace {

void printToolHelp() {
  std::printf(
      "usage: qelcut COMMAND [options]\n\n"
      "QEL Cutting System: prepares HPGL plot files for cutting and sends them to the machine.\n\n"
      "commands:\n");
  std::vector<qel::app::Command> list = qel::app::commands();
  std::sort(list.begin(), list.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  for (const auto& c : list) std::printf("  %-10s %s\n", c.name.c_str(), c.summary.c_str());
  std::printf("\n  --version  print the version and end\n");
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
