#pragma once
// Page arithmetic and the cutting of strokes at vertical page edges.
#include <span>
#include <vector>

#include "plot/model.h"

namespace qel::plot {

// Pages beyond this index are refused: a coordinate that far out is a broken file, and
// following it would create one output per page.
inline constexpr int kMaxPageIndex = 99999;

// The page of x for page width w: trunc(x / w), toward zero; left of the first page is page 0.
// False (page left unchanged) when the page would lie beyond maxIndex or x is NaN.
bool pageOfX(double x, double w, int& page, int maxIndex = kMaxPageIndex);

// Cuts the stroke wherever it crosses one of the vertical lines x = edges[i] (sorted
// ascending). Each piece ends and the next begins at the crossing point; every piece keeps the
// stroke's pen, line type and flags. Returns the pieces in their order along the stroke (the
// stroke itself when it crosses no edge).
std::vector<CStroke> cutAtEdges(const CStroke& s, const std::vector<double>& edges);

// The smallest and largest x of a stroke (NaN for an empty one).
void xExtent(const CStroke& s, double& minX, double& maxX);

// Even-odd point-in-polygon test on the stroke's points as a closed outline; points on the
// outline count as inside.
bool insideOutline(std::span<const PlotPoint> outline, double x, double y);

}  // namespace qel::plot
