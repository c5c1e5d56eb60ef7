#pragma once
// The contour stages of page mode 8 (and of the CCD view, mode 9): strokes that touch end to
// end are joined, outer contours are marked (with OCC they take pen SPN), and everything inside
// an outer contour is ordered to be cut before it.
#include <vector>

#include "plot/contours.h"
#include "plot/dispose_options.h"
#include "plot/plot_model.h"

namespace qel::plot {

// Joining, outer contours and, unless the drawing order is kept, the inside-first order.
// Returns the bounding box of every stroke of the result.
std::vector<Box> contourStages(PlotModel& m, const DisposeOptions& o, bool keepDrawingOrder);

}  // namespace qel::plot
