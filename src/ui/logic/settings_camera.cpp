#include "ui/logic/settings_camera.h"

#include "config/ini_config.h"

namespace qel::ui {

namespace k = config::keys;
using config::CIniConfig;

TargetType targetTypeOf(int markType) { return markType == 0 ? TargetType::Circle : TargetType::Cross; }

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
  return f;
}

namespace {

struct CameraField {
  const char* name;
  std::string CameraForm::*text;
  NumberRule rule;
  bool circleOnly;
};

// Lengths in mm, the capture delay in ms, angles in degrees, pens 1 to 99.
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
  return CameraCheck::Accepted;
}

}  // namespace qel::ui
