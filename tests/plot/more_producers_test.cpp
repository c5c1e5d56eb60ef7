// Files of diagram, figure and circuit-board programs: commands ended only by the next command
// or by a line break, labels with their terminator reset, circles inside polygons, arcs in
// flipped user units, circles across page edges. Each case comes from a file that was cut wrongly.
#include <gtest/gtest.h>

#include <cmath>
#include <regex>

#include "plot_fixture.h"

namespace qel::plot::test {
namespace {

TEST(MoreProducers, FileTextInPagesOut) {
  struct Case {
    const char* what;
    std::string hpgl;
    std::vector<std::string> pages;
  };
  const Case cases[] = {
      // A command's parameters end at the next command; line breaks separate, never a zero.
      {"relative move after a line break", "IN;SP1;PU4000,4000;PR\nPD100,0\nPU;",
       {"IN;LT;SP1;PU4000,4000;PD4100,4000;"}},
      {"bare PD before a line break", "IN;SP1;PU100,100;PD\nPA200,200;PU;", {"IN;LT;SP1;PU100,100;PD200,200;"}},
      {"bare PU before a line break", "IN;SP1;PU100,100;PD200,200;PU\nPD300,300;",
       {"IN;LT;SP1;PU100,100;PD200,200;PU200,200;PD300,300;"}},
      {"pairs on separate lines", "PU0,0;PD10,20\r\n30,40\n;", {"LT;SP1;PU0,0;PD10,20;PD30,40;"}},
      {"pen number before a line break", "SP\n;PU0,0;PD5,5;", {"LT;SP1;PU0,0;PD5,5;"}},
      // The last command counts without a terminator.
      {"last command unterminated", "IN;SP1;PU0,0;PD1000,0;PU0,500;PD1000,500",
       {"IN;LT;SP1;PU0,0;PD1000,0;PU0,500;PD1000,500;"}},
      // A circle's radius ends at the next command.
      {"circle then label", "IN;SP1;PU100,100;CI10LBA\x03;PU;", {"IN;SP1PU100,100;LBA\x03LT;SP1;PU100,100;CI10;;"}},
      {"circle then lines on their own lines", "IN;SP1;PU100,100;CI50\nPU500,500\nPD600,600\nPU;",
       {"IN;LT;SP1;PU100,100;CI50;PU500,500;PD600,600;"}},
      {"circle glued to the next command", "IN;SP1;PU100,100;CI50PU500,500;PD600,600;",
       {"IN;LT;SP1;PU100,100;CI50;PU500,500;PD600,600;"}},
      // The terminator reset is written so that no reader takes the next letter for it.
      {"label terminator reset", "IN;SP1;DT*;PU0,0;LBA*DT;PU100,1000;LBB\x03;",
       {"IN;SP1DT*;PU0,0;LBA*SP1DT\x03;PU100,1000;LBB\x03;"}},
      // Label size, slant and spacing go with the label; pen colours where they stand; comments,
      // quoted or not, are dropped.
      {"label attributes and comments",
       "IN;SP1;SR1.5,2;SL0.3;ES1;PU0,0;LBA\x03PC1,255,0,0;PU5,5;PD10,10;CO hello PU world;CO\"a;b\";PU0,0;PD1,1;",
       {"IN;SP1SR1.5,2;SL0.3;ES1;PU0,0;LBA\x03LT;SP1;PC1,255,0,0;PU5,5;PD10,10;PU0,0;PD1,1;"}},
      // Arcs in user units with the y axis flipped (P1 above P2): the machine draws the arc
      // turning the other way about the scaled centre.
      {"arc with a flipped axis", "IN;IP0,4000,4000,0;SC0,100,0,100;SP1;PA50,0;PD;AA50,50,90;PU;",
       {"IN;LT;SP1;PU2000,4000;PD;AA2000.000000,2000,-90;"}},
  };
  for (const auto& c : cases) {
    DisposeRun run(c.hpgl, plainOptions());
    ASSERT_TRUE(run.dispose()) << c.what << ": " << run.file().errorText();
    EXPECT_EQ(pageBodies(run), c.pages) << c.what;
  }
}

// The drawing of a run put back together: every pen-down segment of every page, moved by its
// page's place along the material, and the circles written as "CI".
struct Drawn {
  std::vector<std::pair<PlotPoint, PlotPoint>> segments;
  int circles = 0;
  int pages = 0;
  double minX = INFINITY, maxX = -INFINITY;  // page-relative, over all pages
};

Drawn drawnBy(DisposeRun& run, int mode, double widthMm) {
  Drawn d;
  const double w = widthMm * kUnitsPerMm;
  double rollOffset = 0;
  const std::regex command("(P[UD])(-?[0-9.e+-]+),(-?[0-9.e+-]+);|CI|PX([0-9]+);");
  for (int p = 0; p < run.file().outputCount(); ++p) {
    const std::string text = run.page(p);
    if (text == "<missing>") continue;
    ++d.pages;
    const double offset = mode == 6 ? rollOffset : p * w;
    PlotPoint at{};
    for (auto it = std::sregex_iterator(text.begin(), text.end(), command); it != std::sregex_iterator(); ++it) {
      const auto& m = *it;
      if (m.str(0) == "CI") {
        ++d.circles;
      } else if (m[4].matched) {
        rollOffset += std::stod(m.str(4));
      } else {
        const PlotPoint q{std::stod(m.str(2)), std::stod(m.str(3))};
        d.minX = std::min(d.minX, q.x);
        d.maxX = std::max(d.maxX, q.x);
        const PlotPoint shifted{q.x + offset, q.y};
        if (m.str(1) == "PD") d.segments.push_back({at, shifted});
        at = shifted;
      }
    }
  }
  return d;
}

TEST(MoreProducers, CirclesAndArcsAgainstPageEdges) {
  struct Case {
    const char* what;
    int mode;
    double widthMm;
    std::string hpgl;
    PlotPoint centre;
    double radius;  // the curve every segment lies on
    double sweepDeg;
    int pages, circles;
  };
  const Case cases[] = {
      // Wider than a page in the rolling split: cut as chords across the cut.
      {"rolling split, circle wider than the page", 6, 7, "IN;SP1;PU200,500;CI150;PU;", {200, 500}, 150, 360, 2, 0},
      // Across a page edge where pages cut strokes: chords, cut at the edge.
      {"hard partition", 4, 25, "IN;SP1;PU950,500;CI100;PU;", {950, 500}, 100, 360, 2, 0},
      {"hard partition by pen", 7, 25, "IN;SP1;PU950,500;CI100;PU;", {950, 500}, 100, 360, 2, 0},
      {"contours", 8, 25, "IN;SP1;PU950,500;CI100;PU;", {950, 500}, 100, 360, 2, 0},
      {"within its page the circle stays whole", 4, 25, "IN;SP1;PU500,500;CI100;PU;", {500, 500}, 100, 0, 1, 1},
      // A pad of a circuit board: a circle inside a polygon is edged with it.
      {"circle in a polygon", 5, 1000, "IN;SP1;PU;PA 5697,4612;PM 0; PA 5664,4612;CI 32;PM 2; FP; EP;",
       {5664, 4612}, 32, 360, 1, 0},
      // A half circle left of the origin: the drawing is moved onto the material by the arc's
      // true reach, so no chord lies left of a page.
      {"arc reaching left of the origin", 4, 25, "IN;SP1;PU-24.4290,5999.7015;PD;AA0,5000,180;PU;", {1000, 5000},
       1000, 180, 2, 0},
  };
  for (const auto& c : cases) {
    DisposeRun run(c.hpgl, pagedOptions(c.mode, c.widthMm));
    ASSERT_TRUE(run.dispose()) << c.what << ": " << run.file().errorText();
    const Drawn d = drawnBy(run, c.mode, c.widthMm);
    EXPECT_EQ(d.pages, c.pages) << c.what;
    EXPECT_EQ(d.circles, c.circles) << c.what;
    if (c.sweepDeg == 0) continue;
    // Every page's content lies within its width.
    EXPECT_GE(d.minX, 0.0) << c.what;
    EXPECT_LE(d.maxX, c.widthMm * kUnitsPerMm) << c.what;
    // The pieces put back together lie on the circle (a point where a page edge cuts a chord
    // lies on that chord, within a quarter unit inside) and are as long as the curve.
    double length = 0;
    for (const auto& [a, b] : d.segments) {
      for (const PlotPoint& q : {a, b}) {
        const double r = std::hypot(q.x - c.centre.x, q.y - c.centre.y);
        EXPECT_LE(r, c.radius + 0.01) << c.what;
        EXPECT_GE(r, c.radius - 0.26) << c.what;
      }
      length += std::hypot(b.x - a.x, b.y - a.y);
    }
    EXPECT_NEAR(length, c.radius * c.sweepDeg * M_PI / 180, 0.002 * c.radius * c.sweepDeg * M_PI / 180) << c.what;
  }
}

TEST(MoreProducers, ArcsInUnequalUserUnitsAreDrawnAsPoints) {
  // 40 plotter units a user unit along x, 20 along y (flipped): the quarter circle of the file
  // becomes a quarter ellipse, which no "AA" can draw.
  DisposeRun run("IN;IP0,4000,4000,2000;SC0,100,0,100;SP1;PA50,0;PD;AA50,50,90;PU;", plainOptions());
  ASSERT_TRUE(run.loadOnly());
  ASSERT_EQ(run.file().strokes().size(), 1u);
  const auto& pts = run.file().strokes()[0].points;
  EXPECT_EQ(pts.front(), (PlotPoint{2000, 4000}));
  EXPECT_NEAR(pts.back().x, 4000, 1e-6);
  EXPECT_NEAR(pts.back().y, 3000, 1e-6);
  for (const auto& p : pts) EXPECT_NEAR(std::pow((p.x - 2000) / 2000, 2) + std::pow((p.y - 3000) / 1000, 2), 1.0, 1e-9);
}

TEST(MoreProducers, TheWorkOfACircleIsBoundedByWhatCanBeCut) {
  // A huge circle cut as chords on 10 mm pages would fill hundreds of pages with a cut that
  // lies off the material: it is refused, and the text names the circle.
  DisposeOptions o = pagedOptions(4, 10);
  o.pageHeight = 1200;
  o.tranCi = true;
  DisposeRun huge("IN;SP1;PU100000,100000;CI100000;PU;", o);
  EXPECT_FALSE(huge.dispose());
  EXPECT_NE(huge.file().errorText().find("circle of radius 2500.00 mm"), std::string::npos) << huge.file().errorText();
  EXPECT_NE(huge.file().errorText().find("5000.00 mm across, more than the page height of 1200.00 mm"),
            std::string::npos);
  EXPECT_TRUE(huge.reports().empty());
  // Without a chord length the chords are a plotter unit long, the machine's step.
  o = plainOptions();
  o.tranCi = true;
  o.arcLen = 0;
  DisposeRun fine("IN;SP1;PU500,500;CI100;PU;", o);
  ASSERT_TRUE(fine.loadOnly());
  EXPECT_EQ(fine.file().strokes()[0].points.size(), 628u + 1);
}

TEST(MoreProducers, UserUnitsWithoutScalingPointsAreSaidOnce) {
  // The 100 x 100 user units of the file count as plotter units: the drawing comes out
  // 2.5 x 1.25 mm. Said once however often "SC" comes.
  DisposeRun plain("IN;SC0,100,0,100;SP1;PU0,0;PD100,0,100,50;SC0,100,0,100;PU;", plainOptions());
  ASSERT_TRUE(plain.dispose());
  ASSERT_EQ(plain.file().notices().size(), 1u);
  EXPECT_EQ(plain.file().notices()[0].kind, ReadNotice::Kind::ScaleWithoutScalingPoints);
  EXPECT_DOUBLE_EQ(plain.file().notices()[0].widthMm, 2.5);
  EXPECT_DOUBLE_EQ(plain.file().notices()[0].heightMm, 1.25);
  // With scaling points, or with point factors, nothing is said.
  for (const char* hpgl : {"IN;IP0,0,4000,4000;SC0,100,0,100;SP1;PU0,0;PD100,0;", "IN;SC0,2,0,2,2;SP1;PU0,0;PD100,0;"}) {
    DisposeRun scaled(hpgl, plainOptions());
    ASSERT_TRUE(scaled.dispose());
    EXPECT_TRUE(scaled.file().notices().empty()) << hpgl;
  }
}

}  // namespace
}  // namespace qel::plot::test
