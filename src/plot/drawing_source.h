#pragma once
// DrawingSource: the plot source of drawings, PDF and SVG, read through MuPDF. Every page (or
// only the one asked for) is run through a device of our own that receives each stroked and
// filled path and each text with its colour space, colour and transformation; the cut lines
// among them (DrawingCollector) become strokes in plotter units, the drawing as on paper (y up,
// the page's lower left corner at 0), the pages one after another along the roll with the page
// gap between them.
//
// Reading is bounded: at most kMaxPages pages of at most kMaxPageSideMm a side, the path and point limits of the collector, and
// 1 GB of memory for MuPDF; an encrypted, damaged or empty document, an SVG that is not SVG or a
// drawing without a cut line fails with the reason.
#include <memory>
#include <string>
#include <vector>

#include "plot/dispose_options.h"
#include "plot/drawing_collector.h"
#include "plot/plot_format.h"
#include "plot/plot_source.h"

namespace qel::plot {

class DrawingSource : public PlotSource {
 public:
  static constexpr int kMaxPages = 1000;
  // The longest side of a page that is read: a kilometre of roll.
  static constexpr int kMaxPageSideMm = 1000000;

  // `format` is Pdf or Svg (plot_format.h).
  DrawingSource(std::string inputPath, PlotFormat format, const DisposeOptions& options);
  ~DrawingSource() override;

  // Runs on the dispose run's thread; MuPDF is used inside this call only.
  SourceResult read(PlotBuilder& builder) override;

  // After read(): what the drawing held.
  const FlattenCounts& flattenCounts() const { return counts_; }
  std::int64_t pathCount() const { return paths_; }
  const std::vector<DrawingMark>& marks() const { return marks_; }
  int pageCount() const { return pages_; }

 private:
  std::string path_;
  PlotFormat format_;
  DisposeOptions opt_;
  FlattenCounts counts_;
  std::int64_t paths_ = 0;
  std::vector<DrawingMark> marks_;
  int pages_ = 0;
};

}  // namespace qel::plot
