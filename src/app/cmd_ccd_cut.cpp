// qelcut ccd: the marking run of the CCD cut window without windows, against the configured
// machine and camera. It prints each mark's design and measured position with its confidence,
// the correction and each mark's residual after it, refuses when a residual exceeds
// MaxMarkResidual, sends the corrected pattern over the configured link and records it in the
// history with its quality record, which it prints. With --jobs it runs sheet after sheet, each
// recognised by its job code. Where the window would ask the operator, it stops and prints the
// question instead; a mark not found even by searching is left out when the others still fit.
#include <signal.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "app/command.h"
#include "ccd/ccd_texts.h"
#include "ccd/ccd_workflow.h"
#include "camera/frame_handler.h"
#include "camera/measurement.h"
#include "ccd/pattern_model.h"
#include "ccd/quality_record.h"
#include "camera/procedures.h"
#include "camera/registration.h"
#include "config/ini_config.h"
#include "links/mc_command.h"
#include "links/transfer_owner.h"
#include "platform/home.h"

namespace {

using namespace qel;

std::atomic<bool> g_interrupted{false};
void onInterrupt(int) { g_interrupted = true; }

const char* messageText(ccd::CcdMessage m) {
  switch (m) {
    case ccd::CcdMessage::TooFewMarks: return camera::kTooFewMarksText;
    case ccd::CcdMessage::OutOfBlock: return ccd::kOutOfBlockText;
    case ccd::CcdMessage::CantCaptureMark: return camera::kNoMarkText;
    case ccd::CcdMessage::CreateHandleFailed: return ccd::kCreateHandleFailedText;
    case ccd::CcdMessage::SaveFileFailed: return ccd::kSaveFileFailedText;
    case ccd::CcdMessage::NoCode: return ccd::kNoCodeText;
    case ccd::CcdMessage::FeedFailed: return ccd::kFeedFailedText;
    case ccd::CcdMessage::MarksMissing: return ccd::kMarksMissingText;
    case ccd::CcdMessage::Procedure:
    case ccd::CcdMessage::Head:
    case ccd::CcdMessage::FirstMarkFar:
    case ccd::CcdMessage::UnknownJob:
    case ccd::CcdMessage::MarkResidual: break;
  }
  return "";
}

const char* fileText(ccd::CcdFileStatus f) {
  switch (f) {
    case ccd::CcdFileStatus::Saving: return ccd::kFileSavingText;
    case ccd::CcdFileStatus::SaveFinished: return ccd::kFileSaveFinishedText;
    case ccd::CcdFileStatus::SaveFailed: return ccd::kFileSaveFailedText;
    case ccd::CcdFileStatus::SaveTmpFailed: return ccd::kFileSaveTmpFailedText;
    case ccd::CcdFileStatus::Sending: return ccd::kFileSendingText;
    case ccd::CcdFileStatus::SendFinished: return ccd::kFileSendFinishedText;
    case ccd::CcdFileStatus::SendFailed: return ccd::kFileSendFailedText;
  }
  return "";
}

// The terminal as the operator: questions are declined and remembered, messages printed.
class ConsoleOperator final : public ccd::CcdOperator, public links::TransferOwner {
 public:
  explicit ConsoleOperator(std::string home) : home_(std::move(home)) {}

