#include "fault_control.h"

#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <sstream>

namespace qel::sim {

FaultControlFile::FaultControlFile(std::string path, SimKind kind, FaultValues commandLine, Apply apply, Log log)
    : path_(std::move(path)),
      kind_(kind),
      commandLine_(std::move(commandLine)),
      apply_(std::move(apply)),
      log_(std::move(log)),
      current_(commandLine_) {}

FaultControlFile::~FaultControlFile() { stop(); }

void FaultControlFile::start(int pollMs) {
  reload();
  thread_ = std::thread([this, pollMs] {
    while (!stopping_) {
      std::this_thread::sleep_for(std::chrono::milliseconds(pollMs));
      std::lock_guard<std::mutex> g(mutex_);
      if (!(stampNow() == stamp_)) readLocked();
    }
  });
}

void FaultControlFile::stop() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
}

void FaultControlFile::reload() {
  std::lock_guard<std::mutex> g(mutex_);
  readLocked();
}

FaultValues FaultControlFile::current() {
  std::lock_guard<std::mutex> g(mutex_);
  return current_;
}

FaultControlFile::Stamp FaultControlFile::stampNow() const {
  Stamp s;
  struct stat st {};
  if (::stat(path_.c_str(), &st) != 0) return s;
  s.exists = true;
  s.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  s.size = static_cast<std::int64_t>(st.st_size);
  s.inode = static_cast<std::int64_t>(st.st_ino);
  return s;
}

void FaultControlFile::readLocked() {
  stamp_ = stampNow();
  std::string text;
  if (stamp_.exists) {
    std::ifstream in(path_, std::ios::binary);
    if (!in) {
      log_("control file " + path_ + " cannot be read; the faults stay as they are");
      return;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    text = ss.str();
  }
  std::vector<std::string> problems;
  FaultValues wanted = commandLine_;
  for (const auto& [name, value] : parseFaultControl(text, kind_, &problems)) wanted[name] = value;
  for (const std::string& p : problems) log_("control file " + path_ + ", " + p + " (left out)");
  // Every fault either map names, with "off" for one that is named by neither now.
  for (const FaultSwitch& f : faultSwitches()) {
    const auto was = current_.find(f.name);
    const auto now = wanted.find(f.name);
    const long long off = f.counted ? -1 : 0;
    const long long before = was == current_.end() ? off : was->second;
    const long long after = now == wanted.end() ? off : now->second;
    if (before == after) continue;
    apply_(f.name, after);
    log_("fault " + describeFault(f, after) + " (was " + describeFault(f, before).substr(std::string(f.name).size() + 1) +
         ")");
  }
  current_ = std::move(wanted);
}

}  // namespace qel::sim
