#pragma once
// The camera calibration set: from an image pixel to millimetres on the table plane, through the
// intrinsic matrix K and the plane homography H = [r1 r2 t1; r4 r5 t2; r7 r8 t3], with the two
// ratio corrections. One lock guards every conversion and every change of the set.
#include <array>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>

#include <opencv2/core.hpp>

namespace qel::config {
class CIniConfig;
}

namespace qel::camera {

// The set cannot convert: K or H is singular (typically the defaults, before a calibration has
// been imported), or a value is not a number.
class CalibrationError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr const char* kCalibrationUnusableText =
    "The camera calibration can't convert image points (singular matrix); load a calibration first.";

struct CalibrationValues {
  double fx = 100.0, cx = 320.0, fy = 100.0, cy = 240.0;  // INTRINSIC1, 3, 5, 6
  std::array<double, 4> distortion{0, 0, 0, 0};           // k1 k2 p1 p2: kept, not used
  std::array<double, 9> rotation{1, 0, 0, 0, 1, 0, 0, 0, 1};
  std::array<double, 3> translation{0, 0, 0};
  double ratio0 = 1.0;  // multiplies plane Y
  double ratio1 = 1.0;  // multiplies plane X
};

struct RadiusLimits {
  int minRadius = 25;
  int maxRadius = 100;
};

class CameraCalibration {
 public:
  CameraCalibration() = default;
  explicit CameraCalibration(const CalibrationValues& v) : values_(v) {}

  // Reads the set Camera_Para<set> (22 keys) from the store.
  void load(const config::CIniConfig& cfg, int set);
  // Writes the whole set (22 keys) to Camera_Para<set>.
  void save(config::CIniConfig& cfg, int set) const;
  // Writes RATIO0 and RATIO1 of the set.
  void saveRatios(config::CIniConfig& cfg, int set) const;

  CalibrationValues values() const;
  void setValues(const CalibrationValues& v);
  void setRatios(double ratio0, double ratio1);

  // True when fx and fy are both exactly 100 (the defaults): no calibration loaded.
  bool uncalibrated() const;
  // True when conversions are possible (K and H regular).
  bool usable() const;

  // Plane point of an image point (millimetres). Throws CalibrationError when K or H is singular.
  cv::Point2d imageToPlane(double u, double v) const;
  std::optional<cv::Point2d> tryImageToPlane(double u, double v) const;
  // Where a mark seen at (u, v) lies relative to the image centre, in millimetres.
  cv::Point2d markOffset(double u, double v) const;

  // Pixel limits of the circle detector for a mark radius r with tolerance t (millimetres).
  // Uncalibrated: 25 and 100. Throws CalibrationError when the set can't convert.
  RadiusLimits markRadiusLimits(double radius, double tolerance) const;

 private:
  std::optional<cv::Point2d> convertLocked(double u, double v) const;

  mutable std::mutex busy_;
  CalibrationValues values_;
};

}  // namespace qel::camera
