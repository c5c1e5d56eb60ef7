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

namespace {

// "SI0.3,0.4" gives the height 0.4 cm; "DI1,0" the direction (run, rise).
std::vector<double> numbersAfter(const std::string& text, std::size_t letters) {
  std::vector<double> out;
  if (text.size() <= letters) return out;
  for (const QString& part : QString::fromLatin1(text.substr(letters)).split(QLatin1Char(','))) {
    bool ok = false;
    const double v = part.trimmed().toDouble(&ok);
    if (ok && std::isfinite(v)) out.push_back(v);
  }
  return out;
}

DisplayLabel displayLabel(const plot::LabelRecord& l) {
  DisplayLabel d;
  d.at = {l.x, l.y};
  d.pen = l.pen;
  std::string t = l.labelText.size() >= 2 ? l.labelText.substr(2) : std::string();
  if (!t.empty() && (t.back() == '\x03' || t.back() == ';' || static_cast<unsigned char>(t.back()) < 32)) t.pop_back();
  d.text = QString::fromLocal8Bit(t.data(), qsizetype(t.size()));
  const auto si = numbersAfter(l.siText, 2);
  if (si.size() == 2 && si[1] > 0) d.height = si[1] * 400.0;
  const auto di = numbersAfter(l.diText, 2);
  if (di.size() == 2 && (di[0] != 0 || di[1] != 0)) d.angleDeg = std::atan2(di[1], di[0]) * 180.0 / M_PI;
  return d;
}

}  // namespace

DisplayCopy::DisplayCopy(const std::vector<plot::CStroke>& strokes, const std::vector<plot::LabelRecord>& labels) {
  for (const auto& l : labels) labels_.push_back(displayLabel(l));
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
  for (const DisplayLabel& l : labels_) {
    // Roughly the text's extent, so that a drawing of labels alone is fitted too.
    const double w = l.text.size() * l.height * 0.7;
    minX = std::min(minX, l.at.x), minY = std::min(minY, l.at.y);
    maxX = std::max(maxX, l.at.x + w), maxY = std::max(maxY, l.at.y + l.height);
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
