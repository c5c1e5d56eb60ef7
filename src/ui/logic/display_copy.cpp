#include "ui/logic/display_copy.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace qel::ui {
namespace {

double segmentDistance2(const plot::PlotPoint& p, const plot::PlotPoint& a, const plot::PlotPoint& b) {
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double len2 = dx * dx + dy * dy;
  double t = len2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / len2 : 0.0;
  t = std::clamp(t, 0.0, 1.0);
  const double ex = a.x + t * dx - p.x, ey = a.y + t * dy - p.y;
  return ex * ex + ey * ey;
}

}  // namespace

DisplayCopy::DisplayCopy(const std::vector<plot::CStroke>& strokes) {
  std::size_t total = 0;
  for (const auto& s : strokes) total += s.points.size();
  points_.reserve(total);
  strokes_.reserve(strokes.size());
  double minX = std::numeric_limits<double>::infinity(), minY = minX;
  double maxX = -minX, maxY = -minX;
  for (const auto& s : strokes) {
    DisplayStroke d;
    d.first = static_cast<std::uint32_t>(points_.size());
    d.count = static_cast<std::uint32_t>(s.points.size());
    d.pen = s.pen;
    d.outer = s.outerFlag;
    d.circle = s.circleFlag;
    d.radius = std::abs(double(s.circleRadius));
    double sx0 = std::numeric_limits<double>::infinity(), sy0 = sx0, sx1 = -sx0, sy1 = -sx0;
    for (const auto& p : s.points) {
      if (!std::isfinite(p.x) || !std::isfinite(p.y)) {
        // Never drawn: it repeats the stroke's previous point (or stands at the origin).
        points_.push_back(points_.size() > d.first ? points_.back() : plot::PlotPoint{});
        continue;
      }
      points_.push_back(p);
      sx0 = std::min(sx0, p.x), sy0 = std::min(sy0, p.y), sx1 = std::max(sx1, p.x), sy1 = std::max(sy1, p.y);
    }
    if (s.circleFlag && !s.points.empty()) {
      // The circle is drawn around the stroke's last point.
      const auto& c = s.points.back();
      const double r = std::abs(double(s.circleRadius));
      sx0 = std::min(sx0, c.x - r), sy0 = std::min(sy0, c.y - r), sx1 = std::max(sx1, c.x + r), sy1 = std::max(sy1, c.y + r);
    }
    if (sx0 <= sx1) {
      d.box = QRectF(sx0, sy0, sx1 - sx0, sy1 - sy0);
      minX = std::min(minX, sx0), minY = std::min(minY, sy0), maxX = std::max(maxX, sx1), maxY = std::max(maxY, sy1);
    }
    if (d.count > 1) segments_ += d.count - 1;
    strokes_.push_back(d);
  }
  if (minX <= maxX) bounds_ = QRectF(minX, minY, maxX - minX, maxY - minY);
}

int DisplayCopy::plateOf(int i, double plateWidth) const {
  const DisplayStroke& s = strokes_[std::size_t(i)];
  if (s.count == 0 || !(plateWidth > 0)) return 0;
  return static_cast<int>(std::trunc(points_[s.first].x / plateWidth));
}

int DisplayCopy::nearestStroke(const plot::PlotPoint& p, double maxDistance, int plate, double plateWidth) const {
  int best = -1;
  double bestD2 = maxDistance * maxDistance;
  for (int i = 0; i < strokeCount(); ++i) {
    const DisplayStroke& s = strokes_[std::size_t(i)];
    if (s.count == 0) continue;
    if (plate >= 0 && plateOf(i, plateWidth) != plate) continue;
    // Strokes whose box lies farther away than the best so far cannot win.
    const QRectF& b = s.box;
    const double bx = std::max({b.left() - p.x, 0.0, p.x - b.right()});
    const double by = std::max({b.top() - p.y, 0.0, p.y - b.bottom()});
    if (bx * bx + by * by > bestD2) continue;
    const plot::PlotPoint* pts = points_.data() + s.first;
    double d2 = s.count == 1 ? segmentDistance2(p, pts[0], pts[0]) : std::numeric_limits<double>::infinity();
    for (std::uint32_t k = 1; k < s.count; ++k) d2 = std::min(d2, segmentDistance2(p, pts[k - 1], pts[k]));
    if (s.circle) {
      // The circle's outline around the last point.
      const auto& c = pts[s.count - 1];
      const double off = std::hypot(p.x - c.x, p.y - c.y) - s.radius;
      d2 = std::min(d2, off * off);
    }
    if (d2 <= bestD2) {
      bestD2 = d2;
      best = i;
    }
  }
  return best;
}

QColor DisplayCopy::penColor(int pen) {
  switch (pen) {
    case 2: return QColor(242, 101, 34);
    case 3: return QColor(255, 156, 0);
    case 4: return QColor(255, 255, 0);
    case 5: return QColor(0, 255, 0);
    case 6: return QColor(0, 255, 255);
    case 7: return QColor(0, 0, 255);
    case 8: return QColor(139, 0, 255);
    default: return QColor(0, 0, 0);
  }
}

}  // namespace qel::ui
