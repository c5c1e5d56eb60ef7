#include "plot/thinning.h"

#include <gtest/gtest.h>

#include <cmath>

#include "plot_fixture.h"

namespace qel::plot {
namespace {

using Points = std::vector<PlotPoint>;

Points verticalRun(int n, double step) {
  Points p;
  for (int i = 0; i < n; ++i) p.push_back({100, i * step});
  return p;
}

ThinningOptions thinOn() {
  ThinningOptions o;
  o.deletePointEnabled = true;
  return o;
}

// Densifying every run: no limit of length or angle.
ThinningOptions densifyAll() {
  ThinningOptions o;
  o.addPointEnabled = true;
  o.apMinLength = 0;
  o.apMaxLength = 1e9;
  o.apMinAngle = -1;
  o.apMaxAngle = 1e9;
  return o;
}

// Every third point of a straight run of short segments is kept, and the last; corners (the
// point before and the corner itself), long segments (3 mm) and zero-length ones (no direction,
// so a corner) survive.
TEST(Thinning, KeepsIntervalPointsCornersAndLongSegments) {
  const Points run10 = verticalRun(10, 40), run11 = verticalRun(11, 40);  // 1 mm segments
  Points corner = verticalRun(6, 40);                                      // up to (100, 200)
  corner.insert(corner.end(), {{140, 200}, {180, 200}});                   // a right angle, short
  const Points dup = {{0, 0}, {0, 40}, {0, 40}, {0, 80}, {0, 120}};
  const std::pair<Points, Points> cases[] = {
      {run10, {run10[0], run10[3], run10[6], run10[9]}},
      {run11, {run11[0], run11[3], run11[6], run11[9], run11[10]}},
      {corner, {corner[0], corner[3], corner[5], corner[6], corner[7]}},
      {{{0, 0}, {0, 40}, {0, 160}, {0, 200}, {0, 240}}, {{0, 0}, {0, 40}, {0, 160}, {0, 240}}},
      {dup, dup},
  };
  for (const auto& [in, kept] : cases) EXPECT_EQ(thin(in, thinOn()), kept) << in.size() << " points";
}

TEST(Thinning, ChooseNeedsFivePointsAndActsOnce) {
  ThinningOptions o = densifyAll();
  o.deletePointEnabled = true;
  const Points four = {{0, 0}, {400, 10}, {800, 40}, {1200, 90}};
  EXPECT_EQ(chooseFilter(four, o), densify(densify(four, o), o));  // not thinned: densified twice
  const Points five = verticalRun(5, 40);
  EXPECT_EQ(chooseFilter(five, o), thin(five, o));
  ThinningOptions none;
  EXPECT_EQ(chooseFilter(five, none), five);
}

TEST(Densify, InsertsTheArcMidpointBetweenTheFirstTwoPoints) {
  ThinningOptions o;
  o.addPointEnabled = true;
  const double r = 400 / (2 * std::sin(1.5 * M_PI / 180));  // 10 mm chords, 3 degree turns
  auto at = [r](double deg) { return PlotPoint{r * std::cos(deg * M_PI / 180), r * std::sin(deg * M_PI / 180)}; };
  const Points run = {at(0), at(3), at(6)};
  const Points out = densify(run, o);
  ASSERT_EQ(out.size(), 5u);
  EXPECT_LT(std::hypot(out[2].x - at(1.5).x, out[2].y - at(1.5).y), 1e-6);  // the arc's midpoint
  // Each pass repeats the first point.
  EXPECT_EQ((Points{out[0], out[1], out[3], out[4]}), (Points{run[0], run[0], run[1], run[2]}));
  // A turn outside the limits inserts nothing.
  const Points sharp = {at(0), at(3), {at(3).x + 400, at(3).y}};
  EXPECT_EQ(densify(sharp, o).size(), 4u);
}

TEST(Densify, CentreSpecialCasesAndCollinearPoints) {
  PlotPoint c;
  for (const Points& p : {Points{{-5, 0}, {5, 0}, {0, 5}}, Points{{0, 5}, {3, 4}, {5, 0}}}) {  // a.y == b.y, general
    ASSERT_TRUE(circleCentre(p[0], p[1], p[2], c));
    EXPECT_LT(std::hypot(c.x, c.y), 1e-9);
  }
  EXPECT_FALSE(circleCentre({0, 0}, {1, 1}, {2, 2}, c));  // in a line: no finite centre
  EXPECT_FALSE(circleCentre({0, 0}, {1e300, 1}, {NAN, 2}, c));
}

TEST(Densify, ManyPassesStayBounded) {
  ThinningOptions o = densifyAll();
  o.apTimes = 1000;
  Points run;
  for (int i = 0; i < 100; ++i) run.push_back({i * 100.0, (i % 2) * 50.0});
  EXPECT_LE(chooseFilter(run, o).size(), 2 * kMaxDensifiedPoints + 1);
}

TEST(Densify, GatheredPdRunsGoThroughTheFilter) {
  // Two "PD" commands with only unknown text between them form one run; the command after
  // the run is read as usual.
  DisposeOptions o = test::plainOptions();
  o.deletePointEnabled = true;
  std::string hpgl = "PU100,0;PD100,40,100,80;\nPD100,120,100,160,100,200;PU0,0;";
  test::DisposeRun run(hpgl, o);
  ASSERT_TRUE(run.loadOnly());
  ASSERT_EQ(run.file().strokes().size(), 1u);
  EXPECT_EQ(run.file().strokes()[0].points, (Points{{100, 0}, {100, 40}, {100, 160}, {100, 200}}));
}

}  // namespace
}  // namespace qel::plot
