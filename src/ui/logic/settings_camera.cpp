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

CameraCheck checkCamera(const CameraForm& f) {
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
