#pragma once
// Plane geometry of print-and-cut: the Y-axis deflection compensation between machine positions
// and true table displacements, rotation, and the signed angle between two vectors.
#include <opencv2/core.hpp>

namespace qel::camera {

// Rotation of p by phi radians, counter-clockwise in a y-up frame.
cv::Point2d rotate(const cv::Point2d& p, double phi);

double length(const cv::Point2d& p);

// Y-axis deflection: axisYRotateDeg is the deflection of the machine's Y axis from the
// perpendicular, in degrees, positive counter-clockwise.
class AxisDeflection {
 public:
  explicit AxisDeflection(double axisYRotateDeg = 0.0);
  // True displacement between two machine positions a and b.
  cv::Point2d trueDelta(const cv::Point2d& a, const cv::Point2d& b) const;
  // The machine position that realises the true point q relative to the base b.
  cv::Point2d machineDelta(const cv::Point2d& q, const cv::Point2d& b) const;
  double degrees() const { return degrees_; }

 private:
  double degrees_;
  double sinT_, cosT_;
};

// Signed angle from u to v in [-pi, pi]: +phi when turning u by +phi lands on v's direction.
double signedAngle(const cv::Point2d& u, const cv::Point2d& v);

}  // namespace qel::camera
