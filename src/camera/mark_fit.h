#pragma once
// Corrections fitted to the measured marks themselves rather than to the pair rules of the
// marking run: an affine map from design millimetres to the table, by least squares over every
// mark that was measured (a run that had to leave a mark out), and for long media one map per
// segment between two columns of marks across the roll, blended so that segments meet without a
// step at their seams.
#include <optional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "camera/geometry.h"

namespace qel::camera {

// One measured mark: where the plot puts it (mm) and the machine position it was found at (mm).
struct MarkPair {
  cv::Point2d design;
  cv::Point2d machine;
};

// Maps plot units of the pattern to plot units of the corrected pattern (machine position of the
// tool, times 40).
class PointCorrection {
 public:
  virtual ~PointCorrection() = default;
  virtual cv::Point2d apply(const cv::Point2d& plotUnits) const = 0;
  // Replaces every point of a stroke's point list (any type with x and y members).
  template <class Points>
  void transformStroke(Points& points) const {
    for (auto& p : points) {
      const cv::Point2d q = apply(cv::Point2d(p.x, p.y));
      p.x = q.x;
      p.y = q.y;
    }
  }
};

// The least-squares affine map over three or more marks not on one line.
class AffineCorrection final : public PointCorrection {
 public:
  // Nullopt when the marks cannot fix an affine map (fewer than three, or all on one line).
  static std::optional<AffineCorrection> fit(const std::vector<MarkPair>& marks, const AxisDeflection& deflection,
                                             cv::Point2d cameraOffsetMm);
  cv::Point2d apply(const cv::Point2d& plotUnits) const override;
  // The linear part (true mm per design mm): scales along its columns and the turn of its first.
  const cv::Matx22d& linear() const { return a_; }

 private:
  AffineCorrection() = default;
  cv::Matx22d a_;
  cv::Point2d t_, base_, tool_;
  AxisDeflection deflection_;
};

// Long media: marks in columns across the roll (a column: the marks whose design x lie within
// 1 mm of each other; the lowest and the highest of each are its edge marks). Each segment
// between two neighbouring columns maps its design rectangle onto the four measured marks
// bilinearly; two segments share their column, so a seam has no step. Points before the first
// or after the last column follow the nearest segment.
class SegmentedCorrection final : public PointCorrection {
 public:
  struct Segment {
    double fromX = 0.0, toX = 0.0;  // design mm
    cv::Point2d lowFrom, highFrom, lowTo, highTo;  // design of the corner marks
    cv::Point2d tLowFrom, tHighFrom, tLowTo, tHighTo;  // their true positions about the base
  };
  // Nullopt with the reason when there are fewer than two columns or a column lacks two marks.
  static std::optional<SegmentedCorrection> fit(const std::vector<MarkPair>& marks, const AxisDeflection& deflection,
                                                cv::Point2d cameraOffsetMm, std::string* why = nullptr);
  cv::Point2d apply(const cv::Point2d& plotUnits) const override;
  const std::vector<Segment>& segments() const { return segments_; }

 private:
  SegmentedCorrection() = default;
  std::vector<Segment> segments_;
  cv::Point2d base_, tool_;
  AxisDeflection deflection_;
};

// The distance (mm) between each measured mark and its design mark carried through the
// correction, the camera-to-tool offset taken off again.
std::vector<double> residualsOf(const PointCorrection& correction, const std::vector<MarkPair>& marks,
                                cv::Point2d cameraOffsetMm);

}  // namespace qel::camera
