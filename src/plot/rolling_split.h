#pragma once
// The rolling split of page mode 6: the plot is cut into pages along the roll; strokes that lie
// across a cut are moved whole onto the next page where they fit, with what lies inside them,
// and each page's length of material is kept in the rolling-split list for its trailer.
#include "plot/dispose_options.h"
#include "plot/pagination.h"
#include "plot/plot_model.h"

namespace qel::plot {

// Splits the strokes (all on page 0 after reading) into pages and fills the rolling-split list.
// False when the run must stop because a stroke is wider than a page (load-only runs only);
// result.overflow when the drawing needs more than maxPages pages.
bool rollingSplit(PlotModel& m, const DisposeOptions& o, int maxPages, bool loadOnly, PageSplit& result);

}  // namespace qel::plot
