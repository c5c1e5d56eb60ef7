#include "camera/sim_sheet.h"

#include <algorithm>

#include "camera/calibration.h"
#include "camera/frame_source.h"
#include "ccd/pattern_model.h"
#include "config/ini_config.h"

namespace qel::sim {

namespace {
constexpr int kCcdPageMode = 9;
}

std::optional<SimSheet> loadSimSheet(const std::string& home, const SimSheetOptions& o, std::string* error) {
  const config::CIniConfig cfg(home);
  ccd::PatternModel pattern;
  switch (pattern.load(o.plotPath, cfg)) {
    case ccd::PatternLoad::Loaded: break;
    case ccd::PatternLoad::NotExist:
      if (error) *error = o.plotPath + " does not exist";
      return std::nullopt;
    case ccd::PatternLoad::FormatError:
      if (error) *error = o.plotPath + " cannot be read as a plot file";
      return std::nullopt;
  }
  if (pattern.markCount() == 0) {
    if (error) *error = o.plotPath + " holds no registration mark of pen " + std::to_string(pattern.markPen());
    return std::nullopt;
  }
  SimSheet s;
  s.sheet.shape = pattern.isCrossMark(0) ? MarkShape::Cross : MarkShape::Disc;
  for (std::size_t i = 0; i < pattern.markCount(); ++i) {
    const auto& p = pattern.strokes()[i].points[0];
    s.sheet.marks.emplace_back(p.x / 40.0, p.y / 40.0);
    if (pattern.strokes()[i].circleFlag && pattern.strokes()[i].circleRadius > 0)
      s.markRadiusMm = pattern.strokes()[i].circleRadius / 40.0;
  }
  s.sheet.markRadius = s.markRadiusMm;
  s.sheet.printScaleX = s.sheet.printScaleY = o.printScale;
  s.sheet.printScaleX *= 1.0 + o.printStretchPct / 100.0;
  s.sheet.printRotationDeg = o.printRotateDeg + 0.3 * (o.stackIndex % 3 - 1) * (o.stackIndex > 0);
  s.sheet.origin = o.sheetOff;
  if (o.stackIndex > 0) s.sheet.origin += cv::Point2d(1.5 * (o.stackIndex % 3) - 1.5, (o.stackIndex % 2) - 0.5);
  if (o.printDriftDeg != 0.0) {
    double length = 0.0;
    for (const auto& m : s.sheet.marks) length = std::max(length, m.x - s.sheet.marks[0].x);
    s.sheet.driftDeg = o.printDriftDeg;
    s.sheet.driftLengthMm = length > 0.0 ? length : 1000.0;
  }
  if (o.codes) {
    std::string name = o.plotPath.substr(o.plotPath.find_last_of('/') + 1);
    if (const auto dot = name.find_last_of('.'); dot != std::string::npos && dot > 0) name.resize(dot);
    s.sheet.code = name;
    s.sheet.codeFormat = o.codeFormat;
    s.sheet.codeAt = s.sheet.marks[0] + cv::Point2d(22.0, 2.0);
  }
  s.camera.rotationRad = -0.02;
  if (o.markFaults) {
    s.camera.blurSigma = 0.8;
    s.camera.noiseSigma = 4.0;
    s.camera.lightFalloff = 0.2;
    if (s.sheet.marks.size() > 2) s.sheet.smudged = {1};
  }
  return s;
}

void configureHomeForSimTable(const std::string& home, const SimSheet& s) {
  config::CIniConfig cfg(home);
  cfg.writeText(camera::kFrameSourceSection, camera::kFrameSourceKey, "sim");
  cfg.writeText(camera::kFrameSourceSection, camera::kSimCameraSocketKey, cfg.programDir() + camera::kSimCameraSocketName);
  camera::CameraCalibration(calibrationFor(s.camera)).save(cfg, cfg.read(config::keys::cur));
  cfg.writeMark(0, s.markRadiusMm);
  cfg.writeMark(1, s.markRadiusMm / 2.0);
  cfg.write(config::keys::markType, s.sheet.shape == MarkShape::Cross ? 1 : 0);
  cfg.write(config::keys::camera_cx, s.camera.toolOffset.x);
  cfg.write(config::keys::camera_cy, s.camera.toolOffset.y);
  cfg.write(config::keys::CUT_FT, kCcdPageMode);
  // The head starts away from the sheet: the run moves to the first mark by itself.
  cfg.write(config::keys::autoMove2FirstMarkPoint, 1);
}

SimTableCamera::SimTableCamera(SimSheet sheet, std::function<cv::Point2d()> head)
    : SimTableCamera(std::vector<SimSheet>{std::move(sheet)}, std::move(head)) {}

SimTableCamera::SimTableCamera(const std::vector<SimSheet>& stack, std::function<cv::Point2d()> head)
    : head_(std::move(head)) {
  for (const auto& s : stack) tables_.push_back(std::make_unique<SimTable>(clock_, s.sheet, s.camera));
  bare_ = std::make_unique<SimTable>(clock_, SheetSpec{}, stack.empty() ? CameraSpec{} : stack[0].camera);
}

bool SimTableCamera::start(const std::string& socketPath, std::string* error) {
  return service_.start(socketPath, [this] {
    const std::size_t i = static_cast<std::size_t>(index_.load());
    const SimTable& t = i < tables_.size() ? *tables_[i] : *bare_;
    return t.renderAt(t.trueOf(head_()));
  }, error);
}

}  // namespace qel::sim
