#pragma once
// The plot model: strokes (polylines with pen and line type), labels, and the reports of the
// page files written from them. Coordinates are plotter units, 40 to the millimetre.
#include <cstdint>
#include <string>
#include <vector>

namespace qel::plot {

inline constexpr double kUnitsPerMm = 40.0;

struct PlotPoint {
  double x = 0.0;
  double y = 0.0;
  friend bool operator==(const PlotPoint&, const PlotPoint&) = default;
};

struct LineType {
  std::int32_t type = 0;
  float patternLength = 0.0f;
  std::string extra;
  friend bool operator==(const LineType&, const LineType&) = default;
};

// A raw command written back inside a stroke, just before the point with this index.
struct InsertedCommand {
  std::int32_t pointIndex = 0;
  std::string text;
  friend bool operator==(const InsertedCommand&, const InsertedCommand&) = default;
};

// A stroke is kept for every polyline of a file, so it holds only what the stages and the
// writer use: a long roll has hundreds of thousands of them.
class CStroke {
 public:
  // Restarts the stroke: flags cleared, pen 1, the lists emptied. The line type stays.
  void reset() {
    points.clear();
    circleFlag = closedFlag = outerFlag = joinedFlag = labelStrokeFlag = false;
    pen = 1;
    inserted.clear();
  }

  std::vector<PlotPoint> points;
  std::int32_t circleRadius = 0;
  std::int32_t pen = 1;
  bool circleFlag = false;       // stands for a "CI" written back as such
  bool closedFlag = false;       // first and last point within the close distance
  bool outerFlag = false;        // an outer contour
  bool joinedFlag = false;       // this stroke and the next close a shape together
  bool labelStrokeFlag = false;  // drawn from a font glyph
  LineType lineType;
  std::vector<InsertedCommand> inserted;
};

struct LabelRecord {
  std::int32_t pageIndex = 0;
  std::int32_t pen = 1;
  std::string diText, siText, loText, dtText;  // e.g. "DI0,1" (no ";")
  std::string labelText;                        // "LB" + characters + terminator
  double x = 0.0;                               // page-relative
  double y = 0.0;
};

// One written page file as reported to the owner: its path and its size text
// ("1000.00 * 500.00", millimetres; empty for copied files and the extra page).
struct OutputFileReport {
  std::string fileName;
  std::string sizeText;
};

// Receives the reports of a dispose run, in sending order.
class DisposeOwner {
 public:
  virtual ~DisposeOwner() = default;
  virtual void addOutputFileReport(const OutputFileReport& report) = 0;
};

}  // namespace qel::plot
