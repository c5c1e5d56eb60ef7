#pragma once
// PlotSource: where a dispose run takes its plot model from. The HPGL reader is one source; a
// new input format adds a source of its own (and its fuzz target) and nothing else: the stages,
// cut quality and the page writer never know which format the model came from.
//
// Writing a source:
// - read() gets a builder that the run has reset for this run (empty model, page window of the
//   page mode, pen 1, pen up) and hands it the drawing in raw plotter units (40 to the mm,
//   y up, origin at the material's corner): addPolyline(pen, points) for each pen-down
//   polyline, or the finer steps in plot_builder.h (pen changes, pen-up and pen-down moves,
//   line types, labels kept as text). The builder gives every stroke its page, makes x
//   page-relative, cuts pen-down runs at page edges in the hard-partition modes and refuses
//   pages beyond Max_Page_Count; the source never computes pages itself.
// - Tell builder.reserveForInput(bytes) the input's length before the first point when it is
//   known: room for the strokes is reserved, and a large input is written page by page while
//   it is read where the page mode allows.
// - Call builder.startPass() once before the first point (page 0 gets its file then), and
//   builder.stepDone() after each drawing command or polyline: in page-order mode the run
//   writes the pages the source has left. After each step, stop when builder.overflow() or
//   builder.crossedEdge() holds (see tooManyPagesText, crossedEdgeText).
// - End with builder.endOfInput(). Report one result: ok, or not ok with the reason as text
//   for the operator (the file's path, what is wrong with it). A source that found nothing to
//   cut says so (builder.drawingSeen() is false) rather than succeeding with empty pages.
// - A source runs on the run's thread, once per run; it keeps no state between runs that the
//   run does not give it.
// - A run reads from a source given to CDisposeFile (dispose_file.h); the file's path still
//   names the page files. Without one it reads the file by what it holds (source_for_file.h):
//   PDF and SVG through DrawingSource, everything else as HPGL (HpglReader).
#include <memory>
#include <string>

namespace qel::plot {

class PlotBuilder;
struct DisposeOptions;

// The outcome of reading a source: ok, or the reason it could not be read.
struct SourceResult {
  bool ok = false;
  std::string text;
};

class PlotSource {
 public:
  virtual ~PlotSource() = default;
  virtual SourceResult read(PlotBuilder& builder) = 0;
};

// Reasons shared by every source.
std::string tooManyPagesText(const std::string& inputPath, int maxPageCount);
std::string crossedEdgeText(const std::string& inputPath);
std::string nothingToCutText(const std::string& inputPath);

}  // namespace qel::plot
