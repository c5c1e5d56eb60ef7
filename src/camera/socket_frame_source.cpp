#include "camera/socket_frame_source.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "camera/mark_detector.h"

namespace qel::camera {

namespace {

struct Fd {
  int fd = -1;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

// Reads exactly n bytes within the deadline; false on time-out, error or end of stream.
bool readAll(int fd, std::uint8_t* data, std::size_t n, std::chrono::steady_clock::time_point deadline) {
  std::size_t got = 0;
  while (got < n) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd, POLLIN, 0};
    const int r = ::poll(&p, 1, static_cast<int>(left.count()));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    const ssize_t k = ::read(fd, data + got, n - got);
    if (k < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (k <= 0) return false;
    got += static_cast<std::size_t>(k);
  }
  return true;
}

}  // namespace

SocketFrameSource::SocketFrameSource(std::string socketPath, int framePeriodMs, int timeoutMs)
    : path_(std::move(socketPath)), periodMs_(framePeriodMs), timeoutMs_(timeoutMs) {}

SocketFrameSource::~SocketFrameSource() { joinThread(); }

ThreadedFrameSource::GrabEnd SocketFrameSource::grab(FrameConsumer& consumer) {
  Fd s;
  s.fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s.fd < 0) return {std::string("socket: ") + std::strerror(errno)};
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path_.size() >= sizeof addr.sun_path) return {"camera socket path too long: " + path_, true};
  std::memcpy(addr.sun_path, path_.c_str(), path_.size() + 1);
  if (::connect(s.fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
    return {"no simulated camera at " + path_, true};

  std::vector<std::uint8_t> buffer(1 + static_cast<std::size_t>(kFrameWidth) * kFrameHeight);
  consumer.onCameraState(CameraState::Grabbing);
  auto next = std::chrono::steady_clock::now();
  while (!stopRequested()) {
    if (::send(s.fd, &kFrameRequest, 1, MSG_NOSIGNAL) != 1) return {"the simulated camera closed the connection"};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs_);
    if (!readAll(s.fd, buffer.data(), buffer.size(), deadline) || buffer[0] != kFrameRequest)
      return {"no frame within " + std::to_string(timeoutMs_) + " ms"};
    const cv::Mat frame(kFrameHeight, kFrameWidth, CV_8UC1, buffer.data() + 1);
    consumer.onFrame(frame);
    next += std::chrono::milliseconds(periodMs_);
    // The pause between frames, in steps that notice a stop.
    while (!stopRequested() && std::chrono::steady_clock::now() < next)
      std::this_thread::sleep_for(std::chrono::milliseconds(std::min(periodMs_, 10)));
    if (std::chrono::steady_clock::now() > next + std::chrono::milliseconds(periodMs_))
      next = std::chrono::steady_clock::now();
  }
  return {};
}

}  // namespace qel::camera
