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
  // In powers of t: ((a t + b) t + c) t + p0.
  V a = p3 - 3.0 * p2 + 3.0 * p1 - p0, b = 3.0 * p2 - 6.0 * p1 + 3.0 * p0, c = 3.0 * (p1 - p0);

  V at(double t) const { return t * (t * (t * a + b) + c) + p0; }
  V slope(double t) const { return t * ((3.0 * t) * a + 2.0 * b) + c; }
};

// The piece of a cubic between parameters t0 and t1 (points `from` and `to`), as a cubic of its own.
struct Piece {
  V q0, q1, q2, q3;
};
Piece pieceOf(const Cubic& c, double t0, double t1, V from, V to) {
  const double h = (t1 - t0) / 3.0;
  return {from, from + h * c.slope(t0), to - h * c.slope(t1), to};
}

double segmentDistance(V p, V a, V b) {
  const V d = b - a;
  const double len2 = dot(d, d);
  const double t = len2 > 0.0 ? std::clamp(dot(p - a, d) / len2, 0.0, 1.0) : 0.0;
  return length(a + t * d - p);
}

// Whether the piece strays further than `tol` from the chord between its ends. Exact while the
// curve runs along the chord without passing its ends: its distance from the chord's line is
// then a cubic in t, largest where its derivative (a quadratic) is 0; worked in squares without
// dividing by the chord's length. Measured at samples where the curve turns back past an end.
bool strays(const Piece& c, double tol) {
  const V d = c.q3 - c.q0, e1 = c.q1 - c.q0, e2 = c.q2 - c.q0;
  const double len2 = dot(d, d);
  if (!(len2 > 0.0)) return std::max(dot(e1, e1), dot(e2, e2)) > tol * tol;  // within its control points
  const double g1 = dot(e1, d), g2 = dot(e2, d);
  if (g1 < 0.0 || g1 > len2 || g2 < 0.0 || g2 > len2) {
    const Cubic whole{c.q0, c.q1, c.q2, c.q3};
    for (int i = 1; i < 32; ++i)
      if (segmentDistance(whole.at(i / 32.0), c.q0, c.q3) > tol) return true;
    return false;
  }
  // Distances from the line times the chord's length.
  const double h1 = cross(d, e1), h2 = cross(d, e2);
  const double limit = tol * tol * len2;
  auto over = [&](double t) {
    if (!(t > 0.0 && t < 1.0)) return false;
    const double f = 3.0 * t * (1.0 - t) * ((1.0 - t) * h1 + t * h2);
    return f * f > limit;
  };
  // Never further than three quarters of the farther control point.
  if (0.5625 * std::max(h1 * h1, h2 * h2) <= limit) return false;
  const double qa = 3.0 * (h1 - h2), qb = 2.0 * h2 - 4.0 * h1, qc = h1;
  if (std::fabs(qa) < 1e-12 * (std::fabs(qb) + std::fabs(qc))) return qb != 0.0 && over(-qc / qb);
  const double disc = qb * qb - 4.0 * qa * qc;
  if (disc < 0.0) return false;
  const double r = std::sqrt(disc);
  return over((-qb + r) / (2.0 * qa)) || over((-qb - r) / (2.0 * qa));
}

// Appends the end of the chord from parameter t0 (point `from`) to t1, cut in halves where it
// stands further than the tolerance from the curve.
void emitChord(const Cubic& c, double t0, V from, double t1, double tolerance, int depth, int& budget,
               std::vector<PlotPoint>& out) {
  const V to = t1 >= 1.0 ? c.p3 : c.at(t1);
  if (depth < 24 && budget > 0 && strays(pieceOf(c, t0, t1, from, to), tolerance)) {
    --budget;
    const double m = 0.5 * (t0 + t1);
    const V mid = c.at(m);
    emitChord(c, t0, from, m, tolerance, depth + 1, budget, out);
    emitChord(c, m, mid, t1, tolerance, depth + 1, budget, out);
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
    const Piece p = pieceOf(cubic, t0, t1, q0, q3);
    quads.push_back({p.q0, 0.25 * ((3.0 * p.q1 - p.q0) + (3.0 * p.q2 - p.q3)), p.q3});
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
