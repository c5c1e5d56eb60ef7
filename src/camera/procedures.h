#pragma once
// The camera procedures that drive the machine head: locating a mark by centring the camera on
// it, the calibration ratio correction, the camera adjust (pixel scale, rotation and mirror of
// the camera) and the standing-still read of the head position.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "camera/calibration.h"
#include "platform/clock.h"

namespace qel::config {
class CIniConfig;
}

namespace qel::camera {

// The machine head as the procedures need it. The coordinator's command client implements it.
class MachineHead {
 public:
  virtual ~MachineHead() = default;
  // Position of an axis (0 is X, 1 is Y) in millimetres; nullopt when the read failed.
  virtual std::optional<double> readAxis(int axis) = 0;
  // Absolute move of the given axes together; false when the command was not accepted.
  virtual bool moveAbsolute(const std::vector<int>& axes, const std::vector<double>& positions, double speed,
                            double accel) = 0;
  // The operator's stop request.
  virtual bool stopRequested() const = 0;
};

// One measurement of the mark under the camera: (u, v) in pixels, (0, 0) when not found.
// Not silent, a failure may ask the operator to mark by hand (and return the image centre) or
// to stop (setting the stop request).
class MarkMeasurer {
 public:
  virtual ~MarkMeasurer() = default;
  virtual cv::Point2d measureMark(bool silent) = 0;
};

struct MotionSettings {
  int waitTime4Capture = 500;  // ms before each measurement
  double moveSpeed = 500.0;
  double moveAccel = 1000.0;
  int markTime = 2;  // centring rounds
  // A mark seen closer than this to the picture's centre (pixels) is taken where it lies, without
  // a centring move: the calibration converts any pixel of the frame, so centring adds nothing
  // but time once the mark is near. 0.5 centres as long as the rounds allow.
  double centreTolerancePx = 0.5;
  int standPollMs = 200;  // reads this far apart that agree mean the head stands still
};

// Reads the motion settings from the store (WaitTime4Capture, MoveSpeed, MoveAccel, markTime,
// CentreTolerance, StandStillMs).
MotionSettings readMotionSettings(const config::CIniConfig& cfg);

enum class Outcome { Done, Failed, Stopped };

struct ProcedureResult {
  Outcome outcome = Outcome::Done;
  std::string message;  // the text to show; empty when stopped
};

struct LocateResult {
  enum class Status { Found, NotFound, Stopped } status = Status::Found;
  cv::Point2d position{0.0, 0.0};
  std::string message;  // why the head could not be used, when that ended the search
  // The position as the workflow passes it on: (10000, 10000) not found, (0, 0) stopped.
  cv::Point2d value() const;
};

struct AdjustResult {
  double rotate = 0.0;  // radians
  int isMirror = 0;
  double ratio_px = 1.0;  // pixels per millimetre
  double ratio_py = 1.0;
};

// Texts shown by the procedures.
inline constexpr const char* kMoreCornerText = "Please move the mark point to more corner place!";
inline constexpr const char* kCorrectionFailedText = "Correction Failed!";
inline constexpr const char* kCorrectionOkText = "Correction Successfully!";
inline constexpr const char* kAdjustOkText = "Adjust OK!";
inline constexpr const char* kAdjustLimitsText = "Params is out of Limits, Adjust Failed!";
inline constexpr const char* kCorrectionConfirmText = "Are you sure to Corretion the Calibration ratio?";
inline constexpr const char* kAdjustRedoText = "You have already adjusted before, make sure to redo it?";
inline constexpr const char* kAxisYRotateFormat = "计算完成，Y轴偏转角为：%f°(逆时针为正)";
inline constexpr const char* kNoMarkText = "Can't capture the mark point!";
inline constexpr const char* kHeadReadText = "Can't read the machine position!";
inline constexpr const char* kHeadMoveText = "The machine doesn't accept the move command!";
inline constexpr const char* kHeadArriveText = "The machine didn't reach the position!";

// True when a camera adjust result is stored (the adjust then asks before redoing it).
bool adjustResultStored(const config::CIniConfig& cfg);

// The Y-axis deflection from the first two marks of a run measured along Y: saves AxisYRotate
// (degrees) and returns the text to show. Fewer than two marks fail.
ProcedureResult saveAxisYRotate(config::CIniConfig& cfg, const std::vector<cv::Point2d>& measured);

class CameraProcedures {
 public:
  CameraProcedures(MachineHead& head, MarkMeasurer& measurer, CameraCalibration& calibration,
                   platform::Clock& clock, MotionSettings settings);

  // The position once the head stands still (two reads 200 ms apart agree); nullopt when stopped.
  std::optional<cv::Point2d> standingPosition();

  // Centres the camera on the mark in view and returns the machine position of the mark.
  // Throws CalibrationError when the calibration set can't convert (nothing is moved then).
  LocateResult locateMark(bool silent, bool threeRounds);

  // Measures the ratios of the calibration set with a mark near a corner of the picture and
  // saves them to Camera_Para<set> of cfg. The set's ratios are restored unless it succeeds.
  ProcedureResult correctCalibrationRatio(config::CIniConfig& cfg, int set);

  // Measures pixel scale, rotation and mirror of the camera by moving 10 mm along X and Y; saves
  // them to cfg when they lie within the configured limits. `result` gets the values in use
  // afterwards (the new ones, or those reloaded from the store).
  ProcedureResult adjustCamera(config::CIniConfig& cfg, AdjustResult& result);

  // Computes the image displacements a (for +10 mm of X) and b (for +10 mm of Y) into the
  // adjust values.
  static AdjustResult adjustFromDisplacements(cv::Point2d a, cv::Point2d b);

 private:
  struct Stopped {};
  struct Failed {
    std::string message;
  };
  cv::Point2d readPosition();  // throws Failed
  cv::Point2d standOrThrow();  // throws Stopped/Failed; notes when the head came to rest
  void settle();               // waits what is left of WaitTime4Capture since the head came to rest
  void wait(int ms);           // throws Stopped after the wait when a stop is requested
  void checkStop();
  void move(const std::vector<int>& axes, const std::vector<double>& to);  // retries; throws
  cv::Point2d measure(bool silent);                                           // throws Stopped
  LocateResult locate(bool silent, bool threeRounds);                        // throws Stopped
  void pollUntil(const std::function<bool(const cv::Point2d&)>& arrived);

  MachineHead& head_;
  MarkMeasurer& measurer_;
  CameraCalibration& calibration_;
  platform::Clock& clock_;
  MotionSettings settings_;
  std::int64_t restSinceMs_ = 0;
};

}  // namespace qel::camera
