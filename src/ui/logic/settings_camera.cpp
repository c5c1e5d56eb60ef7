#include "ui/logic/settings_camera.h"

#include "config/ini_config.h"

namespace qel::ui {

namespace k = config::keys;
using config::CIniConfig;

TargetType targetTypeOf(int markType) { return markType == 0 ? TargetType::Circle : TargetType::Cross; }

SheetFault sheetFaultOf(int stored) { return stored == 1 ? SheetFault::SkipSheet : SheetFault::StopRun; }

CameraForm loadCamera(const CIniConfig& store) {
  const CIniConfig cfg = store.snapshot();
  auto i = [&](const auto& key) { return CIniConfig::formatInt(cfg.read(key)); };
  auto r = [&](const auto& key) { return CIniConfig::formatReal(cfg.read(key)); };
  CameraForm f;
  f.cameraCx = r(k::camera_cx);
  f.cameraCy = r(k::camera_cy);
  f.target = targetTypeOf(cfg.read(k::markType));
  f.markTime = i(k::markTime);
  f.radius = CIniConfig::formatReal(cfg.readMark(0));
  f.tolerance = CIniConfig::formatReal(cfg.readMark(1));
  f.markSp = i(k::MarkPoint_SP);
  f.autoFirstPoint = cfg.read(k::autoMove2FirstMarkPoint) != 0;
  f.shareMark = cfg.read(k::shareMark) != 0;
  f.blockXLow = r(k::MoveBlockXLow);
  f.blockXHigh = r(k::MoveBlockXHigh);
  f.blockYLow = r(k::MoveBlockYLow);
  f.blockYHigh = r(k::MoveBlockYHigh);
  f.speed = i(k::MoveSpeed);
  f.accel = i(k::MoveAccel);
  f.captureDelay = i(k::WaitTime4Capture);
  f.axisYRotate = r(k::AxisYRotate);
  f.searchRadius = r(k::SearchRadius);
  f.minConfidence = r(k::MinConfidence);
  f.centreTolerance = r(k::CentreTolerance);
  f.standStill = i(k::StandStillMs);
  f.segmentLength = r(k::SegmentLength);
  f.feedTimeout = i(k::FeedTimeout);
  f.jobDir = cfg.read(k::JobDir);
  f.unknownJob = sheetFaultOf(cfg.read(k::UnknownJob));
  f.missingCode = sheetFaultOf(cfg.read(k::MissingCode));
  return f;
}

namespace {

std::string trimmed(const std::string& s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

struct CameraField {
  const char* name;
  std::string CameraForm::*text;
  NumberRule rule;
  bool circleOnly;
};

// Lengths in mm, times in ms, angles in degrees, pens 1 to 99. The search radius is at least a
// millimetre (a first mark found any further off its place is refused); the centre tolerance at
// most half the 480-pixel picture height.
const CameraField kCameraFields[] = {
    {"cameraCx", &CameraForm::cameraCx, {-1000, 1000, false}, false},
    {"cameraCy", &CameraForm::cameraCy, {-1000, 1000, false}, false},
    {"markTime", &CameraForm::markTime, {1, 20, true}, false},
    {"radius", &CameraForm::radius, {0.1, 100, false}, true},
    {"tolerance", &CameraForm::tolerance, {0, 100, false}, true},
    {"markSp", &CameraForm::markSp, {1, 99, true}, false},
    {"blockXLow", &CameraForm::blockXLow, {-100000, 100000, false}, false},
    {"blockXHigh", &CameraForm::blockXHigh, {-100000, 100000, false}, false},
    {"blockYLow", &CameraForm::blockYLow, {-100000, 100000, false}, false},
    {"blockYHigh", &CameraForm::blockYHigh, {-100000, 100000, false}, false},
    {"speed", &CameraForm::speed, {1, 100000, true}, false},
    {"captureDelay", &CameraForm::captureDelay, {0, 60000, true}, false},
    {"axisYRotate", &CameraForm::axisYRotate, {-180, 180, false}, false},
    {"searchRadius", &CameraForm::searchRadius, {1, 500, false}, false},
    {"minConfidence", &CameraForm::minConfidence, {0, 1, false}, false},
    {"centreTolerance", &CameraForm::centreTolerance, {0, 240, false}, false},
    {"standStill", &CameraForm::standStill, {1, 1000, true}, false},
    {"segmentLength", &CameraForm::segmentLength, {0, 100000, false}, false},
    {"feedTimeout", &CameraForm::feedTimeout, {1000, 600000, true}, false},
};

}  // namespace

std::vector<FieldCheck> cameraFieldChecks(const CameraForm& form) {
  std::vector<FieldCheck> out;
  for (const CameraField& f : kCameraFields)
    out.push_back({f.name, form.*f.text, f.rule, !f.circleOnly || radiusEnabled(form.target)});
  return out;
}

std::optional<NumberRule> cameraRule(const std::string& field) {
  if (field == "accel") return NumberRule{kAccelMin, kAccelMax, true};
  for (const CameraField& f : kCameraFields)
    if (field == f.name) return f.rule;
  return std::nullopt;
}

std::optional<FieldRefusal> cameraRefusal(const CameraForm& form) { return firstRefusal(cameraFieldChecks(form)); }

CameraCheck checkCamera(const CameraForm& f) {
  if (cameraRefusal(f)) return CameraCheck::FieldRefused;
  if (CIniConfig::toReal(f.blockXHigh) < CIniConfig::toReal(f.blockXLow)) return CameraCheck::BlockXReversed;
  if (CIniConfig::toReal(f.blockYHigh) < CIniConfig::toReal(f.blockYLow)) return CameraCheck::BlockYReversed;
  const int accel = CIniConfig::toInt(f.accel);
  if (accel < kAccelMin || accel > kAccelMax) return CameraCheck::AccelOutOfRange;
  return CameraCheck::Accepted;
}

CameraCheck saveCamera(CIniConfig& cfg, const CameraForm& f) {
  const CameraCheck check = checkCamera(f);
  if (check != CameraCheck::Accepted) return check;
  auto real = [](const std::string& s) { return CIniConfig::toReal(s); };
  auto integer = [](const std::string& s) { return CIniConfig::toInt(s); };
  cfg.write(k::markType, static_cast<int>(f.target));
  cfg.write(k::camera_cx, real(f.cameraCx));
  cfg.write(k::camera_cy, real(f.cameraCy));
  cfg.write(k::WaitTime4Capture, integer(f.captureDelay));
  cfg.write(k::MoveSpeed, integer(f.speed));
  cfg.write(k::MoveAccel, integer(f.accel));
  cfg.write(k::markTime, integer(f.markTime));
  cfg.writeMark(0, real(f.radius));
  cfg.writeMark(1, real(f.tolerance));
  cfg.write(k::MoveBlockXLow, real(f.blockXLow));
  cfg.write(k::MoveBlockXHigh, real(f.blockXHigh));
  cfg.write(k::MoveBlockYLow, real(f.blockYLow));
  cfg.write(k::MoveBlockYHigh, real(f.blockYHigh));
  cfg.write(k::autoMove2FirstMarkPoint, f.autoFirstPoint ? 1 : 0);
  cfg.write(k::AxisYRotate, real(f.axisYRotate));
  cfg.write(k::MarkPoint_SP, integer(f.markSp));
  cfg.write(k::shareMark, f.shareMark ? 1 : 0);
  cfg.write(k::SearchRadius, real(f.searchRadius));
  cfg.write(k::MinConfidence, real(f.minConfidence));
  cfg.write(k::CentreTolerance, real(f.centreTolerance));
  cfg.write(k::StandStillMs, integer(f.standStill));
  cfg.write(k::SegmentLength, real(f.segmentLength));
  cfg.write(k::FeedTimeout, integer(f.feedTimeout));
  cfg.write(k::UnknownJob, static_cast<int>(f.unknownJob));
  cfg.write(k::MissingCode, static_cast<int>(f.missingCode));
  const std::string jobDir = trimmed(f.jobDir);
  if (jobDir != cfg.read(k::JobDir)) cfg.write(k::JobDir, jobDir);
  return CameraCheck::Accepted;
}

}  // namespace qel::ui
