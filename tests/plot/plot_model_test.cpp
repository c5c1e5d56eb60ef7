// The plot model's stroke storage: points kept in the run's arena must stay right while the
// stroke list grows, while the stages move strokes about (between the arena and the heap) and
// after the model is emptied for the next run.
#include "plot/plot_model.h"

#include <gtest/gtest.h>

#include <cmath>

#include "plot_fixture.h"

namespace qel::plot {
namespace {

using Points = std::vector<PlotPoint>;

// A stroke whose points tell where it came from: x from `first` on, y = its number.
CStroke numbered(int number, int count, double first = 0) {
  CStroke s;
  s.pen = 1 + number % 7;
  for (int k = 0; k < count; ++k) s.points.push_back({first + 10.0 * k, static_cast<double>(number)});
  return s;
}

TEST(PlotModelStorage, PointsStayWhileTheListGrowsAndAfterTheModelIsEmptied) {
  PlotModel m;
  CStroke scratch;  // the reader's stroke, reused for every stroke as the reader does
  for (int i = 0; i < 20000; ++i) {
    scratch = numbered(i, 1 + i % 40);
    m.add(scratch, i % 3);
  }
  ASSERT_EQ(m.strokes.size(), 20000u);
  for (int i = 0; i < 20000; ++i) ASSERT_EQ(m.strokes[i], numbered(i, 1 + i % 40)) << i;
  EXPECT_EQ(m.strokePages[4], 1);

  // A copy taken out of the model keeps its points after the model is emptied and refilled.
  const CStroke kept = m.strokes[123];
  m.clear();
  EXPECT_TRUE(m.strokes.empty() && m.strokePages.empty());
  for (int i = 0; i < 5000; ++i) m.add(numbered(i + 1000000, 3, 7), 0);
  EXPECT_EQ(kept, numbered(123, 1 + 123 % 40));
  for (int i = 0; i < 5000; ++i) ASSERT_EQ(m.strokes[i], numbered(i + 1000000, 3, 7)) << i;
}

TEST(PlotModelStorage, MovesBetweenTheArenaAndTheHeapKeepEveryPoint) {
  PlotModel m;
  for (int i = 0; i < 4; ++i) m.add(numbered(i, 5), 0);
  CStroke onHeap = numbered(9, 3);
  // Heap stroke into an arena slot, arena stroke into a heap one, and swaps of both kinds.
  CStroke fromArena;
  fromArena = std::move(m.strokes[0]);
  m.strokes[0] = std::move(onHeap);
  std::swap(m.strokes[1], m.strokes[2]);
  std::swap(m.strokes[3], fromArena);
  const std::vector<CStroke> after{m.strokes[0], m.strokes[1], m.strokes[2], m.strokes[3], fromArena};
  EXPECT_EQ(after, (std::vector<CStroke>{numbered(9, 3), numbered(2, 5), numbered(1, 5), numbered(0, 5), numbered(3, 5)}));
  // A copy into the arena is the same stroke, flags and all.
  CStroke flagged = numbered(5, 4);
  flagged.closedFlag = flagged.labelStrokeFlag = true;
  flagged.lineType = m.lineTypeIndex({2, 1.5f, "1"});
  flagged.inserted.push_back({1, "AA0,0,90"});
  EXPECT_EQ(CStroke(flagged, m.points.get()), flagged);
}

TEST(PlotModelStorage, JoinedStrokesGrowOutOfTheArenaWhole) {
  // Sixty segments drawn one by one, each starting where the last ended: the contour stage
  // joins them into one stroke that grows far past the block its first segment had.
  std::string hpgl;
  Points expected{{0, 0}};
  for (int k = 1; k <= 60; ++k) {
    hpgl += "PU" + std::to_string(10 * k - 10) + "," + std::to_string((k - 1) % 2 * 10) + ";PD" +
            std::to_string(10 * k) + "," + std::to_string(k % 2 * 10) + ";";
    expected.push_back({10.0 * k, k % 2 * 10.0});
  }
  DisposeOptions o = test::plainOptions();
  o.cutFt = 8;
  o.pageWidth = 1000;
  test::DisposeRun run(hpgl, o);
  ASSERT_TRUE(run.dispose());
  ASSERT_EQ(run.file().strokes().size(), 1u);
  EXPECT_EQ(run.file().strokes()[0].points, expected);
}

TEST(PlotModelStorage, EveryStrokeKeepsItsLineTypeAmongMany) {
  // More line types than the table searches back, the first ones used again after 80 others:
  // each stroke is still written with its own.
  std::string hpgl, body;
  for (int k = 0; k < 100; ++k) {
    const std::string type = "LT" + std::to_string(1 + k % 80) + "," + std::to_string(1 + k % 80) + ";";
    const std::string line = "PU0," + std::to_string(k) + ";PD5," + std::to_string(k) + ";";
    hpgl += type + line;
    body += type + (k == 0 ? "SP1;" : "") + line;
  }
  test::DisposeRun run(hpgl, test::plainOptions());
  ASSERT_TRUE(run.dispose());
  EXPECT_EQ(run.page(0), "IN;" + body + "PX5;ZH5;");
}

}  // namespace
}  // namespace qel::plot
