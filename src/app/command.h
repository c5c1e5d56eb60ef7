#pragma once
// Sub-commands of the qelcut tool. Each command file registers itself with a static
// CommandRegistration, so adding a command touches no other file.
#include <optional>
#include <string>
#include <vector>

namespace qel::app {

struct Command {
  std::string name;
  std::string summary;  // one line for the tool's --help
  std::string usage;    // the command's own --help text
  int (*run)(const std::vector<std::string>& args);  // args after the command name
};

void registerCommand(Command c);
const std::vector<Command>& commands();

struct CommandRegistration {
  explicit CommandRegistration(Command c) { registerCommand(std::move(c)); }
};

// Small argument helpers shared by the commands.
bool wantsHelp(const std::vector<std::string>& args);
// Removes "--name VALUE" (or "--name=VALUE") from args and returns VALUE; std::nullopt when absent.
// Sets *missingValue when the option is present without a value.
std::optional<std::string> takeOption(std::vector<std::string>& args, const std::string& name,
                                      bool* missingValue = nullptr);
// Removes "--name" from args; true when it was there.
bool takeFlag(std::vector<std::string>& args, const std::string& name);

}  // namespace qel::app
