#include "plot/circle_chords.h"

#include <algorithm>
#include <cmath>

namespace qel::plot {

namespace {
constexpr double kTwoPi = 2.0 * M_PI;
}

int circleChordCount(double r, double arcLen) {
  const double chord = std::max(arcLen, 1.0);
  double n = 3;
  if (r >= chord) n = std::trunc(kTwoPi * r / chord);
  if (!(n >= 3)) n = 3;  // also NaN
  return static_cast<int>(std::min<double>(n, kMaxCircleChords));
}

std::vector<PlotPoint> circleOutline(const PlotPoint& c, double r, int chords) {
  std::vector<PlotPoint> out;
  out.reserve(static_cast<size_t>(chords) + 2);
  out.push_back({c.x + r, c.y});
  const double step = kTwoPi / chords;
  const double limit = kTwoPi * (1.0 + 0.5 / chords);
  for (int k = 1; k * step <= limit; ++k) {
    const double a = k * step;
    out.push_back({c.x + r * std::cos(a), c.y + r * std::sin(a)});
  }
  return out;
}

ArcExtent arcExtent(double cx, double cy, double rx, double ry, double a0, double sweep) {
  if (!(std::fabs(sweep) < kTwoPi))
    return {cx - std::fabs(rx), cy - std::fabs(ry), cx + std::fabs(rx), cy + std::fabs(ry)};
  auto at = [&](double a) { return PlotPoint{cx + rx * std::cos(a), cy + ry * std::sin(a)}; };
  const PlotPoint s = at(a0), e = at(a0 + sweep);
  ArcExtent x{std::min(s.x, e.x), std::min(s.y, e.y), std::max(s.x, e.x), std::max(s.y, e.y)};
  // The extremes lie at the quarter angles the sweep passes.
  const double lo = std::min(a0, a0 + sweep), hi = std::max(a0, a0 + sweep);
  for (double q = std::ceil(lo / (M_PI / 2)) * (M_PI / 2); q <= hi; q += M_PI / 2) {
    const PlotPoint p = at(q);
    x.minX = std::min(x.minX, p.x);
    x.minY = std::min(x.minY, p.y);
    x.maxX = std::max(x.maxX, p.x);
    x.maxY = std::max(x.maxY, p.y);
  }
  return x;
}

}  // namespace qel::plot
