#include "camera/procedures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "camera/geometry.h"
#include "camera/registration.h"
#include "config/ini_config.h"

namespace qel::camera {

namespace {
constexpr double kImageCx = 320.0;
constexpr double kImageCy = 240.0;
constexpr int kPollMs = 100;
constexpr int kMaxFailedReads = 50;      // consecutive failed position reads before giving up
constexpr int kMaxMoveAttempts = 50;     // refused move commands before giving up
constexpr int kMaxPolls = 600;           // 60 s of polling for a 10 mm move
constexpr double kAdjustStep = 10.0;     // mm
constexpr double kAdjustSettleSq = 0.1;  // convergence threshold of the adjust samples
}  // namespace

MotionSettings readMotionSettings(const config::CIniConfig& cfg) {
  MotionSettings s;
  s.waitTime4Capture = cfg.read(config::keys::WaitTime4Capture);
  s.moveSpeed = cfg.read(config::keys::MoveSpeed);
  s.moveAccel = cfg.read(config::keys::MoveAccel);
  s.markTime = cfg.read(config::keys::markTime);
  s.centreTolerancePx = cfg.read(config::keys::CentreTolerance);
  s.standPollMs = std::max(1, cfg.read(config::keys::StandStillMs));
  return s;
}

bool adjustResultStored(const config::CIniConfig& cfg) {
  constexpr const char* absent = "<absent>";
  for (const char* key : {"rotate", "isMirror", "ratio_px", "ratio_py"}) {
    if (cfg.readText("Camera", key, absent) != absent) return true;
  }
  return false;
}

ProcedureResult saveAxisYRotate(config::CIniConfig& cfg, const std::vector<cv::Point2d>& measured) {
  if (measured.size() < 2) return {Outcome::Failed, kNoMarkText};
  const double degrees = computeAxisYRotate(measured[0], measured[1]);
  if (!std::isfinite(degrees) || measured[0] == measured[1]) return {Outcome::Failed, kNoMarkText};
  cfg.write(config::keys::AxisYRotate, degrees);
  char text[160];
  std::snprintf(text, sizeof text, kAxisYRotateFormat, degrees);
  return {Outcome::Done, text};
}

cv::Point2d LocateResult::value() const {
  switch (status) {
    case Status::Found: return position;
    case Status::NotFound: return {10000.0, 10000.0};
    case Status::Stopped: break;
  }
  return {0.0, 0.0};
}

CameraProcedures::CameraProcedures(MachineHead& head, MarkMeasurer& measurer, CameraCalibration& calibration,
                                   platform::Clock& clock, MotionSettings settings)
    : head_(head), measurer_(measurer), calibration_(calibration), clock_(clock), settings_(settings) {}

void CameraProcedures::checkStop() {
  if (head_.stopRequested()) throw Stopped{};
}

void CameraProcedures::wait(int ms) {
  if (ms > 0) clock_.sleepMs(ms);
  checkStop();
}

cv::Point2d CameraProcedures::readPosition() {
  for (int failures = 0;; ++failures) {
    auto x = head_.readAxis(0);
    auto y = head_.readAxis(1);
    if (x && y) return {*x, *y};
    if (failures + 1 >= kMaxFailedReads) throw Failed{kHeadReadText};
    wait(kPollMs);
  }
}

cv::Point2d CameraProcedures::standOrThrow() {
  for (;;) {
    checkStop();
    const std::int64_t at = clock_.nowMs();
    const cv::Point2d first = readPosition();
    wait(settings_.standPollMs);
    const cv::Point2d second = readPosition();
    if (first == second) {
      restSinceMs_ = at;
      return first;
    }
  }
}

std::optional<cv::Point2d> CameraProcedures::standingPosition() {
  try {
    return standOrThrow();
  } catch (const Stopped&) {
    return std::nullopt;
  } catch (const Failed&) {
    return std::nullopt;
  }
}

void CameraProcedures::settle() {
  const std::int64_t left = settings_.waitTime4Capture - (clock_.nowMs() - restSinceMs_);
  wait(static_cast<int>(std::max<std::int64_t>(left, 0)));
}

void CameraProcedures::move(const std::vector<int>& axes, const std::vector<double>& to) {
  for (int attempt = 0; !head_.moveAbsolute(axes, to, settings_.moveSpeed, settings_.moveAccel); ++attempt) {
    if (attempt + 1 >= kMaxMoveAttempts) throw Failed{kHeadMoveText};
    wait(kPollMs);
  }
  checkStop();
}

cv::Point2d CameraProcedures::measure(bool silent) {
  const cv::Point2d m = measurer_.measureMark(silent);
  // A measurement that ends with the operator's stop (declining manual marking) must not lead
  // to a move towards a point that was never found.
  checkStop();
  return m;
}

void CameraProcedures::pollUntil(const std::function<bool(const cv::Point2d&)>& arrived) {
  for (int polls = 0;; ++polls) {
    if (arrived(readPosition())) return;
    if (polls >= kMaxPolls) throw Failed{kHeadArriveText};
    wait(kPollMs);
  }
}

LocateResult CameraProcedures::locate(bool silent, bool threeRounds) {
  int rounds = threeRounds ? 3 : settings_.markTime;
  if (rounds <= 0 && !threeRounds) {
    const cv::Point2d p = standOrThrow();
    settle();
    const cv::Point2d m = measure(silent);
    if (m == cv::Point2d(0.0, 0.0)) return {LocateResult::Status::NotFound, {}, {}};
    return {LocateResult::Status::Found, p - calibration_.markOffset(m.x, m.y), {}};
  }
  for (;;) {
    standOrThrow();
    settle();
    const cv::Point2d m = measure(silent);
    if (m == cv::Point2d(0.0, 0.0)) return {LocateResult::Status::NotFound, {}, {}};
    const cv::Point2d d = calibration_.markOffset(m.x, m.y);
    const cv::Point2d e(kImageCx - m.x, kImageCy - m.y);
    // Read again: an operator marking by hand has moved the head meanwhile.
    const cv::Point2d p = readPosition();
    // Near the centre the mark is taken where it lies (the head stood still at p since).
    if (!threeRounds && length(e) < settings_.centreTolerancePx && settings_.centreTolerancePx > 0.5)
      return {LocateResult::Status::Found, p - d, {}};
    move({0, 1}, {p.x - d.x, p.y - d.y});
    if (length(e) < 0.5) break;
    if (--rounds <= 0) break;
  }
  return {LocateResult::Status::Found, standOrThrow(), {}};
}

LocateResult CameraProcedures::locateMark(bool silent, bool threeRounds) {
  try {
    return locate(silent, threeRounds);
  } catch (const Stopped&) {
    return {LocateResult::Status::Stopped, {}, {}};
  } catch (const Failed& f) {
    return {LocateResult::Status::NotFound, {}, f.message};
  }
}

ProcedureResult CameraProcedures::correctCalibrationRatio(config::CIniConfig& cfg, int set) {
  const CalibrationValues before = calibration_.values();
  try {
    const cv::Point2d p0 = standOrThrow();
    const cv::Point2d m = measure(false);
    if (m == cv::Point2d(0.0, 0.0)) throw Failed{kNoMarkText};
    if (std::abs(m.x - kImageCx) < 200.0 || std::abs(m.y - kImageCy) < 120.0) throw Failed{kMoreCornerText};
    calibration_.setRatios(1.0, 1.0);
    const cv::Point2d c = -calibration_.imageToPlane(kImageCx, kImageCy);
    const cv::Point2d d1 = c + calibration_.imageToPlane(m.x, m.y);
    LocateResult located = locate(false, true);
    if (located.status != LocateResult::Status::Found) throw Failed{kNoMarkText};
    const cv::Point2d m2 = measure(false);
    if (m2 == cv::Point2d(0.0, 0.0)) throw Failed{kNoMarkText};
    const cv::Point2d d2 = c + calibration_.imageToPlane(m2.x, m2.y);
    const cv::Point2d p1 = standOrThrow();
    const double rx = (p0.x - p1.x) / (d1.x - d2.x);
    const double ry = (p0.y - p1.y) / (d1.y - d2.y);
    if (rx == 0.0 || ry == 0.0 || !std::isfinite(rx) || !std::isfinite(ry)) throw Failed{kCorrectionFailedText};
    // rx scales plane X, which RATIO1 multiplies; ry scales plane Y, which RATIO0 multiplies.
    calibration_.setRatios(ry, rx);
    calibration_.saveRatios(cfg, set);
    return {Outcome::Done, kCorrectionOkText};
  } catch (const Stopped&) {
    calibration_.setRatios(before.ratio0, before.ratio1);
    return {Outcome::Stopped, {}};
  } catch (const Failed& f) {
    calibration_.setRatios(before.ratio0, before.ratio1);
    return {Outcome::Failed, f.message};
  } catch (const CalibrationError& e) {
    calibration_.setRatios(before.ratio0, before.ratio1);
    return {Outcome::Failed, e.what()};
  }
}

AdjustResult CameraProcedures::adjustFromDisplacements(cv::Point2d a, cv::Point2d b) {
  AdjustResult r;
  // The dominant axis of a and its sign decide how b must lie for an unmirrored camera.
  const bool alongX = std::abs(a.y / a.x) <= 1.0;
  bool mirror;
  if (alongX) {
    const bool positive = a.x > 0.0 || (a.x == 0.0 && a.y >= 0.0);
    mirror = positive ? b.y < 0.0 : b.y > 0.0;
  } else {
    const bool positive = a.y >= 0.0;
    mirror = positive ? b.x > 0.0 : b.x < 0.0;
  }
  if (mirror) b = -b;
  r.isMirror = mirror ? 1 : 0;

  double thetaA;
  if (a.x == 0.0) {
    thetaA = a.y >= 0.0 ? CV_PI / 2 : -CV_PI / 2;
  } else {
    thetaA = std::atan(a.y / a.x);
    if (a.x < 0.0 && a.y >= 0.0) thetaA += CV_PI;
    if (a.x < 0.0 && a.y < 0.0) thetaA -= CV_PI;
  }
  // b's direction on the branch nearest to a's direction turned by a quarter.
  const double target = thetaA + CV_PI / 2;
  double thetaB = std::atan2(b.y, b.x);
  while (thetaB - target > CV_PI) thetaB -= 2 * CV_PI;
  while (target - thetaB > CV_PI) thetaB += 2 * CV_PI;
  r.rotate = (thetaA + thetaB - CV_PI / 2) / 2;
  r.ratio_px = length(a) / kAdjustStep;
  r.ratio_py = length(b) / kAdjustStep;
  return r;
}

ProcedureResult CameraProcedures::adjustCamera(config::CIniConfig& cfg, AdjustResult& result) {
  namespace k = config::keys;
  auto reload = [&] {
    result.rotate = cfg.read(k::rotate);
    result.isMirror = cfg.read(k::isMirror);
    result.ratio_px = cfg.read(k::ratio_px);
    result.ratio_py = cfg.read(k::ratio_py);
  };
  try {
    std::vector<double> angles, pxs, pys;
    for (;;) {
      const cv::Point2d p0 = standOrThrow();
      const cv::Point2d m0 = measure(false);
      move({0}, {p0.x + kAdjustStep});
      pollUntil([&](const cv::Point2d& p) {
        const double dx = std::abs(p.x - p0.x);
        return dx >= kAdjustStep - 0.001 && dx <= kAdjustStep + 0.001;
      });
      wait(settings_.waitTime4Capture);
      const cv::Point2d m1 = measure(false);
      move({0, 1}, {p0.x, p0.y + kAdjustStep});
      pollUntil([&](const cv::Point2d& p) {
        const double dy = std::abs(p.y - p0.y);
        return dy >= kAdjustStep - 0.001 && dy <= kAdjustStep + 0.001 && std::abs(p.x - p0.x) <= 0.001;
      });
      wait(settings_.waitTime4Capture);
      const cv::Point2d m2 = measure(false);
      if (m0 == cv::Point2d(0, 0) || m1 == cv::Point2d(0, 0) || m2 == cv::Point2d(0, 0)) throw Failed{kNoMarkText};

      const AdjustResult sample = adjustFromDisplacements(m0 - m1, m0 - m2);
      angles.push_back(sample.rotate);
      pxs.push_back(sample.ratio_px);
      pys.push_back(sample.ratio_py);
      if (angles.size() >= 3) {
        const std::size_t n = angles.size();
        auto sq = [](double v) { return v * v; };
        double s1 = 0.0, s2 = 0.0;
        for (const auto* list : {&angles, &pxs, &pys}) {
          s1 += sq((*list)[n - 1] - (*list)[n - 2]);
          s2 += sq((*list)[n - 2] - (*list)[n - 3]);
        }
        if (s1 < kAdjustSettleSq && s2 < kAdjustSettleSq) {
          result.rotate = (angles[n - 1] + angles[n - 2] + angles[n - 3]) / 3.0;
          result.ratio_px = (pxs[n - 1] + pxs[n - 2] + pxs[n - 3]) / 3.0;
          result.ratio_py = (pys[n - 1] + pys[n - 2] + pys[n - 3]) / 3.0;
          result.isMirror = sample.isMirror;
          break;
        }
      }
      move({0, 1}, {p0.x, p0.y});
      pollUntil([&](const cv::Point2d& p) {
        return std::abs(p.x - p0.x) <= 0.001 && std::abs(p.y - p0.y) <= 0.001;
      });
      wait(settings_.waitTime4Capture);
    }
    const bool inLimits = cfg.read(k::ratio_px_low) <= result.ratio_px && result.ratio_px <= cfg.read(k::ratio_px_high) &&
                          cfg.read(k::ratio_py_low) <= result.ratio_py && result.ratio_py <= cfg.read(k::ratio_py_high);
    if (!inLimits) {
      reload();
      return {Outcome::Failed, kAdjustLimitsText};
    }
    cfg.write(k::rotate, result.rotate);
    cfg.write(k::isMirror, result.isMirror);
    cfg.write(k::ratio_px, result.ratio_px);
    cfg.write(k::ratio_py, result.ratio_py);
    return {Outcome::Done, kAdjustOkText};
  } catch (const Stopped&) {
    reload();
    return {Outcome::Stopped, {}};
  } catch (const Failed& f) {
    reload();
    return {Outcome::Failed, f.message};
  }
}

}  // namespace qel::camera
