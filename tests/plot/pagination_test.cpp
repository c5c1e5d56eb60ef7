#include "plot/pagination.h"

#include <gtest/gtest.h>

#include <cmath>

#include "plot/rolling_split.h"
#include "plot/whole_stroke_split.h"
#include "plot_fixture.h"

namespace qel::plot {
namespace {

using Points = std::vector<PlotPoint>;

TEST(Pagination, LeftwardsPiecesKeepDrawingOrder) {
  test::DisposeRun run("PU2100,50;PD900,50;", test::pagedOptions(7, 25));  // pages of 1000 units
  ASSERT_TRUE(run.loadOnly());
  const auto& s = run.file().strokes();
  ASSERT_EQ(s.size(), 3u);
  EXPECT_EQ(run.file().strokePages(), (std::vector<int>{2, 1, 0}));
  EXPECT_EQ(s[0].points, (Points{{100, 50}, {0, 50}}));
  EXPECT_EQ(s[1].points, (Points{{1000, 50}, {0, 50}}));
  EXPECT_EQ(s[2].points, (Points{{1000, 50}, {900, 50}}));
}

TEST(Pagination, WholeStrokeCutAtEdges) {
  const CStroke s = test::stroke({{900, 0}, {1100, 10}, {900, 20}}, 3);
  std::vector<Points> pieces;
  for (const CStroke& p : cutAtEdges(s, {1000})) pieces.emplace_back(p.points.begin(), p.points.end());
  EXPECT_EQ(pieces, (std::vector<Points>{{{900, 0}, {1000, 5}}, {{1000, 5}, {1100, 10}, {1000, 15}}, {{1000, 15}, {900, 20}}}));
  EXPECT_EQ(cutAtEdges(s, {1000}).back().pen, 3);
  // Ending exactly on an edge is no crossing.
  EXPECT_EQ(cutAtEdges(test::stroke({{900, 0}, {1000, 5}}), {1000}).size(), 1u);
  // Without edges the stroke comes back whole; an empty stroke has no extent.
  EXPECT_EQ(cutAtEdges(s, {}).at(0).points, s.points);
  double lo = 0, hi = 0;
  xExtent(CStroke{}, lo, hi);
  EXPECT_TRUE(std::isnan(lo) && std::isnan(hi));
  int page = 0;
  EXPECT_TRUE(pageOfX(-1500, 1000, page));
  EXPECT_EQ(page, 0);
  EXPECT_FALSE(pageOfX(1e12, 0.04, page));
  EXPECT_FALSE(pageOfX(NAN, 1000, page));
}

TEST(Pagination, RollingSplitMovesContoursWithWhatIsInside) {
  DisposeOptions o = test::pagedOptions(6, 25);
  o.detalX = o.detalY = 1;  // mm
  const std::string hpgl =
      "PU100,100;PD400,100,400,400,100,400,100,100;"      // wholly on page 0
      "PU800,100;PD1300,100,1300,400,800,400,800,100;"     // across the cut at 1000
      "PU900,150;PD950,250,900,350,850,250,900,150;"       // inside it: follows
      "PU1500,200;PD1800,200;"                             // beyond the cut: moves
      "PU900,600;PD950,600;PU0,0;";                        // near the cut, inside nothing: stays
  test::DisposeRun run(hpgl, o);
  ASSERT_TRUE(run.dispose()) << run.file().errorText();
  EXPECT_EQ(rollingSplitList(), (std::vector<int>{1000, 800, 1000}));
  EXPECT_EQ(run.page(0), "IN;LT;SP1;PU100,100;PD400,100;PD400,400;PD100,400;PD100,100;PU900,600;PD950,600;PX800;PG;");
  // The seam correction pulls the points on the left edge back by (40, 40).
  EXPECT_EQ(run.page(1),
            "IN;LT;SP1;PU-40,60;PD500,100;PD500,400;PD-40,360;PD-40,60;"
            "PU100,150;PD150,250;PD100,350;PD50,250;PD100,150;PU700,200;PD1000,200;PX1000;ZH1000;PG;");
}

// (How the rolling split cuts a stroke wider than a page is in the page text tests.) The pattern
// view refuses such a plot.
TEST(Pagination, PatternViewRefusesAStrokeWiderThanAPage) {
  test::DisposeRun view("PU0,10;PD2500,10;", test::pagedOptions(6, 25));
  EXPECT_FALSE(view.loadOnly());
}

TEST(Pagination, RollingSplitPlacesLabelsByTheirOwnX) {
  test::DisposeRun run("PU0,0;PD1500,0;PU1200,30;LBhi;", test::pagedOptions(6, 25));
  ASSERT_TRUE(run.dispose());
  EXPECT_EQ(run.file().labels().size(), 1u);
  EXPECT_EQ(run.file().labels()[0].pageIndex, 1);
  EXPECT_NE(run.page(1).find("PU200,30;LBhi;"), std::string::npos);
}

}  // namespace
}  // namespace qel::plot
