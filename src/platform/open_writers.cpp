#include "platform/open_writers.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace qel::platform {

namespace {

bool allDigits(const char* s) {
  if (!*s) return false;
  for (; *s; ++s)
    if (!std::isdigit(static_cast<unsigned char>(*s))) return false;
  return true;
}

// The access mode of descriptor `fd` of process `pid` (the "flags:" line of its fdinfo, octal).
int accessMode(const char* pid, const char* fd) {
  char path[600];
  std::snprintf(path, sizeof path, "/proc/%s/fdinfo/%s", pid, fd);
  std::FILE* f = std::fopen(path, "re");
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

}  // namespace

OpenWriters OpenWriters::now() {
  OpenWriters w;
  DIR* proc = ::opendir("/proc");
  if (!proc) return w;
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
      if (accessMode(p->d_name, d->d_name) != O_RDONLY) w.files_.emplace(st.st_dev, st.st_ino);
    }
    ::closedir(fds);
  }
  ::closedir(proc);
  return w;
}

bool OpenWriters::holds(const std::string& path) const {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && files_.count({st.st_dev, st.st_ino}) > 0;
}

bool openForWriting(const std::string& path) { return OpenWriters::now().holds(path); }

}  // namespace qel::platform
