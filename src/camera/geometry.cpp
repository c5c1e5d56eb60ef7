#include "camera/geometry.h"

#include <algorithm>
#include <cmath>

namespace qel::camera {

cv::Point2d rotate(const cv::Point2d& p, double phi) {
  const double c = std::cos(phi), s = std::sin(phi);
  return {p.x * c - p.y * s, p.x * s + p.y * c};
}

double length(const cv::Point2d& p) { return std::hypot(p.x, p.y); }

AxisDeflection::AxisDeflection(double axisYRotateDeg) : degrees_(axisYRotateDeg) {
  const double theta = -axisYRotateDeg * CV_PI / 180.0;
  sinT_ = std::sin(theta);
  cosT_ = std::cos(theta);
}

cv::Point2d AxisDeflection::trueDelta(const cv::Point2d& a, const cv::Point2d& b) const {
  return {(a.x - b.x) + sinT_ * (a.y - b.y), cosT_ * (a.y - b.y)};
}

cv::Point2d AxisDeflection::machineDelta(const cv::Point2d& q, const cv::Point2d& b) const {
  return {q.x - sinT_ * (q.y - b.y) / cosT_, b.y + (q.y - b.y) / cosT_};
}

double signedAngle(const cv::Point2d& u, const cv::Point2d& v) {
  if (length(u) == 0.0 || length(v) == 0.0) return 0.0;  // no direction to compare
  // The size of the angle is that between the two directions; its sign says whether u turns
  // counter-clockwise onto v. atan2 keeps full precision for the small angles of a sheet that
  // lies almost square, where the arc cosine loses half the digits.
  const double cross = u.x * v.y - u.y * v.x;
  return std::atan2(cross, u.dot(v));
}

}  // namespace qel::camera
