#include "ccd/ccd_workflow.h"

#include <sys/stat.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <system_error>
#include <thread>

#include "camera/calibration.h"
#include "ccd/ccd_texts.h"
#include "camera/measurement.h"
#include "camera/procedures.h"
#include "camera/registration.h"
#include "config/ini_config.h"
#include "ccd/command_client_head.h"
#include "links/mc_command.h"
#include "links/network_transfer.h"
#include "links/transfer_link.h"
#include "platform/files.h"
#include "platform/trace.h"
#include "plot/number_text.h"

namespace qel::ccd {

using namespace camera;  // the workflow is written in the camera's terms

namespace {

constexpr int kStepMs = 100;             // waits are cut into steps that notice a stop
constexpr int kMaxVrReads = 50;          // failed reads of VR(18)/VR(19) before the run fails
constexpr int kPieceGapMs = 5000;        // before the machine-finished wait
constexpr int kFileLinkPollMs = 7000;    // controller file link: VR(950)/VR(951) every 7 s
constexpr int kControlLinkPollMs = 2000; // coordinator control link and network probe: every 2 s
constexpr int kSendPauseMs = 100;
constexpr int kMarkConfirmInput = 49;
constexpr int kMarkConfirmOutput = 49;
constexpr int kVrScaleX = 18, kVrScaleY = 19;
constexpr int kVrStart = 950, kVrBusy = 951, kVrPieceDx = 952, kVrPieceDy = 953;
const cv::Point2d kImageCentre(320.0, 240.0);

enum class LinkType : int { Parallel = 1, Serial = 2, ControllerFile = 3, Network = 4, ControllerControl = 5 };

struct Stopped {};
struct Failed {
  CcdMessage message;
  std::string detail;
};

}  // namespace

struct CcdWorkflow::Impl : MarkMeasurer {
  Impl(CcdServices s, PatternModel& p)
      : services(std::move(s)),
        pattern(p),
        clock(services.clock ? *services.clock : platform::SystemClock::instance()),
        head(*services.command) {}

  // MarkMeasurer: one measurement on the next frame, with the manual-marking fallback.
  cv::Point2d measureMark(bool silent) override {
    const bool grabbing = !services.cameraGrabbing || services.cameraGrabbing();
    const cv::Point2d m = grabbing ? services.measurement->measure(1) : cv::Point2d(0, 0);
    if (m != cv::Point2d(0, 0) || silent || stopFlag()) return m;
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
    return kImageCentre;
  }

  bool stopFlag() const { return services.command->stopFlag(); }
  void setStopFlag(bool on) { services.command->setStopFlag(on); }
  void check() {
    if (stopFlag() || closing) throw Stopped{};
  }
  void waitMs(int ms) {
    for (int left = ms; left > 0; left -= kStepMs) {
      check();
      clock.sleepMs(std::min(left, kStepMs));
    }
    check();
  }
  void setState(CcdState s) {
    if (closing) return;
    state = s;
    services.op->stateChanged(s);
  }
  void releaseConfirm() {
    std::lock_guard lock(confirmMutex);
    confirmed = true;
    confirmCv.notify_all();
  }

  MotionSettings motion() const {
    MotionSettings m;
    m.waitTime4Capture = settings.waitTime4Capture;
    m.moveSpeed = settings.moveSpeed;
    m.moveAccel = settings.moveAccel;
    m.markTime = settings.markTime;
    return m;
  }

