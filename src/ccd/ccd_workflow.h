#pragma once
// The jobs of the CCD cut window without the window: the marking run (design marks of a plate,
// the head from mark to mark, manual marking when a mark is not found, the correction, temp.PLT,
// the send over the configured link, the history record, and the repetition of cut types 2 and
// 3 with the wait for the machine), the centring, the camera adjust and the ratio correction.
// In production the run goes on sheet after sheet: each sheet is fed, recognised by the job code
// beside its first mark and cut with its own job's file. Marks are searched for around their
// predicted place and measured again when the first look is unsure; long media are registered
// segment by segment. Each job runs on a worker thread of its own; the stop flag is checked
// after every wait, move and measurement. The window (or the command line) binds to it through
// CcdOperator.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "camera/mark_quality.h"
#include "ccd/ccd_state.h"
#include "ccd/pattern_model.h"
#include "platform/clock.h"

namespace qel::links {
class LinkFactory;
class TransferOwner;
class CMC_Command;
}  // namespace qel::links

namespace qel::camera {
class MarkMeasurement;
}  // namespace qel::camera

namespace qel::ccd {

// Settings of the window, loaded when it opens and after the settings window.
struct CcdSettings {
  int debugStatus = 0;
  double rotate = 0.0, ratio_px = 1.0, ratio_py = 1.0;
  int isMirror = 0;
  int waitTime4Capture = 500, moveSpeed = 500, moveAccel = 1000;
  double blockXLow = 0, blockXHigh = 2000, blockYLow = 0, blockYHigh = 2000;
  std::string controllerAddress = "192.168.0.250";
  double camera_cx = 0.0, camera_cy = 0.0;
  double pageWidthMm = 1500.0, pageHeightMm = 1200.0;
  int markTime = 2;
  int cutType = 0;
  int minRadius = 25, maxRadius = 100;
  bool autoMove2FirstMarkPoint = false;
  int markType = 0;
  double axisYRotate = 0.0;
  bool shareMark = false;
  int linkType = 3;     // Xitong_TT
  int calibrationSet = 0;  // cur
  double maxMarkResidualMm = 0.0;  // [CutQuality] MaxMarkResidual: 0 takes any fit
  double searchRadiusMm = 10.0;     // [Camera] SearchRadius
  double minConfidence = 0.5;       // [Camera] MinConfidence
  double centreTolerancePx = 40.0;  // [Camera] CentreTolerance
  int standStillMs = 40;            // [Camera] StandStillMs
  double segmentLengthMm = 0.0;     // [CCD] SegmentLength: 0 registers the plate as a whole
  std::string jobDir;               // [CCD] JobDir
  bool skipUnknownJob = false;      // [CCD] UnknownJob = 1
  bool skipMissingCode = false;     // [CCD] MissingCode = 1
  int feedTimeoutMs = 60000;        // [CCD] FeedTimeout
  std::optional<cv::Point2d> firstMark;  // [CCD] FirstMark: where the last job's first mark was
};

// The cut type of sheet after sheet recognised by their job codes ("Auto (by code)").
inline constexpr int kCutTypeAutoByCode = 5;
// The coordinator's program feeds the next sheet when this VR is set to 1 and sets it back to 0
// once the sheet lies on the table.
inline constexpr int kVrFeed = 954;

CcdSettings loadCcdSettings(const std::string& home);
// Writes rotate, isMirror, ratio_px, ratio_py and cutType back (when the window closes).
void saveCcdSettings(const std::string& home, const CcdSettings& s);

// What the window is asked or told. Questions block the asking job until answered.
enum class CcdQuestion { ManualMarking };

// One mark of a run as it was measured.
struct MarkReport {
  std::size_t index = 0;  // in visiting order, from 0
  cv::Point2d design;     // mm
  cv::Point2d machine;    // mm; meaningless when skipped
  camera::MarkQuality quality;
  bool remeasured = false;  // the first look was below MinConfidence
  int searchSteps = 0;      // camera steps beside the prediction before it was found
  bool skipped = false;     // not found: left out of the fit (unattended runs)
};

// How a sheet of a run by job codes ended.
enum class SheetEnd { Cut, Skipped, Failed };
enum class CcdMessage {
  TooFewMarks,     // kTooFewMarksText (or kThreeMarksText, given as detail)
  OutOfBlock,      // kOutOfBlockText, title "Error"
  CantCaptureMark, // kNoMarkText
  CreateHandleFailed,
  SaveFileFailed,  // kSaveFileFailedText
  Procedure,       // a text of the camera procedures, given as detail
  Head,            // the head could not be used; detail says how
  MarkResidual,    // a mark is further off the fitted correction than MaxMarkResidual allows: the
                   // pattern was not sent; detail is kMarkResidualFormat filled in
  FirstMarkFar,    // the first mark lies further than SearchRadius from its place; detail says where
  UnknownJob,      // the sheet's code names no job file; detail is kUnknownJobFormat filled in
  NoCode,          // marks but no job code on the sheet (kNoCodeText)
  FeedFailed,      // the sheet feeder did not answer (kFeedFailedText)
  MarksMissing,    // marks were not found and the others cannot fit the pattern (kMarksMissingText)
};
enum class CcdFileStatus { Saving, SaveFinished, SaveFailed, SaveTmpFailed, Sending, SendFinished, SendFailed };

class CcdOperator {
 public:
  virtual ~CcdOperator() = default;
  // Job thread: an OK/Cancel question; true for OK.
  virtual bool ask(CcdQuestion q) = 0;
  // Job thread: a message box; `detail` carries a text the procedures or the links made.
  virtual void tell(CcdMessage m, const std::string& detail) = 0;
  // Any thread: the operation state changed (ignored by the window once it closes).
  virtual void stateChanged(CcdState) {}
  // Job thread: the file pane.
  virtual void fileStatus(CcdFileStatus, const std::string& /*detail*/) {}
  // Job thread: the repetition waits for the machine before the next piece ("Operate: Ready ").
  virtual void betweenPieces(int /*nextPiece*/) {}
  // Job thread: a mark was measured (or skipped).
  virtual void markMeasured(const MarkReport&) {}
  // Job thread, runs by job code: a sheet is being fed; its code named a job whose cut file was
  // loaded (the window shows it); the sheet ended.
  virtual void sheetStarted(int /*sheet*/) {}
  virtual void jobRecognised(int /*sheet*/, const std::string& /*job*/, const std::string& /*path*/) {}
  virtual void sheetEnded(int /*sheet*/, SheetEnd, const std::string& /*detail*/) {}
  // Job thread: the quality record of a sent pattern was written beside its history entry.
  virtual void recordWritten(const std::string& /*path*/) {}
  // Job thread: the final correction of a piece.
  virtual void correction(double /*ratioX*/, double /*ratioY*/, double /*angleRad*/) {}
  // Job thread: after the correction of a piece of cut types 1 to 3, the residual of each mark in
  // mm (the distance between the measured mark and the corrected design mark), in mark order.
  virtual void residuals(const std::vector<double>& /*mm*/) {}
  // Job thread: the corrected pattern was sent and recorded under this history name.
  virtual void sent(const std::string& /*historyName*/, const std::string& /*linkText*/) {}
};

// How a marking run ended.
enum class RunEnd { None, Completed, Stopped, Failed };

struct CcdServices {
  std::string home;                            // Config.ini, temp.PLT, the printed folder
  links::TransferOwner* linkOwner = nullptr;   // not owned: services of the links
  const links::LinkFactory* links = nullptr;   // not owned: null takes the standard links
  links::CMC_Command* command = nullptr;       // not owned: the command client (its stop flag is ours)
  camera::MarkMeasurement* measurement = nullptr;      // not owned: fed by the camera's frames
  std::function<bool()> cameraGrabbing;        // false: measurements find nothing at once
  CcdOperator* op = nullptr;                   // not owned
  platform::Clock* clock = nullptr;            // not owned: null is the system clock
  // Records a sent file in the history under `name`; the default copies it into the printed
  // folder (SPD) under that name. False when it could not.
  std::function<bool(const std::string& sentPath, const std::string& name)> recordHistory;
  // No operator watches (the command line): a mark that is not found even by searching is left
  // out when the other marks still fit the pattern, instead of asking for manual marking.
  bool unattended = false;
};

class CcdWorkflow {
 public:
  // Loads the settings and the calibration set. The pattern is the window's; the workflow reads
  // it from job threads, so the window changes it only while no job runs.
  CcdWorkflow(CcdServices services, PatternModel& pattern);
  ~CcdWorkflow();  // stops and joins every job
  CcdWorkflow(const CcdWorkflow&) = delete;
  CcdWorkflow& operator=(const CcdWorkflow&) = delete;

