#include "plot/contours.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "plot_fixture.h"

namespace qel::plot {
namespace {

using Points = std::vector<PlotPoint>;

using test::rectStroke;
using test::stroke;

// Strokes whose ends touch become one: only on the same page and with the same pen, at either
// end. Forwards without repeating the shared point; backwards, or with the other stroke put in
// front, repeating it.
TEST(Join, TouchingStrokesBecomeOne) {
  struct Row {
    const char* name;
    std::vector<CStroke> strokes;
    std::vector<int> pages;
    double distance;
    std::vector<Points> joined;
    std::vector<int> joinedPages;
  } rows[] = {
      {"end to start, then end to end", {stroke({{0, 0}, {10, 0}}), stroke({{10, 0}, {10, 10}}), stroke({{0, 20}, {10, 10}})},
       {0, 0, 0}, 0, {{{0, 0}, {10, 0}, {10, 10}, {10, 10}, {0, 20}}}, {0}},
      {"same page and pen only",
       {stroke({{0, 0}, {10, 0}}), stroke({{10, 0}, {20, 0}}, 2), stroke({{20, 0}, {30, 0}}, 2), stroke({{30, 0}, {40, 0}}, 2)},
       {0, 0, 0, 1}, 0, {{{0, 0}, {10, 0}}, {{10, 0}, {20, 0}, {30, 0}}, {{30, 0}, {40, 0}}}, {0, 0, 1}},
      {"start to start", {stroke({{5, 5}, {9, 9}}), stroke({{5, 5}, {1, 1}})}, {0, 0}, 0,
       {{{1, 1}, {5, 5}, {5, 5}, {9, 9}}}, {0}},
      {"near, not equal", {stroke({{5, 5}, {9, 9}}), stroke({{1, 1}, {5.5, 5}})}, {0, 0}, 1,
       {{{1, 1}, {5.5, 5}, {5, 5}, {9, 9}}}, {0}},
      {"four sides of a rectangle",
       {stroke({{0, 0}, {10, 0}}), stroke({{10, 0}, {10, 10}}), stroke({{10, 10}, {0, 10}}), stroke({{0, 10}, {0, 0}})},
       {0, 0, 0, 0}, 0, {{{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}}}, {0}},
  };
  for (Row& r : rows) {
    SCOPED_TRACE(r.name);
    joinTouching(r.strokes, r.pages, r.distance);
    std::vector<Points> got;
    for (const CStroke& s : r.strokes) got.emplace_back(s.points.begin(), s.points.end());
    EXPECT_EQ(got, r.joined);
    EXPECT_EQ(r.pages, r.joinedPages);
  }
  // The rectangle's closed flag is not recomputed, but its ends meet, so it counts as closed.
  std::vector<CStroke>& rectangle = rows[4].strokes;
  EXPECT_FALSE(rectangle[0].closedFlag);
  EXPECT_TRUE(findOuter(rectangle, 0)[0]);
}

TEST(Contours, CircleInsideRectangleIsCutFirstAndLabelsBeforeIt) {
  std::vector<CStroke> s;
  s.push_back(rectStroke(0, 0, 100, 100, 3));
  s.push_back(rectStroke(200, 0, 300, 100, 3));  // a second, empty contour
  CStroke circle = stroke({{60, 50}, {50, 60}, {40, 50}, {50, 40}, {60, 50}}, 1, true);
  s.push_back(circle);
  CStroke label = stroke({{10, 10}, {20, 20}});
  label.labelStrokeFlag = true;
  s.push_back(label);
  s.push_back(stroke({{500, 500}, {600, 600}}));  // inside nothing
  std::vector<int> pages(s.size(), 0);
  markOuter(s, 0, true, 2);
  // Contours take pen SPN with OCC.
  std::vector<std::pair<bool, int>> outerAndPen;
  for (const CStroke& c : s) outerAndPen.emplace_back(c.outerFlag, c.pen);
  EXPECT_EQ(outerAndPen, (std::vector<std::pair<bool, int>>{{true, 2}, {true, 2}, {false, 1}, {false, 1}, {false, 1}}));
  orderInsideFirst(s, pages);
  Points firsts;
  for (const CStroke& c : s) firsts.push_back(c.points[0]);
  EXPECT_EQ(firsts, (Points{{10, 10}, {60, 50}, {0, 0}, {200, 0}, {500, 500}}));  // the label first
}

TEST(Contours, EqualBoxesAreNeitherOuter) {
  std::vector<CStroke> s = {rectStroke(0, 0, 10, 10), rectStroke(0, 0, 10, 10), rectStroke(20, 0, 30, 10)};
  const auto outer = findOuter(s, 0);
  EXPECT_EQ(outer, (std::vector<bool>{false, false, true}));
}

// Every box that contains the query box must be offered, whichever cells its corners fall in
// (the first and last rows and columns clamp what lies beyond them), and the first offered
// match is the smallest index.
TEST(Contours, GridOffersEveryContainerOfABox) {
  std::mt19937 rng(11);
  for (int round = 0; round < 40; ++round) {
    std::vector<Box> boxes;
    if (round % 2) boxes.push_back({-INFINITY, -INFINITY, INFINITY, INFINITY});  // checked by every query
    const int n = 20 + static_cast<int>(rng() % 400);
    const bool flat = round % 5 == 4;  // all on one line: a grid of one row
    for (int i = 0; i < n; ++i) {
      const double x = rng() % 2000, y = flat ? 0 : rng() % 1500;
      const double w = rng() % 3 == 0 ? 300 + rng() % 900 : 1 + rng() % 60;
      const double h = flat ? 0 : (rng() % 3 == 0 ? 200 + rng() % 700 : 1 + rng() % 60);
      boxes.push_back({x, y, x + w, y + h});
      if (i % 7 == 0) boxes.push_back(boxes.back());  // equal boxes contain each other
    }
    boxes.push_back({-INFINITY, -5, INFINITY, 5000});  // reaches everywhere
    std::vector<int> members;
    for (size_t i = 0; i < boxes.size(); ++i)
      if (i % 4 != 1) members.push_back(static_cast<int>(i));
    const BoxGrid grid(boxes, members);
    for (size_t q = 0; q < boxes.size(); ++q) {
      std::vector<int> expected;
      for (int m : members)
        if (boxes[static_cast<size_t>(m)].contains(boxes[q])) expected.push_back(m);
      std::vector<int> offered;
      grid.containing(boxes[q], [&](int i) {
        if (boxes[static_cast<size_t>(i)].contains(boxes[q])) offered.push_back(i);
        return false;
      });
      std::sort(offered.begin(), offered.end());
      ASSERT_EQ(offered, expected) << "round " << round << " box " << q;
      const int first = grid.firstContaining(boxes[q], [&](int i) { return boxes[static_cast<size_t>(i)].contains(boxes[q]); });
      ASSERT_EQ(first, expected.empty() ? -1 : expected.front()) << "round " << round << " box " << q;
    }
  }
}

}  // namespace
}  // namespace qel::plot
