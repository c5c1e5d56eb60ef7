#pragma once
// How sure a mark measurement is: the contrast of the print around the mark, the roundness of
// its fitted outline and how well the outline fits, each from 0 (useless) to 1 (clean), and the
// confidence the weakest of them gives. A measurement below the confidence limit is taken again
// from another frame.
#include <string>

#include <opencv2/core.hpp>

namespace qel::camera {

struct MarkQuality {
  double contrast = 0.0;   // grey-level spread around the mark, 120 levels or more is 1
  double roundness = 0.0;  // 1 for a circle, 0 at the detector's axis-ratio limit of 0.8
  double fit = 0.0;        // 1 when the outline lies on the fitted ellipse, 0 at 2 pixels RMS off
  double confidence() const;
};

// The confidence below which a mark is measured again ([Camera] MinConfidence when not set).
inline constexpr double kDefaultMinConfidence = 0.5;

// Scores of a measured circle: `axisRatio` short over long axis, `rmsPx` the outline's distance
// from the fitted ellipse, the contrast from the frame within `reachPx` of `centre`.
MarkQuality circleQuality(const cv::Mat& frame, cv::Point2d centre, double reachPx, double axisRatio, double rmsPx);
// A cross: only its contrast is measured; its shape scores 1.
MarkQuality crossQuality(const cv::Mat& frame, cv::Point2d centre, double reachPx);

// "0.93 (contrast 1.00, roundness 0.97, fit 0.93)" for logs and the command line.
std::string qualityText(const MarkQuality& q);

}  // namespace qel::camera
