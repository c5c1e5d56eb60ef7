// Knife offset compensation, overcut and weeding: the knife path is checked by dragging a
// simulated blade tip behind it, the weeding by geometry against the shapes it separates.
#include "plot/cut_quality.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <tuple>

#include "drawing_fixture.h"
#include "plot/dispose_options.h"
#include "plot_fixture.h"

namespace qel::plot {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTolerance = 0.02 * kUnitsPerMm;  // 0.02 mm

using Path = std::vector<PlotPoint>;

double dist(const PlotPoint& a, const PlotPoint& b) { return std::hypot(a.x - b.x, a.y - b.y); }

using test::toSegment;

double distToPath(const PlotPoint& p, const Path& path) {
  double best = HUGE_VAL;
  for (size_t i = 1; i < path.size(); ++i) best = std::min(best, toSegment(p, path[i - 1], path[i]));
  return best;
}

// A drag knife: the tip trails the axis at `offset` and moves only along the line to the axis.
// The axis runs the knife path in steps of at most 0.05 units; returns every tip position.
Path dragTip(const Path& knife, PlotPoint tip, double offset) {
  Path tips{tip};
  for (size_t i = 1; i < knife.size(); ++i) {
    const int steps = std::max(1, static_cast<int>(std::ceil(dist(knife[i - 1], knife[i]) / 0.05)));
    for (int k = 1; k <= steps; ++k) {
      const PlotPoint axis{knife[i - 1].x + (knife[i].x - knife[i - 1].x) * k / steps,
                           knife[i - 1].y + (knife[i].y - knife[i - 1].y) * k / steps};
      const double l = dist(axis, tip);
      tip = {axis.x - offset * (axis.x - tip.x) / l, axis.y - offset * (axis.y - tip.y) / l};
      tips.push_back(tip);
    }
  }
  return tips;
}

struct TipCheck {
  double worstOffOutline = 0.0;  // largest distance of the tip from the outline
  double worstCorner = 0.0;      // largest distance of an outline vertex from the tip's path
};

// Drags the tip behind `knife`, starting on the first drawn point, against the drawn outline.
TipCheck checkTip(const Path& drawn, const Path& knife, double offset) {
  TipCheck c;
  const Path tips = dragTip(knife, drawn.front(), offset);
  for (const auto& t : tips) c.worstOffOutline = std::max(c.worstOffOutline, distToPath(t, drawn));
  for (const auto& v : drawn) {
    double nearest = HUGE_VAL;
    for (const auto& t : tips) nearest = std::min(nearest, dist(t, v));
    c.worstCorner = std::max(c.worstCorner, nearest);
  }
  return c;
}

Path square(double side) { return {{0, 0}, {side, 0}, {side, side}, {0, side}, {0, 0}}; }

// A closed polygon of n corners, corner i at radius r(i) and angle a0 + 2 pi i / n.
template <class Radius>
Path polygon(int n, Radius r, double a0 = 0) {
  Path p;
  for (int i = 0; i < n; ++i) {
    const double a = a0 + 2 * kPi * i / n;
    p.push_back({r(i) * std::cos(a), r(i) * std::sin(a)});
  }
  p.push_back(p.front());
  return p;
}
Path circle(double radius, int n) { return polygon(n, [=](int) { return radius; }); }
Path star(double outer, double inner) { return polygon(10, [=](int i) { return i % 2 ? inner : outer; }, kPi / 2); }

// The tip dragged behind the knife path stays on the outline and reaches every corner; a closed
// cut ends where it came down, an open one ends with the tip on its last point.
TEST(KnifeCompensation, TipFollowsTheOutlineWithinTwoHundredthsOfAMillimetre) {
  struct Case {
    const char* name;
    Path drawn;
    int swivels;  // at the default corner angle of 30 degrees
    bool closed = true;
  };
  const Case cases[] = {
      {"square 40 mm", square(1600), 4},         // three corners and the alignment at the start
      {"circle r 20 mm, 1 degree chords", circle(800, 360), 0},
      {"circle r 2 mm, 24 chords", circle(80, 24), 0},  // 15 degree turns stay below 30
      {"star", star(800, 320), 10},              // nine corners and the alignment
      {"open path", {{0, 0}, {1000, 0}, {1000, 600}, {400, 900}}, 2, false},
      {"repeated points", {{0, 0}, {0, 0}, {100, 0}, {100, 0}, {100, 100}}, 1, false},
  };
  for (double offsetMm : {0.25, 0.5}) {
    const double offset = offsetMm * kUnitsPerMm;
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.name) + " offset " + std::to_string(offsetMm));
      const auto closing = c.closed ? std::optional<PlotPoint>(c.drawn[c.drawn.size() - 2]) : std::nullopt;
      const KnifeResult k = compensateKnife(c.drawn, offset, 30.0, closing);
      EXPECT_EQ(k.swivels, c.swivels);
      const TipCheck t = checkTip(c.drawn, k.points, offset);
      EXPECT_LE(t.worstOffOutline, kTolerance);
      EXPECT_LE(t.worstCorner, kTolerance);
      if (c.closed) {
        EXPECT_LT(dist(k.points.front(), k.points.back()), 1e-6);
      } else {
        EXPECT_EQ(k.points.front().x, offset);  // starts ahead of the first point
      }
    }
  }
}

