#include "received_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qel::sim {

ReceivedStore::ReceivedStore(std::string dir, NameFor nameFor)
    : dir_(std::move(dir)), nameFor_(std::move(nameFor)) {}

namespace {
// The highest number any name in dir carries (its first run of digits); 0 for none.
int highestNumberIn(const std::string& dir) {
  int highest = 0;
  DIR* d = ::opendir(dir.c_str());
  if (!d) return 0;
  while (const dirent* e = ::readdir(d)) {
    const char* p = e->d_name;
    while (*p && (*p < '0' || *p > '9')) ++p;
    long n = 0;
    for (; *p >= '0' && *p <= '9' && n < 100000000; ++p) n = n * 10 + (*p - '0');
    if (n > highest) highest = static_cast<int>(n);
  }
  ::closedir(d);
  return highest;
}
}  // namespace

std::string ReceivedStore::keep(const std::string& name, const std::string& data, std::string* error) {
  std::lock_guard<std::mutex> g(mutex_);
  ::mkdir(dir_.c_str(), 0755);
  if (!scanned_) {
    next_ = highestNumberIn(dir_) + 1;
    scanned_ = true;
  }
  for (;; ++next_) {
    const std::string path = dir_ + "/" + nameFor_(next_, name);
    // O_EXCL: a name already taken (by this run or an earlier one) is skipped, never replaced.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) {
      if (error) *error = "cannot write " + path + ": " + std::strerror(errno);
      return {};
    }
    std::size_t done = 0;
    while (done < data.size()) {
      const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    const bool closed = ::close(fd) == 0;
    const bool ok = done == data.size() && closed;
    ++next_;
    if (!ok) {
      if (error) *error = "cannot write " + path + ": " + std::strerror(errno);
      ::unlink(path.c_str());
      return {};
    }
    return path;
  }
}

}  // namespace qel::sim
