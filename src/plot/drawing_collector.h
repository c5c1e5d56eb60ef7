#pragma once
// DrawingCollector: what the paths of a drawing become for the cutter. The reader of a PDF or
// SVG hands it every painted path (stroked, filled, text outlines) with its paint, page after
// page, in plotter units; it keeps the cut lines (curves flattened), the registration marks and
// the counts a message needs, and at the end hands the cut to a plot builder:
//   - paths in a cut spot colour are cut with the pen of CutPens; once one is seen, the process
//     colours are no longer looked at;
//   - without one, paths stroked in a cut RGB colour (or, with CutAll, every stroked path);
//   - fills only with CutFills; text in a cut colour as its outlines;
//   - for print-and-cut, shapes in a registration colour become marks, or failing them four
//     filled circles at the artwork's corners.
// Single-threaded: one reader, one collector.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "plot/contours.h"
#include "plot/cut_colours.h"
#include "plot/drawing_marks.h"
#include "plot/drawing_options.h"
#include "plot/model.h"
#include "plot/plot_source.h"

namespace qel::plot {

class PlotBuilder;

enum class PaintKind { Stroke, Fill, Text, StrokedText };

// The colour a path is painted in: the spot colours it puts ink in (their tint above 0), and a
// process colour as RGB when it has one.
struct PaintColour {
  std::span<const std::string_view> spots;
  std::optional<Rgb> rgb;
};

// Curves flattened into cut lines: how many, the chords they got, and the chords a uniform
// flattening would have needed for the same tolerance.
struct FlattenCounts {
  std::int64_t curves = 0;
  std::int64_t chords = 0;
  std::int64_t uniformChords = 0;
};

class DrawingCollector {
 public:
  enum class Use { Ignore, Cut, Mark, Circle };
  // The most a drawing may hold: painted paths, and points of kept lines.
  static constexpr std::int64_t kMaxPaths = 5'000'000;
  static constexpr std::int64_t kMaxPoints = 20'000'000;

  // markPen: the pen of registration marks (MarkPoint_SP).
  DrawingCollector(const DrawingOptions& options, int markPen);

  // The next page of the drawing starts (pages are counted from 0 in reading order).
  void beginPage(int page);

  // One more painted path (a path both filled and stroked counts once); false from
  // withinLimits() once there are too many.
  void countPath();
  // What a painted path is to the cutter; `pen` is set for a cut line.
  Use classify(PaintKind kind, const PaintColour& colour, int* pen);
  // A painted object that is not kept, with its box when known (the artwork's corners).
  void noteBox(const Box& box);
  // A spot colour met in the drawing (named in the message when nothing is cut).
  void noteSpotName(std::string_view name);

  // The outline of a path that classify() kept, in plotter units.
  void beginPath(Use use, int pen);
  void moveTo(const PlotPoint& p);
  void lineTo(const PlotPoint& p);
  void cubicTo(const PlotPoint& c1, const PlotPoint& c2, const PlotPoint& p);
  void quadTo(const PlotPoint& c, const PlotPoint& p);
  void closePath();
  void endPath();

  // False once the drawing holds more than the limits; limitText() says what.
  bool withinLimits() const { return limitText_.empty(); }
  const std::string& limitText() const { return limitText_; }

  // Hands the cut lines (and marks) to the builder, as plot sources do (see plot_source.h);
  // not ok, with the reason, when nothing in the drawing is a cut line.
  SourceResult emit(PlotBuilder& builder, const std::string& inputPath);

  // After emit(): the marks found, the flattening counts, the painted paths counted.
  const std::vector<DrawingMark>& marks() const { return marks_; }
  const FlattenCounts& flattenCounts() const { return counts_; }
  std::int64_t pathCount() const { return paths_; }

 private:
  struct LineRef {
    std::uint32_t first = 0, count = 0;
    int pen = 1;
  };
  struct Lines {
    std::vector<PlotPoint> points;
    std::vector<LineRef> lines;
    void clear() {
      points.clear();
      lines.clear();
    }
  };

  void endSubpath();
  void add(const PlotPoint& p);
  void keepBox(const PlotPoint& p);
  std::string noCutLineText(const std::string& inputPath) const;

  DrawingOptions opt_;
  CutColours colours_;
  int markPen_;
  double tolerance_;  // plotter units
  int page_ = 0;

  bool spotSeen_ = false;  // a path in a cut spot colour: process colours are not cut
  Lines spot_, rgb_;
  Lines* target_ = nullptr;  // where the current path's lines go; null for marks and circles
  Use use_ = Use::Ignore;
  int pen_ = 1;
  std::uint32_t subpathStart_ = 0;
  std::vector<PlotPoint> shape_;  // the current mark or circle path
  std::optional<Box> box_;        // of the current path
  PlotPoint at_;                  // where the current path stands

  std::vector<MarkShape> markShapes_;
  std::vector<DrawingMark> circles_;
  std::vector<std::optional<Box>> extents_;  // per page, for the corner circles
  std::vector<DrawingMark> marks_;
  std::vector<std::string> spotNames_;
  FlattenCounts counts_;
  std::int64_t paths_ = 0;
  std::string limitText_;
};

}  // namespace qel::plot