TEST(KnifeCompensation, OnlyCornersSharperThanTheThresholdSwivel) {
  // A zigzag turning by 20 degrees, 40 degrees, 20 degrees: 30 swivels at the middle one.
  auto dirPoint = [](const PlotPoint& p, double deg) {
    return PlotPoint{p.x + 400 * std::cos(deg * kPi / 180), p.y + 400 * std::sin(deg * kPi / 180)};
  };
  Path zig{{0, 0}};
  for (double a : {0.0, 20.0, 60.0, 80.0}) zig.push_back(dirPoint(zig.back(), a));
  for (auto [threshold, swivels] : {std::pair{30.0, 1}, {50.0, 0}, {10.0, 3}})
    EXPECT_EQ(compensateKnife(zig, 20, threshold).swivels, swivels) << threshold;
  // Without a swivel the knife goes straight from one offset point to the next.
  const Path k = compensateKnife(zig, 20, 50.0).points;
  EXPECT_EQ(k.size(), zig.size() + 3);
  const Path dot{{5, 5}, {5, 5}};  // a dot stays as it is
  EXPECT_EQ(compensateKnife(dot, 20, 30.0).points, dot);
}

double pathLength(const Path& p, size_t from) {
  double l = 0;
  for (size_t i = from + 1; i < p.size(); ++i) l += dist(p[i - 1], p[i]);
  return l;
}

TEST(Overcut, AddsExactlyTheSetLengthAlongTheFirstSegments) {
  const Path sq = square(1600);
  // 1 mm within the first side, then past the first corner (through it).
  for (const auto& [length, added] : {std::pair{40.0, Path{{40, 0}}}, std::pair{2000.0, Path{{1600, 0}, {1600, 400}}}}) {
    const Path out = addOvercut(sq, length);
    ASSERT_GE(out.size(), sq.size());
    EXPECT_EQ(Path(out.begin() + static_cast<std::ptrdiff_t>(sq.size()), out.end()), added) << length;
    EXPECT_DOUBLE_EQ(pathLength(out, sq.size() - 1), length);
  }
  // At most one more lap.
  EXPECT_DOUBLE_EQ(pathLength(addOvercut(sq, 1e9), sq.size() - 1), 6400);
  // Ends that are near but apart are joined first, then the overcut runs on.
  const Path gap{{0, 0}, {100, 0}, {100, 100}, {0, 100}, {0, 1}};
  const Path g = addOvercut(gap, 50);
  EXPECT_EQ(g[gap.size()], (PlotPoint{0, 0}));
  EXPECT_EQ(g.back(), (PlotPoint{50, 0}));
}

TEST(Overcut, OnlyClosedStrokesGetItAndTheTipRunsPastTheStart) {
  CutQualityOptions o;
  o.overcutMm = 1;
  std::vector<CStroke> strokes{test::stroke(square(1600)), test::stroke({{0, 0}, {500, 0}, {500, 500}})};
  const Path open(strokes[1].points.begin(), strokes[1].points.end());
  applyKnifeAndOvercut(strokes, {0, 0}, o, 0.0);
  EXPECT_EQ(strokes[1].points, open);
  EXPECT_EQ(strokes[0].points.back(), (PlotPoint{40, 0}));

  strokes[0].points = square(1600);
  o.knifeOffsetMm = 0.5;
  applyKnifeAndOvercut(strokes, {0, 0}, o, 0.0);
  const Path knife(strokes[0].points.begin(), strokes[0].points.end());
  EXPECT_LE(dist(dragTip(knife, {0, 0}, 20).back(), {40, 0}), kTolerance);
  EXPECT_LE(checkTip(square(1600), knife, 20).worstOffOutline, kTolerance);
}

