#include "ccd/ccd_workflow.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "config/ini_config.h"
#include "platform/files.h"
#include "platform/run_stamp.h"
#include "plot/number_text.h"

// The settings of the CCD cut window and the files its marking run writes.
namespace qel::ccd {

CcdSettings loadCcdSettings(const std::string& home) {
  namespace k = config::keys;
  const config::CIniConfig cfg = config::CIniConfig(home).snapshot();
  CcdSettings s;
  s.debugStatus = cfg.read(k::DebugStatus);
  s.rotate = cfg.read(k::rotate);
  s.isMirror = cfg.read(k::isMirror);
  s.ratio_px = cfg.read(k::ratio_px);
  s.ratio_py = cfg.read(k::ratio_py);
  s.waitTime4Capture = cfg.read(k::WaitTime4Capture);
  s.moveSpeed = cfg.read(k::MoveSpeed);
  s.moveAccel = cfg.read(k::MoveAccel);
  s.blockXLow = cfg.read(k::MoveBlockXLow);
  s.blockXHigh = cfg.read(k::MoveBlockXHigh);
  s.blockYLow = cfg.read(k::MoveBlockYLow);
  s.blockYHigh = cfg.read(k::MoveBlockYHigh);
  s.controllerAddress = cfg.read(k::Xitong_IP);
  s.camera_cx = cfg.read(k::camera_cx);
  s.camera_cy = cfg.read(k::camera_cy);
  s.pageWidthMm = cfg.read(k::Page_Width);
  s.pageHeightMm = cfg.read(k::Page_Height);
  s.markTime = cfg.read(k::markTime);
  s.cutType = cfg.read(k::cutType);
  s.minRadius = cfg.read(k::minRadius);
  s.maxRadius = cfg.read(k::maxRadius);
  s.autoMove2FirstMarkPoint = cfg.read(k::autoMove2FirstMarkPoint) != 0;
  s.markType = cfg.read(k::markType);
  s.axisYRotate = cfg.read(k::AxisYRotate);
  s.shareMark = cfg.read(k::shareMark) != 0;
  s.linkType = cfg.read(k::Xitong_TT);
  s.calibrationSet = cfg.read(k::cur);
  s.maxMarkResidualMm = cfg.read(k::MaxMarkResidual);
  s.searchRadiusMm = cfg.read(k::SearchRadius);
  s.minConfidence = cfg.read(k::MinConfidence);
  s.centreTolerancePx = cfg.read(k::CentreTolerance);
  s.standStillMs = std::max(1, cfg.read(k::StandStillMs));
  s.segmentLengthMm = cfg.read(k::SegmentLength);
  s.jobDir = cfg.read(k::JobDir);
  s.skipUnknownJob = cfg.read(k::UnknownJob) == 1;
  s.skipMissingCode = cfg.read(k::MissingCode) == 1;
  s.feedTimeoutMs = cfg.read(k::FeedTimeout);
  double x = 0, y = 0;
  char tail = 0;
  const std::string first = cfg.read(k::FirstMark);
  if (std::sscanf(first.c_str(), "%lf,%lf%c", &x, &y, &tail) == 2 && std::isfinite(x) && std::isfinite(y))
    s.firstMark = cv::Point2d(x, y);
  return s;
}

void saveCcdSettings(const std::string& home, const CcdSettings& s) {
  namespace k = config::keys;
  config::CIniConfig cfg(home);
  cfg.write(k::rotate, s.rotate);
  cfg.write(k::isMirror, s.isMirror);
  cfg.write(k::ratio_px, s.ratio_px);
  cfg.write(k::ratio_py, s.ratio_py);
  cfg.write(k::cutType, s.cutType);
}

std::string CcdWorkflow::historyName(const std::string& plotPath, std::time_t when) {
  std::string base = plotPath.substr(plotPath.find_last_of('/') + 1);
  const auto dot = base.find_last_of('.');
  if (dot != std::string::npos && dot > 0) base.resize(dot);
  return base + "_" + platform::runStamp(platform::localTimeOf(when)) + "_001.PLT";
}

bool CcdWorkflow::writePattern(const std::string& path, const std::vector<const plot::CStroke*>& strokes,
                               const std::function<void(std::vector<plot::PlotPoint>&)>& correct) {
  std::string out = "IN;";
  for (const plot::CStroke* s : strokes) {
    std::vector<plot::PlotPoint> pts(s->points.begin(), s->points.end());
    correct(pts);
    out += "SP" + std::to_string(s->pen) + ";";
    auto insertedAt = [&](std::size_t index) {
      for (const auto& c : s->inserted)
        if (c.pointIndex == static_cast<std::int32_t>(index)) out.append(c.text).push_back(';');
    };
    for (std::size_t i = 0; i < pts.size(); ++i) {
      insertedAt(i);
      out += i == 0 ? "PU" : "PD";
      plot::appendNumber(out, pts[i].x);
      out += ',';
      plot::appendNumber(out, pts[i].y);
      out += ';';
    }
    insertedAt(pts.size());
    if (s->circleFlag) out += "CI" + std::to_string(s->circleRadius) + ";";
  }
  return platform::writeFileAtomically(path, out);
}

}  // namespace qel::ccd
