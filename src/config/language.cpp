#include "config/language.h"

#include <atomic>

#include "config/ini_config.h"

namespace qel::config {

namespace {
std::atomic<int> flag{1};
}

int languageFlag() { return flag.load(std::memory_order_relaxed); }
void setLanguageFlag(int f) { flag.store(f, std::memory_order_relaxed); }

int loadLanguageFlag(const CIniConfig& cfg) {
  const int f = cfg.read(keys::Language_Type);
  setLanguageFlag(f);
  return f;
}

}  // namespace qel::config
