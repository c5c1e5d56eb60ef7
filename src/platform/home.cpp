#include "platform/home.h"

#include <cstdlib>

namespace qel::platform {

namespace {
std::string stripTrailingSlashes(std::string s) {
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}
const char* nonEmptyEnv(const char* name) {
  const char* v = std::getenv(name);
  return (v && *v) ? v : nullptr;
}
}  // namespace

std::string resolveHome(const std::optional<std::string>& option) {
  if (option && !option->empty()) return stripTrailingSlashes(*option);
  if (const char* h = nonEmptyEnv("QELCUT_HOME")) return stripTrailingSlashes(h);
  if (const char* x = nonEmptyEnv("XDG_DATA_HOME")) return stripTrailingSlashes(x) + "/qelcut";
  if (const char* home = nonEmptyEnv("HOME")) return stripTrailingSlashes(home) + "/.local/share/qelcut";
  return "./qelcut";
}

std::string withTrailingSlash(std::string dir) {
  if (dir.empty() || dir.back() != '/') dir.push_back('/');
  return dir;
}

}  // namespace qel::platform
