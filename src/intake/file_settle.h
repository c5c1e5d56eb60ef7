#pragma once
// Whether a file in the watch folder is complete, so that the queue may take it. A design
// program may still be writing a file when it appears, or write it in pieces with pauses, or
// copy it over the network. A file counts as settled when no write is known to be under way (the
// watcher saw no write since its writer last closed it) and its size and modification time have
// then stayed the same for the settle time, over at least two looks. Where the watcher sees
// nothing (a network folder, events missed), the settle time alone decides.
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace qel::intake {

struct FileLook {
  std::int64_t size = -1;
  std::int64_t mtimeNs = -1;
  bool operator==(const FileLook&) const = default;
};

// Belongs to the queue's thread. Times are the queue's clock, in ms.
class FileSettle {
 public:
  // A file written to and not closed since is taken only after this long without any change:
  // a writer idle that long in the middle of a file is rare, and a close the watcher missed (its
  // queue overflowed) must not keep a file back for ever.
  static constexpr std::int64_t kOpenWriterQuietMs = 60000;

  explicit FileSettle(std::int64_t settleMs = 2000) : settleMs_(settleMs) {}
  void setSettleMs(std::int64_t ms) { settleMs_ = ms < 0 ? 0 : ms; }
  std::int64_t settleMs() const { return settleMs_; }

  // A scan's look at a file; true when it is settled now.
  bool look(const std::string& path, const FileLook& seen, std::int64_t nowMs);
  // The watcher: bytes were written to the file (closed false), or its writer closed it.
  void written(const std::string& path, bool closed, std::int64_t nowMs);
  bool settled(const std::string& path, std::int64_t nowMs) const;
  // The size and time the file settled with (what the one who takes it must still find).
  std::optional<FileLook> settledLook(const std::string& path) const;
  // The file was taken or went away: it starts afresh if it comes back.
  void forget(const std::string& path) { files_.erase(path); }
  // After a scan: forgets every file it did not see.
  void keepOnly(const std::unordered_set<std::string>& seen);
  void clear() { files_.clear(); }

 private:
  struct State {
    FileLook look;
    bool known = false;           // a scan has looked at it
    int looks = 0;                // looks with the same size and time
    bool writing = false;         // written to since its writer last closed it
    std::int64_t sinceMs = 0;     // last change seen (look, write or close)
  };
  std::int64_t settleMs_;
  std::unordered_map<std::string, State> files_;
};

}  // namespace qel::intake
