#pragma once
// Whether some process still has a file open for writing: a design program that writes a file
// in pieces holds it open until it is done. Asked of the kernel through a read lease on the file
// (refused while any process has it open for writing); where no lease can be had (a file of
// another user, a file system without leases) the descriptors in /proc are looked through. A
// writer this user cannot see (another user's process, a network share) stays unseen, so callers
// also wait for the file to stay unchanged.
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qel::platform {

// Answers for the files of one moment; the pass over /proc is made at most once, when a file
// needs it.
class OpenWriters {
 public:
  // True when a process has the file (the same device and inode, under any name) open with
  // write access. False when none has, or the file is not there.
  bool holds(const std::string& path);
  // The same question answered from /proc alone (what holds() falls back on).
  bool holdsByDescriptors(const std::string& path);

 private:
  // device, inode -> the descriptors ("/proc/<pid>/fdinfo/<fd>") that had it open
  using OpenFiles = std::map<std::pair<unsigned long long, unsigned long long>, std::vector<std::string>>;
  std::optional<OpenFiles> open_;
};

// One question at once.
bool openForWriting(const std::string& path);

}  // namespace qel::platform
