#include "camera/frame_service.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "camera/mark_detector.h"
#include "camera/socket_frame_source.h"

namespace qel::sim {

SimFrameSource::SimFrameSource(FrameRenderer render, int framePeriodMs)
    : render_(std::move(render)), periodMs_(framePeriodMs) {}

SimFrameSource::~SimFrameSource() { joinThread(); }

camera::ThreadedFrameSource::GrabEnd SimFrameSource::grab(camera::FrameConsumer& consumer) {
  consumer.onCameraState(camera::CameraState::Grabbing);
  long frames = 0;
  auto lastFrame = std::chrono::steady_clock::now();
  while (!stopRequested()) {
    const long stall = stallAfter_.load();
    if (stall >= 0 && frames >= stall) {
      if (std::chrono::steady_clock::now() - lastFrame > std::chrono::milliseconds(timeoutMs_.load()))
        return {"no frame within " + std::to_string(timeoutMs_.load()) + " ms"};
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      continue;
    }
    const cv::Mat frame = render_();
    ++frames;
    lastFrame = std::chrono::steady_clock::now();
    consumer.onFrame(frame);
    for (int waited = 0; waited < periodMs_ && !stopRequested(); waited += 5)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return {};
}

SimCameraService::~SimCameraService() { stop(); }

bool SimCameraService::start(const std::string& path, FrameRenderer render, std::string* error) {
  sockaddr_un addr{};
  if (path.size() >= sizeof addr.sun_path) {
    if (error) *error = "socket path too long: " + path;
    return false;
  }
  render_ = std::move(render);
  path_ = path;
  ::unlink(path.c_str());
  listenFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listenFd_, 4) != 0) {
    if (error) *error = "cannot listen on " + path + ": " + std::strerror(errno);
    if (listenFd_ >= 0) ::close(listenFd_);
    listenFd_ = -1;
    return false;
  }
  stopping_ = false;
  acceptThread_ = std::thread([this] { acceptLoop(); });
  return true;
}

void SimCameraService::stop() {
  stopping_ = true;
  if (acceptThread_.joinable()) acceptThread_.join();
  {
    std::lock_guard lock(mutex_);
    for (int fd : clients_) ::shutdown(fd, SHUT_RDWR);
  }
  for (auto& t : threads_) t.join();
  threads_.clear();
  if (listenFd_ >= 0) {
    ::close(listenFd_);
    listenFd_ = -1;
    ::unlink(path_.c_str());
  }
}

void SimCameraService::acceptLoop() {
  while (!stopping_) {
    pollfd p{listenFd_, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::lock_guard lock(mutex_);
    clients_.push_back(fd);
    threads_.emplace_back([this, fd] { serve(fd); });
  }
}

void SimCameraService::serve(int fd) {
  std::vector<std::uint8_t> reply(1 + static_cast<std::size_t>(camera::kFrameWidth) * camera::kFrameHeight);
  reply[0] = camera::kFrameRequest;
  while (!stopping_) {
    pollfd p{fd, POLLIN, 0};
    const int r = ::poll(&p, 1, 50);
    if (r == 0) continue;
    char request = 0;
    if (r < 0 || ::read(fd, &request, 1) != 1 || request != camera::kFrameRequest) break;
    cv::Mat frame;
    {
      std::lock_guard lock(renderMutex_);
      frame = render_();
    }
    if (frame.type() != CV_8UC1 || frame.cols != camera::kFrameWidth || frame.rows != camera::kFrameHeight) break;
    for (int row = 0; row < frame.rows; ++row)
      std::memcpy(reply.data() + 1 + static_cast<std::size_t>(row) * frame.cols, frame.ptr(row), frame.cols);
    std::size_t sent = 0;
    while (sent < reply.size()) {
      const ssize_t k = ::send(fd, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
      if (k < 0 && errno == EINTR) continue;
      if (k <= 0) break;
      sent += static_cast<std::size_t>(k);
    }
    if (sent < reply.size()) break;
    ++served_;
  }
  std::lock_guard lock(mutex_);
  std::erase(clients_, fd);
  ::close(fd);
}

}  // namespace qel::sim
