#pragma once
// The whole-stroke page split of page mode 8, after the contour stages (and of the CCD view,
// mode 9, keeping coordinates): strokes across a page edge are cut there and every stroke goes
// to the page of its smallest x, labels to the page of their own x.
#include <vector>

#include "plot/contours.h"
#include "plot/dispose_options.h"
#include "plot/plot_model.h"

namespace qel::plot {

// False when a stroke or label lies beyond the page limit. With boxes (one per stroke, their
// points unchanged since) the strokes' x-extents are taken from them instead of the points.
bool wholeStrokeSplit(PlotModel& m, const DisposeOptions& o, int maxPages, bool viewForm,
                      const std::vector<Box>* boxes = nullptr);

}  // namespace qel::plot
