#pragma once
// The processing stages that the reader and the pipeline call: the page-edge split, thinning
// and densifying of pen-down runs, labels drawn as strokes, the rolling split, the contour
// stages and the whole-stroke split. Each works on the state of one CDisposeFile.
#include <mutex>
#include <string_view>
#include <vector>

#include "plot/model.h"

namespace qel::plot {

class CDisposeFile;

struct Stages {
  // Modes 4 and 7: a segment from `from` to `to` (raw coordinates) whose end leaves the
  // current page along x. On return `to` has been shifted into its page and the current
  // page and offset are that page's.
  static void splitAtEdges(CDisposeFile& d, const PlotPoint& from, PlotPoint& to);

  // Thinning and densifying of one gathered pen-down run (raw coordinates).
  static std::vector<PlotPoint> thinAndDensify(const CDisposeFile& d, std::vector<PlotPoint> run);

  // A label's characters drawn as strokes from the stroke font, appended to the stroke list.
  static void labelToStrokes(CDisposeFile& d, std::string_view characters);

  // Mode 6 after reading: splits the strokes into pages and fills the rolling-split list.
  // False when the run must stop (a stroke wider than a page in the load-only run).
  static bool rollingSplit(CDisposeFile& d, bool loadOnly);

  // Mode 8 (and 9 in the load-only run): joining, outer contours and their order.
  static void contourStages(CDisposeFile& d, bool loadOnly);

  // Mode 8 after the contour stages (and 9 in the load-only run, keeping coordinates).
  static void wholeStrokeSplit(CDisposeFile& d, bool viewForm);
};

// The rolling-split list: one for the whole process. Every run clears and refills it, and the
// page trailers read it. Runs hold disposeRunLock() so that they never overlap.
std::vector<int>& rollingSplitList();
std::mutex& disposeRunLock();

}  // namespace qel::plot
