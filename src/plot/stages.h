#pragma once
// The processing stages over the plot model: thinning and densifying of pen-down runs, the
// rolling split, the contour stages and the whole-stroke split. The reader's own stages (the
// page-edge split and labels drawn as strokes) are part of the reader.
#include <mutex>
#include <vector>

#include "plot/contours.h"
#include "plot/dispose_options.h"
#include "plot/model.h"
#include "plot/plot_model.h"

namespace qel::plot {

// Thinning and densifying of one gathered pen-down run (raw coordinates).
std::vector<PlotPoint> thinAndDensify(const DisposeOptions& o, std::vector<PlotPoint> run);

// How a split into pages ended.
struct PageSplit {
  bool overflow = false;  // something lies beyond the page limit: the run must stop
  int lastPage = 0;       // the highest page the split made
};

// The highest page index a run may use with Max_Page_Count pages in all.
int maxPageIndexOf(int maxPages);

// Mode 6 after reading: splits the strokes into pages and fills the rolling-split list.
// False when the run must stop because a stroke is wider than a page (load-only runs only).
bool rollingSplit(PlotModel& m, const DisposeOptions& o, int maxPages, bool loadOnly, PageSplit& result);

// Mode 8 (and 9 in the load-only run): joining, outer contours and, unless the drawing order
// is kept, the inside-first order. Returns the bounding box of every stroke of the result.
std::vector<Box> contourStages(PlotModel& m, const DisposeOptions& o, bool keepDrawingOrder);

// Mode 8 after the contour stages (and 9 in the load-only run, keeping coordinates): strokes
// across a page edge are cut there and every stroke goes to the page of its smallest x.
// False when a stroke or label lies beyond the page limit. With boxes (one per stroke, their
// points unchanged since) the strokes' x-extents are taken from them instead of the points.
bool wholeStrokeSplit(PlotModel& m, const DisposeOptions& o, int maxPages, bool viewForm,
                      const std::vector<Box>* boxes = nullptr);

// The rolling-split list: one for the whole process. Every run clears and refills it, and the
// page trailers read it. Runs hold disposeRunLock() so that they never overlap.
std::vector<int>& rollingSplitList();
std::mutex& disposeRunLock();

}  // namespace qel::plot
