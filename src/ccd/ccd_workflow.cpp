#include "ccd/ccd_workflow.h"

#include <cstdio>
#include <system_error>

#include "ccd/ccd_workflow_impl.h"
#include "config/ini_config.h"
#include "platform/trace.h"

namespace qel::ccd {

using namespace camera;  // the workflow is written in the camera's terms
using namespace detail;

namespace {
constexpr int kMarkConfirmInput = 49;
constexpr int kMarkConfirmOutput = 49;
const cv::Point2d kImageCentre(320.0, 240.0);
}  // namespace

CcdWorkflow::Impl::Impl(CcdServices s, PatternModel& p)
    : services(std::move(s)),
      pattern(p),
      clock(services.clock ? *services.clock : platform::SystemClock::instance()),
      head(*services.command) {}

cv::Point2d CcdWorkflow::Impl::measureMark(bool silent) {
  const bool grabbing = !services.cameraGrabbing || services.cameraGrabbing();
  MeasuredMark m = grabbing ? services.measurement->measureMark(1) : MeasuredMark{};
  lastRemeasured = false;
  if (m.found() && m.quality.confidence() < settings.minConfidence && !stopFlag()) {
    // Unsure: a second frame, and the surer of the two.
    const MeasuredMark again = services.measurement->measureMark(1);
    lastRemeasured = true;
    if (again.found() && again.quality.confidence() >= m.quality.confidence()) m = again;
  }
  lastQuality = m.quality;
  if (m.found() || silent || stopFlag()) return m.position;
  {
    // Reset before asking: a confirmation given right after the answer is not lost.
    std::lock_guard lock(confirmMutex);
    confirmed = false;
  }
  if (!services.op->ask(CcdQuestion::ManualMarking)) {
    setStopFlag(true);
    return {0, 0};
  }
  setState(CcdState::ManualMarking);
  {
    std::unique_lock lock(confirmMutex);
    confirmWaiting = true;
    confirmCv.wait(lock, [&] { return confirmed || stopFlag() || closing.load(); });
    confirmWaiting = false;
  }
  if (stopFlag() || closing) return {0, 0};
  setState(CcdState::AutoMarkingAfterManual);
  lastQuality = {1.0, 1.0, 1.0};  // the operator's own placing
  return kImageCentre;
}

void CcdWorkflow::Impl::waitMs(int ms) {
  for (int left = ms; left > 0; left -= kStepMs) {
    check();
    clock.sleepMs(std::min(left, kStepMs));
  }
  check();
}

void CcdWorkflow::Impl::setState(CcdState s) {
  if (closing) return;
  state = s;
  services.op->stateChanged(s);
}

void CcdWorkflow::Impl::releaseConfirm() {
  std::lock_guard lock(confirmMutex);
  confirmed = true;
  confirmCv.notify_all();
}

MotionSettings CcdWorkflow::Impl::motion() const {
  MotionSettings m;
  m.waitTime4Capture = settings.waitTime4Capture;
  m.moveSpeed = settings.moveSpeed;
  m.moveAccel = settings.moveAccel;
  m.markTime = settings.markTime;
  m.centreTolerancePx = settings.centreTolerancePx;
  m.standPollMs = settings.standStillMs;
  return m;
}

void CcdWorkflow::Impl::loadSettings() {
  settings = loadCcdSettings(services.home);
  const config::CIniConfig cfg(services.home);
  calibration.load(cfg, settings.calibrationSet);
  RadiusLimits r{settings.minRadius, settings.maxRadius};
  try {
    r = calibration.markRadiusLimits(cfg.readMark(0), cfg.readMark(1));
  } catch (const CalibrationError&) {
    // Keep the configured limits; a run reports the unusable set when it converts.
  }
  services.measurement->setParameters(markTypeFromKey(settings.markType), r.minRadius, r.maxRadius);
}

double CcdWorkflow::Impl::readVr(int n) {
  for (int tries = 0;; ++tries) {
    double v = 0.0;
    if (services.command->getVr(n, &v)) return v;
    check();
    if (tries + 1 >= kMaxVrReads) throw Failed{CcdMessage::Head, kHeadReadText};
    waitMs(kStepMs);
  }
}

void CcdWorkflow::Impl::writeVr(int n, double v) {
  for (int tries = 0; !services.command->setVr(n, v); ++tries) {
    check();
    if (tries + 1 >= kMaxVrReads) throw Failed{CcdMessage::Head, kHeadMoveText};
    waitMs(kStepMs);
  }
}

void CcdWorkflow::Impl::moveTo(const cv::Point2d& p) {
  for (int tries = 0; !head.moveAbsolute({0, 1}, {p.x, p.y}, settings.moveSpeed, settings.moveAccel); ++tries) {
    check();
    if (tries + 1 >= kMaxVrReads) throw Failed{CcdMessage::Head, kHeadMoveText};
    waitMs(kStepMs);
  }
  check();
}

cv::Point2d CcdWorkflow::Impl::standing() {
  CameraProcedures procedures(head, *this, calibration, clock, motion());
  const auto p = procedures.standingPosition();
  check();
  if (!p) throw Failed{CcdMessage::Head, kHeadReadText};
  return *p;
}

cv::Point2d CcdWorkflow::Impl::located(const LocateResult& r) {
  if (r.status == LocateResult::Status::Stopped) throw Stopped{};
  if (r.status == LocateResult::Status::NotFound) {
    if (!r.message.empty()) throw Failed{CcdMessage::Head, r.message};
    throw Failed{CcdMessage::CantCaptureMark, kNoMarkText};
  }
  return r.position;
}

void CcdWorkflow::Impl::log(const std::string& line) const {
  if (platform::traceEnabled()) {
    platform::trace(line);
  } else if (settings.debugStatus != 0) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  }
}

