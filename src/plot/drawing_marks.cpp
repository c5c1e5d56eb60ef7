#include "plot/drawing_marks.h"

#include <algorithm>
#include <cmath>

namespace qel::plot {

namespace {

constexpr double kSmallestMark = 0.5 * kUnitsPerMm;
constexpr double kLargestMark = 30.0 * kUnitsPerMm;
constexpr double kSameMark = 1.0 * kUnitsPerMm;
constexpr double kSmallestCircle = 1.0 * kUnitsPerMm;
constexpr double kCornerReach = 30.0 * kUnitsPerMm;

PlotPoint centreOf(const Box& b) { return {(b.minX + b.maxX) / 2.0, (b.minY + b.maxY) / 2.0}; }
double distance(const PlotPoint& a, const PlotPoint& b) { return std::hypot(a.x - b.x, a.y - b.y); }

}  // namespace

std::vector<DrawingMark> marksFromShapes(const std::vector<MarkShape>& shapes) {
  std::vector<DrawingMark> marks;
  for (const MarkShape& s : shapes) {
    const double w = s.box.maxX - s.box.minX, h = s.box.maxY - s.box.minY;
    const double size = std::max(w, h);
    if (!(size >= kSmallestMark && size <= kLargestMark) || std::min(w, h) < size / 2.0) continue;
    const PlotPoint c = centreOf(s.box);
    auto same = std::find_if(marks.begin(), marks.end(), [&](const DrawingMark& m) {
      return m.page == s.page && distance(m.centre, c) <= kSameMark;
    });
    if (same == marks.end())
      marks.push_back({c, size / 2.0, s.page});
    else if (size / 2.0 > same->radius)
      *same = {c, size / 2.0, s.page};
  }
  return marks;
}

std::optional<DrawingMark> circleOf(std::span<const PlotPoint> outline) {
  if (outline.size() < 8) return std::nullopt;
  Box b{outline[0].x, outline[0].y, outline[0].x, outline[0].y};
  for (const PlotPoint& p : outline) {
    b.minX = std::min(b.minX, p.x), b.maxX = std::max(b.maxX, p.x);
    b.minY = std::min(b.minY, p.y), b.maxY = std::max(b.maxY, p.y);
  }
  const double w = b.maxX - b.minX, h = b.maxY - b.minY;
  if (!(std::max(w, h) >= kSmallestCircle && std::max(w, h) <= kLargestMark)) return std::nullopt;
  if (std::fabs(w - h) > 0.1 * std::max(w, h)) return std::nullopt;
  const PlotPoint c = centreOf(b);
  const double r = (w + h) / 4.0;
  for (const PlotPoint& p : outline)
    if (std::fabs(distance(p, c) - r) > 0.05 * r) return std::nullopt;
  return DrawingMark{c, r, 0};
}

std::vector<DrawingMark> cornerCircles(const std::vector<DrawingMark>& circles,
                                       const std::vector<std::optional<Box>>& extents) {
  std::vector<DrawingMark> marks;
  for (std::size_t page = 0; page < extents.size(); ++page) {
    if (!extents[page]) continue;
    const Box& e = *extents[page];
    const double reach = std::min(kCornerReach, 0.1 * std::hypot(e.maxX - e.minX, e.maxY - e.minY));
    const PlotPoint corners[4] = {{e.minX, e.minY}, {e.maxX, e.minY}, {e.maxX, e.maxY}, {e.minX, e.maxY}};
    std::vector<const DrawingMark*> found;
    for (const PlotPoint& corner : corners) {
      const DrawingMark* best = nullptr;
      for (const DrawingMark& c : circles)
        if (c.page == static_cast<int>(page) && (!best || distance(c.centre, corner) < distance(best->centre, corner)))
          best = &c;
      if (!best || distance(best->centre, corner) > reach) break;
      if (std::find(found.begin(), found.end(), best) != found.end()) break;
      found.push_back(best);
    }
    if (found.size() == 4)
      for (const DrawingMark* m : found) marks.push_back(*m);
  }
  return marks;
}

}  // namespace qel::plot
