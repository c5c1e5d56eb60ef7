#pragma once
// The camera as the camera window sees it: a source of 8-bit monochrome 640 x 480 frames that a
// grab thread of its own hands to a consumer, one at a time, until it is stopped or fails. The
// GenICam camera, the socket of the simulated table and in-process simulations implement it.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <opencv2/core.hpp>

namespace qel::camera {

// Texts of the camera status pane and the camera failure message; the window words them from
// these constants.
inline constexpr const char* kCameraClosedText = "Camera: Close";
inline constexpr const char* kCameraGrabbingText = "Camera: Open,Grabing";
inline constexpr const char* kCameraFailureText = "something is wrong with your camera, please check!";

enum class CameraState { Closed, Grabbing };

// Called on the grab thread.
class FrameConsumer {
 public:
  virtual ~FrameConsumer() = default;
  // Every good frame (CV_8UC1, 480 rows of 640); it points into the camera's buffer and is valid
  // only during the call. The grab thread waits until the call returns.
  virtual void onFrame(const cv::Mat& frame) = 0;
  // Grabbing began, or ended for any reason (stop, failure, no camera).
  virtual void onCameraState(CameraState state) = 0;
  // A failure ended grabbing; called after onCameraState(Closed). `detail` is for logs only.
  virtual void onCameraFailure(const std::string& detail) = 0;
};

class FrameSource {
 public:
  virtual ~FrameSource() = default;
  // Starts the grab thread; false when it already runs. The consumer must outlive the thread
  // (stop() or the destructor joins it).
  virtual bool start(FrameConsumer& consumer) = 0;
  // Asks the grab thread to end and waits for it. Safe to call twice and from the consumer's
  // failure callback's owner; never from inside onFrame.
  virtual void stop() = 0;
  // True from start() until the grab thread has ended.
  virtual bool running() const = 0;
};

// The thread handling shared by the sources: start, stop flag, join. A source implements
// grab(), which runs on the thread and returns when stopRequested() is set or it failed.
class ThreadedFrameSource : public FrameSource {
 public:
  ~ThreadedFrameSource() override;
  bool start(FrameConsumer& consumer) override;
  void stop() override;
  bool running() const override { return running_.load(); }

 protected:
  // Grab loop. Calls consumer.onCameraState(Grabbing) once frames flow, and returns an empty
  // text when stopped, or the reason of a failure. `noCamera` set: no device was found, which
  // closes without the failure message.
  struct GrabEnd {
    std::string failure;
    bool noCamera = false;
  };
  virtual GrabEnd grab(FrameConsumer& consumer) = 0;
  bool stopRequested() const { return stop_.load(); }
  // Reports the end to the consumer at once (closed, then the failure unless none or no
  // camera), before a slow clean-up of the device; grab()'s own return is then not reported
  // again.
  void reportEnd(FrameConsumer& consumer, const GrabEnd& end);
  // Derived destructors call this first, so grab() never runs on a half-destroyed object.
  void joinThread();

 private:
  std::mutex mutex_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> running_{false};
  std::atomic<bool> reported_{false};
};

// The frame source named by the home's Config.ini: [Camera] FrameSource = "genicam" (the
// default: the first GenICam camera) or "sim" (the simulated table served by `qelcut sim` on
// the Unix socket [Camera] SimCameraSocket, default <home>/sim-camera.sock). Null when this
// build lacks the kind; *what names it.
std::unique_ptr<FrameSource> makeConfiguredFrameSource(const std::string& home, std::string* what = nullptr);

inline constexpr const char* kFrameSourceSection = "Camera";
inline constexpr const char* kFrameSourceKey = "FrameSource";
inline constexpr const char* kSimCameraSocketKey = "SimCameraSocket";
inline constexpr const char* kSimCameraSocketName = "sim-camera.sock";

}  // namespace qel::camera
