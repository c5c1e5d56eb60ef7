#pragma once
// The display copy of a plot file: every stroke's points in one flat buffer, with the stroke's
// pen, box and flags beside it. Views draw and pick from it and never read the file again; it
// is built once per file (on a worker for large files) and then shared read-only.
#include <QColor>
#include <QRectF>
#include <QString>

#include <cstdint>
#include <vector>

#include "plot/model.h"

namespace qel::ui {

struct DisplayStroke {
  std::uint32_t first = 0;  // index of the first point in DisplayCopy::points
  std::uint32_t count = 0;
  std::int32_t pen = 1;
  bool outer = false;   // an outer contour: the group mark of the contour page mode
  bool circle = false;  // written back as a "CI"
  double radius = 0.0;  // of the circle, plot units
  QRectF box;           // plot units: x, y = smallest corner
};

// A label kept as text: drawn in place, not a line to pick.
struct DisplayLabel {
  QString text;
  plot::PlotPoint at;     // plot units
  double height = 107.6;  // character height, plot units (0.269 cm without "SI")
  double angleDeg = 0.0;  // of the baseline, from "DI"
  std::int32_t pen = 1;
};

class DisplayCopy {
 public:
  DisplayCopy() = default;
  explicit DisplayCopy(const std::vector<plot::CStroke>& strokes, const std::vector<plot::LabelRecord>& labels = {});
  const std::vector<DisplayLabel>& labels() const { return labels_; }

  int strokeCount() const { return static_cast<int>(strokes_.size()); }
  std::size_t segmentCount() const { return segments_; }
  const DisplayStroke& stroke(int i) const { return strokes_[std::size_t(i)]; }
  const plot::PlotPoint* points(int i) const { return points_.data() + strokes_[std::size_t(i)].first; }
  // Box of every stroke (plot units); empty without strokes.
  const QRectF& bounds() const { return bounds_; }

  // The stroke nearest to `p` (plot units) among those within `maxDistance`, -1 when none.
  // plate >= 0 keeps to the strokes of that plate (see plateOf).
  int nearestStroke(const plot::PlotPoint& p, double maxDistance, int plate = -1, double plateWidth = 0) const;
  // Plate of a stroke: the whole quotient of its first point's x by the plate width (units).
  int plateOf(int i, double plateWidth) const;

  // Pen colours of the drawing: 2 orange, 3 amber, 4 yellow, 5 green, 6 cyan, 7 blue, 8 violet
  // (drawn with a pattern), any other pen black.
  static QColor penColor(int pen);

 private:
  std::vector<plot::PlotPoint> points_;
  std::vector<DisplayStroke> strokes_;
  std::vector<DisplayLabel> labels_;
  std::size_t segments_ = 0;
  QRectF bounds_;
};

}  // namespace qel::ui
