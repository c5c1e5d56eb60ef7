#include "camera/mark_quality.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace qel::camera {

namespace {
constexpr double kFullContrast = 120.0;  // grey levels
constexpr double kRoundnessLimit = 0.8;  // the detector's own limit scores 0
constexpr double kRoundnessFull = 0.95;
constexpr double kFitZeroPx = 2.0;

double clamp01(double v) { return std::isfinite(v) ? std::clamp(v, 0.0, 1.0) : 0.0; }

// The spread between the darkest and brightest 5 % of the pixels within reach of the centre.
double contrastScore(const cv::Mat& frame, cv::Point2d centre, double reachPx) {
  if (frame.empty() || frame.type() != CV_8UC1) return 0.0;
  const int r = std::max(4, static_cast<int>(std::lround(reachPx)));
  const cv::Rect box = cv::Rect(static_cast<int>(centre.x) - r, static_cast<int>(centre.y) - r, 2 * r + 1, 2 * r + 1) &
                       cv::Rect(0, 0, frame.cols, frame.rows);
  if (box.area() == 0) return 0.0;
  std::array<long, 256> hist{};
  for (int y = box.y; y < box.y + box.height; ++y) {
    const std::uint8_t* row = frame.ptr<std::uint8_t>(y);
    for (int x = box.x; x < box.x + box.width; ++x) ++hist[row[x]];
  }
  const long total = box.area(), tail = std::max<long>(1, total / 20);
  int low = 0, high = 255;
  for (long seen = 0; low < 255 && (seen += hist[low]) < tail;) ++low;
  for (long seen = 0; high > 0 && (seen += hist[high]) < tail;) --high;
  return clamp01((high - low) / kFullContrast);
}
}  // namespace

double MarkQuality::confidence() const { return std::min({contrast, roundness, fit}); }

MarkQuality circleQuality(const cv::Mat& frame, cv::Point2d centre, double reachPx, double axisRatio, double rmsPx) {
  MarkQuality q;
  q.contrast = contrastScore(frame, centre, reachPx);
  q.roundness = clamp01((axisRatio - kRoundnessLimit) / (kRoundnessFull - kRoundnessLimit));
  q.fit = clamp01(1.0 - rmsPx / kFitZeroPx);
  return q;
}

MarkQuality crossQuality(const cv::Mat& frame, cv::Point2d centre, double reachPx) {
  MarkQuality q;
  q.contrast = contrastScore(frame, centre, reachPx);
  q.roundness = q.fit = 1.0;
  return q;
}

std::string qualityText(const MarkQuality& q) {
  char text[96];
  std::snprintf(text, sizeof text, "%.2f (contrast %.2f, roundness %.2f, fit %.2f)", q.confidence(), q.contrast,
                q.roundness, q.fit);
  return text;
}

}  // namespace qel::camera