CcdWorkflow::CcdWorkflow(CcdServices services, PatternModel& pattern)
    : impl_(std::make_unique<Impl>(std::move(services), pattern)) {
  impl_->loadSettings();
}

CcdWorkflow::~CcdWorkflow() {
  impl_->closing = true;
  stop();
  join();
}

void CcdWorkflow::reloadSettings() { impl_->loadSettings(); }
const CcdSettings& CcdWorkflow::settings() const { return impl_->settings; }
CcdSettings& CcdWorkflow::settings() { return impl_->settings; }
CcdState CcdWorkflow::state() const { return impl_->state; }
RunEnd CcdWorkflow::lastRunEnd() const { return impl_->lastEnd; }
int CcdWorkflow::piecesSent() const { return impl_->pieces; }
bool CcdWorkflow::busy() const { return impl_->running.load() > 0; }
int CcdWorkflow::sheetsCut() const { return impl_->cut; }
int CcdWorkflow::sheetsSkipped() const { return impl_->skipped; }
void CcdWorkflow::headPlacedByOperator() { impl_->operatorPlaced = true; }


bool CcdWorkflow::startMarkingRun() {
  auto& impl = *impl_;
  if (impl.settings.cutType == kCutTypeAutoByCode) return startSheetRun(0);
  std::vector<plot::PlotPoint> design = impl.pattern.designMarks(impl.settings.cutType, impl.settings.shareMark);
  if (!impl.pattern.selected() || design.size() < 2) {
    impl.services.op->tell(CcdMessage::TooFewMarks, kTooFewMarksText);
    return false;
  }
  if (auto refusal = checkDesignMarkCount(design.size())) {
    impl.services.op->tell(CcdMessage::TooFewMarks, *refusal);
    return false;
  }
  impl.setState(CcdState::AutoMarking);
  impl.lastEnd = RunEnd::None;
  return impl.startJob(impl.runThread, [&impl] { impl.lastEnd = impl.markingRun(); });
}

bool CcdWorkflow::startSheetRun(int sheets) {
  auto& impl = *impl_;
  impl.setState(CcdState::AutoMarking);
  impl.lastEnd = RunEnd::None;
  return impl.startJob(impl.runThread, [&impl, sheets] { impl.lastEnd = impl.sheetRun(sheets); });
}

