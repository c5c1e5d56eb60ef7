#pragma once
// Circles cut as chords, and the reach of arcs: how many chords a circle is cut with, where they
// lie, and how far an arc reaches. Plotter units, 40 to the millimetre.
#include <vector>

#include "plot/model.h"

namespace qel::plot {

// The chords of a circle of radius r: trunc(2πr / arcLen), three for a circle smaller than
// arcLen. A chord is never shorter than one plotter unit, the machine's step (an arcLen below
// that counts as one), and a circle has at most kMaxCircleChords of them.
inline constexpr int kMaxCircleChords = 100000;
int circleChordCount(double r, double arcLen);

// The closed outline of a circle about c: (cx + r, cy), then counterclockwise a point per chord,
// ending back on the first point.
std::vector<PlotPoint> circleOutline(const PlotPoint& c, double r, int chords);

// The smallest and largest x and y of an arc from angle a0 through `sweep` radians on the
// ellipse x = cx + rx cos a, y = cy + ry sin a (a circle when rx = ry; negative radii mirror).
struct ArcExtent {
  double minX, minY, maxX, maxY;
};
ArcExtent arcExtent(double cx, double cy, double rx, double ry, double a0, double sweep);

}  // namespace qel::plot
