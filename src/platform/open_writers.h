#pragma once
// Whether some process still has a file open for writing: a design program that writes a file
// in pieces holds it open until it is done. Looked up in /proc (the descriptors of every process
// this user may see); a writer elsewhere (another user, a network share) is not seen, so callers
// also wait for the file to stay unchanged.
#include <string>

namespace qel::platform {

// True when a process has the file (the same device and inode, under any name) open with write
// access. False when none has, or the file is not there.
bool openForWriting(const std::string& path);

}  // namespace qel::platform
