// The reader: commands into strokes, labels and page indexes.
#include <gtest/gtest.h>

#include "plot_fixture.h"

namespace qel::plot::test {
namespace {

using Points = std::vector<PlotPoint>;

std::vector<CStroke> load(const std::string& hpgl, DisposeOptions o = plainOptions()) {
  DisposeRun run(hpgl, o);
  EXPECT_TRUE(run.loadOnly()) << hpgl;
  return run.file().strokes();
}

TEST(Reader, ClosedFlagUsesPlotterUnits) {
  DisposeOptions o = plainOptions();
  o.minDistanceClose = 5;
  auto m = load("PU0,0;PD100,0,100,100,3,4;PU0,0;PD10,0,10,10,6,8;PU0,0;PD3,4;PU0,0;", o);
  ASSERT_EQ(m.size(), 3u);
  EXPECT_TRUE(m[0].closedFlag);   // ends 5 units from its start
  EXPECT_FALSE(m[1].closedFlag);  // 10 units
  EXPECT_FALSE(m[2].closedFlag);  // two points never close
}

TEST(Reader, CircleAsPolygonOrKept) {
  DisposeOptions o = plainOptions();
  o.tranCi = true;
  auto m = load("PU100,100;CI5;PU0,0;", o);
  ASSERT_EQ(m.size(), 1u);
  const auto& pts = m[0].points;
  ASSERT_EQ(pts.size(), 16u);  // the start plus 15 segments
  EXPECT_EQ(pts.front(), (PlotPoint{105, 100}));
  EXPECT_NEAR(pts.back().x, 105, 1e-9);
  EXPECT_NEAR(pts.back().y, 100, 1e-9);
  // A small circle is a triangle; a registration mark in CCD mode stays a single point.
  m = load("PU100,100;CI1;PU0,0;", o);
  EXPECT_EQ(m[0].points.size(), 4u);
  o.cutFt = 9;
  m = load("SP8;PU100,100;CI50;PU0,0;", o);
  EXPECT_EQ(m[0].points, (Points{{100, 100}}));
  // Without the transform the stroke carries the circle.
  m = load("PU100,100;CI50,5;PU0,0;");
  EXPECT_TRUE(m[0].circleFlag);
  EXPECT_EQ(m[0].circleRadius, 50);
}

}  // namespace
}  // namespace qel::plot::test
