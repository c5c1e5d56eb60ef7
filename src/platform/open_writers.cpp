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

bool openForWriting(const std::string& file) {
  struct stat target {};
  if (::stat(file.c_str(), &target) != 0) return false;
  DIR* proc = ::opendir("/proc");
  if (!proc) return false;
  bool found = false;
  while (!found) {
    dirent* p = ::readdir(proc);
    if (!p) break;
    if (!allDigits(p->d_name)) continue;
    char fdDir[300];
    std::snprintf(fdDir, sizeof fdDir, "/proc/%s/fd", p->d_name);
    DIR* fds = ::opendir(fdDir);
    if (!fds) continue;  // another user's process, or gone meanwhile
    while (dirent* d = ::readdir(fds)) {
      if (!allDigits(d->d_name)) continue;
      struct stat st {};
      if (::fstatat(::dirfd(fds), d->d_name, &st, 0) != 0) continue;
      if (st.st_dev != target.st_dev || st.st_ino != target.st_ino) continue;
      if (accessMode(p->d_name, d->d_name) != O_RDONLY) {
        found = true;
        break;
      }
    }
    ::closedir(fds);
  }
  ::closedir(proc);
  return found;
}

}  // namespace qel::platform
