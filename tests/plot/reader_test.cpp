// The reader: commands into strokes, labels and page indexes.
#include <gtest/gtest.h>

#include "plot_fixture.h"

namespace qel::plot::test {
namespace {

using Points = std::vector<PlotPoint>;

struct Model {
  std::vector<CStroke> strokes;
  std::vector<int> pages;
  std::vector<LabelRecord> labels;
  std::vector<int> pens;
  std::vector<LineType> lineTypes;
  bool ok = false;
  const LineType& lineType(size_t stroke) const { return lineTypes.at(static_cast<size_t>(strokes.at(stroke).lineType)); }
};

Model load(const std::string& hpgl, DisposeOptions o = plainOptions()) {
  DisposeRun run(hpgl, o);
  Model m;
  m.ok = run.loadOnly();
  m.strokes = run.file().strokes();
  m.pages = run.file().strokePages();
  m.labels = run.file().labels();
  m.pens = run.file().pensUsed();
  m.lineTypes = run.file().model().lineTypes;
  return m;
}

// Commands and their numbers into the points of each stroke.
TEST(Reader, StrokePoints) {
  struct Row {
    const char* name;
    const char* hpgl;
    std::vector<Points> strokes;
  } rows[] = {
      {"PU PD PA", "PU10,20;PD30,40,50,60;PA70,80;PU1,2;", {{{10, 20}, {30, 40}, {50, 60}, {70, 80}}}},
      // A "PU" with two pairs keeps the first only; a pen-up "PA" moves the last point.
      {"pen-up moves", "PU10,20,30,40;PA50,60;PA70,80;PD1,1;PU0,0;", {{{70, 80}, {1, 1}}}},
      // Line breaks separate numbers like "," and " "; a trailing number is the y of the last pair.
      {"line breaks", "PU0,0;PD10,20\r\n30,40,50;PU0,0;", {{{0, 0}, {10, 20}, {30, 40}, {30, 50}}}},
      {"spaces and commas", "PU 5, 6;PD 7 8, 9,10;PU0,0;", {{{5, 6}, {7, 8}, {9, 10}}}},
      {"letters end the numbers", "PU0,0PD5,5PU9,9;", {{{0, 0}, {5, 5}}}},
      // A single "PU" point is a stroke at the next "PU"; at the end a stroke needs two points.
      {"lone pen-up points", "PU1,1;PU2,2;PU3,3;", {{{1, 1}}, {{2, 2}}}},
      {"two points at the end", "PU1,1;PD2,2;", {{{1, 1}, {2, 2}}}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const Model m = load(r.hpgl);
    std::vector<Points> got;
    for (const CStroke& s : m.strokes) got.emplace_back(s.points.begin(), s.points.end());
    EXPECT_EQ(got, r.strokes);
  }
}

TEST(Reader, LowerCaseIsNotACommand) {
  DisposeRun run("pu10,10;pd20,20;PU0,0;PD1,1;", plainOptions());
  ASSERT_TRUE(run.dispose());
  // The lower-case text is carried before the first command, as read.
  EXPECT_EQ(run.page(0).substr(0, 22), "IN;pu10,10;pd20,20;LT;");
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

TEST(Reader, PenChangeWhileCuttingContinuesFromTheSamePoint) {
  Model m = load("SP1;PU0,0;PD10,0,10,10;SP3;PD20,20;PU0,0;");
  ASSERT_EQ(m.strokes.size(), 2u);
  EXPECT_EQ(m.strokes[0].pen, 1);
  EXPECT_EQ(m.strokes[1].pen, 3);
  EXPECT_EQ(m.strokes[1].points, (Points{{10, 10}, {20, 20}}));
  EXPECT_EQ(m.pens, (std::vector<int>{1, 3}));
  // Pen up: the stroke under construction takes the pen; empty "SP" changes nothing.
  m = load("PU0,0;SP4;SP;PD5,5;PU0,0;");
  ASSERT_EQ(m.strokes.size(), 1u);
  EXPECT_EQ(m.strokes[0].pen, 4);
}

TEST(Reader, SinglePageModesDropStrokesLeavingTheWindow) {
  DisposeOptions o = plainOptions();
  o.cutFt = 0;
  o.pageWidth = 10;  // 400 units
  o.pageHeight = 10;
  Model m = load("PU0,0;PD100,100;PU0,0;PD500,100;PU0,0;PD50,50;PU0,0;PD9999,0;", o);
  ASSERT_EQ(m.strokes.size(), 3u);
  EXPECT_EQ(m.strokes[0].points.back(), (PlotPoint{100, 100}));
  EXPECT_EQ(m.strokes[1].points.back(), (PlotPoint{50, 50}));     // the one to x 500 was dropped
  EXPECT_EQ(m.strokes[2].points.back(), (PlotPoint{9999, 0}));  // at the end it is kept all the same
}

TEST(Reader, MultiPageModesShiftStrokesIntoTheirPage) {
  DisposeOptions o = plainOptions();
  o.cutFt = 2;
  o.pageWidth = 100;  // 4000 units
  Model m = load("PU10000,50;PD10100,60;PU0,0;", o);
  ASSERT_EQ(m.strokes.size(), 1u);
  EXPECT_EQ(m.pages[0], 2);
  EXPECT_EQ(m.strokes[0].points, (Points{{2000, 50}, {2100, 60}}));
  // Mode 5 takes the page of the "PU" and keeps the stroke whole across the edge.
  o.cutFt = 5;
  m = load("PU3900,0;PD4100,0;PU8100,0;PD8200,0;", o);
  ASSERT_EQ(m.strokes.size(), 2u);
  EXPECT_EQ(m.pages, (std::vector<int>{0, 2}));
  EXPECT_EQ(m.strokes[0].points.back(), (PlotPoint{4100, 0}));
  EXPECT_EQ(m.strokes[1].points.front(), (PlotPoint{100, 0}));
  // Modes 0, 1, 6 and 8 keep everything on page 0 without offset.
  for (int mode : {0, 1, 6, 8}) {
    o.cutFt = mode;
    m = load("PU10000,50;PD10100,60;PU0,0;", o);
    ASSERT_EQ(m.pages.size(), mode <= 1 ? 0u : 1u) << mode;
  }
}

TEST(Reader, PauseCommandsCountPagesInMode3) {
  DisposeOptions o = plainOptions();
  o.cutFt = 3;
  o.splitLabel = "1;";
  Model m = load("PU0,0;PD1,1;PU;PG1;PU0,0;PD2,2;PU;NR;PU0,0;PD3,3;PU;PG1;PG;PU0,0;PD4,4;PU0,0;", o);
  ASSERT_EQ(m.strokes.size(), 4u);
  EXPECT_EQ(m.pages, (std::vector<int>{0, 1, 1, 2}));
  // The characters after the terminator count too, and are read again afterwards.
  o.splitLabel = ";PU";
  m = load("PU0,0;PD1,1;PU;PG;PU0,0;PD2,2;PU0,0;", o);
  EXPECT_EQ(m.pages, (std::vector<int>{0, 1}));
  EXPECT_EQ(m.strokes[1].points, (Points{{0, 0}, {2, 2}}));
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

TEST(Reader, ArcLineTypeAndLabels) {
  Model m = load("LT2,1.5,1;PU0,0;PD10,0;AA0,0,90;PD20,0;PU0,0;LT;PU1,1;PD2,2;");
  ASSERT_EQ(m.strokes.size(), 3u);
  EXPECT_EQ(m.lineType(0), (LineType{2, 1.5f, "1"}));
  ASSERT_EQ(m.strokes[0].inserted.size(), 1u);
  EXPECT_EQ(m.strokes[0].inserted[0].pointIndex, 2);
  EXPECT_EQ(m.strokes[0].inserted[0].text, "AA0.000000,0,90");
  EXPECT_EQ(m.lineType(1).type, 2);  // begun before "LT;"
  EXPECT_EQ(m.lineType(2), (LineType{0, 0.0f, ""}));

  // Older programs end labels with ";" and write no terminator before the next label.
  m = load("SP2;DI0,1;SI0.2,0.3;PU40,50;LBAbc;PU;LBxyz\x03;PU0,0;LBend;");
  ASSERT_EQ(m.labels.size(), 3u);
  EXPECT_EQ(m.labels[0].labelText, "LBAbc;");
  EXPECT_EQ(m.labels[0].diText, "DI0,1");
  EXPECT_EQ(m.labels[0].siText, "SI0.2,0.3");
  EXPECT_EQ(m.labels[0].pen, 2);
  EXPECT_EQ(m.labels[0].x, 40);
  EXPECT_EQ(m.labels[1].labelText, "LBxyz\x03");
  EXPECT_EQ(m.labels[2].labelText, "LBend;");
}

}  // namespace
}  // namespace qel::plot::test
