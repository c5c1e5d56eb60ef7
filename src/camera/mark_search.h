#pragma once
// Where the camera looks for a mark that is not where it was predicted: outward from the
// prediction in steps of a little less than the camera's view, ring after ring of a square
// spiral, out to the search radius.
#include <vector>

#include <opencv2/core.hpp>

namespace qel::camera {

class CameraCalibration;

// Default of [Camera] SearchRadius, millimetres.
inline constexpr double kDefaultSearchRadiusMm = 10.0;

// Offsets (mm) from the prediction, nearest ring first: ring k holds the points k steps away
// along the larger axis, starting on +x and going counter-clockwise; only points within
// radiusMm of the prediction are kept. The prediction itself is not among them. Empty when
// the step or the radius is not above 0.
std::vector<cv::Point2d> spiralOffsets(double stepMm, double radiusMm);

// The search step for a calibration: 0.8 of the smaller extent of the frame on the table, so
// that neighbouring views overlap by a fifth. Throws CalibrationError like the conversion.
double searchStepMm(const CameraCalibration& calibration);

// The frame's extent on the table (mm): width and height through the picture's centre.
cv::Size2d viewExtentMm(const CameraCalibration& calibration);

}  // namespace qel::camera
