#include "camera/sim_sheet.h"

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
  s.sheet.printRotationDeg = o.printRotateDeg;
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
    : table_(clock_, std::move(sheet.sheet), sheet.camera), head_(std::move(head)) {}

bool SimTableCamera::start(const std::string& socketPath, std::string* error) {
  return service_.start(socketPath, [this] { return table_.renderAt(table_.trueOf(head_())); }, error);
}

}  // namespace qel::sim
