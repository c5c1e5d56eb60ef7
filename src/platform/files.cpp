#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>

namespace qel::platform {

namespace fs = std::filesystem;

bool fileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool directoryExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::optional<std::string> readWholeFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  std::string out;
  out.reserve(static_cast<size_t>(st.st_size));
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return out;
}

std::optional<std::string> readFileHead(const std::string& path, std::size_t maxBytes) {
  // Not blocking on a pipe or device: only a regular file is read.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  std::string out(maxBytes, '\0');
  std::size_t got = 0;
  while (got < maxBytes) {
    ssize_t n = ::read(fd, out.data() + got, maxBytes - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  out.resize(got);
  return out;
}

namespace {

bool writeAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

std::string tempNameBeside(const std::string& path) {
  static thread_local std::mt19937_64 rng{std::random_device{}()};
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, ".tmp%08llx", static_cast<unsigned long long>(rng() & 0xffffffffULL));
  return path + suffix;
}

void syncDirectoryOf(const std::string& path) {
  fs::path dir = fs::path(path).parent_path();
  if (dir.empty()) dir = ".";
  int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
}

}  // namespace

bool writeFileAtomically(const std::string& path, std::string_view content) {
  mode_t mode = 0644;
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) mode = st.st_mode & 07777;
  const std::string tmp = tempNameBeside(path);
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) return false;
  bool ok = writeAll(fd, content) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok) ::fchmodat(AT_FDCWD, tmp.c_str(), mode, 0);
  if (!ok || ::rename(tmp.c_str(), path.c_str()) != 0) {
    ::unlink(tmp.c_str());
    return false;
  }
  syncDirectoryOf(path);
  return true;
}

bool makeDirectories(const std::string& path) {
  std::error_code ec;
  fs::create_directories(path, ec);
  return directoryExists(path);
}

bool copyInto(const std::string& from, int out) {
  int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (in < 0) return false;
  struct stat st {};
  if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(in);
    return false;
  }
  bool ok = true;
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(in, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    if (n == 0) break;
    if (!writeAll(out, std::string_view(buf, static_cast<size_t>(n)))) {
      ok = false;
      break;
    }
  }
  ::close(in);
  return ok;
}

bool copyFile(const std::string& from, const std::string& to) {
  struct stat st {};
  if (::stat(from.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (out < 0) return false;
  bool ok = copyInto(from, out);
  ok = (::fsync(out) == 0) && ok;
  ok = (::close(out) == 0) && ok;
  return ok;
}

bool moveFileReplacing(const std::string& from, const std::string& to) {
  fs::path parent = fs::path(to).parent_path();
  if (!parent.empty() && !directoryExists(parent.string())) makeDirectories(parent.string());
  if (::rename(from.c_str(), to.c_str()) == 0) return true;
  if (errno != EXDEV) return false;
  // Across file systems: copy beside the target, then swap it in and drop the source.
  const std::string tmp = tempNameBeside(to);
  if (!copyFile(from, tmp) || ::rename(tmp.c_str(), to.c_str()) != 0) {
    ::unlink(tmp.c_str());
    return false;
  }
  syncDirectoryOf(to);
  return ::unlink(from.c_str()) == 0;
}

}  // namespace qel::platform