void CcdWorkflow::stop() {
  impl_->setStopFlag(true);
  impl_->releaseConfirm();
}

void CcdWorkflow::confirmManualMark() {
  auto& impl = *impl_;
  impl.startJob(impl.confirmThread, [&impl] {
    impl.services.command->setOutput(kMarkConfirmOutput, 0);
    for (int tries = 0; tries < 600 && !impl.closing; ++tries) {
      int value = 1;
      if (impl.services.command->getInput(kMarkConfirmInput, &value) && value == 0) break;
      if (impl.stopFlag()) break;
      impl.clock.sleepMs(kStepMs);
    }
    impl.releaseConfirm();
  });
}

bool CcdWorkflow::startCentring() {
  auto& impl = *impl_;
  const bool fromManual = impl.state == CcdState::ManualMarking;
  impl.setState(fromManual ? CcdState::ManualMarkingToCenter : CcdState::ToCenter);
  return impl.startJob(impl.centreThread, [&impl, fromManual] {
    CameraProcedures procedures(impl.head, impl, impl.calibration, impl.clock, impl.motion());
    try {
      const LocateResult r = procedures.locateMark(true, false);
      if (r.status == LocateResult::Status::NotFound)
        impl.services.op->tell(r.message.empty() ? CcdMessage::CantCaptureMark : CcdMessage::Head,
                               r.message.empty() ? kNoMarkText : r.message);
      // A stop during the centring of a manual marking belongs to the marking run.
      if (r.status == LocateResult::Status::Stopped && !fromManual) impl.setStopFlag(false);
    } catch (const CalibrationError& e) {
      impl.services.op->tell(CcdMessage::Procedure, e.what());
    }
    impl.setState(fromManual ? CcdState::AutoMarkingAfterCenter : CcdState::CenterFinished);
  });
}

bool CcdWorkflow::startCameraAdjust() {
  auto& impl = *impl_;
  impl.setState(CcdState::AutoAdjusting);
  return impl.startJob(impl.adjustThread, [&impl] {
    CameraProcedures procedures(impl.head, impl, impl.calibration, impl.clock, impl.motion());
    config::CIniConfig cfg(impl.services.home);
    AdjustResult result;
    const ProcedureResult r = procedures.adjustCamera(cfg, result);
    impl.settings.rotate = result.rotate;
    impl.settings.isMirror = result.isMirror;
    impl.settings.ratio_px = result.ratio_px;
    impl.settings.ratio_py = result.ratio_py;
    if (!r.message.empty()) impl.services.op->tell(CcdMessage::Procedure, r.message);
    if (r.outcome == Outcome::Stopped) impl.setStopFlag(false);
    impl.setState(r.outcome == Outcome::Done ? CcdState::AdjustFinished : CcdState::Ready);
  });
}

bool CcdWorkflow::startRatioCorrection() {
  auto& impl = *impl_;
  impl.setState(CcdState::CalibrationCorrecting);
  return impl.startJob(impl.ratioThread, [&impl] {
    CameraProcedures procedures(impl.head, impl, impl.calibration, impl.clock, impl.motion());
    config::CIniConfig cfg(impl.services.home);
    const ProcedureResult r = procedures.correctCalibrationRatio(cfg, impl.settings.calibrationSet);
    if (!r.message.empty()) impl.services.op->tell(CcdMessage::Procedure, r.message);
    if (r.outcome == Outcome::Stopped) impl.setStopFlag(false);
    impl.setState(CcdState::Ready);
  });
}

void CcdWorkflow::manualAdjust() { impl_->setState(CcdState::ManualAdjust); }

void CcdWorkflow::join() {
  auto& impl = *impl_;
  std::lock_guard lock(impl.threadsMutex);
  for (std::thread* t : {&impl.runThread, &impl.centreThread, &impl.adjustThread, &impl.ratioThread, &impl.confirmThread})
    if (t->joinable()) t->join();
}

}  // namespace qel::ccd
