#include "camera/frame_source.h"

namespace qel::camera {

ThreadedFrameSource::~ThreadedFrameSource() { joinThread(); }

bool ThreadedFrameSource::start(FrameConsumer& consumer) {
  std::lock_guard lock(mutex_);
  if (running_.load()) return false;
  if (thread_.joinable()) thread_.join();
  stop_ = false;
  reported_ = false;
  running_ = true;
  thread_ = std::thread([this, &consumer] {
    GrabEnd end;
    try {
      end = grab(consumer);
    } catch (const std::exception& e) {
      end.failure = e.what();
    }
    reportEnd(consumer, end);
    running_ = false;
  });
  return true;
}

void ThreadedFrameSource::reportEnd(FrameConsumer& consumer, const GrabEnd& end) {
  if (reported_.exchange(true)) return;
  consumer.onCameraState(CameraState::Closed);
  if (!end.failure.empty() && !end.noCamera) consumer.onCameraFailure(end.failure);
}

void ThreadedFrameSource::stop() { joinThread(); }

void ThreadedFrameSource::joinThread() {
  std::lock_guard lock(mutex_);
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

}  // namespace qel::camera
