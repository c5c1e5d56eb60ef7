#pragma once
// A simulated print-and-cut table: a printed sheet with registration marks, a head with a camera
// and a motion model, and the 8-bit 640 x 480 frame the camera sees where the head stands.
//
// Table coordinates are true millimetres on the table. The axes report machine positions; with a
// Y-axis deflection of alpha degrees the camera centre sees the table point
// (Q.x + sin(t) Q.y, cos(t) Q.y), t = -alpha * pi / 180. The tool reaches what the camera sees at
// Q when the axes stand at Q + toolOffset.
#include <atomic>
#include <mutex>
#include <optional>
#include <vector>

#include <opencv2/core.hpp>

#include "camera/calibration.h"
#include "camera/job_code.h"
#include "camera/measurement.h"
#include "camera/procedures.h"
#include "platform/clock.h"

namespace qel::sim {

enum class MarkShape { Disc, Ring, Cross };

struct SheetSpec {
  MarkShape shape = MarkShape::Disc;
  double markRadius = 4.0;   // disc or ring radius, half the arm length of a cross (mm)
  double lineWidth = 0.8;    // ring and cross line width (mm)
  std::vector<cv::Point2d> marks;  // design positions on the sheet (mm)
  double printScaleX = 1.0;  // the printer's own scale and rotation
  double printScaleY = 1.0;
  double printRotationDeg = 0.0;  // counter-clockwise in table coordinates
  cv::Point2d origin{0.0, 0.0};  // table position of the sheet's design origin
  // Marks (by index) printed as a smeared blot three times longer than wide, which no detector
  // takes for a mark: the operator has to mark them by hand.
  std::vector<std::size_t> smudged;
  int paper = 215;  // grey values
  int ink = 35;
  // Long media: the print turns by driftDeg more over every driftLengthMm along its length (a
  // roll running off straight); the stretch is printScaleX.
  double driftDeg = 0.0;
  double driftLengthMm = 1000.0;
  // A job code printed at codeAt (design mm, its centre), codeSizeMm square; none when empty.
  std::string code;
  camera::CodeFormat codeFormat = camera::CodeFormat::QrCode;
  cv::Point2d codeAt{0.0, 0.0};
  double codeSizeMm = 12.0;

  cv::Point2d tablePosition(const cv::Point2d& design) const;
  double rotationAtDeg(double designX) const { return printRotationDeg + driftDeg * designX / driftLengthMm; }
};

struct CameraSpec {
  double pxPerMmX = 8.0;  // pixels per millimetre along the camera's first axis
  double pxPerMmY = 8.0;
  double rotationRad = 0.0;  // of the picture against the table axes
  bool mirror = false;
  cv::Point2d toolOffset{0.0, 0.0};  // camera_cx, camera_cy

  // Print and lens faults.
  double blurSigma = 0.0;   // Gaussian blur, pixels
  double noiseSigma = 0.0;  // grey levels
  double lightFalloff = 0.0;  // 0..1: darkening towards the right edge
  std::optional<cv::Point2d> smudgeAt;  // centre of a soft elongated dark smear, pixels
  double smudgeRadius = 40.0;
  double smudgeDepth = 60.0;  // grey levels at its centre
  unsigned seed = 1;
};

// The matrix from table millimetres (relative to the camera centre) to pixels.
cv::Matx22d tableToPixel(const CameraSpec& cam);

// A calibration set that describes the simulated camera; errX and errY make the set's plane X
// and Y too small by those factors, as a calibration whose ratios need correcting.
camera::CalibrationValues calibrationFor(const CameraSpec& cam, double errX = 1.0, double errY = 1.0);

class SimTable : public camera::MachineHead {
 public:
  SimTable(platform::Clock& clock, SheetSpec sheet, CameraSpec cam);

  // Motion model: each axis runs at `speed` mm/s (ignoring the commanded speed).
  void setSpeed(double mmPerS) { speed_ = mmPerS; }
  void setAxisYRotate(double degrees) { axisYRotateDeg_ = degrees; }
  void placeHead(const cv::Point2d& machine);  // puts the head there at once

  // MachineHead
  std::optional<double> readAxis(int axis) override;
  bool moveAbsolute(const std::vector<int>& axes, const std::vector<double>& positions, double speed,
                    double accel) override;
  bool stopRequested() const override { return stop_.load(); }

  void requestStop() { stop_ = true; }
  void clearStop() { stop_ = false; }
  void stopAfterMoves(int n) { stopAfterMoves_ = n; }  // set the stop request once n moves are accepted
  void refuseNextMoves(int n) { refuseMoves_ = n; }
  int movesAccepted() const { return movesAccepted_; }

  cv::Point2d headPosition() const;                    // machine position now
  cv::Point2d trueOf(const cv::Point2d& machine) const;  // table point seen at that position
  cv::Point2d toolTablePoint(const cv::Point2d& commanded) const;

  // The frame seen now.
  cv::Mat renderFrame() const;
  // The frame seen with the camera centre over a table point.
  cv::Mat renderAt(const cv::Point2d& tableCentre) const;
  // Pixel position of a design mark in the current frame.
  cv::Point2d pixelOf(const cv::Point2d& design) const;

  const SheetSpec& sheet() const { return sheet_; }
  const CameraSpec& cameraSpec() const { return cam_; }

 private:
  cv::Point2d positionAt(std::int64_t nowMs) const;

  platform::Clock& clock_;
  SheetSpec sheet_;
  CameraSpec cam_;
  double speed_ = 500.0;
  double axisYRotateDeg_ = 0.0;
  mutable std::mutex mutex_;
  cv::Point2d from_{0, 0}, to_{0, 0};
  std::int64_t moveStartMs_ = 0;
  std::atomic<bool> stop_{false};
  int stopAfterMoves_ = -1;
  int refuseMoves_ = 0;
  int movesAccepted_ = 0;
  mutable unsigned frameCount_ = 0;
  cv::Mat codeModules_;  // of sheet_.code, one pixel per module (0 dark)
};

// Measures by rendering the current frame and running the detector on it, as the camera window
// does on the next frame after a request. Counts its measurements.
class SimMeasurer : public camera::MarkMeasurer {
 public:
  SimMeasurer(SimTable& table, camera::MarkType type, int minRadius, int maxRadius)
      : table_(table), type_(type), minRadius_(minRadius), maxRadius_(maxRadius) {}
  cv::Point2d measureMark(bool silent) override;
  int count() const { return count_; }

 private:
  SimTable& table_;
  camera::MarkType type_;
  int minRadius_, maxRadius_;
  int count_ = 0;
};

}  // namespace qel::sim
