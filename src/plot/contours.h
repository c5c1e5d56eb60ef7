#pragma once
// Stroke joining and contour ordering: strokes that touch end to end become one polyline,
// closed outlines inside no other closed outline are the outer contours, and everything inside
// an outer contour is cut before the contour itself.
#include <algorithm>
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

// Boxes filed in a uniform grid by the cells they cover, so that the boxes containing a given
// box (which must contain its lower-left corner) are found among the few filed in one cell.
// Boxes covering a large part of the grid are kept in one list that every query checks. The
// cells are about square, about one per box, and filed in one array (offsets per cell).
class BoxGrid {
 public:
  BoxGrid(const std::vector<Box>& boxes, const std::vector<int>& members);

  // Calls f(index) for every filed box that may contain the point; f returns true to stop.
  template <class F>
  void candidates(double x, double y, F f) const {
    for (int i : big_)
      if (f(i)) return;
    if (x < x0_ || y < y0_) return;
    const size_t c = static_cast<size_t>(cellY(y)) * cols_ + cellX(x);
    for (size_t k = offsets_[c]; k < offsets_[c + 1]; ++k)
      if (f(entries_[k])) return;
  }

  // Calls f(index) for every filed box that may contain the box q: those filed in the list
  // of every query, and of the others those filed both in the cell of its lower-left corner
  // and in that of its upper-right one (in filed order; the members must be ascending). Where
  // boxes lie over boxes, a box that nothing contains is then checked against the few boxes
  // over both its corners, not against every box over one of them. f returns true to stop.
  template <class F>
  void containing(const Box& q, F f) const {
    for (int i : big_)
      if (f(i)) return;
    inCornerCells(q, f);
  }

  // The smallest filed index, among the boxes that may contain the box q (see containing),
  // for which matches(index) holds; -1 for none.
  template <class F>
  int firstContaining(const Box& q, F matches) const {
    int best = -1;
    for (int i : big_)
      if (matches(i)) {
        best = i;
        break;
      }
    inCornerCells(q, [&](int i) {
      if (best >= 0 && i > best) return true;
      if (!matches(i)) return false;
      best = i;
      return true;
    });
    return best;
  }

 private:
  // The part of containing() over the cells: the entries common to both corner cells.
  template <class F>
  void inCornerCells(const Box& q, F f) const {
    if (q.minX < x0_ || q.minY < y0_) return;
    const size_t lo = cellOf(q.minX, q.minY);
    const size_t hi = cellOf(q.maxX, q.maxY);
    size_t a = offsets_[lo], b = offsets_[hi];
    const size_t aEnd = offsets_[lo + 1], bEnd = offsets_[hi + 1];
    if (lo == hi) {
      for (; a < aEnd; ++a)
        if (f(entries_[a])) return;
      return;
    }
    while (a < aEnd && b < bEnd) {
      if (entries_[a] < entries_[b]) {
        ++a;
      } else if (entries_[b] < entries_[a]) {
        ++b;
      } else {
        if (f(entries_[a])) return;
        ++a, ++b;
      }
    }
  }

  size_t cellOf(double x, double y) const { return static_cast<size_t>(cellY(y)) * cols_ + cellX(x); }
  int cellX(double x) const { return clampCell((x - x0_) * sx_, cols_); }
  int cellY(double y) const { return clampCell((y - y0_) * sy_, rows_); }
  static int clampCell(double v, int count) {
    if (!(v >= 0)) return 0;
    if (v >= count) return count - 1;
    return static_cast<int>(v);
  }

  std::vector<size_t> offsets_;  // cell c holds entries_[offsets_[c], offsets_[c + 1])
  std::vector<int> entries_;
  std::vector<int> big_;
  int cols_ = 1, rows_ = 1;
  double x0_ = 0, y0_ = 0, sx_ = 0, sy_ = 0;
};

// Two points are near when they are at most d apart (plotter units).
inline bool isNear(const PlotPoint& a, const PlotPoint& b, double d) { return std::hypot(a.x - b.x, a.y - b.y) <= d; }

// Joins neighbouring strokes (same page, same pen) whose ends are within `near` of each other.
void joinTouching(std::vector<CStroke>& strokes, std::vector<int>& pages, double nearDistance);

// The bounding box of every stroke, in list order.
std::vector<Box> boxesOf(const std::vector<CStroke>& strokes);

// For every stroke: is it an outer contour? Closed (by its flag, or by more than two points
// with near ends) and inside no other stroke that carries the closed flag. The second form
// takes the strokes' boxes (boxesOf) when the caller has them already.
std::vector<bool> findOuter(const std::vector<CStroke>& strokes, double nearDistance);
std::vector<bool> findOuter(const std::vector<CStroke>& strokes, const std::vector<Box>& boxes, double nearDistance);

// Sets the outer-contour flag where findOuter holds; with occ the contour takes pen spn.
void markOuter(std::vector<CStroke>& strokes, double nearDistance, bool occ, int spn);
void markOuter(std::vector<CStroke>& strokes, const std::vector<Box>& boxes, double nearDistance, bool occ, int spn);

// Reorders the strokes: for each outer contour in list order, its label strokes, its other
// strokes, then the contour; strokes inside no contour come last. The page list follows, and
// so do the boxes in the second form (the strokes' boxes, boxesOf).
void orderInsideFirst(std::vector<CStroke>& strokes, std::vector<int>& pages);
void orderInsideFirst(std::vector<CStroke>& strokes, std::vector<int>& pages, std::vector<Box>& boxes);

}  // namespace qel::plot
