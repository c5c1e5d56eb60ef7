#pragma once
// The measurement of a mark on request: a job thread asks for a number of frames to be measured
// and blocks; the thread that receives the camera frames runs the detector on the next frames
// and wakes the requester with the mean of the found centres, or (0, 0) when nothing was found.
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include <opencv2/core.hpp>

#include "camera/job_code.h"
#include "camera/mark_quality.h"

namespace qel::camera {

enum class MarkType { Circle, Cross };

// markType key: 0 is circle, anything else cross.
inline MarkType markTypeFromKey(int value) { return value == 0 ? MarkType::Circle : MarkType::Cross; }

// Picks one of several candidates in view. The window's dialog implements it; returning
// nothing keeps the detector's default (the last candidate). Without a chooser the candidate
// of the highest confidence is taken (the last of equals).
class MarkChooser {
 public:
  virtual ~MarkChooser() = default;
  virtual std::optional<cv::Point2d> choose(const cv::Mat& colourFrame, const std::vector<cv::Point2d>& candidates,
                                            int pickRadius) = 0;
};

inline constexpr int kMarkPickRadius = 30;

// A measured mark: its position ((0, 0) when not found) and how sure the measurement is (the
// mean over the frames it took).
struct MeasuredMark {
  cv::Point2d position{0.0, 0.0};
  MarkQuality quality;
  bool found() const { return position != cv::Point2d(0.0, 0.0); }
};

// What one displayed frame produced when it completed a request.
struct FrameFind {
  cv::Point2d position;   // the measured position; (0, 0) when the mark was not found
  bool found = false;
  std::int64_t timeMs = 0;  // when it was measured (the frame handler's clock)
};

class MarkMeasurement {
 public:
  // Detection parameters, read on each frame.
  void setParameters(MarkType type, int minRadius, int maxRadius);
  void setChooser(MarkChooser* chooser);  // not owned; null: the default point is used

  // Requester side: asks for `frames` frames to be measured and blocks until the measurement is
  // done or cancel() is called. Returns the measured position, (0, 0) for not found.
  cv::Point2d measure(int frames = 1);
  // The same with the quality of the measurement.
  MeasuredMark measureMark(int frames = 1);
  // Requester side: reads a job code in the next frame and blocks until it was looked for (or
  // cancel()); nullopt when the frame shows none.
  std::optional<JobCode> readCode();

  // Frame side: called for every displayed frame (8-bit 640 x 480). Does nothing unless a request
  // is pending. Returns the result when this frame finished a measurement. A frame the detector
  // refuses counts as not found.
  std::optional<FrameFind> onFrame(const cv::Mat& frame, std::int64_t nowMs);

  // Wakes a waiting requester with (0, 0) and drops the pending request (camera closing).
  void cancel();

  bool pending() const;
  cv::Point2d lastPosition() const;
  std::int64_t lastFindMs() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable done_;
  MarkType type_ = MarkType::Circle;
  int minRadius_ = 25;
  int maxRadius_ = 100;
  MarkChooser* chooser_ = nullptr;
  int requestCount_ = 0;
  bool underWay_ = false;
  bool signalled_ = false;
  std::vector<cv::Point2d> samples_;
  std::vector<MarkQuality> qualities_;
  cv::Point2d measured_{0.0, 0.0};
  MarkQuality quality_;
  bool codeRequested_ = false;
  bool codeDone_ = false;
  std::optional<JobCode> code_;
  std::int64_t lastFindMs_ = 0;
};

// Runs the detector of the given type on a frame: the candidate list and the default point.
struct Detection {
  std::vector<cv::Point2d> candidates;
  cv::Point2d defaultPoint{0.0, 0.0};
  std::vector<MarkQuality> qualities;  // of each candidate, in the same order
  // The quality of a candidate position (the nearest candidate's); zero scores without any.
  MarkQuality qualityAt(const cv::Point2d& p) const;
};
Detection detectMarks(const cv::Mat& frame, MarkType type, int minRadius, int maxRadius);  // throws FrameError

}  // namespace qel::camera
