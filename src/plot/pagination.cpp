#include "plot/pagination.h"

#include <algorithm>
#include <cmath>

namespace qel::plot {

std::vector<int>& rollingSplitList() {
  static std::vector<int> list;
  return list;
}

std::mutex& disposeRunLock() {
  static std::mutex m;
  return m;
}

int maxPageIndexOf(int maxPages) { return std::min(kMaxPageIndex, (maxPages > 0 ? maxPages : 1) - 1); }

bool pageOfX(double x, double w, int& page, int maxIndex) {
  const double k = std::trunc(x / w);
  if (!(k <= maxIndex)) return false;  // also NaN
  page = k > 0 ? static_cast<int>(k) : 0;
  return true;
}

void xExtent(const CStroke& s, double& minX, double& maxX) {
  if (s.points.empty()) {
    minX = maxX = NAN;
    return;
  }
  minX = maxX = s.points[0].x;
  for (const auto& p : s.points) {
    minX = std::min(minX, p.x);
    maxX = std::max(maxX, p.x);
  }
}

std::vector<CStroke> cutAtEdges(const CStroke& s, const std::vector<double>& edges) {
  std::vector<CStroke> pieces;
  const auto& pts = s.points;
  if (pts.size() < 2 || edges.empty()) {
    pieces.push_back(s);
    return pieces;
  }
  // Every piece starts as the stroke without its points.
  CStroke blank = s;
  blank.points = {};
  blank.inserted.clear();
  blank.closedFlag = false;
  auto startPiece = [&](const PlotPoint& first) {
    pieces.push_back(blank);
    pieces.back().points.push_back(first);
  };
  auto placeInserted = [&](size_t index) {
    for (const auto& c : s.inserted)
      if (c.pointIndex == static_cast<std::int32_t>(index))
        pieces.back().inserted.push_back({static_cast<std::int32_t>(pieces.back().points.size()), c.text});
  };
  pieces.push_back(blank);
  placeInserted(0);
  pieces.back().points.push_back(pts[0]);
  for (size_t i = 1; i < pts.size(); ++i) {
    const PlotPoint& p = pts[i - 1];
    const PlotPoint& q = pts[i];
    // The edges this segment reaches, in its direction of travel: (p.x, q.x] going right,
    // [q.x, p.x) going left.
    auto cross = [&](double x) {
      const double t = (x - p.x) / (q.x - p.x);
      PlotPoint c{x, p.y + t * (q.y - p.y)};
      pieces.back().points.push_back(c);
      startPiece(c);
    };
    if (q.x > p.x) {
      for (auto it = std::upper_bound(edges.begin(), edges.end(), p.x); it != edges.end() && *it <= q.x; ++it) {
        if (*it == q.x && i == pts.size() - 1) break;  // ending on an edge is no crossing
        cross(*it);
      }
    } else if (q.x < p.x) {
      auto it = std::lower_bound(edges.begin(), edges.end(), p.x);  // first edge >= p.x
      while (it != edges.begin()) {
        --it;
        if (*it < q.x) break;
        if (*it == q.x && i == pts.size() - 1) break;
        cross(*it);
      }
    }
    placeInserted(i);
    // A piece that begins exactly at this point already holds it.
    if (!(pieces.back().points.size() == 1 && pieces.back().points[0] == q)) pieces.back().points.push_back(q);
  }
  placeInserted(pts.size());
  return pieces;
}

bool insideOutline(std::span<const PlotPoint> poly, double x, double y) {
  const size_t n = poly.size();
  if (n == 0) return false;
  bool inside = false;
  for (size_t i = 0, j = n - 1; i < n; j = i++) {
    const PlotPoint& a = poly[i];
    const PlotPoint& b = poly[j];
    // On the outline itself.
    const double cross = (b.x - a.x) * (y - a.y) - (b.y - a.y) * (x - a.x);
    if (cross == 0 && std::min(a.x, b.x) <= x && x <= std::max(a.x, b.x) && std::min(a.y, b.y) <= y &&
        y <= std::max(a.y, b.y))
      return true;
    if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x) inside = !inside;
  }
  return inside;
}

}  // namespace qel::plot