TEST(KnifeCompensation, KeptCirclesAndArcsKeepTheirCentres) {
  CutQualityOptions o;
  o.knifeOffsetMm = 0.5;
  std::vector<CStroke> strokes{test::stroke({{100, 100}}), test::stroke({{0, 0}, {100, 0}})};
  strokes[0].circleFlag = true;
  strokes[0].circleRadius = 400;
  strokes[1].inserted.push_back({1, "AA100.000000,100,90"});
  applyKnifeAndOvercut(strokes, {0, 0}, o, 0.0);
  EXPECT_EQ(strokes[0].points, (Path{{100, 100}}));
  EXPECT_EQ(strokes[0].circleRadius, 400);  // sqrt(400^2 + 20^2) = 400.5 rounds to 400
  strokes[0].circleRadius = 40;
  applyKnifeAndOvercut(strokes, {0, 0}, o, 0.0);
  EXPECT_EQ(strokes[0].circleRadius, 45);  // sqrt(40^2 + 20^2) = 44.7
  EXPECT_EQ(strokes[1].points, (Path{{0, 0}, {100, 0}}));
}

// ---- weeding

CStroke shapeAt(double x, double y, double w, double h) { return test::rectStroke(x, y, x + w, y + h); }

bool segmentCrossesRect(const PlotPoint& a, const PlotPoint& b, const Rect& r) {
  // Weeding lines are axis-parallel.
  if (a.y == b.y) return a.y >= r.minY && a.y <= r.maxY && std::max(a.x, b.x) >= r.minX && std::min(a.x, b.x) <= r.maxX;
  return a.x >= r.minX && a.x <= r.maxX && std::max(a.y, b.y) >= r.minY && std::min(a.y, b.y) <= r.maxY;
}

bool onSegment(const PlotPoint& p, const PlotPoint& a, const PlotPoint& b) { return toSegment(p, a, b) < 1e-9; }

