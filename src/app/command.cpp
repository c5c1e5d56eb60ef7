#include "app/command.h"

namespace qel::app {

namespace {
std::vector<Command>& registry() {
  static std::vector<Command> list;
  return list;
}
}  // namespace

void registerCommand(Command c) { registry().push_back(std::move(c)); }
const std::vector<Command>& commands() { return registry(); }

bool wantsHelp(const std::vector<std::string>& args) {
  for (const auto& a : args)
    if (a == "--help" || a == "-h") return true;
  return false;
}

std::optional<std::string> takeOption(std::vector<std::string>& args, const std::string& name,
                                      bool* missingValue) {
  if (missingValue) *missingValue = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == name) {
      if (i + 1 >= args.size()) {
        if (missingValue) *missingValue = true;
        args.erase(args.begin() + static_cast<long>(i));
        return std::nullopt;
      }
      std::string v = args[i + 1];
      args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
      return v;
    }
    if (args[i].rfind(name + "=", 0) == 0) {
      std::string v = args[i].substr(name.size() + 1);
      args.erase(args.begin() + static_cast<long>(i));
      return v;
    }
  }
  return std::nullopt;
}

bool takeFlag(std::vector<std::string>& args, const std::string& name) {
  for (size_t i = 0; i < args.size(); ++i)
    if (args[i] == name) {
      args.erase(args.begin() + static_cast<long>(i));
      return true;
    }
  return false;
}

}  // namespace qel::app
