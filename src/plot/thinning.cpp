#include "plot/thinning.h"

#include <cmath>

namespace qel::plot {

namespace {
constexpr double kMmPerUnit = 0.025;
constexpr double kRadPerDegree = 0.017453;  // the factor the cutter settings were tuned with
}  // namespace

std::vector<PlotPoint> thin(const std::vector<PlotPoint>& p, const ThinningOptions& o) {
  std::vector<PlotPoint> out;
  const size_t n = p.size();
  if (n == 0) return out;
  out.reserve(n);
  out.push_back(p[0]);
  if (n <= 1) return out;
  const double maxAngle = o.dpMinAngle * kRadPerDegree;
  double prevX = p[0].x * kMmPerUnit, prevY = p[0].y * kMmPerUnit;
  double prevDirection = 0.0;
  int counter = 0;
  size_t lastKept = 0;
  for (size_t i = 1; i < n; ++i) {
    const double x = p[i].x * kMmPerUnit, y = p[i].y * kMmPerUnit;
    const double dx = x - prevX, dy = y - prevY;
    // Direction as the arctangent of x over y; a zero-length segment has none (NaN), and
    // every comparison with it fails.
    const double direction = std::atan(dx / dy);
    const double turn = std::fabs(direction - prevDirection);
    const double length = std::sqrt(dx * dx + dy * dy);
    if (length < o.dpMinLength && turn < maxAngle) {
      ++counter;
      if (counter >= o.dpIntervalPoints) {
        out.push_back(p[i]);
        lastKept = i;
        counter = 0;
      }
      if (i == n - 1 && lastKept != i) out.push_back(p[i]);
    } else {
      if (i - 1 != lastKept) out.push_back(p[i - 1]);
      out.push_back(p[i]);
      lastKept = i;
      counter = 0;
    }
    prevX = x;
    prevY = y;
    prevDirection = direction;
  }
  return out;
}

bool circleCentre(const PlotPoint& a, const PlotPoint& b, const PlotPoint& c, PlotPoint& centre) {
  // The general case: the perpendicular bisectors of ab and bc meet at the centre. Work
  // relative to b so that large coordinates keep their precision.
  const double ax = a.x - b.x, ay = a.y - b.y, cx = c.x - b.x, cy = c.y - b.y;
  const double d = 2.0 * (ax * cy - ay * cx);
  double gx = NAN, gy = NAN;
  if (d != 0.0) {
    const double a2 = ax * ax + ay * ay, c2 = cx * cx + cy * cy;
    gx = b.x + (cy * a2 - ay * c2) / d;
    gy = b.y + (ax * c2 - cx * a2) / d;
  }
  if (a.y == b.y)
    centre.x = (a.x + b.x) / 2;
  else if (c.y == b.y)
    centre.x = (b.x + c.x) / 2;
  else
    centre.x = gx;
  if (a.x == b.x)
    centre.y = (a.y + b.y) / 2;
  else if (c.x == b.x)
    centre.y = (b.y + c.y) / 2;
  else
    centre.y = gy;
  return std::isfinite(centre.x) && std::isfinite(centre.y);
}

std::vector<PlotPoint> densify(const std::vector<PlotPoint>& p, const ThinningOptions& o) {
  std::vector<PlotPoint> out;
  const size_t n = p.size();
  if (n == 0) return out;
  out.reserve(2 * n + 1);
  out.push_back(p[0]);
  if (n < 2) return out;
  const double minAngle = o.apMinAngle * kRadPerDegree, maxAngle = o.apMaxAngle * kRadPerDegree;
  double prevX = p[0].x * kMmPerUnit, prevY = p[0].y * kMmPerUnit;
  double prevDirection = 0.0;
  for (size_t i = 1; i < n; ++i) {
    const double x = p[i].x * kMmPerUnit, y = p[i].y * kMmPerUnit;
    const double dx = x - prevX, dy = y - prevY;
    const double direction = std::atan2(dy, dx);
    const double turn = std::fabs(direction - prevDirection);
    const double length = std::sqrt(dx * dx + dy * dy);
    if (o.apMinLength < length && length < o.apMaxLength && minAngle < turn && turn < maxAngle && i >= 2) {
      const PlotPoint& a = p[i - 2];
      const PlotPoint& b = p[i - 1];
      PlotPoint c;
      // Three points in a line have no finite centre: nothing is inserted then.
      if (circleCentre(a, b, p[i], c)) {
        const double r = std::hypot(a.x - c.x, a.y - c.y);
        const double a1 = std::atan2(a.y - c.y, a.x - c.x);
        const double a2 = std::atan2(b.y - c.y, b.x - c.x);
        const double m = (a1 + a2) / 2;
        PlotPoint mid{c.x + r * std::cos(m), c.y + r * std::sin(m)};
        if (std::hypot(mid.x - a.x, mid.y - a.y) > r)
          mid = {c.x + r * std::cos(m + 3.1415926), c.y + r * std::sin(m + 3.1415926)};
        out.push_back(mid);
      }
    }
    out.push_back(p[i - 1]);
    if (i == n - 1) out.push_back(p[i]);
    prevX = x;
    prevY = y;
    prevDirection = direction;
  }
  return out;
}

std::vector<PlotPoint> chooseFilter(std::vector<PlotPoint> run, const ThinningOptions& o) {
  if (o.deletePointEnabled && run.size() >= 5) return thin(run, o);
  if (o.addPointEnabled && run.size() > 2 && o.apTimes > 0) {
    for (int pass = 0; pass < o.apTimes && run.size() > 2 && run.size() < kMaxDensifiedPoints; ++pass)
      run = densify(run, o);
  }
  return run;
}

std::vector<PlotPoint> thinAndDensify(const DisposeOptions& o, std::vector<PlotPoint> run) {
  ThinningOptions t;
  t.deletePointEnabled = o.deletePointEnabled;
  t.dpIntervalPoints = o.dpIntervalPoints;
  t.dpMinLength = o.dpMinLength;
  t.dpMinAngle = o.dpMinAngle;
  t.addPointEnabled = o.addPointEnabled;
  t.apTimes = o.apTimes;
  t.apMinLength = o.apMinLength;
  t.apMaxLength = o.apMaxLength;
  t.apMinAngle = o.apMinAngle;
  t.apMaxAngle = o.apMaxAngle;
  return chooseFilter(std::move(run), t);
}

}  // namespace qel::plot