  void reloadSettings();
  const CcdSettings& settings() const;
  CcdSettings& settings();
  CcdState state() const;

  // "Start": false (with the message told) when the plate has too few marks or the run could
  // not start.
  bool startMarkingRun();
  // "Start" with "Auto (by code)", and qelcut ccd --jobs: sheet after sheet until `sheets` are
  // done (0: until a fed sheet shows neither a mark nor a code). The first sheet lies on the
  // table; each further one is fed. Its code is read
  // beside its first mark, its job's cut file loaded from JobDir, registered and cut.
  bool startSheetRun(int sheets);
  // Sheets of the last run by job code: cut, and skipped as configured.
  int sheetsCut() const;
  int sheetsSkipped() const;
  // The operator jogged the head: the next run starts where it stands instead of at the last
  // job's first mark.
  void headPlacedByOperator();
  // "Stop": sets the stop flag and releases a manual-marking wait.
  void stop();
  // Mark Point ">>" after the operator confirmed: output 49 := 0, waits until input 49 reads 0,
  // then releases the manual-marking wait. Runs on a worker; returns at once.
  void confirmManualMark();
  // Centring button, "Auto Adjust ", "Calibration Correction" (after its question was answered OK).
  bool startCentring();
  bool startCameraAdjust();
  bool startRatioCorrection();
  // "Manual Adjust ": state 5, no job.
  void manualAdjust();

  // Waits for every running job to end (tests, closing).
  void join();
  bool busy() const;
  RunEnd lastRunEnd() const;
  int piecesSent() const;

  // The history name of a sent pattern: "%s_%04d%02d%02d_%02d%02d%02d_001.PLT" from the base name
  // of the plot file (without its extension) and the local time.
  static std::string historyName(const std::string& plotPath, std::time_t when);
  // Writes the corrected pattern ("IN;", then "SP" pen ";" and each stroke in its plain form).
  // False when the file cannot be written.
  static bool writePattern(const std::string& path, const std::vector<const plot::CStroke*>& strokes,
                           const std::function<void(std::vector<plot::PlotPoint>&)>& correct);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace qel::ccd
