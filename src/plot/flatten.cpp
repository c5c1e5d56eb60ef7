// Adaptive flattening: a cubic is first approximated by quadratic pieces (close enough that
// they use a tenth of the tolerance); each quadratic is a piece of a parabola, along which the
// chord count a tolerance needs is (nearly) the integral of the square root of its curvature,
// which has a closed approximation. The chords are then spread evenly over that integral across
// all the pieces, so each chord takes the same share of the tolerance wherever it lies.
#include "plot/flatten.h"

#include <algorithm>
#include <cmath>

namespace qel::plot {

namespace {

struct V {
  double x, y;
};
V operator-(V a, V b) { return {a.x - b.x, a.y - b.y}; }
V operator+(V a, V b) { return {a.x + b.x, a.y + b.y}; }
V operator*(double k, V a) { return {k * a.x, k * a.y}; }
double dot(V a, V b) { return a.x * b.x + a.y * b.y; }
double cross(V a, V b) { return a.x * b.y - a.y * b.x; }
double length(V a) { return std::sqrt(a.x * a.x + a.y * a.y); }
V v(const PlotPoint& p) { return {p.x, p.y}; }
PlotPoint pt(V a) { return {a.x, a.y}; }

// The integral of sqrt(curvature) along the parabola y = x^2 from 0 to x, and its inverse,
// both approximated in closed form (within a few per cent).
double parabolaIntegral(double x) {
  constexpr double d = 0.67;
  return x / (1.0 - d + std::sqrt(std::sqrt(d * d * d * d + 0.25 * x * x)));
}
double parabolaInverseIntegral(double a) {
  constexpr double b = 0.39;
  return a * (1.0 - b + std::sqrt(b * b + 0.25 * a * a));
}

struct Quad {
  V p0, p1, p2;
};

// Where a quadratic lies on the standard parabola, and how many chords it needs (`chords` is
// the integral scaled so that half of it over sqrt(tolerance) is the chord count).
struct QuadSpread {
  double a0 = 0.0, a2 = 0.0, u0 = 0.0, uScale = 0.0, chords = 0.0;

