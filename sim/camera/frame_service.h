#pragma once
// The simulated table's camera as a frame source: in-process for tests (SimFrameSource), and as
// a Unix-socket service for the desktop program and `qelcut ccd` (SimCameraService, the peer of
// camera::SocketFrameSource). Both render each frame where a position function says the head
// stands at that moment, typically the simulated coordinator's axes.
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <opencv2/core.hpp>

#include "camera/frame_source.h"

namespace qel::sim {

// Renders the 8-bit 640 x 480 frame seen now. Called from one frame thread at a time.
using FrameRenderer = std::function<cv::Mat()>;

class SimFrameSource final : public camera::ThreadedFrameSource {
 public:
  explicit SimFrameSource(FrameRenderer render, int framePeriodMs = 20);
  ~SimFrameSource() override;
  // Faults: after n frames no frame comes any more (the grab then fails on its time-out).
  void stallAfterFrames(long n) { stallAfter_ = n; }
  void setTimeoutMs(int ms) { timeoutMs_ = ms; }

 protected:
  GrabEnd grab(camera::FrameConsumer& consumer) override;

 private:
  FrameRenderer render_;
  int periodMs_;
  std::atomic<long> stallAfter_{-1};
  std::atomic<int> timeoutMs_{1000};
};

class SimCameraService {
 public:
  SimCameraService() = default;
  ~SimCameraService();
  SimCameraService(const SimCameraService&) = delete;
  SimCameraService& operator=(const SimCameraService&) = delete;

  // Listens on a Unix socket at `path` (an old socket file there is replaced). False with the
  // reason in *error.
  bool start(const std::string& path, FrameRenderer render, std::string* error = nullptr);
  void stop();
  long framesServed() const { return served_.load(); }
  const std::string& path() const { return path_; }

 private:
  void acceptLoop();
  void serve(int fd);

  std::string path_;
  FrameRenderer render_;
  std::mutex renderMutex_;
  int listenFd_ = -1;
  std::atomic<bool> stopping_{false};
  std::atomic<long> served_{0};
  std::thread acceptThread_;
  std::mutex mutex_;
  std::vector<int> clients_;
  std::vector<std::thread> threads_;
};

}  // namespace qel::sim
