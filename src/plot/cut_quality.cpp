// Knife offset compensation, overcut and weeding.
#include "plot/cut_quality.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>

namespace qel::plot {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kMaxArcStep = 20.0 * kPi / 180.0;  // swivel arcs are written as chords of this
constexpr double kSamePoint = 1e-9;                  // units: points closer than this are one
constexpr double kMinWeedGap = 1.0 * kUnitsPerMm;    // narrower gaps between shapes get no line
// A label kept as text: the plotter's default character cell (cm) when no "SI" gives one,
// and the spacing of characters on the line relative to the cell width.
constexpr double kDefaultLabelWidthCm = 0.187, kDefaultLabelHeightCm = 0.269, kLabelPitch = 1.5;
constexpr double kUnitsPerCm = 10.0 * kUnitsPerMm;

struct Vec {
  double x, y;
};
Vec operator-(const PlotPoint& a, const PlotPoint& b) { return {a.x - b.x, a.y - b.y}; }
PlotPoint along(const PlotPoint& p, const Vec& d, double t) { return {p.x + d.x * t, p.y + d.y * t}; }
double length(const Vec& v) { return std::hypot(v.x, v.y); }
Vec unit(const Vec& v) {
  const double l = length(v);
  return {v.x / l, v.y / l};
}

std::vector<PlotPoint> withoutRepeats(const std::vector<PlotPoint>& path) {
  std::vector<PlotPoint> q;
  q.reserve(path.size());
  for (const auto& p : path)
    if (q.empty() || length(p - q.back()) > kSamePoint) q.push_back(p);
  return q;
}

// The point before the start on a closed path: the last point that differs from the first.
std::optional<PlotPoint> pointBeforeStart(const std::vector<PlotPoint>& path) {
  for (size_t i = path.size(); i-- > 1;)
    if (length(path[i] - path[0]) > kSamePoint) return path[i];
  return std::nullopt;
}

void include(Rect& r, double x0, double y0, double x1, double y1) {
  r.minX = std::min(r.minX, x0);
  r.minY = std::min(r.minY, y0);
  r.maxX = std::max(r.maxX, x1);
  r.maxY = std::max(r.maxY, y1);
}

Rect emptyRect() { return {HUGE_VAL, HUGE_VAL, -HUGE_VAL, -HUGE_VAL}; }
bool isEmpty(const Rect& r) { return !(r.minX <= r.maxX && r.minY <= r.maxY); }

// "AA" + centre x + "," + centre y + ... as the reader stores it.
bool arcCentre(const std::string& text, PlotPoint& c) {
  if (text.size() < 3 || text.compare(0, 2, "AA") != 0) return false;
  const char* s = text.c_str() + 2;
  c.x = std::atof(s);
  const char* comma = std::strchr(s, ',');
  if (!comma) return false;
  c.y = std::atof(comma + 1);
  return std::isfinite(c.x) && std::isfinite(c.y);
}

// Two numbers "a,b" after the two command letters of a stored "DI" or "SI" text.
bool twoNumbers(const std::string& text, double& a, double& b) {
  if (text.size() <= 2) return false;
  const char* s = text.c_str() + 2;
  const char* comma = std::strchr(s, ',');
  if (!comma) return false;
  a = std::atof(s);
  b = std::atof(comma + 1);
  return std::isfinite(a) && std::isfinite(b);
}

// Where a label kept as text may draw: along its direction for its characters at one and a
// half cell widths each (both ways unless it starts at its origin), and two cell heights to
// either side.
Rect labelBox(const LabelRecord& l) {
  double w = kDefaultLabelWidthCm, h = kDefaultLabelHeightCm, run = 1.0, rise = 0.0;
  if (twoNumbers(l.siText, w, h)) w = std::fabs(w), h = std::fabs(h);
  if (!twoNumbers(l.diText, run, rise) || std::hypot(run, rise) == 0.0) run = 1.0, rise = 0.0;
  const double dl = std::hypot(run, rise);
  const Vec along{run / dl, rise / dl}, across{-rise / dl, run / dl};
  const double chars = l.labelText.size() > 3 ? static_cast<double>(l.labelText.size() - 3) : 0.0;
  const double length = chars * kLabelPitch * w * kUnitsPerCm, side = 2 * h * kUnitsPerCm;
  const int origin = l.loText.size() > 2 ? std::atoi(l.loText.c_str() + 2) : 1;
  const bool startsAtOrigin = origin >= 1 && origin <= 3;  // left-aligned origins
  Rect r = emptyRect();
  for (double a : {startsAtOrigin ? 0.0 : -length, length})
    for (double c : {-side, side}) {
      const double x = l.x + along.x * a + across.x * c, y = l.y + along.y * a + across.y * c;
      include(r, x, y, x, y);
    }
  return r;
}

CStroke weedStroke(int pen, std::vector<PlotPoint> points) {
  CStroke s;
  s.pen = pen;
  s.points = std::move(points);
  return s;
}

// One side of the weeding box: the margin out from the content, but not beyond the page area
// (or 0), except for content already beyond it, which keeps the margin.
double lowSide(double content, double margin) {
  return content < 0.0 ? content - margin : std::max(content - margin, 0.0);
}
double highSide(double content, double margin, const std::optional<double>& limit) {
  if (!limit || content > *limit) return content + margin;
  return std::min(content + margin, *limit);
}

// Gaps of at least kMinWeedGap in the projection of the boxes on one axis: their middles.
std::vector<double> gapMiddles(std::vector<Rect>& boxes, bool alongY) {
  auto lo = [&](const Rect& r) { return alongY ? r.minY : r.minX; };
  auto hi = [&](const Rect& r) { return alongY ? r.maxY : r.maxX; };
  std::sort(boxes.begin(), boxes.end(), [&](const Rect& a, const Rect& b) { return lo(a) < lo(b); });
  std::vector<double> middles;
  double reach = hi(boxes.front());
  for (size_t i = 1; i < boxes.size(); ++i) {
    if (lo(boxes[i]) - reach >= kMinWeedGap) middles.push_back((reach + lo(boxes[i])) / 2);
    reach = std::max(reach, hi(boxes[i]));
  }
  return middles;
}

}  // namespace

