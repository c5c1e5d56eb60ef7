// Config.ini made of fuzzer bytes: every key the file holds is read, one key is written (one
// the file holds, or a new one), and then no other key may read differently, the written key
// reads back as written, and a UTF-16 file keeps its stray last byte.
#include <strings.h>

#include <cctype>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "config/ini_file.h"
#include "fuzz/fuzz_support.h"

namespace {

using qel::config::checkProfileBytes;
using qel::config::readProfileString;
using qel::config::readProfileText;
using qel::config::writeProfileString;

std::string trimmed(std::string_view s) {
  auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return std::string(s);
}

// Every (section, key) the text names, in a plain reading of the format: "[name]" starts a
// section, "key=value" inside one is a key.
std::vector<std::pair<std::string, std::string>> keysOf(std::string_view text) {
  std::vector<std::pair<std::string, std::string>> out;
  bool inSection = false;
  std::string section;
  while (!text.empty()) {
    std::size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
    std::string t = trimmed(line);
    if (t.size() >= 2 && t.front() == '[' && t.find(']') != std::string::npos) {
      section = trimmed(std::string_view(t).substr(1, t.find(']') - 1));
      inSection = true;
      continue;
    }
    std::size_t eq = line.find('=');
    if (!inSection || eq == std::string_view::npos) continue;
    std::string key = trimmed(line.substr(0, eq));
    if (!key.empty()) out.emplace_back(section, key);
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using qel::fuzz::check;
  if (size == 0) return 0;
  const std::uint8_t sel = data[0];
  const std::string raw(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string path = qel::fuzz::scratchDir() + "/Config.ini";
  qel::fuzz::writeBytes(path, raw.data(), raw.size());
  (void)checkProfileBytes(raw);

  const std::string text = readProfileText(path).value_or("");
  const auto keys = keysOf(text);
  const std::string absent = "\x01" "absent";
  std::vector<std::string> before;
  for (const auto& [s, k] : keys) before.push_back(readProfileString(path, s, k, absent, 100000));

  std::pair<std::string, std::string> target{"Fuzz_Section", "Fuzz_Key"};
  if ((sel & 1) && !keys.empty()) target = keys[(sel >> 1) % keys.size()];
  const std::string value = "v" + std::to_string(size);
  check(writeProfileString(path, target.first, target.second, value), "the write failed");

  check(readProfileString(path, target.first, target.second, absent) == value,
        "the written key [" + target.first + "] " + target.second + " does not read back");
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const auto& [s, k] = keys[i];
    if (::strcasecmp(s.c_str(), target.first.c_str()) == 0 && ::strcasecmp(k.c_str(), target.second.c_str()) == 0) continue;
    check(readProfileString(path, s, k, absent, 100000) == before[i], "key [" + s + "] " + k + " changed");
  }
  const std::string after = qel::fuzz::readBytes(path);
  const bool utf16 = raw.size() >= 2 && raw[0] == '\xFF' && raw[1] == '\xFE';
  if (utf16) {
    check(after.size() % 2 == raw.size() % 2, "a UTF-16 file changed the parity of its length");
    if (raw.size() % 2 == 1) check(after.back() == raw.back(), "a UTF-16 file lost its stray last byte");
  }
  return 0;
}