  bool ask(ccd::CcdQuestion) override {
    std::lock_guard l(m_);
    question_ = ccd::kManualMarkingQuestion;
    return false;
  }
  void tell(ccd::CcdMessage m, const std::string& detail) override {
    std::lock_guard l(m_);
    const std::string text = detail.empty() ? messageText(m) : detail;
    std::fprintf(stderr, "message: %s\n", text.c_str());
    if (m != ccd::CcdMessage::Procedure) failure_ = text;
  }
  void fileStatus(ccd::CcdFileStatus f, const std::string& detail) override {
    std::printf("%s%s%s\n", fileText(f), detail.empty() ? "" : ": ", detail.c_str());
    std::fflush(stdout);
  }
  void betweenPieces(int piece) override {
    std::printf("%s(waiting for the machine before piece %d)\n", ccd::kOperateReadyBetweenPiecesText, piece + 1);
    std::fflush(stdout);
  }
  void markMeasured(const ccd::MarkReport& r) override {
    if (r.skipped) {
      std::printf("mark %zu: design (%.3f, %.3f) mm, not found even by searching: left out\n", r.index + 1, r.design.x,
                  r.design.y);
    } else {
      std::printf("mark %zu: design (%.3f, %.3f) mm, measured (%.3f, %.3f) mm, confidence %s%s%s\n", r.index + 1,
                  r.design.x, r.design.y, r.machine.x, r.machine.y, camera::qualityText(r.quality).c_str(),
                  r.remeasured ? ", measured again" : "",
                  r.searchSteps > 0 ? (", found " + std::to_string(r.searchSteps) + " search step(s) away").c_str() : "");
    }
    std::fflush(stdout);
  }
  void sheetStarted(int sheet) override {
    std::printf("sheet %d: feeding\n", sheet);
    std::fflush(stdout);
  }
  void jobRecognised(int sheet, const std::string& job, const std::string& path) override {
    std::printf("sheet %d: job %s (%s)\n", sheet, job.c_str(), path.c_str());
    std::fflush(stdout);
  }
  void sheetEnded(int sheet, ccd::SheetEnd end, const std::string& detail) override {
    const char* how = end == ccd::SheetEnd::Cut ? "cut" : end == ccd::SheetEnd::Skipped ? "skipped" : "stopped the run";
    std::printf("sheet %d: %s%s%s\n", sheet, how, detail.empty() ? "" : ": ", detail.c_str());
    std::fflush(stdout);
  }
  void recordWritten(const std::string& path) override {
    std::string error;
    const auto summary = ccd::qualityRecordSummary(path, &error);
    std::printf("quality record %s\n%s", path.c_str(), summary ? summary->c_str() : (error + "\n").c_str());
    std::fflush(stdout);
  }
  void correction(double rx, double ry, double angle) override {
    std::printf("correction: ratio_x %.6f, ratio_y %.6f, angle %.4f deg\n", rx, ry, angle * 180.0 / CV_PI);
    std::fflush(stdout);
  }
  void residuals(const std::vector<double>& mm) override {
    std::printf("%s\n", camera::residualsLine(mm).c_str());
    std::fflush(stdout);
  }
  // The link's own words were printed with the file status already.
  void sent(const std::string& name, const std::string& /*linkText*/) override {
    std::printf("sent; history: %s\n", name.c_str());
    std::fflush(stdout);
  }

  // links::TransferOwner
  bool stopRequested() const override { return g_interrupted; }
  void setStopRequest(bool on) override { g_interrupted = on; }
  bool previewTransferRunning() const override { return false; }
  void setProgressRange(int, int) override {}
  void setProgressPos(int) override {}
  int language() const override { return 1; }
  std::string programDir() const override { return home_; }
  bool showMessage(const std::string&, const std::string& text, Buttons) override {
    std::lock_guard l(m_);
    std::fprintf(stderr, "message: %s\n", text.c_str());
    failure_ = text;
    return true;  // OK: the command client stops instead of retrying for ever
  }

  std::string question() {
    std::lock_guard l(m_);
    return question_;
  }
  std::string failure() {
    std::lock_guard l(m_);
    return failure_;
  }

