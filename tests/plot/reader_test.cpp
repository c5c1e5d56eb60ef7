// The reader: commands into strokes, labels and page indexes.
#include <gtest/gtest.h>

#include <tuple>

#include "plot_fixture.h"

namespace qel::plot::test {
namespace {

using Points = std::vector<PlotPoint>;

struct Model {
  std::vector<CStroke> strokes;
  std::vector<LabelRecord> labels;
};

Model load(const std::string& hpgl, DisposeOptions o = plainOptions()) {
  DisposeRun run(hpgl, o);
  EXPECT_TRUE(run.loadOnly()) << hpgl;
  return {run.file().strokes(), run.file().labels()};
}

TEST(Reader, ClosedFlagUsesPlotterUnits) {
  DisposeOptions o = plainOptions();
  o.minDistanceClose = 5;
  Model m = load("PU0,0;PD100,0,100,100,3,4;PU0,0;PD10,0,10,10,6,8;PU0,0;PD3,4;PU0,0;", o);
  ASSERT_EQ(m.strokes.size(), 3u);
  EXPECT_TRUE(m.strokes[0].closedFlag);   // ends 5 units from its start
  EXPECT_FALSE(m.strokes[1].closedFlag);  // 10 units
  EXPECT_FALSE(m.strokes[2].closedFlag);  // two points never close
}

TEST(Reader, CircleAsPolygonOrKept) {
  DisposeOptions o = plainOptions();
  o.tranCi = true;
  Model m = load("PU100,100;CI5;PU0,0;", o);
  ASSERT_EQ(m.strokes.size(), 1u);
  const auto& pts = m.strokes[0].points;
  ASSERT_EQ(pts.size(), 16u);  // the start plus 15 segments
  EXPECT_EQ(pts.front(), (PlotPoint{105, 100}));
  EXPECT_NEAR(pts.back().x, 105, 1e-9);
  EXPECT_NEAR(pts.back().y, 100, 1e-9);
  // A small circle is a triangle; a registration mark in CCD mode stays a single point.
  m = load("PU100,100;CI1;PU0,0;", o);
  EXPECT_EQ(m.strokes[0].points.size(), 4u);
  o.cutFt = 9;
  m = load("SP8;PU100,100;CI50;PU0,0;", o);
  EXPECT_EQ(m.strokes[0].points, (Points{{100, 100}}));
  // Without the transform the stroke carries the circle.
  m = load("PU100,100;CI50,5;PU0,0;");
  EXPECT_TRUE(m.strokes[0].circleFlag);
  EXPECT_EQ(m.strokes[0].circleRadius, 50);
}

// Labels with what goes with them (the page text of the reader's other rules is in the page
// text table).
TEST(Reader, Labels) {
  // Older programs end labels with ";" and write no terminator before the next label.
  const Model m = load("SP2;DI0,1;SI0.2,0.3;PU40,50;LBAbc;PU;LBxyz\x03;PU0,0;LBend;");
  ASSERT_EQ(m.labels.size(), 3u);
  const LabelRecord& l = m.labels[0];
  EXPECT_EQ(std::tuple(l.labelText, l.diText, l.siText, l.pen, l.x), std::tuple("LBAbc;", "DI0,1", "SI0.2,0.3", 2, 40.0));
  EXPECT_EQ(std::tuple(m.labels[1].labelText, m.labels[2].labelText), std::tuple("LBxyz\x03", "LBend;"));
}

}  // namespace
}  // namespace qel::plot::test