  void loadSettings() {
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

  double readVr(int n) {
    for (int tries = 0;; ++tries) {
      double v = 0.0;
      if (services.command->getVr(n, &v)) return v;
      check();
      if (tries + 1 >= kMaxVrReads) throw Failed{CcdMessage::Head, kHeadReadText};
      waitMs(kStepMs);
    }
  }
  void writeVr(int n, double v) {
    for (int tries = 0; !services.command->setVr(n, v); ++tries) {
      check();
      if (tries + 1 >= kMaxVrReads) throw Failed{CcdMessage::Head, kHeadMoveText};
      waitMs(kStepMs);
    }
  }
  void moveTo(const cv::Point2d& p) {
    for (int tries = 0; !head.moveAbsolute({0, 1}, {p.x, p.y}, settings.moveSpeed, settings.moveAccel); ++tries) {
      check();
      if (tries + 1 >= kMaxVrReads) throw Failed{CcdMessage::Head, kHeadMoveText};
      waitMs(kStepMs);
    }
    check();
  }
  cv::Point2d located(const LocateResult& r) {
    if (r.status == LocateResult::Status::Stopped) throw Stopped{};
    if (r.status == LocateResult::Status::NotFound) {
      if (!r.message.empty()) throw Failed{CcdMessage::Head, r.message};
      throw Failed{CcdMessage::CantCaptureMark, kNoMarkText};
    }
    return r.position;
  }

  // Starts a job on `slot` after joining the previous job of the same kind. False (with the
  // message told and state 0) when the thread cannot be created.
  template <class Job>
  bool startJob(std::thread& slot, Job job) {
    std::lock_guard lock(threadsMutex);
    if (slot.joinable()) slot.join();
    ++running;
    try {
      slot = std::thread([this, job] {
        job();
        --running;
      });
    } catch (const std::system_error&) {
      --running;
      setState(CcdState::Ready);
      services.op->tell(CcdMessage::CreateHandleFailed, kCreateHandleFailedText);
      return false;
    }
    return true;
  }

  RunEnd markingRun();
  void onePiece(int piece, cv::Point2d& reference);
  bool saveAndSend(const PatternCorrection& correction);
  // The run's log: the trace when it is on, else stdout while DebugStatus is set.
  void log(const std::string& line) const {
    if (platform::traceEnabled()) {
      platform::trace(line);
    } else if (settings.debugStatus != 0) {
      std::printf("%s\n", line.c_str());
      std::fflush(stdout);
    }
  }
  bool machineFinished();  // false: the repetition ends

  CcdServices services;
  PatternModel& pattern;
  platform::Clock& clock;
  CommandClientHead head;
  CameraCalibration calibration;
  CcdSettings settings;
  std::atomic<CcdState> state{CcdState::Ready};
  std::atomic<bool> closing{false};
  std::atomic<RunEnd> lastEnd{RunEnd::None};
  std::atomic<int> pieces{0};
  std::mutex confirmMutex;
  std::condition_variable confirmCv;
  bool confirmWaiting = false;
  bool confirmed = false;
  std::mutex threadsMutex;
  std::thread runThread, centreThread, adjustThread, ratioThread, confirmThread;
  std::atomic<int> running{0};
};

void CcdWorkflow::Impl::onePiece(int piece, cv::Point2d& reference) {
  const bool multi = settings.cutType == 2 || settings.cutType == 3;
  std::vector<cv::Point2d> design;
  for (const auto& p : pattern.designMarks(settings.cutType, settings.shareMark)) design.emplace_back(p.x, p.y);
  if (auto refusal = checkDesignMarkCount(design.size())) throw Failed{CcdMessage::TooFewMarks, *refusal};
  const double vr18 = readVr(kVrScaleX);
  const double vr19 = readVr(kVrScaleY);
  Registration reg;
  reg.ratio_x = reg.ratio_y = 1.0;
  reg.angle = 0.0;
  reg.reset(design, vr18, vr19, settings.axisYRotate);

  CameraProcedures procedures(head, *this, calibration, clock, motion());
  LocateResult first;
  try {
    // With the automatic move the first look is silent: not finding the mark is expected then.
    first = procedures.locateMark(settings.autoMove2FirstMarkPoint, false);
    if (first.status == LocateResult::Status::NotFound && first.message.empty() && settings.autoMove2FirstMarkPoint) {
      const cv::Point2d d0 = design[0] / kPlotUnitsPerMm;
      moveTo({d0.x - pattern.plate() * settings.pageWidthMm - settings.camera_cx, d0.y - settings.camera_cy});
      first = procedures.locateMark(false, false);
    }
  } catch (const CalibrationError& e) {
    throw Failed{CcdMessage::Procedure, e.what()};
  }
  const cv::Point2d m0 = located(first);
  if (multi) {
    if (piece == 0) {
      writeVr(kVrPieceDx, 0.0);
      writeVr(kVrPieceDy, 0.0);
      reference = m0;
    } else {
      writeVr(kVrPieceDx, m0.x - reference.x);
      writeVr(kVrPieceDy, m0.y - reference.y);
    }
  }
  reg.addMeasured(m0);
  services.op->markMeasured(0, reg.design()[0], m0);
  for (std::size_t k = 1; k < design.size(); ++k) {
    const cv::Point2d e = reg.expectedPosition(k);
    if (e.x < settings.blockXLow || e.x > settings.blockXHigh || e.y < settings.blockYLow || e.y > settings.blockYHigh)
      throw Failed{CcdMessage::OutOfBlock, kOutOfBlockText};
    moveTo(e);
    const cv::Point2d m = located(procedures.locateMark(false, false));
    reg.addMeasured(m);
    services.op->markMeasured(k, reg.design()[k], m);
  }
  if (settings.cutType == 4) {
    config::CIniConfig cfg(services.home);
    const ProcedureResult r = saveAxisYRotate(cfg, reg.measured());
    if (r.outcome != Outcome::Done) throw Failed{CcdMessage::Procedure, r.message};
    settings.axisYRotate = cfg.read(config::keys::AxisYRotate);
    services.op->tell(CcdMessage::Procedure, r.message);
    return;
  }
  reg.computeFinalRatios();
  services.op->correction(reg.ratio_x, reg.ratio_y, reg.angle);
  const PatternCorrection correction(reg, settings.cutType, settings.camera_cx, settings.camera_cy);
  const std::vector<double> residuals = markResiduals(reg, correction, settings.camera_cx, settings.camera_cy);
  if (!residuals.empty()) {
    services.op->residuals(residuals);
    log(residualsLine(residuals));
    if (auto refusal = checkMarkResiduals(residuals, settings.maxMarkResidualMm)) {
      log(*refusal);
      throw Failed{CcdMessage::MarkResidual, *refusal};
    }
  }
  if (!saveAndSend(correction)) throw Failed{CcdMessage::Procedure, {}};
}

bool CcdWorkflow::Impl::saveAndSend(const PatternCorrection& correction) {
  services.op->fileStatus(CcdFileStatus::Saving, {});
  const std::string path = services.home + "temp.PLT";
  const auto strokes = pattern.plateSelection();
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
  const std::string name = historyName(pattern.path(), std::time(nullptr));
  if (services.recordHistory) {
    services.recordHistory(path, name);
  } else {
    const std::string printed = config::CIniConfig(services.home).read(config::keys::SPD);
    platform::makeDirectories(printed);
    platform::copyFile(path, printed + (printed.empty() || printed.back() == '/' ? "" : "/") + name);
  }
  ++pieces;
  services.op->sent(name, r.text);
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
  try {
    for (int piece = 0;; ++piece) {
      onePiece(piece, reference);
      if (settings.cutType == 4) break;
      const bool nextPlate = settings.cutType == 2 && pattern.selectAll() && pattern.plate() < pattern.plateCount() - 1;
      if (!nextPlate && settings.cutType != 3) break;
      if (nextPlate) pattern.setPlate(pattern.plate() + 1);
      services.op->betweenPieces(piece + 1);
      waitMs(kPieceGapMs);
      if (!machineFinished()) break;
      check();
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


bool CcdWorkflow::startMarkingRun() {
  auto& impl = *impl_;
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
  return impl.startJob(impl.runThread, [&impl] { impl.lastEnd = impl.markingRun(); });
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
