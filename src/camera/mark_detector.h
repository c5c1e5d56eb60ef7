#pragma once
// Finds registration marks in one 8-bit 640 x 480 camera frame: printed circles (filled discs or
// rings) by thresholding and ellipse fitting, crosses by corner detection and clustering.
#include <cstdint>
#include <stdexcept>
#include <vector>

#include <opencv2/core.hpp>

namespace qel::camera {

inline constexpr int kFrameWidth = 640;
inline constexpr int kFrameHeight = 480;

// Radius limits in pixels used while the camera is not calibrated.
inline constexpr int kUncalibratedMinRadius = 25;
inline constexpr int kUncalibratedMaxRadius = 100;

// A frame the detector cannot work on (wrong size or pixel type).
class FrameError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// Checks that a frame is 8-bit, one channel, 640 x 480; throws FrameError naming what it got.
void requireMarkFrame(const cv::Mat& frame);

// One detector per frame and per detection: the constructor takes two working copies of the
// frame, and each find operation releases them, so a second find on the same object finds
// nothing.
class MarkDetector {
 public:
  explicit MarkDetector(const cv::Mat& frame);  // throws FrameError

  // Circle marks whose fitted axes lie strictly between 2 * minRadius and 2 * maxRadius.
  // Returns the accepted centres in contour order; defaultPoint becomes the last of them and is
  // left untouched when there is none.
  std::vector<cv::Point2d> findCircleMarks(int minRadius, int maxRadius, cv::Point2d& defaultPoint);

  // For each centre the last findCircleMarks returned, in the same order: the fitted ellipse and
  // the root mean square distance (pixels) of the contour points from it.
  struct CircleFit {
    cv::RotatedRect ellipse;
    double rmsPx = 0.0;
  };
  const std::vector<CircleFit>& circleFits() const { return fits_; }

  // Cross marks: the centres of corner clusters in order of formation; defaultPoint becomes the
  // last one and is left untouched when there is none.
  std::vector<cv::Point2d> findCornerMarks(cv::Point2d& defaultPoint);

  // The roundness (axis ratio at least 0.8) and strict size tests of a fitted ellipse.
  static bool acceptEllipse(const cv::RotatedRect& box, int minRadius, int maxRadius);

  // Paints the four border bands of image with fillValue.
  void paintBorder(cv::Mat& image) const;

  // Groups corners that lie closer than 15 pixels to a seed. Fewer than 4 corners give nothing.
  // lastCentre becomes the last cluster centre when there is one.
  static std::vector<cv::Point2d> clusterCorners(const std::vector<cv::Point2f>& corners,
                                                 cv::Point2f& lastCentre);

  std::int32_t left = 8;
  std::int32_t right = 10;
  std::int32_t top = 0;
  std::int32_t bottom = 2;
  std::int32_t width = kFrameWidth;
  std::int32_t height = kFrameHeight;
  std::uint8_t fillValue = 255;

 private:
  void release();
  cv::Mat work_;
  cv::Mat work2_;
  std::vector<CircleFit> fits_;
};

}  // namespace qel::camera
