#include "camera/frame_handler.h"

#include <stdlib.h>
#include <unistd.h>

#include <chrono>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "platform/files.h"
#include "platform/run_stamp.h"

namespace qel::camera {

namespace {
const cv::Scalar kRed(0, 0, 255);  // BGR
constexpr int kCrossArm = 20;
}  // namespace

cv::Mat makeDisplayImage(const cv::Mat& frame, const std::optional<cv::Point2d>& find) {
  cv::Mat colour;
  cv::cvtColor(frame, colour, cv::COLOR_GRAY2BGR);
  const cv::Size size(static_cast<int>(frame.cols * kDisplayScale), static_cast<int>(frame.rows * kDisplayScale));
  cv::Mat display;
  cv::resize(colour, display, size, 0, 0, cv::INTER_LINEAR);
  const int w = display.cols, h = display.rows;
  cv::line(display, {0, h / 2}, {w, h / 2}, kRed, 1, cv::LINE_AA);
  cv::line(display, {w / 2, 0}, {w / 2, h}, kRed, 1, cv::LINE_AA);
  if (find) {
    const cv::Point c(static_cast<int>(find->x * kDisplayScale), static_cast<int>(find->y * kDisplayScale));
    cv::line(display, {c.x - kCrossArm, c.y}, {c.x + kCrossArm, c.y}, kRed, 3, cv::LINE_AA);
    cv::line(display, {c.x, c.y - kCrossArm}, {c.x, c.y + kCrossArm}, kRed, 3, cv::LINE_AA);
  }
  return display;
}

std::string frameFileName(std::time_t when) {
  return platform::runStamp(platform::localTimeOf(when), platform::StampStyle::Frame) + ".bmp";
}

FrameHandler::FrameHandler(MarkMeasurement& measurement, platform::Clock& clock, std::string home,
                           std::string currentDir)
    : measurement_(measurement), clock_(clock), home_(std::move(home)), currentDir_(std::move(currentDir)) {
  if (!home_.empty() && home_.back() != '/') home_ += '/';
  if (currentDir_.empty()) currentDir_ = ".";
  if (currentDir_.back() != '/') currentDir_ += '/';
}

std::string FrameHandler::saveFolder() const {
  // A real attempt rather than access(): permission bits say nothing for root or read-only mounts.
  std::string probe = currentDir_ + ".qelcut-XXXXXX";
  const int fd = ::mkstemp(probe.data());
  if (fd >= 0) {
    ::close(fd);
    ::unlink(probe.c_str());
    return currentDir_;
  }
  return home_ + kFrameFolderName + "/";
}

std::optional<std::string> FrameHandler::saveIfRequested(const cv::Mat& frame, std::string* error) {
  if (!saveNext_.exchange(false)) return std::nullopt;
  const std::string folder = saveFolder();
  if (!platform::makeDirectories(folder)) {
    if (error) *error = "cannot create " + folder;
    return std::nullopt;
  }
  const std::string path = folder + frameFileName(std::time(nullptr));
  bool written = false;
  try {
    written = cv::imwrite(path, frame);
  } catch (const cv::Exception& e) {
    if (error) *error = e.what();
    return std::nullopt;
  }
  if (!written) {
    if (error) *error = "cannot write " + path;
    return std::nullopt;
  }
  return path;
}

FrameResult FrameHandler::handle(const cv::Mat& frame) {
  FrameResult r;
  const std::int64_t now = clock_.nowMs();
  r.measured = measurement_.onFrame(frame, now);
  if (r.measured && r.measured->found) {
    r.showsFind = true;
    lastFindMs_ = now;
  } else if (lastFindMs_ && now - *lastFindMs_ < kFindHoldMs) {
    r.draw = false;
  }
  return r;
}

HeadlessCamera::HeadlessCamera(FrameSource& source, FrameHandler& handler, MarkMeasurement& measurement)
    : source_(source), handler_(handler), measurement_(measurement) {}

HeadlessCamera::~HeadlessCamera() { close(); }

void HeadlessCamera::close() {
  source_.stop();
  measurement_.cancel();
}

std::string HeadlessCamera::failure() const {
  std::lock_guard lock(mutex_);
  return failure_;
}

bool HeadlessCamera::waitForFrame(int timeoutMs) {
  std::unique_lock lock(mutex_);
  const std::uint64_t before = frames_.load();
  changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                    [&] { return frames_.load() != before || (!source_.running() && failed_.load()); });
  return frames_.load() != before;
}

void HeadlessCamera::onFrame(const cv::Mat& frame) {
  handler_.saveIfRequested(frame);
  const FrameResult r = handler_.handle(frame);
  if (onHandled) onHandled(frame, r);
  {
    std::lock_guard lock(mutex_);
    ++frames_;
  }
  changed_.notify_all();
}

void HeadlessCamera::onCameraState(CameraState state) {
  state_ = state;
  if (state == CameraState::Closed) measurement_.cancel();
  changed_.notify_all();
}

void HeadlessCamera::onCameraFailure(const std::string& detail) {
  {
    std::lock_guard lock(mutex_);
    failure_ = detail;
  }
  failed_ = true;
  changed_.notify_all();
}

}  // namespace qel::camera