bool isClosedPath(const std::vector<PlotPoint>& path, double nearDistance) {
  return path.size() > 2 && length(path.back() - path.front()) <= std::max(nearDistance, 0.0);
}

std::vector<PlotPoint> addOvercut(const std::vector<PlotPoint>& path, double overcut) {
  if (!(overcut > 0.0) || path.size() < 2) return path;
  std::vector<PlotPoint> cycle = path;
  if (length(cycle.back() - cycle.front()) > 0.0) cycle.push_back(cycle.front());
  double perimeter = 0.0;
  for (size_t i = 1; i < cycle.size(); ++i) perimeter += length(cycle[i] - cycle[i - 1]);
  if (!(perimeter > 0.0) || !std::isfinite(perimeter)) return path;
  double remaining = std::min(overcut, perimeter);
  std::vector<PlotPoint> out = cycle;
  for (size_t i = 1; i < cycle.size() && remaining > 0.0; ++i) {
    const Vec seg = cycle[i] - cycle[i - 1];
    const double l = length(seg);
    if (l >= remaining) {
      out.push_back(along(cycle[i - 1], seg, remaining / l));
      break;
    }
    out.push_back(cycle[i]);
    remaining -= l;
  }
  return out;
}

KnifeResult compensateKnife(const std::vector<PlotPoint>& path, double offset, double cornerAngleDeg,
                            std::optional<PlotPoint> closedStart) {
  KnifeResult r;
  const std::vector<PlotPoint> q = withoutRepeats(path);
  if (q.size() < 2 || !(offset > 0.0)) {
    r.points = path;
    return r;
  }
  const double threshold = cornerAngleDeg * kPi / 180.0;
  std::vector<Vec> dir(q.size() - 1);
  for (size_t i = 0; i + 1 < q.size(); ++i) dir[i] = unit(q[i + 1] - q[i]);

  auto& out = r.points;
  out.reserve(q.size() * 2 + 8);
  // The knife turns about corner c from direction a to b.
  auto corner = [&](const PlotPoint& c, const Vec& a, const Vec& b) {
    const double turn = std::atan2(a.x * b.y - a.y * b.x, a.x * b.x + a.y * b.y);
    if (std::fabs(turn) > threshold) {
      const int steps = std::max(1, static_cast<int>(std::ceil(std::fabs(turn) / kMaxArcStep)));
      const double start = std::atan2(a.y, a.x);
      for (int k = 1; k < steps; ++k) {
        const double angle = start + turn * k / steps;
        out.push_back({c.x + offset * std::cos(angle), c.y + offset * std::sin(angle)});
      }
      ++r.swivels;
    }
    if (turn != 0.0) out.push_back(along(c, b, offset));
  };

  if (closedStart && length(q.front() - *closedStart) > kSamePoint) {
    // Blade alignment: down where the closing segment ends, then about the start point.
    const Vec in = unit(q.front() - *closedStart);
    out.push_back(along(q.front(), in, offset));
    corner(q.front(), in, dir.front());
  } else {
    out.push_back(along(q.front(), dir.front(), offset));
  }
  for (size_t i = 0; i < dir.size(); ++i) {
    out.push_back(along(q[i + 1], dir[i], offset));
    if (i + 1 < dir.size()) corner(q[i + 1], dir[i], dir[i + 1]);
  }
  return r;
}

