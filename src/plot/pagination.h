#pragma once
// Page arithmetic and the cutting of strokes at vertical page edges, the result every page
// split reports, and the rolling-split list that the page trailers read.
#include <mutex>
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

// The highest page index a run may use with Max_Page_Count pages in all.
int maxPageIndexOf(int maxPages);

// How a split into pages ended.
struct PageSplit {
  bool overflow = false;  // something lies beyond the page limit: the run must stop
  int lastPage = 0;       // the highest page the split made
};

// The rolling-split list: one for the whole process. Every run clears and refills it, and the
// page trailers read it. Runs hold disposeRunLock() so that they never overlap.
std::vector<int>& rollingSplitList();
std::mutex& disposeRunLock();

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
