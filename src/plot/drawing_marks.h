#pragma once
// Registration marks of a print-and-cut drawing: the shapes printed in a registration colour,
// or, where the artwork has none, four filled circles at its corners. Each becomes a mark of the
// print-and-cut workflow: a point at its centre with the circle's radius. Plotter units.
#include <optional>
#include <span>
#include <vector>

#include "plot/contours.h"
#include "plot/model.h"

namespace qel::plot {

struct DrawingMark {
  PlotPoint centre;
  double radius = 0.0;
  int page = 0;  // the page of the document it was printed on
};

// A printed shape that may be a mark: the box round it and the page it is on.
struct MarkShape {
  Box box;
  int page = 0;
};

// Marks from the shapes printed in a registration colour: shapes between 0.5 and 30 mm across
// and about as wide as high; shapes whose centres lie within 1 mm of each other (a circle with
// a cross in it) are one mark, as large as the largest of them.
std::vector<DrawingMark> marksFromShapes(const std::vector<MarkShape>& shapes);

// The circle a closed outline draws: every point within 5 % of the radius from the centre of
// its box, the box about square and 1 to 30 mm across; nullopt for any other outline.
std::optional<DrawingMark> circleOf(std::span<const PlotPoint> outline);

// Failing marks in a registration colour: on each page, the filled circle nearest each corner of
// the artwork's box (`extents`, one per page, empty where a page drew nothing), when all four are
// different circles each within 30 mm and a tenth of the box's diagonal of its corner. Pages
// where that fails give no mark.
std::vector<DrawingMark> cornerCircles(const std::vector<DrawingMark>& circles, const std::vector<std::optional<Box>>& extents);

}  // namespace qel::plot
