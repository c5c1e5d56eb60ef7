// Printer names, job file names and the listening address.
#include "app/printer/printer_names.h"

#include <arpa/inet.h>

#include <cctype>

#include "config/ini_config.h"
#include "config/modes.h"

namespace qel::app::printer {

namespace {

bool plain(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_'; }

// Keeps `keep` characters, turns every run of others into one `with`, trims it at both ends.
std::string reduce(std::string_view text, bool (*keep)(char), char with, std::size_t max) {
  std::string out;
  for (char c : text) {
    if (keep(c)) out += c;
    else if (!out.empty() && out.back() != with) out += with;
    if (out.size() >= max) break;
  }
  while (!out.empty() && (out.back() == with || out.back() == '.')) out.pop_back();
  std::size_t start = 0;
  while (start < out.size() && (out[start] == with || out[start] == '.')) ++start;
  return out.substr(start);
}

}  // namespace

std::string printerNameOf(std::string_view wanted) {
  std::string name = reduce(wanted, [](char c) { return plain(c) || c == '.'; }, '-', 63);
  return name.empty() ? std::string("Cutter") : name;
}

std::string printerNameFor(const config::CIniConfig& cfg) {
  namespace k = config::keys;
  const std::string set = cfg.read(k::Printer_Name);
  if (!reduce(set, [](char c) { return plain(c) || c == '.'; }, '-', 63).empty()) return printerNameOf(set);
  const int type = cfg.read(k::Xitong_TT);
  switch (type) {
    case +config::LinkType::Parallel: return printerNameOf("Parallel-LPT" + std::to_string(cfg.read(k::Parallel_No)));
    case +config::LinkType::Serial: return printerNameOf("Serial-" + cfg.read(k::Serial_Comport));
    case +config::LinkType::Controller: return printerNameOf("QEL-DSP-" + cfg.read(k::Xitong_IP));
    case +config::LinkType::Network: return printerNameOf("QEL-ARM-" + cfg.read(k::Xitong_IP));
    case +config::LinkType::Coordinator: return printerNameOf("QEL-MC-" + cfg.read(k::Xitong_IP));
    default: return printerNameOf("Cutter-" + std::to_string(type));
  }
}

std::string jobFileName(int jobId, std::string_view jobName, std::string_view extension) {
  std::string_view base = jobName;
  if (auto slash = base.find_last_of("/\\"); slash != std::string_view::npos) base = base.substr(slash + 1);
  if (auto dot = base.rfind('.'); dot != std::string_view::npos && dot > 0) base = base.substr(0, dot);
  std::string stem = reduce(base, plain, '_', 40);
  if (stem.empty()) stem = "job";
  return stem + "-job" + std::to_string(jobId) + std::string(extension);
}

std::optional<ListenAddress> parseListen(std::string_view text, std::string* error) {
  auto fail = [&](const std::string& why) -> std::optional<ListenAddress> {
    if (error) *error = why;
    return std::nullopt;
  };
  const auto colon = text.rfind(':');
  if (colon == std::string_view::npos) return fail("--listen wants ADDRESS:PORT, e.g. localhost:8631");
  std::string host(text.substr(0, colon));
  const std::string portText(text.substr(colon + 1));
  int port = 0;
  for (char c : portText) {
    if (!std::isdigit(static_cast<unsigned char>(c)) || port > 65535) return fail("--listen: the port must be a number from 1 to 65535");
    port = port * 10 + (c - '0');
  }
  if (portText.empty() || port < 1 || port > 65535) return fail("--listen: the port must be a number from 1 to 65535");
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  ListenAddress a;
  a.port = port;
  if (host.empty() || host == "*" || host == "0.0.0.0" || host == "::") {
    a.host.clear();  // every address
    return a;
  }
  in_addr v4{};
  in6_addr v6{};
  if (host == "localhost") a.loopback = true;
  else if (inet_pton(AF_INET, host.c_str(), &v4) == 1) a.loopback = (ntohl(v4.s_addr) >> 24) == 127;
  else if (inet_pton(AF_INET6, host.c_str(), &v6) == 1) a.loopback = IN6_IS_ADDR_LOOPBACK(&v6);
  else if (host.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-") != std::string::npos)
    return fail("--listen: '" + host + "' is not an address or host name");
  a.host = host;
  return a;
}

}  // namespace qel::app::printer
