#pragma once
// The insides of CcdWorkflow, shared by the files of its jobs: the marking run and its marks
// (ccd_marking.cpp), the run sheet after sheet by job code (ccd_sheets.cpp), the quality record
// (ccd_record.cpp) and the jobs' threads (ccd_workflow.cpp).
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "camera/calibration.h"
#include "camera/mark_fit.h"
#include "camera/measurement.h"
#include "camera/procedures.h"
#include "camera/registration.h"
#include "ccd/ccd_texts.h"
#include "ccd/ccd_workflow.h"
#include "ccd/command_client_head.h"
#include "links/mc_command.h"

namespace qel::ccd {

namespace detail {
inline constexpr int kStepMs = 100;             // waits are cut into steps that notice a stop
inline constexpr int kMaxVrReads = 50;          // failed reads of a VR before the run fails
inline constexpr int kPieceGapMs = 5000;        // before the machine-finished wait
inline constexpr int kFileLinkPollMs = 7000;    // controller file link: VR(950)/VR(951) every 7 s
inline constexpr int kControlLinkPollMs = 2000; // coordinator control link and network probe: every 2 s
inline constexpr int kSendPauseMs = 100;
inline constexpr int kFeedPollMs = 100;
inline constexpr int kVrScaleX = 18, kVrScaleY = 19;
inline constexpr int kVrStart = 950, kVrBusy = 951, kVrPieceDx = 952, kVrPieceDy = 953;

struct Stopped {};
struct Failed {
  CcdMessage message;
  std::string detail;
};

// What a run measured and fitted, for the quality record.
struct RunRecord {
  std::string job;      // plot file
  std::string code;     // the job code read on the sheet (runs by code)
  int sheet = 0;        // from 1 in runs by code
  int cutType = 1;
  std::vector<MarkReport> marks;
  std::vector<double> residuals;  // of the marks that were fitted, in mark order
  std::string fit;                // "pairs", "affine" or "segments"
  double ratioX = 1.0, ratioY = 1.0, angleRad = 0.0;
  std::vector<camera::SegmentedCorrection::Segment> segments;
  std::int64_t startMs = 0;
  std::string skipped;  // why the sheet was skipped (nothing was cut)
};
}  // namespace detail

struct CcdWorkflow::Impl : camera::MarkMeasurer {
  Impl(CcdServices s, PatternModel& p);

  // MarkMeasurer: one measurement on the next frame, again on a second one when the first is
  // unsure, with the manual-marking fallback unless silent.
  cv::Point2d measureMark(bool silent) override;

  bool stopFlag() const { return services.command->stopFlag(); }
  void setStopFlag(bool on) { services.command->setStopFlag(on); }
  void check() {
    if (stopFlag() || closing) throw detail::Stopped{};
  }
  void waitMs(int ms);
  void setState(CcdState s);
  void releaseConfirm();
  camera::MotionSettings motion() const;
  void loadSettings();
  double readVr(int n);
  void writeVr(int n, double v);
  void moveTo(const cv::Point2d& p);
  cv::Point2d standing();
  cv::Point2d located(const camera::LocateResult& r);
  void log(const std::string& line) const;

  template <class Job>
  bool startJob(std::thread& slot, Job job);

  // ccd_marking.cpp
  RunEnd markingRun();
  // One piece of `p` with `cutType`; `first` is the first mark when it was found already.
  void registerAndCut(PatternModel& p, int cutType, int piece, cv::Point2d& reference,
                      std::optional<MarkReport> first, detail::RunRecord& record);
  // Its steps: the first mark at its place, the later piece's shift, the further marks where
  // the estimates predict them (true: some were not found), the Y-axis deflection of cut type 4,
  // the correction fitted to the marks, checked and sent.
  MarkReport findFirstMark(const PatternModel& p, const cv::Point2d& design0, int piece);
  void placePiece(int piece, const cv::Point2d& m0, cv::Point2d& reference);
  bool measureMarks(camera::Registration& reg, MarkReport first, detail::RunRecord& record);
  void saveAxisDeflection(const camera::Registration& reg);
  void correctAndSend(PatternModel& p, const camera::Registration& reg, int cutType, bool anySkipped,
                      detail::RunRecord& record);
  // Looks for a mark with the head standing at `at`, then around it; the manual question when
  // `manual` and nothing was found. nullopt: not found (only when not `manual`).
  std::optional<MarkReport> findMark(const cv::Point2d& at, bool manual);
  // Where the next sheet's first mark is expected: the design place with the automatic move,
  // else where the last job's first mark was; nullopt when neither is known or the operator
  // placed the head.
  // Later pieces of cut types 2 and 3 use only the design place.
  std::optional<cv::Point2d> firstMarkPlace(const PatternModel& p, const cv::Point2d& designMm, bool jobStart) const;
  void checkFirstMark(const cv::Point2d& found, const cv::Point2d& place) const;
  void logMark(const MarkReport& r) const;
  void rememberFirstMark(const cv::Point2d& m0);
  bool saveAndSend(PatternModel& p, const camera::PointCorrection& correction, detail::RunRecord& record);
  bool machineFinished();

  // ccd_sheets.cpp
  RunEnd sheetRun(int sheets);
  void feedSheet();
  std::optional<camera::JobCode> readCodeNear(const cv::Point2d& at);

  // ccd_record.cpp
  std::string writeRecord(const detail::RunRecord& record, const std::string& historyName) const;

  CcdServices services;
  PatternModel& pattern;
  platform::Clock& clock;
  CommandClientHead head;
  camera::CameraCalibration calibration;
  CcdSettings settings;
  std::atomic<CcdState> state{CcdState::Ready};
  std::atomic<bool> closing{false};
  std::atomic<RunEnd> lastEnd{RunEnd::None};
  std::atomic<int> pieces{0};
  std::atomic<int> cut{0}, skipped{0};
  std::atomic<bool> operatorPlaced{false};
  camera::MarkQuality lastQuality;  // of the last measurement (job thread)
  bool lastRemeasured = false;
  std::mutex confirmMutex;
  std::condition_variable confirmCv;
  bool confirmWaiting = false;
  bool confirmed = false;
  std::mutex threadsMutex;
  std::thread runThread, centreThread, adjustThread, ratioThread, confirmThread;
  std::atomic<int> running{0};
};

template <class Job>
bool CcdWorkflow::Impl::startJob(std::thread& slot, Job job) {
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

}  // namespace qel::ccd