  QuadSpread(const Quad& q, double sqrtTol) {
    const V d01 = q.p1 - q.p0, d12 = q.p2 - q.p1, dd = d01 - d12;
    const double c = cross(q.p2 - q.p0, dd);
    const double x0 = dot(d01, dd) / c, x2 = dot(d12, dd) / c;
    const double scale = std::fabs(c / (length(dd) * (x2 - x0)));
    a0 = parabolaIntegral(x0);
    a2 = parabolaIntegral(x2);
    if (std::isfinite(scale) && std::isfinite(a0) && std::isfinite(a2)) {
      const double da = std::fabs(a2 - a0), sqrtScale = std::sqrt(scale);
      if (std::signbit(x0) == std::signbit(x2)) {
        chords = da * sqrtScale;
      } else {
        // The piece runs through the parabola's vertex: the tightest bend sets the count.
        const double xMin = sqrtTol / sqrtScale;
        chords = sqrtTol * da / parabolaIntegral(xMin);
      }
    }
    if (!std::isfinite(chords)) chords = 0.0;
    u0 = parabolaInverseIntegral(a0);
    uScale = 1.0 / (parabolaInverseIntegral(a2) - u0);
  }
  // The curve parameter where the share x (0..1) of this piece's integral is reached.
  double paramAt(double x) const {
    const double t = (parabolaInverseIntegral(a0 + (a2 - a0) * x) - u0) * uScale;
    return std::isfinite(t) ? std::clamp(t, 0.0, 1.0) : x;
  }
};

bool finite(V a) { return std::isfinite(a.x) && std::isfinite(a.y); }

// The parameters (0..1, rising, without the ends) where the chords over a run of quadratic
// pieces meet, spread evenly over their summed integral; piece i covers [i, i + 1] / count.
void spreadParams(const std::vector<Quad>& quads, double tolerance, std::vector<double>& ts) {
  const double sqrtTol = std::sqrt(tolerance);
  thread_local std::vector<QuadSpread> spreads;
  spreads.clear();
  double sum = 0.0;
  for (const Quad& q : quads) {
    spreads.emplace_back(q, sqrtTol);
    sum += spreads.back().chords;
  }
  const double wanted = std::ceil(0.5 * sum / sqrtTol);
  const int n = std::isfinite(wanted) ? static_cast<int>(std::clamp(wanted, 1.0, double(kMaxChordsPerCurve))) : 1;
  const double step = sum / n, pieces = double(quads.size());
  double before = 0.0;  // the integral of the pieces already passed
  int made = 1;         // chords whose end is placed (the last one ends at the curve's end)
  for (std::size_t i = 0; i < quads.size() && made < n; ++i) {
    const double here = spreads[i].chords;
    while (made < n && step * made < before + here) {
      ts.push_back((double(i) + spreads[i].paramAt((step * made - before) / here)) / pieces);
      ++made;
    }
    before += here;
  }
}

struct Cubic {
  V p0, p1, p2, p3;
  V at(double t) const {
    const double s = 1.0 - t;
    return (s * s * s) * p0 + (3.0 * s * s * t) * p1 + (3.0 * s * t * t) * p2 + (t * t * t) * p3;
  }
  V slope(double t) const {
    const double s = 1.0 - t;
    return (3.0 * s * s) * (p1 - p0) + (6.0 * s * t) * (p2 - p1) + (3.0 * t * t) * (p3 - p2);
  }
  // The piece between parameters a and b as a cubic of its own.
  Cubic piece(double a, double b, V from, V to) const {
    const double h = (b - a) / 3.0;
    return {from, from + h * slope(a), to - h * slope(b), to};
  }
};

double segmentDistance(V p, V a, V b) {
  const V d = b - a;
  const double len2 = dot(d, d);
  const double t = len2 > 0.0 ? std::clamp(dot(p - a, d) / len2, 0.0, 1.0) : 0.0;
  return length(a + t * d - p);
}

// How far the cubic strays from the chord between its ends. Exact while the curve runs along
// the chord without passing its ends (the distance to the chord's line is then a cubic in t
// whose largest value lies where its derivative, a quadratic, is 0); measured at samples where
// the curve turns back beyond an end.
double chordError(const Cubic& c) {
  const V d = c.p3 - c.p0;
  const double len = length(d);
  if (!(len > 0.0)) return std::max(length(c.p1 - c.p0), length(c.p2 - c.p0));  // within its control points
  const V u = (1.0 / len) * d, n{-u.y, u.x};
  const double g1 = dot(c.p1 - c.p0, u), g2 = dot(c.p2 - c.p0, u);
  if (g1 < 0.0 || g1 > len || g2 < 0.0 || g2 > len) {
    double worst = 0.0;
    for (int i = 1; i < 32; ++i) worst = std::max(worst, segmentDistance(c.at(i / 32.0), c.p0, c.p3));
    return worst;
  }
  const double h1 = dot(c.p1 - c.p0, n), h2 = dot(c.p2 - c.p0, n);
  auto f = [&](double t) { return std::fabs(3.0 * t * (1.0 - t) * ((1.0 - t) * h1 + t * h2)); };
  const double a = 3.0 * (h1 - h2), b = 2.0 * h2 - 4.0 * h1, cc = h1;
  double worst = 0.0;
  auto consider = [&](double t) {
    if (t > 0.0 && t < 1.0) worst = std::max(worst, f(t));
  };
  if (std::fabs(a) < 1e-12 * (std::fabs(b) + std::fabs(cc))) {
    if (b != 0.0) consider(-cc / b);
  } else {
    const double disc = b * b - 4.0 * a * cc;
    if (disc >= 0.0) {
      const double r = std::sqrt(disc);
      consider((-b + r) / (2.0 * a));
      consider((-b - r) / (2.0 * a));
    }
  }
  return worst;
}

// Appends the end of the chord from parameter a (point `from`) to b, cut in halves where it
// stands further than the tolerance from the curve.
void emitChord(const Cubic& c, double a, V from, double b, double tolerance, int depth, int& budget,
               std::vector<PlotPoint>& out) {
  const V to = b >= 1.0 ? c.p3 : c.at(b);
  if (depth < 24 && budget > 0 && chordError(c.piece(a, b, from, to)) > tolerance) {
    --budget;
    const double m = 0.5 * (a + b);
    const V mid = c.at(m);
    emitChord(c, a, from, m, tolerance, depth + 1, budget, out);
    emitChord(c, m, mid, b, tolerance, depth + 1, budget, out);
    return;
  }
  out.push_back(pt(to));
}

}  // namespace

void flattenCubic(const PlotPoint& a, const PlotPoint& b, const PlotPoint& c, const PlotPoint& d, double tolerance,
                  std::vector<PlotPoint>& out) {
  const Cubic cubic{v(a), v(b), v(c), v(d)};
  if (!finite(cubic.p0) || !finite(cubic.p1) || !finite(cubic.p2) || !finite(cubic.p3)) {
    out.push_back(d);
    return;
  }
  if (!(tolerance > 0.0)) tolerance = 1e-9;
  // Quadratic pieces within a tenth of the tolerance: the error of one quadratic standing for a
  // cubic is sqrt(3)/36 |p3 - 3p2 + 3p1 - p0| and falls with the cube of the piece count.
  const double third = length(cubic.p3 - 3.0 * cubic.p2 + 3.0 * cubic.p1 - cubic.p0);
  const double wanted = std::ceil(std::cbrt(third * std::sqrt(3.0) / 36.0 / (0.1 * tolerance)));
  const int pieces = std::isfinite(wanted) ? static_cast<int>(std::clamp(wanted, 1.0, 1000.0)) : 1;
  // Scratch lists kept from curve to curve: a drawing has hundreds of thousands of curves.
  thread_local std::vector<Quad> quads;
  thread_local std::vector<double> ts;
  quads.clear();
  ts.clear();
  V q0 = cubic.p0;
  for (int i = 0; i < pieces; ++i) {
    const double t0 = double(i) / pieces, t1 = double(i + 1) / pieces;
    const V q3 = i + 1 == pieces ? cubic.p3 : cubic.at(t1);
    const Cubic p = cubic.piece(t0, t1, q0, q3);
    quads.push_back({p.p0, 0.25 * ((3.0 * p.p1 - p.p0) + (3.0 * p.p2 - p.p3)), p.p3});
    q0 = q3;
  }
  spreadParams(quads, 0.9 * tolerance, ts);
  ts.push_back(1.0);
  // The chords meet on the curve itself; one the spread placed too coarsely is cut in halves.
  int budget = kMaxChordsPerCurve - static_cast<int>(ts.size());
  double from = 0.0;
  V at = cubic.p0;
  for (double t : ts) {
    if (t <= from) continue;
    emitChord(cubic, from, at, t, tolerance, 0, budget, out);
    from = t;
    at = v(out.back());
  }
}

void flattenQuad(const PlotPoint& a, const PlotPoint& b, const PlotPoint& c, double tolerance,
                 std::vector<PlotPoint>& out) {
  // The same curve as a cubic: control points two thirds of the way to the quadratic's.
  const PlotPoint c1{a.x + 2.0 / 3.0 * (b.x - a.x), a.y + 2.0 / 3.0 * (b.y - a.y)};
  const PlotPoint c2{c.x + 2.0 / 3.0 * (b.x - c.x), c.y + 2.0 / 3.0 * (b.y - c.y)};
  flattenCubic(a, c1, c2, c, tolerance, out);
}

int uniformChordCount(const PlotPoint& a, const PlotPoint& b, const PlotPoint& c, const PlotPoint& d,
                      double tolerance) {
  const V p0 = v(a), p1 = v(b), p2 = v(c), p3 = v(d);
  // |B''| is largest at an end: 6 |p0 - 2p1 + p2| or 6 |p1 - 2p2 + p3|; a chord over a
  // parameter step h stands at most h^2 max|B''| / 8 from the curve.
  const double bend = 6.0 * std::max(length(p0 - 2.0 * p1 + p2), length(p1 - 2.0 * p2 + p3));
  const double n = std::ceil(std::sqrt(bend / (8.0 * tolerance)));
  if (!std::isfinite(n)) return kMaxChordsPerCurve;
  return static_cast<int>(std::clamp(n, 1.0, double(kMaxChordsPerCurve)));
}

}  // namespace qel::plot
