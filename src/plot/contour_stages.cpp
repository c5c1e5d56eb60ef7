#include "plot/contour_stages.h"

namespace qel::plot {

std::vector<Box> contourStages(PlotModel& m, const DisposeOptions& o, bool keepDrawingOrder) {
  const double nearDistance = o.minDistanceClose;
  joinTouching(m.strokes, m.strokePages, nearDistance);
  // The boxes are measured once, for the outer contours, the order and the page split.
  std::vector<Box> boxes = boxesOf(m.strokes);
  markOuter(m.strokes, boxes, nearDistance, o.occ, o.spn);
  // The CCD view keeps the drawing order; cutting orders inside first.
  if (!keepDrawingOrder) orderInsideFirst(m.strokes, m.strokePages, boxes);
  return boxes;
}

}  // namespace qel::plot
