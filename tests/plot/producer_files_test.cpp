// What design programs actually write: pen-up runs, circles and labels as producers emit
// them, relative moves, user units, rectangles, polygons, encoded polylines, pages of files
// drawn around a centred origin. Each case comes from a file that was cut wrongly.
#include <gtest/gtest.h>

#include "plot_fixture.h"

namespace qel::plot::test {
namespace {

using Pages = std::vector<std::string>;

TEST(ProducerFiles, RollingSplitTakesRepeatedPenUpPoints) {
  // Repeated pen-up points once counted as strokes joined end to end, so a cut backed off
  // across the whole plot again and again.
  DisposeRun twice("IN;SP1;PU3000,100;PU3000,100;PU6000,100;PU6000,100;PU;", pagedOptions(6, 71));
  ASSERT_TRUE(twice.dispose()) << twice.file().errorText();
  EXPECT_EQ(twice.file().outputCount(), 3);
  EXPECT_EQ(pageBodies(twice), (Pages{"IN;", "LT;SP1;PU160,100;PU160,100;", "LT;SP1;PU320,100;PU320,100;"}));
  DisposeRun last("IN;SP1;PU3000,100;PU3000,100;PU6000,100;PU;", pagedOptions(6, 71));
  ASSERT_TRUE(last.dispose());
  EXPECT_EQ(pageBodies(last).back(), "LT;SP1;PU320,100;");
}

TEST(ProducerFiles, RollingSplitTakesACircleBesideALongLineWhole) {
  // The line is wider than a page and is cut; the circle across the cut is still carried whole
  // to the next page, and the line's far piece goes with it, so the pages add up along the roll
  // (material 850, then 1000, 1000, 150).
  DisposeRun run("IN;SP1;PU0,0;PD3000,0;PU;PU950,500;CI100;PU;", pagedOptions(6, 25));
  ASSERT_TRUE(run.dispose());
  EXPECT_EQ(run.page(0), "IN;IN;LT;SP1;PU0,0;PD1000,0;PX850;PG;");
  EXPECT_EQ(run.page(1), "IN;LT;SP1;PU150,0;PD1000,0;PU100,500;CI100;PX1000;PG;");
  EXPECT_EQ(run.page(2), "IN;LT;SP1;PU0,0;PD1000,0;PX1000;PG;");
  EXPECT_EQ(run.page(3), "IN;LT;SP1;PU0,0;PD150,0;PX150;ZH150;PG;");
}

TEST(ProducerFiles, ACircleIsWrittenOnceWhateverThePagesDo) {
  for (int mode : {4, 6, 8}) {
    DisposeRun run("IN;SP1;PU500,500;CI50;PD2500,500;PU;", pagedOptions(mode, 25));
    ASSERT_TRUE(run.dispose()) << mode;
    int circles = 0;
    for (const auto& b : pageBodies(run))
      for (size_t at = b.find("CI"); at != std::string::npos; at = b.find("CI", at + 1)) ++circles;
    EXPECT_EQ(circles, 1) << "mode " << mode;
    EXPECT_EQ(pageBodies(run)[0].rfind("IN;LT;SP1;PU500,500;CI50;", 0), 0u) << mode;
  }
}

TEST(ProducerFiles, APointOnThePageEdgeKeepsItsStrokeOnItsPage) {
  DisposeRun run("IN;SP1;PU900,100;PD1000,0,1100,0;PU;", pagedOptions(4, 25));
  ASSERT_TRUE(run.dispose());
  EXPECT_EQ(pageBodies(run), (Pages{"IN;LT;SP1;PU900,100;PD1000,0;", "LT;SP1;PU0,0;PD100,0;"}));
  // Ending exactly on the edge: the stroke stays on its page, nothing is made for the next.
  DisposeRun edge("IN;SP1;PU900,100;PD1000,0;PU;", pagedOptions(4, 25));
  ASSERT_TRUE(edge.dispose());
  EXPECT_EQ(pageBodies(edge), (Pages{"IN;LT;SP1;PU900,100;PD1000,0;"}));
}

TEST(ProducerFiles, WhatIsDrawnBeforeTheFirstPenUpIsCut) {
  EXPECT_EQ(disposeToText("IN;SP1;PA200,100;PD400,230;PU;PA100,300;PD;PA200,300;PU;"),
            "IN;IN;LT;SP1;PU200,100;PD400,230;PU100,300;PD200,300;PX400;ZH400;");
}

TEST(ProducerFiles, PenUpMovesTakeThePenToTheirPage) {
  DisposeRun run("IN;SP1;PU100,300;PA1500,300;PU;PA1600,500;PD;PA1700,500;PU;", pagedOptions(4, 25));
  ASSERT_TRUE(run.dispose());
  EXPECT_EQ(pageBodies(run), (Pages{"IN;", "LT;SP1;PU500,300;PU600,500;PD700,500;"}));
}

TEST(ProducerFiles, NegativeCoordinatesAreMovedOntoTheMaterial) {
  // Drawn about a centred origin: the drawing is moved so that its left and lower edges lie
  // at 0, and the hard partition cuts it like any other.
  DisposeRun run("IN;SP1;PU-100,-300;PD500,-200;PD1500,-100;PU;", pagedOptions(4, 25));
  ASSERT_TRUE(run.dispose());
  EXPECT_EQ(pageBodies(run), (Pages{"IN;LT;SP1;PU0,0;PD600,100;PD1000,140;", "LT;SP1;PU0,140;PD600,200;"}));
  // Page-order runs look at the whole file before writing the first page.
  DisposeOptions o = pagedOptions(5, 25);
  o.strokeAppearOrderOfPage = true;
  DisposeRun ordered("IN;SP1;PU-500,0;PD-400,0;PU1200,0;PD1300,0;PU;", o);
  ASSERT_TRUE(ordered.dispose());
  EXPECT_EQ(pageBodies(ordered), (Pages{"IN;LT;SP1;PU0,0;PD100,0;", "LT;SP1;PU700,0;PD800,0;"}));
  // Without a page window nothing is moved.
  DisposeOptions off = plainOptions();
  off.splitPageEnabled = false;
  EXPECT_EQ(disposeToText("PU-5,-5;PD5,5;", off), "IN;LT;SP1;PU-5,-5;PD5,5;PX5;ZH5;");
}

TEST(ProducerFiles, CirclesOfOneRunAndAfterAMoveAreAllKept) {
  EXPECT_EQ(disposeToText("IN;SP1;PU;PA100,100;CI20;PA300,100;CI20;PA500,100;CI20;PU;"),
            "IN;IN;LT;SP1;PU100,100;CI20;PU300,100;CI20;PU500,100;CI20;PX500;ZH500;");
  // The circle is about the pen-up point, and the line starts there.
  EXPECT_EQ(disposeToText("IN;SP1;PU500,500;CI50;PD700,500;PU;"),
            "IN;IN;LT;SP1;PU500,500;CI50;PU500,500;PD700,500;PX700;ZH700;");
  EXPECT_EQ(disposeToText("IN;SP1;PU 500,500;CI50;PU;"), "IN;IN;LT;SP1;PU500,500;CI50;PX500;ZH500;");
  // Converted to points, each circle is its own closed stroke about its own centre.
  DisposeOptions o = plainOptions();
  o.tranCi = true;
  o.arcLen = 20;  // 6 segments for radius 20
  DisposeRun run("IN;SP1;PU;PA100,100;CI20;PA300,100;CI20;PU;", o);
  ASSERT_TRUE(run.loadOnly());
  ASSERT_EQ(run.file().strokes().size(), 2u);
  for (int k = 0; k < 2; ++k) {
    const auto& pts = run.file().strokes()[k].points;
    EXPECT_EQ(pts.front(), (PlotPoint{120.0 + 200 * k, 100}));
    EXPECT_NEAR(pts.back().x, 120.0 + 200 * k, 1e-9);
    EXPECT_NEAR(pts.back().y, 100, 1e-9);
  }
}

TEST(ProducerFiles, LabelsEndAtTheirTerminator) {
  // ";" inside a label ended by ETX is text; nothing of the label is left for the end of the page.
  EXPECT_EQ(disposeToText("IN;SP1;PU100,100;LBHi; there\x03;PU200,200;PD300,300;"),
            "IN;IN;SP1PU100,100;LBHi; there\x03LT;SP1;PU200,200;PD300,300;;PX300;ZH300;");
  // The "DT" character ends a label where it stands before ";", a line break or a command.
  EXPECT_EQ(disposeToText("IN;DT*;SP1;PU100,100;LBa;b*PU200,200;PD300,300;"),
            "IN;IN;SP1DT*;PU100,100;LBa;b*LT;SP1;PU200,200;PD300,300;PX300;ZH300;");
  // Older programs end labels with ";" and write no terminator before the next label.
  DisposeRun run("SP2;PU40,50;LBAbc;PU;LBxyz\x03;PU0,0;LBend;", plainOptions());
  ASSERT_TRUE(run.loadOnly());
  ASSERT_EQ(run.file().labels().size(), 3u);
  EXPECT_EQ(run.file().labels()[0].labelText, "LBAbc;");
  EXPECT_EQ(run.file().labels()[1].labelText, "LBxyz\x03");
  EXPECT_EQ(run.file().labels()[2].labelText, "LBend;");
}

TEST(ProducerFiles, PenDownAfterABarePenUpStartsWhereThePenStands) {
  // gnuplot: a tick from the point the pen stands on.
  EXPECT_EQ(disposeToText("IN;SP1;PU5052,3780;PU;SP1;PD;PA5052,3887;PU;"),
            "IN;IN;LT;SP1;PU5052,3780;PU5052,3780;PD5052,3887;PX5052;ZH5052;");
}

TEST(ProducerFiles, PenZeroIsNoPen) {
  EXPECT_EQ(disposeToText("IN;SP1;PU0,0;PD100,100;SP0;PU0,0;PD500,500;PU;LBhidden\x03SP2;PU10,10;PD20,20;"),
            "IN;IN;LT;SP1;PU0,0;PD100,100;SP2;PU10,10;PD20,20;PX100;ZH100;");
}

TEST(ProducerFiles, RelativeMovesUserUnitsAndRectangles) {
  // "PR" moves from the pen's place (every pair of a relative "PU" counts); "PA" is absolute again.
  EXPECT_EQ(disposeToText("IN;SP1;PU0,0;PR100,0,0,100;PU-50,-50;PD100,0;PA0,0;PD10,10;"),
            "IN;IN;LT;SP1;PU100,100;PU50,50;PD150,50;PD0,0;PD10,10;PX150;ZH150;");
  // Scaling points and user units: 0..10000 user units over 0..8128 plotter units.
  EXPECT_EQ(disposeToText("IN;IP0,0,8128,8128;SC0,10000,0,10000;SP1;PA5000,5000;PD10000,5000;PU;"),
            "IN;IN;LT;SP1;PU4064,4064;PD8128,4064;PX8128;ZH8128;");
  // Point-factor scaling, and user units without scaling points (one unit is one plotter unit).
  EXPECT_EQ(disposeToText("SC0,2,0,3,2;SP1;PA10,10;PD20,10;PU;SC100,200,0,100;PA100,0;PD200,50;PU;SC;PA1,1;PD2,2;"),
            "IN;LT;SP1;PU20,30;PD40,30;PU0,0;PD100,50;PU1,1;PD2,2;PX100;ZH100;");
  // Rectangles: the outline from the pen's place; the pen stays where it was.
  EXPECT_EQ(disposeToText("IN;SP1;PA10,10;EA30,20;ER-5,5;RA1,1;PD20,10;"),
            "IN;IN;LT;SP1;PU10,10;PD30,10;PD30,20;PD10,20;PD10,10;PU10,10;PD5,10;PD5,15;PD10,15;PD10,10;"
            "PU10,10;PD1,10;PD1,1;PD10,1;PD10,10;PU10,10;PD20,10;PX30;ZH30;");
}

TEST(ProducerFiles, PolygonsAreCutWhereTheyAreEdged) {
  // plotutils: a closed path (pen down when it is closed) gets its closing edge, an open one
  // does not; fills and pen widths are left out, not piled up at the end of the page.
  EXPECT_EQ(disposeToText("IN;SP1;PW0.3;FT1;PA0,0;PM0;PD;PA100,0,100,100;PM2;PU;EP;FP;"
                          "PA200,0;PM0;PD;PA300,0,300,100;PU;PM2;EP;"),
            "IN;IN;LT;SP1;PU0,0;PD100,0;PD100,100;PD0,0;PU200,0;PD300,0;PD300,100;PX300;ZH300;");
  // A polygon that is only filled is not cut; two subpolygons each close on their own start.
  EXPECT_EQ(disposeToText("IN;SP1;PU0,0;PM0;PD10,0,10,10;PM2;FP;PU50,50;PM0;PD60,50,60,60;PM1;PU70,70;PD80,70,80,80;PM2;EP;"),
            "IN;IN;LT;SP1;PU50,50;PD60,50;PD60,60;PD50,50;PU70,70;PD80,70;PD80,80;PD70,70;PX80;ZH80;");
}

TEST(ProducerFiles, EncodedPolylines) {
  // Base-64 digits, least significant first; the lowest bit of a value is its sign. 100 is
  // 200 = 8 + 3 * 64: "G" then the last digit 3 + 191. -50 is 101 = 37 + 1 * 64: "d" + (1 + 191).
  const std::string e100 = std::string("G") + static_cast<char>(3 + 191);
  const std::string m50 = std::string("d") + static_cast<char>(1 + 191);
  const std::string zero(1, static_cast<char>(191));
  EXPECT_EQ(disposeToText("IN;SP1;PA10,10;PE<" + e100 + zero + e100 + zero + zero + e100 + m50 + m50 + ";PU;"),
            "IN;IN;LT;SP1;PU110,10;PD210,10;PD210,110;PD160,60;PX210;ZH210;");
  // Seven-bit digits and an absolute point.
  const std::string a7 = "?a";  // 64 = 0 + 2 * 32, the sign bit clear: 32
  EXPECT_EQ(disposeToText("IN;SP1;PU0,0;PE7=" + a7 + a7 + ";PU;"), "IN;IN;LT;SP1;PU0,0;PD32,32;PX32;ZH32;");
}

TEST(ProducerFiles, SpeedAndForceTakeEffectWhereTheFileSetsThem) {
  EXPECT_EQ(disposeToText("IN;SP1;PU0,0;PD10,0;VS20;PD20,0;PU;FS3;PU30,0;PD40,0;PU;CO\"a;b\";PW0.5;"),
            "IN;IN;LT;SP1;PU0,0;PD10,0;VS20;PD20,0;FS3;PU30,0;PD40,0;PX40;ZH40;");
}

TEST(ProducerFiles, ArcsAreCutWithThePagesThatCutThem) {
  // Where pages cut strokes an arc is drawn as points; elsewhere the machine draws it, with the
  // pen down when the file had it down.
  DisposeRun run("IN;SP1;PU900,0;PD;AA1000,0,-180;PU;", pagedOptions(4, 25));
  ASSERT_TRUE(run.dispose());
  const auto b = pageBodies(run);
  ASSERT_EQ(b.size(), 2u);
  EXPECT_EQ(b[0].find("AA"), std::string::npos);
  EXPECT_NE(b[1].find("PD100,0;"), std::string::npos);  // the far end of the half circle
  EXPECT_EQ(disposeToText("IN;SP1;PU900,0;PD;AA1000,0,-180;PU;"),
            "IN;IN;LT;SP1;PU900,0;PD;AA1000.000000,0,-180;PX900;ZH900;");
}

}  // namespace
}  // namespace qel::plot::test
