#include "camera/calibration.h"

#include <cmath>

#include "config/ini_config.h"

namespace qel::camera {

namespace {
// Relative pivot threshold below which a 3 x 3 system counts as singular.
constexpr double kSingularEps = 1e-12;

bool solve3(const cv::Matx33d& m, const cv::Vec3d& rhs, cv::Vec3d& out) {
  for (int i = 0; i < 9; ++i) {
    if (!std::isfinite(m.val[i])) return false;
  }
  double scale = 0.0;
  for (int i = 0; i < 9; ++i) scale = std::max(scale, std::abs(m.val[i]));
  if (scale == 0.0) return false;
  const double det = cv::determinant(m);
  if (!std::isfinite(det) || std::abs(det) <= kSingularEps * scale * scale * scale) return false;
  cv::Mat x;
  if (!cv::solve(cv::Mat(m), cv::Mat(rhs), x, cv::DECOMP_LU)) return false;
  out = cv::Vec3d(x.at<double>(0), x.at<double>(1), x.at<double>(2));
  return std::isfinite(out[0]) && std::isfinite(out[1]) && std::isfinite(out[2]);
}
}  // namespace

void CameraCalibration::load(const config::CIniConfig& cfg, int set) {
  using G = config::CameraGroup;
  CalibrationValues v;
  v.fx = cfg.readCameraPara(set, int(G::Intrinsic), 1);
  v.cx = cfg.readCameraPara(set, int(G::Intrinsic), 3);
  v.fy = cfg.readCameraPara(set, int(G::Intrinsic), 5);
  v.cy = cfg.readCameraPara(set, int(G::Intrinsic), 6);
  for (int i = 0; i < 4; ++i) v.distortion[i] = cfg.readCameraPara(set, int(G::Distortion), i + 1);
  for (int i = 0; i < 9; ++i) v.rotation[i] = cfg.readCameraPara(set, int(G::Rotation), i + 1);
  for (int i = 0; i < 3; ++i) v.translation[i] = cfg.readCameraPara(set, int(G::Translation), i + 1);
  v.ratio0 = cfg.readCameraPara(set, int(G::Ratio), 0);
  v.ratio1 = cfg.readCameraPara(set, int(G::Ratio), 1);
  setValues(v);
}

void CameraCalibration::save(config::CIniConfig& cfg, int set) const {
  using G = config::CameraGroup;
  const CalibrationValues v = values();
  cfg.writeCameraPara(set, int(G::Intrinsic), 1, v.fx);
  cfg.writeCameraPara(set, int(G::Intrinsic), 3, v.cx);
  cfg.writeCameraPara(set, int(G::Intrinsic), 5, v.fy);
  cfg.writeCameraPara(set, int(G::Intrinsic), 6, v.cy);
  for (int i = 0; i < 4; ++i) cfg.writeCameraPara(set, int(G::Distortion), i + 1, v.distortion[i]);
  for (int i = 0; i < 9; ++i) cfg.writeCameraPara(set, int(G::Rotation), i + 1, v.rotation[i]);
  for (int i = 0; i < 3; ++i) cfg.writeCameraPara(set, int(G::Translation), i + 1, v.translation[i]);
  saveRatios(cfg, set);
}

void CameraCalibration::saveRatios(config::CIniConfig& cfg, int set) const {
  const CalibrationValues v = values();
  cfg.writeCameraPara(set, int(config::CameraGroup::Ratio), 0, v.ratio0);
  cfg.writeCameraPara(set, int(config::CameraGroup::Ratio), 1, v.ratio1);
}

CalibrationValues CameraCalibration::values() const {
  std::lock_guard lock(busy_);
  return values_;
}

void CameraCalibration::setValues(const CalibrationValues& v) {
  std::lock_guard lock(busy_);
  values_ = v;
}

void CameraCalibration::setRatios(double ratio0, double ratio1) {
  std::lock_guard lock(busy_);
  values_.ratio0 = ratio0;
  values_.ratio1 = ratio1;
}

bool CameraCalibration::uncalibrated() const {
  std::lock_guard lock(busy_);
  return values_.fx == 100.0 && values_.fy == 100.0;
}

std::optional<cv::Point2d> CameraCalibration::convertLocked(double u, double v) const {
  const CalibrationValues& c = values_;
  const cv::Matx33d k(c.fx, 0, c.cx, 0, c.fy, c.cy, 0, 0, 1);
  const auto& r = c.rotation;
  const auto& t = c.translation;
  const cv::Matx33d h(r[0], r[1], t[0], r[3], r[4], t[1], r[6], r[7], t[2]);
  cv::Vec3d a, b;
  if (!solve3(k, cv::Vec3d(u, v, 1.0), a)) return std::nullopt;
  if (!solve3(h, a, b)) return std::nullopt;
  if (b[2] == 0.0) return std::nullopt;  // the point lies on the plane's horizon
  const cv::Point2d p(c.ratio1 * b[0] / b[2], c.ratio0 * b[1] / b[2]);
  if (!std::isfinite(p.x) || !std::isfinite(p.y)) return std::nullopt;
  return p;
}

std::optional<cv::Point2d> CameraCalibration::tryImageToPlane(double u, double v) const {
  std::lock_guard lock(busy_);
  return convertLocked(u, v);
}

bool CameraCalibration::usable() const { return tryImageToPlane(320.0, 240.0).has_value(); }

cv::Point2d CameraCalibration::imageToPlane(double u, double v) const {
  auto p = tryImageToPlane(u, v);
  if (!p) throw CalibrationError(kCalibrationUnusableText);
  return *p;
}

cv::Point2d CameraCalibration::markOffset(double u, double v) const {
  std::lock_guard lock(busy_);
  auto p = convertLocked(u, v);
  auto c = convertLocked(320.0, 240.0);
  if (!p || !c) throw CalibrationError(kCalibrationUnusableText);
  return *p - *c;
}

RadiusLimits CameraCalibration::markRadiusLimits(double radius, double tolerance) const {
  std::lock_guard lock(busy_);
  if (values_.fx == 100.0 && values_.fy == 100.0) return {25, 100};
  auto a = convertLocked(320.0, 240.0);
  auto b = convertLocked(240.0, 160.0);
  if (!a || !b) throw CalibrationError(kCalibrationUnusableText);
  const double px = std::abs(80.0 / (b->x - a->x) / values_.ratio1);
  const double py = std::abs(80.0 / (b->y - a->y) / values_.ratio0);
  const double lo = std::trunc(std::min(px, py) * (radius - tolerance));
  const double hi = std::trunc(std::max(px, py) * (radius + tolerance));
  if (!std::isfinite(lo) || !std::isfinite(hi) || std::abs(lo) > 1e6 || std::abs(hi) > 1e6) {
    throw CalibrationError(kCalibrationUnusableText);
  }
  return {static_cast<int>(lo), static_cast<int>(hi)};
}

}  // namespace qel::camera
