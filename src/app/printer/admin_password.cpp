// The administration password: "sha256:<salt>:<hash of salt:password>" in STATE/admin-password.
#include "app/printer/admin_password.h"

#include <cups/cups.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files.h"

namespace qel::app::printer {

namespace {

std::string fileOf(const std::string& stateDir) { return stateDir + "/admin-password"; }

std::string hashOf(const std::string& salt, const std::string& password) {
  unsigned char hash[32];
  const std::string text = salt + ":" + password;
  if (cupsHashData("sha2-256", text.data(), text.size(), hash, sizeof hash) != sizeof hash) return {};
  char hex[65];
  cupsHashString(hash, sizeof hash, hex, sizeof hex);
  return hex;
}

}  // namespace

bool writeAdminPassword(const std::string& stateDir, const std::string& password, std::string* error) {
  const std::string file = fileOf(stateDir);
  if (!platform::makeDirectories(stateDir)) {
    *error = "cannot create the state folder " + stateDir;
    return false;
  }
  if (password.empty()) {
    if (::unlink(file.c_str()) != 0 && errno != ENOENT) {
      *error = "cannot remove " + file;
      return false;
    }
    return true;
  }
  unsigned char random[16];
  if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
    *error = "no random numbers for the password's salt";
    return false;
  }
  char salt[33];
  cupsHashString(random, sizeof random, salt, sizeof salt);
  const mode_t old = ::umask(077);
  const bool ok = platform::writeFileAtomically(file, std::string("sha256:") + salt + ":" + hashOf(salt, password) + "\n");
  ::umask(old);
  if (!ok) *error = "cannot write " + file;
  return ok;
}

std::optional<std::string> readAdminPassword(const std::string& stateDir) {
  auto text = platform::readWholeFile(fileOf(stateDir));
  if (!text) return std::nullopt;
  while (!text->empty() && (text->back() == '\n' || text->back() == '\r')) text->pop_back();
  if (text->rfind("sha256:", 0) != 0) return std::nullopt;
  return text;
}

bool matchesAdminPassword(const std::string& kept, const std::string& password) {
  const auto colon = kept.find(':', 7);
  if (kept.rfind("sha256:", 0) != 0 || colon == std::string::npos) return false;
  const std::string expected = kept.substr(colon + 1), got = hashOf(kept.substr(7, colon - 7), password);
  if (got.size() != expected.size() || expected.empty()) return false;
  unsigned char diff = 0;  // the same time for every wrong password
  for (std::size_t i = 0; i < got.size(); ++i) diff |= static_cast<unsigned char>(got[i] ^ expected[i]);
  return diff == 0;
}

}  // namespace qel::app::printer
