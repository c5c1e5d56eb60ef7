#pragma once
// Stroke joining and contour ordering: strokes that touch end to end become one polyline,
// closed outlines inside no other closed outline are the outer contours, and everything inside
// an outer contour is cut before the contour itself.
#include <cmath>
#include <vector>

#include "plot/model.h"

namespace qel::plot {

struct Box {
  double minX, minY, maxX, maxY;
  bool contains(const Box& o) const {
    return minX <= o.minX && minY <= o.minY && o.maxX <= maxX && o.maxY <= maxY;
  }
};
Box boundingBox(const CStroke& s);

// Two points are near when they are at most d apart (plotter units).
inline bool isNear(const PlotPoint& a, const PlotPoint& b, double d) { return std::hypot(a.x - b.x, a.y - b.y) <= d; }

// Joins neighbouring strokes (same page, same pen) whose ends are within `near` of each other.
void joinTouching(std::vector<CStroke>& strokes, std::vector<int>& pages, double nearDistance);

// For every stroke: is it an outer contour? Closed (by its flag, or by more than two points
// with near ends) and inside no other stroke that carries the closed flag.
std::vector<bool> findOuter(const std::vector<CStroke>& strokes, double nearDistance);

// Sets the outer-contour flag where findOuter holds; with occ the contour takes pen spn.
void markOuter(std::vector<CStroke>& strokes, double nearDistance, bool occ, int spn);

// Reorders the strokes: for each outer contour in list order, its label strokes, its other
// strokes, then the contour; strokes inside no contour come last. The page list follows.
void orderInsideFirst(std::vector<CStroke>& strokes, std::vector<int>& pages);

}  // namespace qel::plot
