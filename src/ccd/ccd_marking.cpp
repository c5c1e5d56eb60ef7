// The marking run of the CCD cut workflow: the first mark at its place, every further mark where
// the estimates so far predict it (searched for around that place when it is not there), the
// correction fitted to the marks, temp.PLT, its send, the history record with its quality
// record, and the repetition of cut types 2 and 3.
#include <sys/stat.h>

#include <cmath>
#include <cstdio>

#include "camera/mark_search.h"
#include "ccd/ccd_workflow_impl.h"
#include "config/ini_config.h"
#include "links/network_transfer.h"
#include "links/transfer_link.h"
#include "platform/files.h"

namespace qel::ccd {

using namespace camera;
using namespace detail;

namespace {
enum class LinkType : int { Parallel = 1, Serial = 2, ControllerFile = 3, Network = 4, ControllerControl = 5 };

std::string firstMarkText(const cv::Point2d& p) {
  char text[64];
  std::snprintf(text, sizeof text, "%.3f,%.3f", p.x, p.y);
  return text;
}
}  // namespace

void CcdWorkflow::Impl::logMark(const MarkReport& r) const {
  char line[200];
  if (r.skipped) {
    std::snprintf(line, sizeof line, "mark %zu: not found, left out of the fit", r.index + 1);
  } else {
    std::snprintf(line, sizeof line, "mark %zu: measured (%.3f, %.3f) mm, confidence %s%s", r.index + 1, r.machine.x,
                  r.machine.y, qualityText(r.quality).c_str(), r.remeasured ? ", measured again" : "");
  }
  log(line);
}

std::optional<MarkReport> CcdWorkflow::Impl::findMark(const cv::Point2d& at, bool manual) {
  CameraProcedures procedures(head, *this, calibration, clock, motion());
  MarkReport r;
  auto found = [&](const LocateResult& l) {
    r.machine = located(l);
    r.quality = lastQuality;
    r.remeasured = lastRemeasured;
    return r;
  };
  try {
    LocateResult l = procedures.locateMark(true, false);
    if (l.status != LocateResult::Status::NotFound || !l.message.empty()) return found(l);
    // Not where it was predicted: outward in camera-sized steps.
    const std::vector<cv::Point2d> offsets = spiralOffsets(searchStepMm(calibration), settings.searchRadiusMm);
    for (std::size_t i = 0; i < offsets.size(); ++i) {
      moveTo(at + offsets[i]);
      l = procedures.locateMark(true, false);
      if (l.status != LocateResult::Status::NotFound || !l.message.empty()) {
        r.searchSteps = static_cast<int>(i + 1);
        log("mark found " + std::to_string(i + 1) + " search step(s) beside its predicted place");
        return found(l);
      }
    }
    if (!manual) return std::nullopt;
    if (!offsets.empty()) moveTo(at);
    return found(procedures.locateMark(false, false));
  } catch (const CalibrationError& e) {
    throw Failed{CcdMessage::Procedure, e.what()};
  }
}

std::optional<cv::Point2d> CcdWorkflow::Impl::firstMarkPlace(const PatternModel& p, const cv::Point2d& d0,
                                                             bool jobStart) const {
  if (settings.autoMove2FirstMarkPoint)
    return cv::Point2d(d0.x - p.plate() * settings.pageWidthMm - settings.camera_cx, d0.y - settings.camera_cy);
  if (operatorPlaced || !jobStart) return std::nullopt;
  return settings.firstMark;
}

void CcdWorkflow::Impl::checkFirstMark(const cv::Point2d& found, const cv::Point2d& place) const {
  // A sheet lies within the search radius of its place; a mark further off is some other one.
  const double off = cv::norm(found - place);
  if (off <= settings.searchRadiusMm) return;
  char text[320];
  std::snprintf(text, sizeof text, kFirstMarkFarFormat, off, place.x, place.y);
  log(text);
  throw Failed{CcdMessage::FirstMarkFar, text};
}

void CcdWorkflow::Impl::rememberFirstMark(const cv::Point2d& m0) {
  settings.firstMark = m0;
  operatorPlaced = false;
  config::CIniConfig(services.home).write(config::keys::FirstMark, firstMarkText(m0));
}

void CcdWorkflow::Impl::registerAndCut(PatternModel& p, int cutType, int piece, cv::Point2d& reference,
                                       std::optional<MarkReport> first, RunRecord& record) {
  const bool multi = cutType == 2 || cutType == 3;
  std::vector<cv::Point2d> design;
  for (const auto& d : p.designMarks(cutType, settings.shareMark)) design.emplace_back(d.x, d.y);
  if (auto refusal = checkDesignMarkCount(design.size())) throw Failed{CcdMessage::TooFewMarks, *refusal};
  const double vr18 = readVr(kVrScaleX);
  const double vr19 = readVr(kVrScaleY);
  Registration reg;
  reg.reset(design, vr18, vr19, settings.axisYRotate);
  record.job = p.path();
  record.cutType = cutType;
  record.marks.clear();

  if (!first) first = findFirstMark(p, design[0], piece);
  const cv::Point2d m0 = first->machine;
  if (multi) placePiece(piece, m0, reference);
  const bool anySkipped = measureMarks(reg, *first, record);
  if (cutType == 4) {
    saveAxisDeflection(reg);
    return;
  }
  reg.computeFinalRatios();
  record.ratioX = reg.ratio_x, record.ratioY = reg.ratio_y, record.angleRad = reg.angle;
  services.op->correction(reg.ratio_x, reg.ratio_y, reg.angle);
  correctAndSend(p, reg, cutType, anySkipped, record);
  if (piece == 0 && !multi) rememberFirstMark(m0);
}

MarkReport CcdWorkflow::Impl::findFirstMark(const PatternModel& p, const cv::Point2d& design0, int piece) {
  const cv::Point2d d0 = design0 / kPlotUnitsPerMm;
  const std::optional<cv::Point2d> place = firstMarkPlace(p, d0, piece == 0);
  cv::Point2d at = standing();
  if (place && cv::norm(at - *place) > 0.001) {
    moveTo(*place);
    at = *place;
  }
  std::optional<MarkReport> first = findMark(at, !services.unattended);
  if (!first) throw Failed{CcdMessage::CantCaptureMark, kNoMarkText};
  if (place) checkFirstMark(first->machine, *place);
  return *first;
}

void CcdWorkflow::Impl::placePiece(int piece, const cv::Point2d& m0, cv::Point2d& reference) {
  // The machine shifts each later piece by its first mark's offset from the first piece's.
  if (piece == 0) {
    writeVr(kVrPieceDx, 0.0);
    writeVr(kVrPieceDy, 0.0);
    reference = m0;
  } else {
    writeVr(kVrPieceDx, m0.x - reference.x);
    writeVr(kVrPieceDy, m0.y - reference.y);
  }
}

bool CcdWorkflow::Impl::measureMarks(Registration& reg, MarkReport first, RunRecord& record) {
  reg.addMeasured(first.machine);
  first.index = 0;
  first.design = reg.design()[0];
  record.marks.push_back(first);
  logMark(first);
  services.op->markMeasured(first);
  bool anySkipped = false;
  for (std::size_t k = 1; k < reg.design().size(); ++k) {
    const cv::Point2d e = reg.expectedPosition(k);
    if (e.x < settings.blockXLow || e.x > settings.blockXHigh || e.y < settings.blockYLow || e.y > settings.blockYHigh)
      throw Failed{CcdMessage::OutOfBlock, kOutOfBlockText};
    moveTo(e);
    std::optional<MarkReport> m = findMark(e, !services.unattended);
    if (!m) {
      // Left out of the fit; its prediction keeps the running estimates in step.
      m = MarkReport{};
      m->skipped = true;
      m->machine = e;
      anySkipped = true;
    }
    m->index = k;
    m->design = reg.design()[k];
    reg.addMeasured(m->machine);
    record.marks.push_back(*m);
    logMark(*m);
    services.op->markMeasured(*m);
  }
  return anySkipped;
}

void CcdWorkflow::Impl::saveAxisDeflection(const Registration& reg) {
  config::CIniConfig cfg(services.home);
  const ProcedureResult r = saveAxisYRotate(cfg, reg.measured());
  if (r.outcome != Outcome::Done) throw Failed{CcdMessage::Procedure, r.message};
  settings.axisYRotate = cfg.read(config::keys::AxisYRotate);
  services.op->tell(CcdMessage::Procedure, r.message);
}

void CcdWorkflow::Impl::correctAndSend(PatternModel& p, const Registration& reg, int cutType, bool anySkipped,
                                       RunRecord& record) {
  std::vector<MarkPair> pairs;
  for (const auto& m : record.marks)
    if (!m.skipped) pairs.push_back({m.design, m.machine});
  const cv::Point2d tool(settings.camera_cx, settings.camera_cy);
  const PatternCorrection standard(reg, cutType, settings.camera_cx, settings.camera_cy);
  std::optional<AffineCorrection> affine;
  std::optional<SegmentedCorrection> segmented;
  const PointCorrection* correction = &standard;
  std::vector<double> residuals;
  if (cutType >= 1 && cutType <= 3 && settings.segmentLengthMm > 0.0) {
    std::string why;
    segmented = SegmentedCorrection::fit(pairs, reg.deflection(), tool, &why);
    if (!segmented) throw Failed{CcdMessage::MarksMissing, why};
    correction = &*segmented;
    record.fit = "segments";
    record.segments = segmented->segments();
    residuals = residualsOf(*segmented, pairs, tool);
  } else if (cutType >= 1 && cutType <= 3 && anySkipped) {
    affine = AffineCorrection::fit(pairs, reg.deflection(), tool);
    if (!affine) throw Failed{CcdMessage::MarksMissing, kMarksMissingText};
    correction = &*affine;
    record.fit = "affine";
    residuals = residualsOf(*affine, pairs, tool);
  } else {
    record.fit = cutType == 0 ? "shift" : "pairs";
    residuals = markResiduals(reg, standard, settings.camera_cx, settings.camera_cy);
  }
  record.residuals = residuals;
  if (!residuals.empty()) {
    services.op->residuals(residuals);
    log(residualsLine(residuals));
    if (auto refusal = checkMarkResiduals(residuals, settings.maxMarkResidualMm)) {
      log(*refusal);
      throw Failed{CcdMessage::MarkResidual, *refusal};
    }
  }
  if (!saveAndSend(p, *correction, record)) throw Failed{CcdMessage::Procedure, {}};
}

bool CcdWorkflow::Impl::saveAndSend(PatternModel& p, const PointCorrection& correction, RunRecord& record) {
  services.op->fileStatus(CcdFileStatus::Saving, {});
  const std::string path = services.home + "temp.PLT";
  const auto strokes = p.plateSelection();
  if (strokes.empty()) {
    services.op->fileStatus(CcdFileStatus::SaveFailed, {});
    return false;
  }
  if (!writePattern(path, strokes, [&](std::vector<plot::PlotPoint>& pts) { correction.transformStroke(pts); })) {
    services.op->fileStatus(CcdFileStatus::SaveTmpFailed, {});
    services.op->tell(CcdMessage::SaveFileFailed, {});
    return false;
  }
  services.op->fileStatus(CcdFileStatus::SaveFinished, {});
  waitMs(kSendPauseMs);
  services.op->fileStatus(CcdFileStatus::Sending, {});
  struct stat st {};
  ::stat(path.c_str(), &st);
  const links::LinkFactory standard = links::LinkFactory::standard();
  const links::LinkFactory& factory = services.links ? *services.links : standard;
  const links::SendResult r =
      links::sendWithLink(factory, settings.linkType, *services.linkOwner, path, static_cast<std::int32_t>(st.st_size));
  if (!r.ok) {
    services.op->fileStatus(CcdFileStatus::SendFailed, r.text);
    return false;
  }
  services.op->fileStatus(CcdFileStatus::SendFinished, r.text);
  const std::string name = historyName(p.path(), std::time(nullptr));
  if (services.recordHistory) {
    services.recordHistory(path, name);
  } else {
    const std::string printed = config::CIniConfig(services.home).read(config::keys::SPD);
    platform::makeDirectories(printed);
    platform::copyFile(path, printed + (printed.empty() || printed.back() == '/' ? "" : "/") + name);
  }
  ++pieces;
  services.op->sent(name, r.text);
  const std::string written = writeRecord(record, name);
  if (!written.empty()) services.op->recordWritten(written);
  return true;
}

bool CcdWorkflow::Impl::machineFinished() {
  switch (static_cast<LinkType>(settings.linkType)) {
    case LinkType::ControllerFile:
    case LinkType::ControllerControl: {
      const int period = settings.linkType == 3 ? kFileLinkPollMs : kControlLinkPollMs;
      for (;;) {
        double start = 0, busy = 0;
        const bool read = services.command->getVr(kVrStart, &start) && services.command->getVr(kVrBusy, &busy);
        check();
        if (read && busy == 2.0) return false;
        if (read && start == 0.0 && busy == 0.0) return true;
        waitMs(period);
      }
    }
    case LinkType::Network: {
      links::CNetwork_Transfer probe(*services.linkOwner, {}, 0);
      for (;;) {
        const int code = probe.Probe(1);
        probe.Close();
        check();
        if (code >= 1) return true;
        waitMs(kControlLinkPollMs);
      }
    }
    case LinkType::Parallel:
    case LinkType::Serial: break;
  }
  return true;
}

RunEnd CcdWorkflow::Impl::markingRun() {
  if (stopFlag()) {
    setStopFlag(false);
    setState(CcdState::Ready);
    return RunEnd::Stopped;
  }
  cv::Point2d reference(0, 0);
  RunRecord record;
  try {
    for (int piece = 0;; ++piece) {
      record = RunRecord{};
      record.startMs = clock.nowMs();
      registerAndCut(pattern, settings.cutType, piece, reference, std::nullopt, record);
      if (settings.cutType == 4) break;
      const bool nextPlate = settings.cutType == 2 && pattern.selectAll() && pattern.plate() < pattern.plateCount() - 1;
      if (!nextPlate && settings.cutType != 3) break;
      if (nextPlate) pattern.setPlate(pattern.plate() + 1);
      services.op->betweenPieces(piece + 1);
      waitMs(kPieceGapMs);
      if (!machineFinished()) break;
      check();
    }
    // The next job starts at its first mark: never with the last mark of this one under the camera.
    // The head moves there once the machine has cut what it was sent.
    if (settings.cutType >= 1 && settings.cutType <= 3 && !record.marks.empty()) {
      machineFinished();
      const auto place = firstMarkPlace(pattern, record.marks[0].design, true);
      moveTo(place ? *place : record.marks[0].machine);
    }
  } catch (const Stopped&) {
    setStopFlag(false);
    setState(CcdState::Ready);
    return RunEnd::Stopped;
  } catch (const Failed& f) {
    if (f.message != CcdMessage::Procedure || !f.detail.empty()) services.op->tell(f.message, f.detail);
    setStopFlag(false);
    setState(CcdState::Ready);
    return RunEnd::Failed;
  }
  setState(CcdState::MarkFinished);
  return RunEnd::Completed;
}

}  // namespace qel::ccd
