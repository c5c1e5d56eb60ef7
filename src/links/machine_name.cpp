#include "links/machine_name.h"

#include <cctype>
#include <deque>
#include <mutex>
#include <sstream>
#include <utility>

#include "platform/code_page.h"
#include "platform/files.h"

namespace qel::links {

namespace {

std::mutex g_register;  // serialises the register's read-modify-write within the process

// The coordinator's file names are compared without regard to case.
bool sameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

}  // namespace

std::string machineName(const std::string& fileName, const std::function<bool(const std::string&)>& takenByOther) {
  const std::string::size_type dot = fileName.find_last_of('.');
  const bool hasExt = dot != std::string::npos && dot > 0;
  const std::string base = platform::toSystemCodePage(hasExt ? fileName.substr(0, dot) : fileName);
  const std::string ext = hasExt ? platform::toSystemCodePage(fileName.substr(dot)) : std::string();
  const std::string shortExt(platform::cutAtCharacter(ext, kMachineExtensionBytes));
  if (base.size() <= kMachineNameBytes && !base.empty() && !takenByOther(base + shortExt)) return base + shortExt;
  // The register holds at most kMaxMachineNames names, so a free number is found long before
  // the tail would leave no room for a prefix.
  std::string name;
  for (int n = 1; n < 1000000; ++n) {
    const std::string tail = "~" + std::to_string(n);
    name = std::string(platform::cutAtCharacter(base, kMachineNameBytes - tail.size())) + tail + shortExt;
    if (!takenByOther(name)) break;
  }
  return name;
}

std::string registerMachineName(const std::string& homeDir, const std::string& fileName) {
  std::lock_guard<std::mutex> lock(g_register);
  // One line a file: a tab or line break in a file name would split it.
  std::string key = fileName;
  for (char& c : key)
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  const std::string path = homeDir + (homeDir.empty() || homeDir.back() == '/' ? "" : "/") + "MachineNames.txt";
  std::deque<std::pair<std::string, std::string>> entries;  // name, file name; oldest first
  if (const auto text = platform::readWholeFile(path)) {
    std::istringstream in(*text);
    std::string line;
    while (std::getline(in, line)) {
      const auto tab = line.find('\t');
      if (tab == std::string::npos || tab == 0) continue;
      entries.emplace_back(line.substr(0, tab), line.substr(tab + 1));
    }
  }
  // The same file keeps its name (the newest entry for it).
  for (auto it = entries.rbegin(); it != entries.rend(); ++it)
    if (it->second == key) return it->first;
  // The oldest names make room first: the machine is taken to have let go of those files.
  while (entries.size() >= kMaxMachineNames) entries.pop_front();
  const std::string name = machineName(fileName, [&](const std::string& candidate) {
    for (const auto& e : entries)
      if (sameName(e.first, candidate)) return true;
    return false;
  });
  entries.emplace_back(name, key);
  std::string out;
  for (const auto& e : entries) out += e.first + '\t' + e.second + '\n';
  platform::writeFileAtomically(path, out);
  return name;
}

}  // namespace qel::links
