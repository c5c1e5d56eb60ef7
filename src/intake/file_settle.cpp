#include "intake/file_settle.h"

namespace qel::intake {

bool FileSettle::look(const std::string& path, const FileLook& seen, std::int64_t nowMs) {
  State& s = files_[path];
  if (!s.known || !(s.look == seen)) {
    s.known = true;
    s.look = seen;
    s.looks = 1;
    s.sinceMs = nowMs;
  } else {
    ++s.looks;
  }
  return settled(path, nowMs);
}

void FileSettle::written(const std::string& path, bool closed, std::int64_t nowMs) {
  State& s = files_[path];
  s.writing = !closed;
  s.sinceMs = nowMs;
}

bool FileSettle::settled(const std::string& path, std::int64_t nowMs) const {
  auto it = files_.find(path);
  if (it == files_.end()) return false;
  const State& s = it->second;
  const std::int64_t quiet = nowMs - s.sinceMs;
  return s.known && s.looks >= 2 && quiet >= settleMs_ && (!s.writing || quiet >= kOpenWriterQuietMs);
}

std::optional<FileLook> FileSettle::settledLook(const std::string& path) const {
  auto it = files_.find(path);
  if (it == files_.end() || !it->second.known) return std::nullopt;
  return it->second.look;
}

void FileSettle::keepOnly(const std::unordered_set<std::string>& seen) {
  for (auto it = files_.begin(); it != files_.end();) it = seen.count(it->first) ? std::next(it) : files_.erase(it);
}

}  // namespace qel::intake
