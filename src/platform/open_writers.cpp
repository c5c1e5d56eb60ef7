#include "platform/open_writers.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace qel::platform {

namespace {

bool allDigits(const char* s) {
  if (!*s) return false;
  for (; *s; ++s)
    if (!std::isdigit(static_cast<unsigned char>(*s))) return false;
  return true;
}

// The access mode of a descriptor (the "flags:" line of its fdinfo, octal); read-only when the
// descriptor is gone.
int accessMode(const std::string& fdinfo) {
  std::FILE* f = std::fopen(fdinfo.c_str(), "re");
  if (!f) return O_RDONLY;
  char line[128];
  int mode = O_RDONLY;
  while (std::fgets(line, sizeof line, f)) {
    if (std::strncmp(line, "flags:", 6) == 0) {
      mode = static_cast<int>(std::strtol(line + 6, nullptr, 8)) & O_ACCMODE;
      break;
    }
  }
  std::fclose(f);
  return mode;
}

// Every regular file some process of this user has open, with its descriptors.
std::map<std::pair<unsigned long long, unsigned long long>, std::vector<std::string>> openFiles() {
  std::map<std::pair<unsigned long long, unsigned long long>, std::vector<std::string>> open;
  DIR* proc = ::opendir("/proc");
  if (!proc) return open;
  while (dirent* p = ::readdir(proc)) {
    if (!allDigits(p->d_name)) continue;
    char fdDir[300];
    std::snprintf(fdDir, sizeof fdDir, "/proc/%s/fd", p->d_name);
    DIR* fds = ::opendir(fdDir);
    if (!fds) continue;  // another user's process, or gone meanwhile
    while (dirent* d = ::readdir(fds)) {
      if (!allDigits(d->d_name)) continue;
      struct stat st {};
      if (::fstatat(::dirfd(fds), d->d_name, &st, 0) != 0 || !S_ISREG(st.st_mode)) continue;
      open[{st.st_dev, st.st_ino}].push_back(std::string("/proc/") + p->d_name + "/fdinfo/" + d->d_name);
    }
    ::closedir(fds);
  }
  ::closedir(proc);
  return open;
}

// The kernel's answer: a read lease is refused (EAGAIN) while the file is open for writing
// anywhere. Nothing when no lease can be had here.
std::optional<bool> leaseSays(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return std::nullopt;
  std::optional<bool> writing;
  if (::fcntl(fd, F_SETLEASE, F_RDLCK) == 0) {
    ::fcntl(fd, F_SETLEASE, F_UNLCK);
    writing = false;
  } else if (errno == EAGAIN) {
    writing = true;
  }
  ::close(fd);
  return writing;
}

}  // namespace

bool OpenWriters::holds(const std::string& path) {
  if (const auto writing = leaseSays(path)) return *writing;
  return holdsByDescriptors(path);
}

bool OpenWriters::holdsByDescriptors(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  if (!open_) open_ = openFiles();
  const auto it = open_->find({st.st_dev, st.st_ino});
  if (it == open_->end()) return false;
  for (const std::string& fdinfo : it->second)
    if (accessMode(fdinfo) != O_RDONLY) return true;
  return false;
}

bool openForWriting(const std::string& path) { return OpenWriters().holds(path); }

}  // namespace qel::platform
