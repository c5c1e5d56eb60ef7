#pragma once
// Whether some process still has a file open for writing: a design program that writes a file
// in pieces holds it open until it is done. Looked up in /proc (the descriptors of every process
// this user may see); a writer elsewhere (another user, a network share) is not seen, so callers
// also wait for the file to stay unchanged.
#include <set>
#include <string>
#include <utility>

namespace qel::platform {

// The files open for writing at one moment: one pass over /proc (a few ms), then any number of
// questions.
class OpenWriters {
 public:
  static OpenWriters now();
  // True when the file (the same device and inode, under any name) was open with write access.
  bool holds(const std::string& path) const;

 private:
  std::set<std::pair<unsigned long long, unsigned long long>> files_;  // device, inode
};

// One question at once: OpenWriters::now().holds(path).
bool openForWriting(const std::string& path);

}  // namespace qel::platform
