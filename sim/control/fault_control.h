#pragma once
// Switches a running simulator's faults from a control file: one "fault=value" a line, read
// again whenever the file changes (and on request, for SIGUSR1). The file's lines lie on top of
// the command line's faults: a fault the file does not name has its command-line setting, so
// emptying or removing the file returns to the faults the simulator started with.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "fault_switches.h"

namespace qel::sim {

class FaultControlFile {
 public:
  // Told of each fault whose setting changes (name, new value), on the watching thread or the
  // thread that calls reload(); never two at a time.
  using Apply = std::function<void(const std::string& name, long long value)>;
  using Log = std::function<void(const std::string& line)>;

  FaultControlFile(std::string path, SimKind kind, FaultValues commandLine, Apply apply, Log log);
  ~FaultControlFile();
  FaultControlFile(const FaultControlFile&) = delete;
  FaultControlFile& operator=(const FaultControlFile&) = delete;

  // Reads the file once and then watches it, looking every pollMs.
  void start(int pollMs = 100);
  void stop();
  // Reads the file now, whether or not it changed.
  void reload();
  // The faults in effect.
  FaultValues current();

 private:
  struct Stamp {
    bool exists = false;
    std::int64_t mtimeNs = 0, size = 0, inode = 0;
    bool operator==(const Stamp&) const = default;
  };
  Stamp stampNow() const;
  void readLocked();

  const std::string path_;
  const SimKind kind_;
  const FaultValues commandLine_;
  Apply apply_;
  Log log_;
  std::mutex mutex_;  // one reading at a time; guards current_ and stamp_
  FaultValues current_;
  Stamp stamp_;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace qel::sim
