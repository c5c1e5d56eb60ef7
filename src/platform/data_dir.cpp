#include "platform/data_dir.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace qel::platform {

namespace {

// The running program's own file, symbolic links resolved; empty when /proc does not say.
std::filesystem::path executablePath() {
  std::error_code ec;
  auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path() : p;
}

bool isUnder(const std::filesystem::path& path, const std::filesystem::path& dir) {
  auto rel = path.lexically_relative(dir);
  return !rel.empty() && *rel.begin() != "..";
}

}  // namespace

std::vector<std::string> dataDirs() {
  std::vector<std::string> dirs;
  auto add = [&dirs](const std::filesystem::path& p) {
    const std::string s = p.lexically_normal().string();
    if (!s.empty() && std::find(dirs.begin(), dirs.end(), s) == dirs.end()) dirs.push_back(s);
  };
  const auto exe = executablePath();
  if (!exe.empty()) {
    // "../share/qelcut" from the installed bin folder: found under any prefix or DESTDIR.
    add(exe.parent_path() / QEL_DATA_DIR_FROM_BIN);
#ifdef QEL_BUILD_DIR
    // The build's own data only for programs of that build, never for an installed copy.
    if (isUnder(exe, QEL_BUILD_DIR)) add(QEL_BUILD_DIR "/data");
#endif
  }
  add(QEL_INSTALL_DATA_DIR);
  return dirs;
}

std::string findDataFile(const std::string& name) {
  std::error_code ec;
  for (const auto& d : dataDirs()) {
    const std::string path = d + "/" + name;
    if (std::filesystem::is_regular_file(path, ec)) return path;
  }
  return {};
}

}  // namespace qel::platform
