// Curves flattened into chords: every point of the curve within the tolerance of the chords
// (measured against the curve sampled densely, not against the flattening's own estimate), and
// fewer chords than a uniform flattening needs where the bending varies.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "drawing_fixture.h"
#include "plot/flatten.h"

namespace qel::plot {
namespace {

struct Cubic {
  const char* name;
  PlotPoint p0, p1, p2, p3;
};

PlotPoint at(const Cubic& c, double t) { return test::cubicAt(c.p0, c.p1, c.p2, c.p3, t); }

using test::toSegment;

// The largest distance from the curve (5,000 samples) to the polyline.
double strayOf(const Cubic& c, const std::vector<PlotPoint>& line) {
  double worst = 0;
  for (int i = 0; i <= 5000; ++i) {
    const PlotPoint p = at(c, i / 5000.0);
    double best = INFINITY;
    for (std::size_t k = 0; k + 1 < line.size(); ++k) best = std::min(best, toSegment(p, line[k], line[k + 1]));
    worst = std::max(worst, best);
  }
  return worst;
}

std::vector<PlotPoint> flattened(const Cubic& c, double tol) {
  std::vector<PlotPoint> line{c.p0};
  flattenCubic(c.p0, c.p1, c.p2, c.p3, tol, line);
  return line;
}

// Plotter units; the default tolerance of 0.01 mm is 0.4 units.
const Cubic kCurves[] = {
    {"quarter circle r=400", {400, 0}, {400, 220.9}, {220.9, 400}, {0, 400}},
    {"gentle S", {0, 0}, {300, 200}, {700, -200}, {1000, 0}},
    {"tight hook", {0, 0}, {2000, 0}, {2000, 40}, {0, 40}},
    {"cusp", {0, 0}, {400, 400}, {0, 400}, {400, 0}},
    {"loop", {0, 0}, {600, 300}, {-200, 300}, {400, 0}},
    {"turns back past its end", {139.6, -290.2}, {280.7, -120.4}, {205.5, 116.8}, {223.1, 52.6}},
    {"control point on its start", {0, 0}, {0, 0}, {300, 500}, {600, 0}},
    {"tiny", {0, 0}, {0.1, 0.2}, {0.3, 0.2}, {0.4, 0}},
    {"ten metres", {0, 0}, {100000, 200000}, {300000, 200000}, {400000, 0}},
};

TEST(Flatten, EveryCurveStaysWithinTheToleranceOfItsChords) {
  for (double tol : {0.4, 4.0}) {
    for (const Cubic& c : kCurves) {
      const auto line = flattened(c, tol);
      EXPECT_EQ(line.back(), c.p3) << c.name;
      EXPECT_LE(strayOf(c, line), tol * 1.0001) << c.name << " at tolerance " << tol;
    }
  }
}

TEST(Flatten, RandomCurvesStayWithinTheTolerance) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-400, 400);
  for (int i = 0; i < 300; ++i) {
    const Cubic c{"random", {u(rng), u(rng)}, {u(rng), u(rng)}, {u(rng), u(rng)}, {u(rng), u(rng)}};
    ASSERT_LE(strayOf(c, flattened(c, 0.4)), 0.4 * 1.0001) << i;
  }
}

TEST(Flatten, BendsGetTheChordsThatUniformStepsSpreadEverywhere) {
  // A curve that is nearly straight for most of its length and bends hard at one end: equal
  // parameter steps must be as short everywhere as the bend needs.
  const Cubic hook{"hook", {0, 0}, {3000, 0}, {3000, 400}, {2600, 400}};
  const auto line = flattened(hook, 0.4);
  const int uniform = uniformChordCount(hook.p0, hook.p1, hook.p2, hook.p3, 0.4);
  EXPECT_LT(static_cast<double>(line.size() - 1), 0.6 * uniform);
  // The uniform count is enough for the uniform flattening (it is a bound, not an estimate).
  std::vector<PlotPoint> steps;
  for (int i = 0; i <= uniform; ++i) steps.push_back(at(hook, double(i) / uniform));
  EXPECT_LE(strayOf(hook, steps), 0.4);
}

TEST(Flatten, StraightBrokenAndPointCurvesGetOneChord) {
  const Cubic cases[] = {{"straight", {0, 0}, {10, 10}, {20, 20}, {30, 30}},
                         {"broken", {0, 0}, {NAN, 1}, {2, INFINITY}, {3, 3}},
                         {"a point", {0, 0}, {0, 0}, {0, 0}, {0, 0}}};
  for (const Cubic& c : cases)
    EXPECT_EQ(flattened(c, 0.4), (std::vector<PlotPoint>{c.p0, c.p3})) << c.name;
}

TEST(Flatten, QuadraticsAreFlattenedAsTheSameCurve) {
  // A parabola from (-400, 400) through the control point (0, -400): the same curve as the cubic
  // with control points two thirds of the way to it.
  std::vector<PlotPoint> out{{-400, 400}};
  flattenQuad({-400, 400}, {0, -400}, {400, 400}, 0.4, out);
  EXPECT_LE(strayOf({"parabola", {-400, 400}, {-400.0 / 3, -400.0 / 3}, {400.0 / 3, -400.0 / 3}, {400, 400}}, out), 0.4001);
  EXPECT_EQ(out.back(), (PlotPoint{400, 400}));
}

TEST(Flatten, AHugeCurveIsCappedInChords) {
  std::vector<PlotPoint> out;
  flattenCubic({0, 0}, {1e12, 1e12}, {-1e12, 1e12}, {1, 0}, 0.4, out);
  EXPECT_LE(out.size(), static_cast<std::size_t>(kMaxChordsPerCurve));
  EXPECT_EQ(out.back(), (PlotPoint{1, 0}));
}

}  // namespace
}  // namespace qel::plot