void applyKnifeAndOvercut(std::vector<CStroke>& strokes, const std::vector<int>& pages,
                          const CutQualityOptions& o, double nearDistance, std::optional<int> page) {
  const double offset = o.knifeOffsetMm > 0.0 ? o.knifeOffsetMm * kUnitsPerMm : 0.0;
  const double overcut = o.overcutMm > 0.0 ? o.overcutMm * kUnitsPerMm : 0.0;
  for (size_t i = 0; i < strokes.size(); ++i) {
    if (page && (i >= pages.size() || pages[i] != *page)) continue;
    CStroke& s = strokes[i];
    if (s.circleFlag) {
      // The machine draws the circle about the stroke's last point: the point stays, and a
      // knife running on the larger circle leaves its tip on the drawn one.
      if (offset > 0.0) {
        const double r = std::hypot(static_cast<double>(s.circleRadius), offset);
        if (r < 2e9) s.circleRadius = static_cast<std::int32_t>(std::lround(r));
      }
      continue;
    }
    if (!s.inserted.empty() || s.points.size() < 2) continue;
    std::optional<PlotPoint> before;
    std::vector<PlotPoint> path(s.points.begin(), s.points.end());
    if (isClosedPath(path, nearDistance)) {
      before = pointBeforeStart(path);
      if (overcut > 0.0) path = addOvercut(path, overcut);
    }
    if (offset > 0.0) path = compensateKnife(path, offset, o.knifeCornerAngleDeg, before).points;
    s.points = std::move(path);
  }
}

std::vector<Rect> shapeBoxes(const std::vector<CStroke>& strokes, const std::vector<int>& pages,
                             const std::vector<LabelRecord>& labels, int page) {
  std::vector<Rect> boxes;
  for (size_t i = 0; i < strokes.size() && i < pages.size(); ++i) {
    if (pages[i] != page) continue;
    const CStroke& s = strokes[i];
    Rect r = emptyRect();
    for (const auto& p : s.points) include(r, p.x, p.y, p.x, p.y);
    if (s.circleFlag && !s.points.empty()) {
      const PlotPoint& c = s.points.back();
      const double rad = std::fabs(static_cast<double>(s.circleRadius));
      include(r, c.x - rad, c.y - rad, c.x + rad, c.y + rad);
    }
    for (const auto& cmd : s.inserted) {
      PlotPoint c;
      if (!arcCentre(cmd.text, c)) continue;
      const size_t at = static_cast<size_t>(std::clamp<std::int32_t>(cmd.pointIndex, 0, INT32_MAX));
      const double rad = at >= 1 && at <= s.points.size() ? length(s.points[at - 1] - c) : 0.0;
      include(r, c.x - rad, c.y - rad, c.x + rad, c.y + rad);
    }
    if (!isEmpty(r) && std::isfinite(r.minX + r.maxX + r.minY + r.maxY)) boxes.push_back(r);
  }
  for (const auto& l : labels) {
    if (l.pageIndex != page) continue;
    const Rect r = labelBox(l);
    if (!isEmpty(r) && std::isfinite(r.minX + r.maxX + r.minY + r.maxY)) boxes.push_back(r);
  }
  return boxes;
}

