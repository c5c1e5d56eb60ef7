#pragma once
// Registration of one plate: the design marks of the plot against the measured machine positions
// of the same marks, giving the scale (ratio_x, ratio_y) and rotation (angle) of the printed
// sheet, and the correction of the pattern that follows from them.
#include <optional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "camera/geometry.h"
#include "camera/mark_fit.h"

namespace qel::camera {

inline constexpr double kPlotUnitsPerMm = 40.0;

// Refusal text for a plate with three marks: the first half of the marks would hold no pair to
// measure the X scale on.
inline constexpr const char* kThreeMarksText =
    "Three mark points can't give both scales: please use 2 or at least 4 mark points!";
inline constexpr const char* kTooFewMarksText = "Please make sure the selected pattern has more than 2 mark points!";
// A marking run refused after the fit: mark number (from 1), its residual and the limit, in mm.
inline constexpr const char* kMarkResidualFormat =
    "Mark %zu is %.3f mm off the corrected pattern (limit %.3f mm): the pattern was not sent.";

// Checks the number of design marks of a plate before a run: nullopt when the run may start,
// otherwise the text to show.
std::optional<std::string> checkDesignMarkCount(std::size_t count);

class Registration {
 public:
  // Starts a run: design marks in plot units (divided by 40 here), the controller's scale
  // variables VR(18) and VR(19) (0.01 % units) and the Y-axis deflection in degrees.
  void reset(const std::vector<cv::Point2d>& designPlotUnits, double vr18, double vr19, double axisYRotateDeg);

  // Appends the measured machine position of the next mark and updates the running estimates.
  void addMeasured(const cv::Point2d& machinePosition);

  // Expected machine position of design mark k from the estimates so far (needs mark 0).
  cv::Point2d expectedPosition(std::size_t k) const;

  // After all marks: ratio_x from consecutive pairs of the first half, ratio_y from each mark of
  // the first half against its counterpart from the end. A mean over no pair leaves the value.
  void computeFinalRatios();

  const std::vector<cv::Point2d>& design() const { return design_; }
  const std::vector<cv::Point2d>& measured() const { return measured_; }
  const AxisDeflection& deflection() const { return deflection_; }
  double sx() const { return sx_; }
  double sy() const { return sy_; }

  double ratio_x = 1.0;
  double ratio_y = 1.0;
  double angle = 0.0;

 private:
  cv::Point2d scaledDesignDelta(std::size_t a, std::size_t b) const;

  std::vector<cv::Point2d> design_;  // millimetres
  std::vector<cv::Point2d> measured_;
  double sx_ = 1.0, sy_ = 1.0;
  AxisDeflection deflection_;
};

// The correction applied to the points of every stroke of the pattern (plot units).
class PatternCorrection final : public PointCorrection {
 public:
  // cutType 0: only the camera-to-tool shift. 1 to 3: scale, rotation and the shift of the design
  // centroid onto the measured one. angle, ratioX, ratioY of -1.0 take the registration's
  // values. Needs at least one measured mark for cut types 1 to 3.
  PatternCorrection(const Registration& reg, int cutType, double cameraCx, double cameraCy, double angle = -1.0,
                    double ratioX = -1.0, double ratioY = -1.0);

  cv::Point2d apply(const cv::Point2d& p) const override;

  // True when the pattern is scaled, turned and moved onto the measured marks (cut types 1 to 3).
  bool fitted() const { return correct_; }
  const cv::Point2d& origin() const { return origin_; }
  const cv::Point2d& shift() const { return shift_; }

 private:
  bool correct_ = false;
  cv::Point2d origin_{0, 0};
  cv::Point2d shift_{0, 0};
  double angle_ = 0.0, ratioX_ = 1.0, ratioY_ = 1.0;
  AxisDeflection deflection_;
};

// The residual of each measured mark after a fitted correction: the distance (mm) between the
// measured mark and its design mark carried through the correction, the camera-to-tool shift
// taken off again. Empty when the correction fits nothing (cut type 0).
std::vector<double> markResiduals(const Registration& reg, const PatternCorrection& correction, double cameraCx,
                                  double cameraCy);

// Refuses a run whose largest residual exceeds limitMm (0 or less: no limit): nullopt when the
// pattern may be sent, otherwise the text naming the mark (from 1) and its residual.
std::optional<std::string> checkMarkResiduals(const std::vector<double>& residualsMm, double limitMm);

// "mark residuals (mm): 1 0.012, 2 0.008, ..." for the log and the command line.
std::string residualsLine(const std::vector<double>& residualsMm);

// Y-axis deflection in degrees from the first two marks of a run measured along the Y axis.
double computeAxisYRotate(const cv::Point2d& m0, const cv::Point2d& m1);

}  // namespace qel::camera
