#include "camera/mark_search.h"

#include <cmath>

#include "camera/calibration.h"
#include "camera/mark_detector.h"

namespace qel::camera {

std::vector<cv::Point2d> spiralOffsets(double stepMm, double radiusMm) {
  std::vector<cv::Point2d> out;
  if (!(stepMm > 0.0) || !(radiusMm > 0.0)) return out;
  const int rings = static_cast<int>(std::floor(radiusMm / stepMm + 1e-9));
  for (int k = 1; k <= rings; ++k) {
    // The ring of Chebyshev distance k, counter-clockwise from (k, 0).
    std::vector<cv::Point> ring;
    for (int j = 0; j < k; ++j) ring.emplace_back(k, j);
    for (int i = k; i > -k; --i) ring.emplace_back(i, k);
    for (int j = k; j > -k; --j) ring.emplace_back(-k, j);
    for (int i = -k; i < k; ++i) ring.emplace_back(i, -k);
    for (int j = -k; j < 0; ++j) ring.emplace_back(k, j);
    for (const cv::Point& c : ring) {
      const cv::Point2d o(c.x * stepMm, c.y * stepMm);
      if (std::hypot(o.x, o.y) <= radiusMm + 1e-9) out.push_back(o);
    }
  }
  return out;
}

cv::Size2d viewExtentMm(const CameraCalibration& calibration) {
  const double w = cv::norm(calibration.markOffset(kFrameWidth, kFrameHeight / 2.0) -
                            calibration.markOffset(0.0, kFrameHeight / 2.0));
  const double h = cv::norm(calibration.markOffset(kFrameWidth / 2.0, kFrameHeight) -
                            calibration.markOffset(kFrameWidth / 2.0, 0.0));
  return {w, h};
}

double searchStepMm(const CameraCalibration& calibration) {
  const cv::Size2d v = viewExtentMm(calibration);
  return 0.8 * std::min(v.width, v.height);
}

}  // namespace qel::camera
