#pragma once
// What the camera window does with each frame, without drawing: the measurement requested by a
// job, the one-second hold of the picture that shows a found mark, the saving of the next frame
// on request, and the scaled display image with its crosshair (the window only paints it).
#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include <opencv2/core.hpp>

#include "camera/frame_source.h"
#include "camera/measurement.h"
#include "platform/clock.h"

namespace qel::camera {

inline constexpr double kDisplayScale = 0.42;
inline constexpr std::int64_t kFindHoldMs = 1000;  // a picture that shows a find stays this long
inline constexpr const char* kFrameFolderName = "Frames";  // under the home folder

// The display image of a frame: converted to three channels, scaled by 0.42 in each direction
// (sizes truncated: 268 x 201 for 640 x 480) with linear interpolation, a red crosshair through
// its middle (thickness 1, anti-aliased) and, when `find` is given (frame pixels), a red cross
// of thickness 3 with arms of 20 pixels at find * 0.42.
cv::Mat makeDisplayImage(const cv::Mat& frame, const std::optional<cv::Point2d>& find);

// The saved frame's name for a local time: "%Y-%m-%d-%H-%M-%S.bmp". Two saves within one second
// share the name; the second overwrites the first.
std::string frameFileName(std::time_t when);

// What one frame gave on the interface thread.
struct FrameResult {
  std::optional<FrameFind> measured;  // set when this frame completed a measurement request
  bool showsFind = false;             // it found a mark: the red cross is drawn
  bool draw = true;                   // false while an earlier find is held on screen
};

class FrameHandler {
 public:
  // `home`: where saved frames go (its Frames folder) when the current folder (`currentDir`,
  // the process's own by default) is not writable.
  FrameHandler(MarkMeasurement& measurement, platform::Clock& clock, std::string home, std::string currentDir = ".");

  // Interface thread: the "Save Image" button. Two requests before the next frame save once.
  void requestSave() { saveNext_ = true; }
  bool savePending() const { return saveNext_.load(); }

  // Grab thread, before the frame is handed on: writes the frame as a bitmap when a save was
  // requested and clears the request. The path written, or nullopt (no request, or the write
  // failed: then *error says why).
  std::optional<std::string> saveIfRequested(const cv::Mat& frame, std::string* error = nullptr);

  // Interface thread: runs a pending measurement on the frame and decides whether the picture is
  // drawn. No copy of the frame is made.
  FrameResult handle(const cv::Mat& frame);

  // The folder saved frames go to (ending in '/'): the current folder when a file can be created
  // there, else <home>/Frames.
  std::string saveFolder() const;

 private:
  MarkMeasurement& measurement_;
  platform::Clock& clock_;
  std::string home_;
  std::string currentDir_;
  std::atomic<bool> saveNext_{false};
  std::optional<std::int64_t> lastFindMs_;
};

// A consumer for runs without a window (the command line, tests): each frame is saved when
// asked and measured on the grab thread itself; the camera state is kept; a failure wakes a
// waiting measurement so that no job waits for a frame that never comes.
class HeadlessCamera final : public FrameConsumer {
 public:
  HeadlessCamera(FrameSource& source, FrameHandler& handler, MarkMeasurement& measurement);
  ~HeadlessCamera() override;

  bool open() { return source_.start(*this); }
  void close();
  bool grabbing() const { return state_.load() == CameraState::Grabbing; }
  bool failed() const { return failed_.load(); }
  std::string failure() const;
  std::uint64_t frames() const { return frames_.load(); }
  // Waits (real time) until a frame arrived or the camera closed; false on time-out or close.
  bool waitForFrame(int timeoutMs);

  // Every handled frame with its result (grab thread); for displays and traces.
  std::function<void(const cv::Mat&, const FrameResult&)> onHandled;

  void onFrame(const cv::Mat& frame) override;
  void onCameraState(CameraState state) override;
  void onCameraFailure(const std::string& detail) override;

 private:
  FrameSource& source_;
  FrameHandler& handler_;
  MarkMeasurement& measurement_;
  std::atomic<CameraState> state_{CameraState::Closed};
  std::atomic<bool> failed_{false};
  std::atomic<std::uint64_t> frames_{0};
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::string failure_;
};

}  // namespace qel::camera
