#include "plot/plot_input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace qel::plot {

namespace {
constexpr std::size_t kBufferSize = 1 << 18;
}

PlotInput::~PlotInput() {
  if (fd_ >= 0) ::close(fd_);
}

bool PlotInput::open(const std::string& path) {
  // Only regular files are read. Non-blocking, so that a FIFO or device in the watch folder cannot stall the reader.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    return false;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  fd_ = fd;
  buf_.resize(kBufferSize);
  pos_ = len_ = 0;
  base_ = 0;
  return true;
}

std::int64_t PlotInput::length() const {
  if (fd_ < 0) return -1;
  struct stat st {};
  if (::fstat(fd_, &st) != 0) return -1;
  return static_cast<std::int64_t>(st.st_size);
}

bool PlotInput::fill(std::int64_t at) {
  if (fd_ < 0) return false;
  std::size_t got = 0;
  while (got < buf_.size()) {
    ssize_t n = ::pread(fd_, buf_.data() + got, buf_.size() - got, static_cast<off_t>(at + static_cast<std::int64_t>(got)));
    if (n < 0) {
      if (errno == EINTR) continue;
      failed_ = true;
      break;
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  base_ = at;
  pos_ = 0;
  len_ = got;
  return got > 0;
}

int PlotInput::slowGet() {
  if (!fill(tell())) return kEnd;
  return static_cast<unsigned char>(buf_[pos_++]);
}

int PlotInput::slowPeek() {
  if (!fill(tell())) return kEnd;
  return static_cast<unsigned char>(buf_[pos_]);
}

void PlotInput::seek(std::int64_t position) {
  if (position < 0) position = 0;
  if (position >= base_ && position <= base_ + static_cast<std::int64_t>(len_)) {
    pos_ = static_cast<std::size_t>(position - base_);
    return;
  }
  // Outside the buffer: the next read refills from there.
  base_ = position;
  pos_ = len_ = 0;
}

}  // namespace qel::plot