 private:
  std::string home_;
  std::mutex m_;
  std::string question_, failure_;
};

struct CcdOptions {
  std::vector<std::string> files;
  std::optional<std::string> home, jobs, record;
  bool selectAll = false;
  int plate = 0, cutType = -1, sheets = 0;
};

// Reads the command line into options; 0 when a run follows, else the exit status (the quality
// record print is done here, as it needs neither camera nor machine).
int readCcdOptions(const std::vector<std::string>& argsIn, CcdOptions* o) {
  std::vector<std::string> args = argsIn;
  bool missing = false, bad = false;
  auto option = [&](const char* name) {
    auto v = app::takeOption(args, name, &missing);
    bad = bad || missing;
    return v;
  };
  o->home = option("--home");
  const auto plateOpt = option("--plate");
  const auto cutOpt = option("--cut-type");
  o->selectAll = app::takeFlag(args, "--select-all");
  o->jobs = option("--jobs");
  const auto sheetsOpt = option("--sheets");
  o->record = option("--record");
  if (o->record && !bad && args.empty()) {
    std::string error;
    const auto summary = ccd::qualityRecordSummary(*o->record, &error);
    if (!summary) {
      std::fprintf(stderr, "qelcut ccd: %s\n", error.c_str());
      return 1;
    }
    std::printf("%s", summary->c_str());
    return -1;
  }
  const std::size_t files = o->jobs ? 0 : 1;
  if (bad || o->record || args.size() != files || (files == 1 && args[0].rfind("--", 0) == 0) ||
      (sheetsOpt && !o->jobs)) {
    std::fprintf(stderr,
                 "qelcut ccd: give one plot file, or --jobs DIR [--sheets N], or --record FILE (see 'qelcut ccd "
                 "--help')\n");
    return 2;
  }
  auto number = [](const std::optional<std::string>& v, int low, int high, int* out) {
    if (!v) return true;
    char* end = nullptr;
    const long n = std::strtol(v->c_str(), &end, 10);
    if (end == v->c_str() || *end != '\0' || n < low || n > high) return false;
    *out = static_cast<int>(n);
    return true;
  };
  if (!number(plateOpt, 0, 99999, &o->plate) || !number(cutOpt, 0, 4, &o->cutType) ||
      !number(sheetsOpt, 1, 1000000, &o->sheets)) {
    std::fprintf(stderr, "qelcut ccd: --plate takes a plate number from 0, --cut-type 0 to 4, --sheets 1 or more\n");
    return 2;
  }
  o->files = args;
  return 0;
}

// Loads the one plot file (none in a sheet run) and selects what the run works on.
bool loadCcdPattern(const CcdOptions& o, const config::CIniConfig& cfg, ccd::PatternModel* pattern) {
  if (o.jobs) {
    struct stat st {};
    if (::stat(o.jobs->c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      std::fprintf(stderr, "qelcut ccd: the job folder %s does not exist\n", o.jobs->c_str());
      return false;
    }
  }
  switch (o.jobs ? ccd::PatternLoad::Loaded : pattern->load(o.files[0], cfg)) {
    case ccd::PatternLoad::Loaded: break;
    case ccd::PatternLoad::NotExist: std::fprintf(stderr, "qelcut ccd: %s\n", ccd::kFileNotExistText); return false;
    case ccd::PatternLoad::FormatError: std::fprintf(stderr, "qelcut ccd: %s\n", ccd::kFileFormatErrorText); return false;
  }
  if (o.selectAll) {
    pattern->toggleSelectAll();
  } else if (!pattern->strokes().empty() && !pattern->strokes()[0].points.empty()) {
    pattern->pressAt(pattern->strokes()[0].points[0]);
  }
  pattern->setPlate(o.plate);
  if (!o.jobs)
    std::printf("%s: %zu strokes, %zu marks, plate %d of %d\n", o.files[0].c_str(), pattern->strokes().size(),
                pattern->markCount(), o.plate, pattern->plateCount());
  return true;
}

// Says why a run ended without a cut, and where the head was looked for when it was not reached.
void reportCcdFailure(ConsoleOperator& op, const links::CMC_Command& command, const config::CIniConfig& cfg) {
  if (!op.question().empty()) std::fprintf(stderr, "qelcut ccd: the operator would be asked: %s\n", op.question().c_str());
  else if (!op.failure().empty()) std::fprintf(stderr, "qelcut ccd: %s\n", op.failure().c_str());
  else std::fprintf(stderr, "qelcut ccd: stopped, nothing sent\n");
  const std::string failure = op.failure();
  if (!command.connected() && (failure.find("Network connection failure") != std::string::npos ||
                               failure.find("网络连接失败") != std::string::npos))
    std::fprintf(stderr,
                 "qelcut ccd: the coordinator's command line at %s (port %d) did not answer; "
                 "`qelcut sim` serves it only when run as root\n",
                 cfg.read(config::keys::Xitong_IP).c_str(), links::CMC_Command::kCommandPort);
}

// Runs the marking run (or the sheet run) to its end, Ctrl-C and SIGTERM stopping it; the exit status.
int runCcdWorkflow(const CcdOptions& o, const std::string& home, const config::CIniConfig& cfg,
                   ccd::PatternModel& pattern, camera::MarkMeasurement& measurement, camera::HeadlessCamera& feed) {
  ConsoleOperator op(home);
  links::CMC_Command command(&op);
  command.setAddress(cfg.read(config::keys::Xitong_IP));
  ccd::CcdServices services;
  services.home = cfg.programDir();
  services.linkOwner = &op;
  services.command = &command;
  services.measurement = &measurement;
  services.cameraGrabbing = [&feed] { return feed.grabbing(); };
  services.op = &op;
  services.unattended = true;
  ccd::CcdWorkflow workflow(services, pattern);
  if (o.cutType >= 0) workflow.settings().cutType = o.cutType;
  if (o.jobs) workflow.settings().jobDir = *o.jobs;

  struct sigaction sa {};
  sa.sa_handler = onInterrupt;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);

  if (!(o.jobs ? workflow.startSheetRun(o.sheets) : workflow.startMarkingRun())) return 1;
  while (workflow.busy() || workflow.lastRunEnd() == ccd::RunEnd::None) {
    if (g_interrupted) workflow.stop();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  workflow.join();
  feed.close();
  const bool completed = workflow.lastRunEnd() == ccd::RunEnd::Completed;
  if (o.jobs) {
    std::printf("sheets: %d cut, %d skipped\n", workflow.sheetsCut(), workflow.sheetsSkipped());
    if (completed && workflow.sheetsCut() > 0) return 0;
    if (completed) {
      std::fprintf(stderr, "qelcut ccd: no sheet with a job code was found\n");
      return 1;
    }
  } else if (completed && (workflow.piecesSent() > 0 || workflow.settings().cutType == 4)) {
    return 0;
  }
  reportCcdFailure(op, command, cfg);
  return 1;
}

int runCcd(const std::vector<std::string>& argsIn) {
  CcdOptions o;
  if (const int status = readCcdOptions(argsIn, &o); status != 0) return status < 0 ? 0 : status;
  const std::string home = platform::resolveHome(o.home);
  const config::CIniConfig cfg(home);
  ccd::PatternModel pattern;
  if (!loadCcdPattern(o, cfg, &pattern)) return 1;

  std::string cameraName;
  auto source = camera::makeConfiguredFrameSource(home, &cameraName);
  if (!source) {
    std::fprintf(stderr, "qelcut ccd: no camera: %s\n", cameraName.c_str());
    return 1;
  }
  camera::MarkMeasurement measurement;
  camera::FrameHandler handler(measurement, platform::SystemClock::instance(), home);
  camera::HeadlessCamera feed(*source, handler, measurement);
  feed.open();
  if (!feed.waitForFrame(5000)) {
    std::fprintf(stderr, "qelcut ccd: %s: %s (%s)\n", camera::kCameraClosedText, cameraName.c_str(),
                 feed.failed() ? feed.failure().c_str() : "no frame");
    return 1;
  }
  std::printf("camera: %s\n", cameraName.c_str());
  return runCcdWorkflow(o, home, cfg, pattern, measurement, feed);
}

const app::CommandRegistration kCcd{{
    "ccd",
    "run the CCD cut marking run on a plot file without windows",
    "usage: qelcut ccd FILE [--home DIR] [--plate N] [--cut-type T] [--select-all]\n"
    "       qelcut ccd --jobs DIR [--sheets N] [--home DIR]\n"
    "       qelcut ccd --record FILE\n\n"
    "Loads FILE (a plot file, or a PDF or SVG drawing whose marks are printed in a registration\n"
    "colour) as the CCD cut window does, finds every registration mark of the plate with the\n"
    "configured camera ([Camera] FrameSource: genicam, or sim for `qelcut sim --sheet`), moving\n"
    "the head through the coordinator's command line at Xitong_IP, prints each mark's design and\n"
    "measured position (mm), the correction and each mark's residual after it (mm), sends the\n"
    "corrected pattern (temp.PLT) over the configured link and records it in the printed folder.\n"
    "When a residual exceeds [CutQuality] MaxMarkResidual (0: no limit) nothing is sent and the\n"
    "mark that is off is named. The camera must show the first mark\n"
    "(or autoMove2FirstMarkPoint be set). Where the window would ask the operator, the run stops\n"
    "and the question is printed. Exit status 0 only when the pattern was sent (for cut type 4,\n"
    "when the Y-axis deflection was measured), 1 otherwise, 2 for a usage error.\n\n"
    "  --home DIR     home folder (default: $QELCUT_HOME, else ~/.local/share/qelcut)\n"
    "  --plate N      plate (page of Page_Width) to work on, from 0 (default 0)\n"
    "  --cut-type T   0 print marks, 1 print patterns, 2 auto multi print, 3 auto repeat print,\n"
    "                 4 Y-axis deflection (default: cutType of Config.ini)\n"
    "  --select-all   select the whole file (lets cut type 2 go on from plate to plate)\n"
    "  --jobs DIR     sheet after sheet: the coordinator feeds each sheet (VR 954), the job code\n"
    "                 (QR or Data Matrix) beside its first mark names the cut file in DIR\n"
    "                 (NAME, NAME.plt, ...), which is registered and cut; the run ends when a\n"
    "                 fed sheet shows neither mark nor code. [CCD] UnknownJob and MissingCode\n"
    "                 (1) skip a sheet whose code names no job or that has none, instead of stopping\n"
    "  --sheets N     stop after N sheets\n"
    "  --record FILE  print a quality record (the .json beside a history entry) and end\n"
    "Marks are searched for out to [Camera] SearchRadius mm around their predicted place and\n"
    "measured again below [Camera] MinConfidence; each job's quality record (marks, confidence,\n"
    "residuals, correction, segments, time) is written beside its history entry and printed.\n",
    runCcd,
}};

}  // namespace