// Every weeding line is axis-parallel, crosses no shape and ends on the box or on another line.
void expectSoundWeeding(const std::vector<CStroke>& shapes, const std::vector<CStroke>& weed, const Rect& box) {
  std::vector<std::pair<PlotPoint, PlotPoint>> edges;
  const PlotPoint c[4] = {{box.minX, box.minY}, {box.maxX, box.minY}, {box.maxX, box.maxY}, {box.minX, box.maxY}};
  for (int i = 0; i < 4; ++i) edges.push_back({c[i], c[(i + 1) % 4]});
  for (size_t i = 1; i < weed.size(); ++i) edges.push_back({weed[i].points[0], weed[i].points[1]});
  for (size_t i = 1; i < weed.size(); ++i) {
    const auto& l = weed[i].points;
    ASSERT_EQ(l.size(), 2u);
    EXPECT_TRUE(l[0].x == l[1].x || l[0].y == l[1].y);
    for (const auto& s : shapes) {
      Rect r{HUGE_VAL, HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
      for (const auto& p : s.points) r = {std::min(r.minX, p.x), std::min(r.minY, p.y), std::max(r.maxX, p.x), std::max(r.maxY, p.y)};
      EXPECT_FALSE(segmentCrossesRect(l[0], l[1], r)) << "line " << i << " crosses a shape";
    }
    for (const auto& end : {l[0], l[1]}) {
      bool reached = false;
      for (size_t e = 0; e < edges.size(); ++e)
        if (e != i + 3 && onSegment(end, edges[e].first, edges[e].second)) reached = true;
      EXPECT_TRUE(reached) << "line " << i << " ends in the open";
    }
  }
}

TEST(Weeding, BoxAtTheMarginAndLinesBetweenShapesThatNeverCrossOne) {
  CutQualityOptions o;
  o.weedBox = o.weedLines = true;
  o.weedMarginMm = 5;
  o.weedPen = 3;
  // Two rows: three letters above, two staggered shapes below, a ring inside the first letter.
  std::vector<CStroke> shapes{shapeAt(1000, 2000, 400, 600), shapeAt(1600, 2000, 400, 600), shapeAt(2200, 2100, 400, 400),
                              shapeAt(1100, 2100, 200, 200), shapeAt(1000, 1000, 900, 500), shapeAt(1800, 800, 800, 400)};
  const std::vector<int> pages(shapes.size(), 0);
  const auto weed = weedingStrokes(shapes, pages, {}, 0, o, {});
  ASSERT_FALSE(weed.empty());
  const Rect box{1000 - 200, 800 - 200, 2600 + 200, 2600 + 200};
  EXPECT_EQ(weed[0].points, (Path{{box.minX, box.minY}, {box.maxX, box.minY}, {box.maxX, box.maxY},
                                  {box.minX, box.maxY}, {box.minX, box.minY}}));
  for (const auto& w : weed) EXPECT_EQ(w.pen, 3);
  // One line between the rows across the whole box, two between the letters up to it; the
  // staggered shapes below overlap in x and y, so nothing separates them.
  EXPECT_EQ(weed.size(), 1u + 3u);
  EXPECT_EQ(weed[1].points, (Path{{box.minX, 1750}, {box.maxX, 1750}}));
  expectSoundWeeding(shapes, weed, box);
}

TEST(Weeding, RandomLayoutsNeverCrossAShape) {
  CutQualityOptions o;
  o.weedBox = o.weedLines = true;
  unsigned seed = 7;
  auto rnd = [&](int n) {
    seed = seed * 1103515245u + 12345u;
    return static_cast<int>((seed >> 8) % static_cast<unsigned>(n));
  };
  for (int round = 0; round < 40; ++round) {
    std::vector<CStroke> shapes;
    for (int i = 0, n = 2 + rnd(30); i < n; ++i) shapes.push_back(shapeAt(rnd(8000), rnd(8000), 40 + rnd(900), 40 + rnd(900)));
    const auto weed = weedingStrokes(shapes, std::vector<int>(shapes.size(), 0), {}, 0, o, {});
    const auto& b = weed[0].points;
    expectSoundWeeding(shapes, weed, {b[0].x, b[0].y, b[2].x, b[2].y});
  }
}

TEST(Weeding, BoxStaysOnThePageUnlessTheContentDoesNot) {
  CutQualityOptions o;
  o.weedBox = true;
  std::vector<CStroke> s{shapeAt(40, 100, 1000, 1000)};
  auto b = weedingStrokes(s, {0}, {}, 0, o, {PageArea{1100.0, 5000.0}})[0].points;
  EXPECT_EQ(b[0], (PlotPoint{0, 0}));        // 5 mm left of 40 and below 100 would leave the page
  EXPECT_EQ(b[2], (PlotPoint{1100, 1300}));  // the page ends at 1100
  s = {shapeAt(-500, 100, 2000, 100)};       // content already off the page: the margin applies
  b = weedingStrokes(s, {0}, {}, 0, o, {PageArea{1100.0, 5000.0}})[0].points;
  EXPECT_EQ(b[0], (PlotPoint{-700, 0}));
  EXPECT_EQ(b[2].x, 1700);
  // Circles count with their radius; pages without content get nothing.
  CStroke ci = test::stroke({{1000, 1000}});
  ci.circleFlag = true;
  ci.circleRadius = 300;
  b = weedingStrokes({ci}, {0}, {}, 0, o, {})[0].points;
  EXPECT_EQ(b[0], (PlotPoint{500, 500}));
  EXPECT_TRUE(weedingStrokes({ci}, {0}, {}, 1, o, {}).empty());
}

TEST(Weeding, LabelsKeptAsTextCountWithTheirSizeAndDirection) {
  LabelRecord l{.siText = "SI0.3,0.4", .labelText = std::string("LBABCD") + '\3', .x = 1000, .y = 1000};
  auto box = shapeBoxes({}, {}, {l}, 0);
  ASSERT_EQ(box.size(), 1u);
  // Four characters at 1.5 x 0.3 cm along x, two heights of 0.4 cm to either side.
  EXPECT_EQ(std::tuple(box[0].minX, box[0].maxX, box[0].minY, box[0].maxY), std::tuple(1000.0, 1720.0, 680.0, 1320.0));
  l.diText = "DI0,1";  // upwards
  box = shapeBoxes({}, {}, {l}, 0);
  EXPECT_NEAR(box[0].minY, 1000, 1e-9);
  EXPECT_NEAR(box[0].maxY, 1720, 1e-9);
  EXPECT_NEAR(box[0].minX, 680, 1e-9);
  EXPECT_TRUE(shapeBoxes({}, {}, {l}, 1).empty());
}

// ---- in the dispose run

const char* kTwoSquares = "IN;SP1;PU400,400;PD2000,400;PD2000,2000;PD400,2000;PD400,400;"
                          "PU3000,400;PD3400,400;PD3400,800;PD3000,800;PD3000,400;";

std::string pages(const std::string& hpgl, const DisposeOptions& o) {
  test::DisposeRun run(hpgl, o);
  if (!run.dispose()) return "<failed>";
  std::string all;
  for (int p = 0; p < run.file().outputCount() + 2; ++p) all += run.page(p) + "|";
  return all;
}

TEST(CutQualityPipeline, OptionsOffLeaveEveryPageByteForByteInEveryMode) {
  std::vector<std::string> inputs{kTwoSquares};
  for (const auto& e : std::filesystem::directory_iterator(std::string(QEL_SOURCE_DIR) + "/tests/plot/corpus")) {
    if (e.path().filename() == "tiny_pages.plt") continue;  // thousands of pages: the bad-input test has it
    auto text = platform::readWholeFile(e.path().string());
    if (text) inputs.push_back(*text);
  }
  for (int mode : {0, 1, 3, 4, 6, 7, 8})
    for (bool pageOrder : {false, true}) {
      DisposeOptions plain = test::plainOptions();
      plain.cutFt = mode;
      plain.pageWidth = 50;
      plain.strokeAppearOrderOfPage = pageOrder;
      DisposeOptions off = plain;  // every switch off, every other value changed
      off.cutQuality.knifeCornerAngleDeg = 5;
      off.cutQuality.weedMarginMm = 1;
      off.cutQuality.weedPen = 7;
      for (const auto& in : inputs) EXPECT_EQ(pages(in, plain), pages(in, off)) << "mode " << mode;
    }
}

TEST(CutQualityPipeline, WeedingIsWrittenPerPageWithItsPenAlsoInThePenGroupedMode) {
  DisposeOptions o = test::plainOptions();
  o.cutFt = 7;  // pages by coordinates, strokes grouped by the pens-used list
  o.pageWidth = 50;
  o.cutQuality.weedBox = true;
  o.cutQuality.weedPen = 6;
  const std::string out = pages(kTwoSquares, o);
  // Page 0 holds the big square (box from 200 to the page edge 2000), page 1 the small one.
  EXPECT_NE(out.find("SP6;PU200,200;PD2000,200;PD2000,2200;PD200,2200;PD200,200;"), std::string::npos) << out;
  EXPECT_NE(out.find("SP6;PU800,200;PD1600,200;PD1600,1000;PD800,1000;PD800,200;"), std::string::npos) << out;
}

TEST(CutQualityPipeline, KnifeReachesPagesWrittenWhileReadingAndTheContourMode) {
  for (int mode : {4, 8})
    for (bool pageOrder : {false, true}) {
      SCOPED_TRACE("mode " + std::to_string(mode) + (pageOrder ? " page order" : ""));
      DisposeOptions o = test::plainOptions();
      o.cutFt = mode;
      o.pageWidth = 50;
      o.strokeAppearOrderOfPage = pageOrder;
      o.cutQuality.knifeOffsetMm = 0.5;
      const std::string out = pages(kTwoSquares, o);
      // The big square starts with the blade alignment: the knife comes down 20 units (0.5 mm)
      // below its start, where the closing side running down would have left it.
      EXPECT_NE(out.find("PU400,380;"), std::string::npos) << out;
      EXPECT_NE(out.find("PU1000,380;"), std::string::npos) << out;  // the small square, on page 1
    }
}

}  // namespace
}  // namespace qel::plot