std::vector<CStroke> weedingStrokes(const std::vector<CStroke>& strokes, const std::vector<int>& pages,
                                    const std::vector<LabelRecord>& labels, int page, const CutQualityOptions& o,
                                    const PageArea& area) {
  std::vector<CStroke> out;
  std::vector<Rect> boxes = shapeBoxes(strokes, pages, labels, page);
  if (boxes.empty() || !o.weeding()) return out;
  Rect content = emptyRect();
  for (const auto& b : boxes) include(content, b.minX, b.minY, b.maxX, b.maxY);
  const double m = std::max(o.weedMarginMm, 0.0) * kUnitsPerMm;
  const Rect box{lowSide(content.minX, m), lowSide(content.minY, m), highSide(content.maxX, m, area.maxX),
                 highSide(content.maxY, m, area.maxY)};
  if (o.weedBox)
    out.push_back(weedStroke(o.weedPen, {{box.minX, box.minY}, {box.maxX, box.minY}, {box.maxX, box.maxY},
                                         {box.minX, box.maxY}, {box.minX, box.minY}}));
  if (!o.weedLines) return out;

  // Regions still to divide: horizontal lines first in the box, then each part is tried
  // across the other way, and so on while shapes can be told apart.
  struct Region {
    Rect area;
    std::vector<Rect> boxes;
    bool horizontalFirst;
  };
  std::vector<Region> work;
  work.push_back({box, std::move(boxes), true});
  while (!work.empty()) {
    Region r = std::move(work.back());
    work.pop_back();
    if (r.boxes.size() < 2) continue;
    for (int attempt = 0; attempt < 2; ++attempt) {
      const bool horizontal = (attempt == 0) == r.horizontalFirst;
      const std::vector<double> cuts = gapMiddles(r.boxes, horizontal);
      if (cuts.empty()) continue;
      // The boxes are sorted along the cut axis now: hand them to the parts in order.
      size_t next = 0;
      double from = horizontal ? r.area.minY : r.area.minX;
      for (size_t c = 0; c <= cuts.size(); ++c) {
        const double to = c < cuts.size() ? cuts[c] : (horizontal ? r.area.maxY : r.area.maxX);
        Region part{r.area, {}, !horizontal};
        if (horizontal) {
          part.area.minY = from;
          part.area.maxY = to;
        } else {
          part.area.minX = from;
          part.area.maxX = to;
        }
        while (next < r.boxes.size() && (horizontal ? r.boxes[next].maxY : r.boxes[next].maxX) < to)
          part.boxes.push_back(r.boxes[next++]);
        if (c == cuts.size())
          while (next < r.boxes.size()) part.boxes.push_back(r.boxes[next++]);
        work.push_back(std::move(part));
        if (c < cuts.size()) {
          const double at = cuts[c];
          out.push_back(weedStroke(o.weedPen, horizontal
                                                  ? std::vector<PlotPoint>{{r.area.minX, at}, {r.area.maxX, at}}
                                                  : std::vector<PlotPoint>{{at, r.area.minY}, {at, r.area.maxY}}));
        }
        from = to;
      }
      break;
    }
  }
  return out;
}

void addWeeding(std::vector<CStroke>& strokes, std::vector<int>& pages, const std::vector<LabelRecord>& labels,
                std::vector<int>& pensUsed, const CutQualityOptions& o, double nearDistance, const PageArea& area,
                std::optional<int> page) {
  if (!o.weeding()) return;
  std::set<int> todo;
  if (page) {
    todo.insert(*page);
  } else {
    todo.insert(pages.begin(), pages.end());
    for (const auto& l : labels) todo.insert(l.pageIndex);
  }
  const size_t first = strokes.size();
  for (int p : todo) {
    for (auto& s : weedingStrokes(strokes, pages, labels, p, o, area)) {
      strokes.push_back(std::move(s));
      pages.push_back(p);
    }
  }
  if (strokes.size() == first) return;
  if (std::find(pensUsed.begin(), pensUsed.end(), o.weedPen) == pensUsed.end()) pensUsed.push_back(o.weedPen);
  if (o.knifeOffsetMm > 0.0) {
    CutQualityOptions knifeOnly = o;
    knifeOnly.overcutMm = 0.0;  // weeding cuts need no overcut
    std::vector<CStroke> added(std::make_move_iterator(strokes.begin() + first), std::make_move_iterator(strokes.end()));
    applyKnifeAndOvercut(added, std::vector<int>(added.size(), 0), knifeOnly, nearDistance, std::nullopt);
    std::move(added.begin(), added.end(), strokes.begin() + first);
  }
}

}  // namespace qel::plot
