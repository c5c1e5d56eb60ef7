#include "camera/mark_fit.h"

#include <algorithm>
#include <cmath>

namespace qel::camera {

namespace {
constexpr double kUnits = 40.0;        // plot units per millimetre
constexpr double kColumnMm = 1.0;      // marks this close along x form one column

cv::Point2d lerp(const cv::Point2d& a, const cv::Point2d& b, double s) { return a + (b - a) * s; }
}  // namespace

std::optional<AffineCorrection> AffineCorrection::fit(const std::vector<MarkPair>& marks,
                                                      const AxisDeflection& deflection, cv::Point2d cameraOffsetMm) {
  if (marks.size() < 3) return std::nullopt;
  AffineCorrection c;
  c.deflection_ = deflection;
  c.base_ = marks[0].machine;
  c.tool_ = cameraOffsetMm;
  // Rows (dx, dy, 1) against the true offsets from the first mark, both coordinates at once.
  cv::Mat a(static_cast<int>(marks.size()), 3, CV_64F), b(static_cast<int>(marks.size()), 2, CV_64F);
  for (std::size_t i = 0; i < marks.size(); ++i) {
    const int r = static_cast<int>(i);
    a.at<double>(r, 0) = marks[i].design.x;
    a.at<double>(r, 1) = marks[i].design.y;
    a.at<double>(r, 2) = 1.0;
    const cv::Point2d t = deflection.trueDelta(marks[i].machine, c.base_);
    b.at<double>(r, 0) = t.x;
    b.at<double>(r, 1) = t.y;
  }
  cv::Mat x;
  const cv::Mat normal = a.t() * a;
  // Marks on one line leave the normal matrix (nearly) singular.
  const double scale = cv::norm(normal, cv::NORM_INF);
  if (!(scale > 0.0) || std::abs(cv::determinant(normal)) < 1e-12 * scale * scale * scale) return std::nullopt;
  if (!cv::solve(normal, a.t() * b, x, cv::DECOMP_LU)) return std::nullopt;
  c.a_ = cv::Matx22d(x.at<double>(0, 0), x.at<double>(1, 0), x.at<double>(0, 1), x.at<double>(1, 1));
  c.t_ = {x.at<double>(2, 0), x.at<double>(2, 1)};
  return c;
}

cv::Point2d AffineCorrection::apply(const cv::Point2d& p) const {
  const cv::Point2d d = p / kUnits;
  const cv::Point2d q(a_(0, 0) * d.x + a_(0, 1) * d.y + t_.x, a_(1, 0) * d.x + a_(1, 1) * d.y + t_.y);
  return (base_ + deflection_.machineDelta(q, {0.0, 0.0}) + tool_) * kUnits;
}

std::optional<SegmentedCorrection> SegmentedCorrection::fit(const std::vector<MarkPair>& marks,
                                                            const AxisDeflection& deflection,
                                                            cv::Point2d cameraOffsetMm, std::string* why) {
  auto refuse = [&](const std::string& text) {
    if (why) *why = text;
    return std::nullopt;
  };
  if (marks.empty()) return refuse("no mark was measured");
  std::vector<MarkPair> sorted = marks;
  std::stable_sort(sorted.begin(), sorted.end(), [](const MarkPair& a, const MarkPair& b) { return a.design.x < b.design.x; });
  std::vector<std::vector<MarkPair>> columns;
  for (const auto& m : sorted) {
    if (columns.empty() || m.design.x - columns.back().front().design.x > kColumnMm) columns.emplace_back();
    columns.back().push_back(m);
  }
  if (columns.size() < 2) return refuse("the marks form fewer than two columns across the roll");
  SegmentedCorrection c;
  c.deflection_ = deflection;
  c.base_ = marks[0].machine;
  c.tool_ = cameraOffsetMm;
  struct Edge {
    double x;
    MarkPair low, high;
  };
  std::vector<Edge> edges;
  for (const auto& col : columns) {
    if (col.size() < 2) return refuse("a column of marks across the roll has only one mark");
    const auto [lo, hi] = std::minmax_element(col.begin(), col.end(),
                                              [](const MarkPair& a, const MarkPair& b) { return a.design.y < b.design.y; });
    if (hi->design.y - lo->design.y <= kColumnMm) return refuse("a column's marks lie on one edge of the roll");
    edges.push_back({(lo->design.x + hi->design.x) / 2.0, *lo, *hi});
  }
  for (std::size_t i = 0; i + 1 < edges.size(); ++i) {
    const Edge &f = edges[i], &t = edges[i + 1];
    Segment s;
    s.fromX = f.x, s.toX = t.x;
    s.lowFrom = f.low.design, s.highFrom = f.high.design, s.lowTo = t.low.design, s.highTo = t.high.design;
    s.tLowFrom = deflection.trueDelta(f.low.machine, c.base_);
    s.tHighFrom = deflection.trueDelta(f.high.machine, c.base_);
    s.tLowTo = deflection.trueDelta(t.low.machine, c.base_);
    s.tHighTo = deflection.trueDelta(t.high.machine, c.base_);
    c.segments_.push_back(s);
  }
  return c;
}

cv::Point2d SegmentedCorrection::apply(const cv::Point2d& p) const {
  const cv::Point2d d = p / kUnits;
  auto it = std::find_if(segments_.begin(), segments_.end(), [&](const Segment& s) { return d.x < s.toX; });
  const Segment& s = it == segments_.end() ? segments_.back() : *it;
  const double u = (d.x - s.fromX) / (s.toX - s.fromX);
  const cv::Point2d low = lerp(s.lowFrom, s.lowTo, u), high = lerp(s.highFrom, s.highTo, u);
  const double v = (d.y - low.y) / (high.y - low.y);
  const cv::Point2d tLow = lerp(s.tLowFrom, s.tLowTo, u), tHigh = lerp(s.tHighFrom, s.tHighTo, u);
  // The design x within the segment may stray from the edge marks' own x: carry the difference
  // at the local scale along the roll.
  const cv::Point2d along = lerp(tLow, tHigh, v);
  const cv::Point2d designAt = lerp(low, high, v);
  const cv::Point2d axis = lerp(s.tLowTo - s.tLowFrom, s.tHighTo - s.tHighFrom, v) * (1.0 / (s.toX - s.fromX));
  const cv::Point2d q = along + axis * (d.x - designAt.x);
  return (base_ + deflection_.machineDelta(q, {0.0, 0.0}) + tool_) * kUnits;
}

std::vector<double> residualsOf(const PointCorrection& correction, const std::vector<MarkPair>& marks,
                                cv::Point2d cameraOffsetMm) {
  std::vector<double> out;
  for (const auto& m : marks)
    out.push_back(length(correction.apply(m.design * kUnits) / kUnits - cameraOffsetMm - m.machine));
  return out;
}

}  // namespace qel::camera
