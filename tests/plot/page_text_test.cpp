// Files of design programs as they are written: commands ended only by the next command or by
// a line break, pen-up runs, circles and labels as producers emit them, relative moves, user
// units, rectangles, polygons, encoded polylines, drawings about a centred origin, arcs in
// flipped user units, circles across page edges. Each case comes from a file that was cut wrongly.
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "plot_fixture.h"

namespace qel::plot::test {
namespace {

using Pages = std::vector<std::string>;

// Page bodies (without "IN;" and trailer) byte for byte: each row a file under the options it
// changes from the plain ones.
TEST(PageText, FileTextInPagesOut) {
  DisposeOptions noWindow = plainOptions(), leaveCut = plainOptions(), cutter = plainOptions(), penGroups = plainOptions();
  noWindow.splitPageEnabled = false;
  leaveCut.leaveCut = true;
  leaveCut.distLeaveCut = 1;  // 40 units
  cutter.cutterHandle = true;
  DisposeOptions cutLeave = leaveCut;
  cutLeave.cutterHandle = true;
  penGroups.cutFt = 7, penGroups.spOut[0] = 2, penGroups.spOut[1] = 1, penGroups.spOut[2] = 2;
  DisposeOptions window = pagedOptions(0, 10), pauses = pagedOptions(3, 1000), pausesPu = pauses;
  window.pageHeight = 10;  // 400 x 400 units
  pauses.splitLabel = "1;";
  pausesPu.splitLabel = ";PU";
  DisposeOptions contours = pagedOptions(8, 25), noWidth = pagedOptions(2, 0);
  contours.occ = true;
  contours.spn = 2;
  DisposeOptions pageOrder = pagedOptions(5, 25);
  pageOrder.strokeAppearOrderOfPage = true;
  // Encoded polylines: base-64 digits, least significant first, the lowest bit of a value its
  // sign. 100 is 200 = 8 + 3 * 64: "G" then the last digit 3 + 191; -50 is 101 = 37 + 1 * 64.
  const std::string e100 = std::string("G") + static_cast<char>(3 + 191), zero(1, static_cast<char>(191));
  const std::string m50 = std::string("d") + static_cast<char>(1 + 191);
  struct Case {
    const char* what;
    std::string hpgl;
    Pages pages;
    DisposeOptions options = plainOptions();
  };
  const Case cases[] = {
      // The reader: "PU" with two pairs keeps the first only; a pen-up "PA" moves the last point;
      // line breaks separate numbers like "," and " "; a trailing number is the y of the last
      // pair; a single "PU" point is a stroke at the next "PU", at the end a stroke needs two.
      {"PU PD PA", "PU10,20;PD30,40,50,60;PA70,80;PU1,2;", {"LT;SP1;PU10,20;PD30,40;PD50,60;PD70,80;"}},
      {"pen-up moves", "PU10,20,30,40;PA50,60;PA70,80;PD1,1;PU0,0;", {"LT;SP1;PU70,80;PD1,1;"}},
      {"line breaks", "PU0,0;PD10,20\r\n30,40,50;PU0,0;", {"LT;SP1;PU0,0;PD10,20;PD30,40;PD30,50;"}},
      {"spaces and commas", "PU 5, 6;PD 7 8, 9,10;PU0,0;", {"LT;SP1;PU5,6;PD7,8;PD9,10;"}},
      {"letters end the numbers", "PU0,0PD5,5PU9,9;", {"LT;SP1;PU0,0;PD5,5;"}},
      {"lone pen-up points", "PU1,1;PU2,2;PU3,3;", {"LT;SP1;PU1,1;PU2,2;"}},
      {"lower case is no command: carried before the first command", "pu10,10;pd20,20;PU0,0;PD1,1;",
       {"pu10,10;pd20,20;LT;SP1;PU0,0;PD1,1;"}},
      // A pen change while cutting continues from the same point; pen up, the stroke under
      // construction takes the pen; an empty "SP" changes nothing.
      {"pen change while cutting", "SP1;PU0,0;PD10,0,10,10;SP3;PD20,20;PU0,0;",
       {"LT;SP1;PU0,0;PD10,0;PD10,10;SP3;PU10,10;PD20,20;"}},
      {"pen change pen up", "PU0,0;SP4;SP;PD5,5;PU0,0;", {"LT;SP4;PU0,0;PD5,5;"}},
      // Arcs go before their point; a stroke begun before "LT;" keeps its line type.
      {"arc and line types", "LT2,1.5,1;PU0,0;PD10,0;AA0,0,90;PD20,0;PU0,0;LT;PU1,1;PD2,2;",
       {"LT2,1.5,1;SP1;PU0,0;PD10,0;AA0.000000,0,90;PD20,0;PU0,0;LT;PU1,1;PD2,2;"}},
      // Single-page modes drop strokes leaving the window (the last one is kept all the same);
      // multi-page modes shift strokes into their page, mode 5 by the page of the "PU", whole.
      {"window of mode 0", "PU0,0;PD100,100;PU0,0;PD500,100;PU0,0;PD50,50;PU0,0;PD9999,0;",
       {"LT;SP1;PU0,0;PD100,100;PU0,0;PD50,50;PU0,0;PD9999,0;"}, window},
      {"pages of mode 2", "PU10000,50;PD10100,60;PU0,0;", {"", "<missing>", "LT;SP1;PU2000,50;PD2100,60;"},
       pagedOptions(2, 100)},
      {"pages of mode 5", "PU3900,0;PD4100,0;PU8100,0;PD8200,0;",
       {"LT;SP1;PU3900,0;PD4100,0;", "<missing>", "LT;SP1;PU100,0;PD200,0;"}, pagedOptions(5, 100)},
      // A page width of 0 turns the page window off.
      {"no page width", "PU900000,5;PD990000,5;", {"LT;SP1;PU900000,5;PD990000,5;"}, noWidth},
      // Contours: what is inside first, the contour with pen SPN; strokes split at the edges
      // whole, one that merely reaches an edge (1500 to 2000) kept on its page.
      {"contours", "SP1;PU100,100;PD900,100,900,900,100,900,100,100;PU500,500;PD600,600;PU900,950;PD2100,950;"
                   "PU1500,0;PD2000,0;PU0,0;",
       {"LT;SP1;PU500,500;PD600,600;SP2;PU100,100;PD900,100;PD900,900;PD100,900;PD100,100;SP1;PU900,950;PD1000,950;",
        "LT;SP1;PU0,950;PD1000,950;PU500,0;PD1000,0;", "LT;SP1;PU0,950;PD100,950;"},
       contours},
      // Mode 3 counts pause commands; characters after the terminator count too, and are read again.
      {"pauses of mode 3", "PU0,0;PD1,1;PU;PG1;PU0,0;PD2,2;PU;NR;PU0,0;PD3,3;PU;PG1;PG;PU0,0;PD4,4;PU0,0;",
       {"LT;SP1;PU0,0;PD1,1;", "LT;SP1;PU0,0;PD2,2;PU0,0;PD3,3;", "LT;SP1;PU0,0;PD4,4;"}, pauses},
      {"pause label read again", "PU0,0;PD1,1;PU;PG;PU0,0;PD2,2;PU0,0;", {"LT;SP1;PU0,0;PD1,1;", "LT;SP1;PU0,0;PD2,2;"},
       pausesPu},
      // Line type and pen are written only when they change.
      {"one pen", "PU0,0;PD100,0;PU0,10;PD100,10;", {"LT;SP1;PU0,0;PD100,0;PU0,10;PD100,10;"}},
      {"pens and line types", "SP2;PU0,0;PD1,0;PU;SP3;PU0,5;PD1,5;PU;LT4,2.5;PU0,9;PD1,9;",
       {"LT;SP2;PU0,0;PD1,0;SP3;PU0,5;PD1,5;LT4,2.5;PU0,9;PD1,9;"}},
      // Without a page window negative numbers stay as written; six significant digits.
      {"numbers", "PU123456.7,0.5;PD2000000,-3;", {"LT;SP1;PU123457,0.5;PD2e+06,-3;"}, noWindow},
      {"inserted commands before their point", "PU0,0;AA5,5,90;PD10,0;PD20,0;AA1,1,45;",
       {"LT;SP1;PU0,0;AA5.000000,5,90;PD10,0;PD20,0;AA1.000000,1,45;"}, noWindow},
      // "1e999": the letter ends the number; "--5" reads as 0. Text met between the first two
      // commands still counts as the file header; text after it is filtered at the end.
      {"odd numbers", "PU1e999,5;PD--5,7;", {"e999,5;LT;SP1;PU1,0;PD0,7;"}},
      {"text around commands", "IN;\r\nPU0,0;PD5,5;\r\nXY 1;", {"IN;\r\nLT;SP1;PU0,0;PD5,5;XY1;"}},
      {"left of the first page", "PU-90000,5;PD-80000,5;", {"LT;SP1;PU0,5;PD10000,5;"}},
      // A truncated file: a pen-up move at the end draws nothing; a label gets its terminator.
      {"truncated move", "PU0,0;PD10,10;PU20,2", {"LT;SP1;PU0,0;PD10,10;"}},
      {"truncated label", "PU0,0;PD10,10;LBunfinished", {"SP1PU10,10;LBunfinished\x03LT;SP1;PU0,0;PD10,10;"}},
      // Leave-cut stops short of the last point, for pen 2 only.
      {"leave cut", "SP2;PU0,0;PD50,0,50,100;", {"LT;SP2;PU0,0;PD50,0;PD50,60;"}, leaveCut},
      {"leave cut backwards", "SP2;PU0,0;PD200,0,100,0;", {"LT;SP2;PU0,0;PD200,0;PD140,0;"}, leaveCut},
      {"leave cut shorter than its distance", "SP2;PU0,0;PD0,0,30,0;", {"LT;SP2;PU0,0;PD0,0;"}, leaveCut},
      {"leave cut other pens", "SP1;PU0,0;PD0,0,30,0;", {"LT;SP1;PU0,0;PD0,0;PD30,0;"}, leaveCut},
      // The cutter variant draws out-and-back spurs with pen 1 and never changes pen 1 strokes.
      {"cutter, nothing doubled", "SP2;PU0,0;PD10,0,10,10,0,10;", {"LT;SP2;SP2;PU0,0;PD10,0;PD10,10;PD0,10;"}, cutter},
      {"cutter, a spur", "SP2;PU0,0;PD10,0,20,0,10,0,10,10,0,10;",
       {"LT;SP2;SP2;PU0,0;PD10,0;SP1;PU10,0;PD20,0;PD10,0;SP2;PU10,0;PD10,0;PD10,10;PD0,10;"}, cutter},
      // A stroke ending back over its first segment draws that segment first with pen 1; a spur
      // at the very end; leave-cut stops short with inserted commands still before their point.
      {"cutter, back over the first segment", "SP2;PU0,0;PD100,0,100,100,100,0,0,0;",
       {"LT;SP2;SP1;PU0,0;PD100,0;SP2;PD100,0;SP1;PU100,0;PD100,100;PD100,0;SP2;PU100,0;PD100,100;PD100,0;"}, cutter},
      {"cutter, leave cut", "SP2;PU0,0;PD100,0;AA0,0,90;PD100,100;",
       {"LT;SP2;SP2;PU0,0;PD100,0;AA0.000000,0,90;PD100,60;"}, cutLeave},
      {"cutter, pen 1", "SP1;PU0,0;PD10,0,0,0;", {"LT;SP1;PU0,0;PD10,0;PD0,0;"}, cutter},
      // Older programs end labels with ";" and write no terminator before the next label.
      {"labels first with their attributes", "IN;SP2;DI0,1;SI0.2,0.3;PU40,50;LBAbc;PU;LBxyz\x03PU0,0;LBend;SP1;PU0,0;PD1,1;",
       {"IN;SP2DI0,1SI0.2,0.3PU40,50;LBAbc;SP2DI0,1SI0.2,0.3PU40,50;LBxyz\x03SP2DI0,1SI0.2,0.3PU0,0;LBend;LT;SP1;PU0,0;PD1,1;"}},
      {"WD opens every page", "WD12;PU0,0;PD1,1;", {"WD12;LT;SP1;PU0,0;PD1,1;"}},
      // Mode 7 cuts pen by pen in the order given; a pen named twice is written once.
      {"pen groups", "SP1;PU0,0;PD1,0;PU;SP2;PU0,5;PD1,5;PU;SP1;PU0,9;PD1,9;PU;SP5;PU3,3;PD4,4;",
       {"LT;SP2;PU0,5;PD1,5;SP1;PU0,0;PD1,0;PU0,9;PD1,9;SP5;PU3,3;PD4,4;"}, penGroups},
      // A command's parameters end at the next command; line breaks separate, never a zero.
      {"relative move after a line break", "IN;SP1;PU4000,4000;PR\nPD100,0\nPU;",
       {"IN;LT;SP1;PU4000,4000;PD4100,4000;"}},
      {"bare PD before a line break", "IN;SP1;PU100,100;PD\nPA200,200;PU;", {"IN;LT;SP1;PU100,100;PD200,200;"}},
      {"bare PU before a line break", "IN;SP1;PU100,100;PD200,200;PU\nPD300,300;",
       {"IN;LT;SP1;PU100,100;PD200,200;PU200,200;PD300,300;"}},
      {"pairs on separate lines", "PU0,0;PD10,20\r\n30,40\n;", {"LT;SP1;PU0,0;PD10,20;PD30,40;"}},
      {"pen number before a line break", "SP\n;PU0,0;PD5,5;", {"LT;SP1;PU0,0;PD5,5;"}},
      {"last command unterminated", "IN;SP1;PU0,0;PD1000,0;PU0,500;PD1000,500",
       {"IN;LT;SP1;PU0,0;PD1000,0;PU0,500;PD1000,500;"}},
      {"drawn before the first pen-up", "IN;SP1;PA200,100;PD400,230;PU;PA100,300;PD;PA200,300;PU;",
       {"IN;LT;SP1;PU200,100;PD400,230;PU100,300;PD200,300;"}},
      // gnuplot: a tick from the point the pen stands on.
      {"pen down after a bare pen-up", "IN;SP1;PU5052,3780;PU;SP1;PD;PA5052,3887;PU;",
       {"IN;LT;SP1;PU5052,3780;PU5052,3780;PD5052,3887;"}},
      {"pen zero is no pen", "IN;SP1;PU0,0;PD100,100;SP0;PU0,0;PD500,500;PU;LBhidden\x03SP2;PU10,10;PD20,20;",
       {"IN;LT;SP1;PU0,0;PD100,100;SP2;PU10,10;PD20,20;"}},
      // Quoted text in "BP" may hold ";" and command letters.
      {"speed and force where the file sets them",
       "IN;SP1;PU0,0;PD10,0;VS20;PD20,0;PU;FS3;PU30,0;PD40,0;PU;CO\"a;b\";PW0.5;BP\"a;PD9,9\",1;",
       {"IN;LT;SP1;PU0,0;PD10,0;VS20;PD20,0;FS3;PU30,0;PD40,0;"}},
      // "PR" moves from the pen's place (every pair of a relative "PU" counts); "PA" is absolute again.
      {"relative moves", "IN;SP1;PU0,0;PR100,0,0,100;PU-50,-50;PD100,0;PA0,0;PD10,10;",
       {"IN;LT;SP1;PU100,100;PU50,50;PD150,50;PD0,0;PD10,10;"}},
      // "DF" turns user units and relative moves off.
      {"user units", "IN;IP0,0,8128,8128;SC0,10000,0,10000;SP1;PA5000,5000;PD10000,5000;PU;PR;DF;PU1,1;PD2,1;",
       {"IN;LT;SP1;PU4064,4064;PD8128,4064;PU1,1;PD2,1;"}},
      // Rectangles: the outline from the pen's place; the pen stays where it was.
      {"rectangles", "IN;SP1;PA10,10;EA30,20;ER-5,5;RA1,1;PD20,10;",
       {"IN;LT;SP1;PU10,10;PD30,10;PD30,20;PD10,20;PD10,10;PU10,10;PD5,10;PD5,15;PD10,15;PD10,10;"
        "PU10,10;PD1,10;PD1,1;PD10,1;PD10,10;PU10,10;PD20,10;"}},
      // plotutils: a closed path (pen down when it is closed) gets its closing edge, an open one
      // does not; fills and pen widths are left out, not piled up at the end of the page.
      {"polygons edged", "IN;SP1;PW0.3;FT1;PA0,0;PM0;PD;PA100,0,100,100;PM2;PU;EP;FP;PA200,0;PM0;PD;PA300,0,300,100;PU;PM2;EP;",
       {"IN;LT;SP1;PU0,0;PD100,0;PD100,100;PD0,0;PU200,0;PD300,0;PD300,100;"}},
      // Only filled: not cut; two subpolygons each close on their own start.
      {"polygons filled", "IN;SP1;PU0,0;PM0;PD10,0,10,10;PM2;FP;PU50,50;PM0;PD60,50,60,60;PM1;PU70,70;PD80,70,80,80;PM2;EP;",
       {"IN;LT;SP1;PU50,50;PD60,50;PD60,60;PD50,50;PU70,70;PD80,70;PD80,80;PD70,70;"}},
      {"encoded polyline", "IN;SP1;PA10,10;PE<" + e100 + zero + e100 + zero + zero + e100 + m50 + m50 + ";PU;",
       {"IN;LT;SP1;PU110,10;PD210,10;PD210,110;PD160,60;"}},
      // Seven-bit digits and an absolute point: "?a" is 64 = 0 + 2 * 32, the sign bit clear: 32.
      // ":" picks the pen, ">" the fractional bits: 1 bit halves every number.
      {"encoded polyline, pen and fraction", "IN;SP1;PU0,0;PE:" + std::string(1, static_cast<char>(195)) + ">" +
           std::string(1, static_cast<char>(193)) + e100 + zero + ";", {"IN;LT;SP2;PU0,0;PD50,0;"}},
      // A circle in a polygon closes the subpolygon drawn before it, pen down, back to its start.
      {"circle in a polygon", "IN;SP1;PU0,10;PM0;PD10,10;CI1;PM2;EP;",
       {"IN;LT;SP1;PU0,10;PD10,10;PD0,10;PU11,10;PD9.5,10.866;PD9.5,9.13397;PD11,10;"}},
      {"encoded polyline, seven bits", "IN;SP1;PU0,0;PE7=?a?a;PU;", {"IN;LT;SP1;PU0,0;PD32,32;"}},
      // Circles: the radius ends at the next command; every circle of a pen-up run is kept, about
      // the pen-up point, and a line goes on from there.
      {"circle then label", "IN;SP1;PU100,100;CI10LBA\x03;PU;", {"IN;SP1PU100,100;LBA\x03LT;SP1;PU100,100;CI10;;"}},
      {"circle then lines on their own lines", "IN;SP1;PU100,100;CI50\nPU500,500\nPD600,600\nPU;",
       {"IN;LT;SP1;PU100,100;CI50;PU500,500;PD600,600;"}},
      {"circle glued to the next command", "IN;SP1;PU100,100;CI50PU500,500;PD600,600;",
       {"IN;LT;SP1;PU100,100;CI50;PU500,500;PD600,600;"}},
      {"circles of one pen-up run", "IN;SP1;PU;PA100,100;CI20;PA300,100;CI20;PA500,100;CI20;PU;",
       {"IN;LT;SP1;PU100,100;CI20;PU300,100;CI20;PU500,100;CI20;"}},
      {"line from a circle's centre", "IN;SP1;PU500,500;CI50;PD700,500;PU;",
       {"IN;LT;SP1;PU500,500;CI50;PU500,500;PD700,500;"}},
      {"circle after a spaced pen-up", "IN;SP1;PU 500,500;CI50;PU;", {"IN;LT;SP1;PU500,500;CI50;"}},
      // Labels: ";" inside a label ended by ETX is text, and nothing of it is left for the end of
      // the page; the "DT" character ends one where it stands before ";", a line break or a command.
      {"label with a semicolon", "IN;SP1;PU100,100;LBHi; there\x03;PU200,200;PD300,300;",
       {"IN;SP1PU100,100;LBHi; there\x03LT;SP1;PU200,200;PD300,300;;"}},
      {"label ended by DT", "IN;DT*;SP1;PU100,100;LBa;b*PU200,200;PD300,300;",
       {"IN;SP1DT*;PU100,100;LBa;b*LT;SP1;PU200,200;PD300,300;"}},
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
      // Where no page cuts it the machine draws an arc, with the pen down when the file had it down.
      {"arc", "IN;SP1;PU900,0;PD;AA1000,0,-180;PU;", {"IN;LT;SP1;PU900,0;PD;AA1000.000000,0,-180;"}},
      // Repeated pen-up points once counted as strokes joined end to end, so a cut backed off
      // across the whole plot again and again.
      {"rolling split, repeated pen-up points", "IN;SP1;PU3000,100;PU3000,100;PU6000,100;PU6000,100;PU;",
       {"IN;", "LT;SP1;PU160,100;PU160,100;", "LT;SP1;PU320,100;PU320,100;"}, pagedOptions(6, 71)},
      {"pen-up moves take the pen to their page", "IN;SP1;PU100,300;PA1500,300;PU;PA1600,500;PD;PA1700,500;PU;",
       {"IN;", "LT;SP1;PU500,300;PU600,500;PD700,500;"}, pagedOptions(4, 25)},
      {"a point on the page edge keeps its stroke on its page", "IN;SP1;PU900,100;PD1000,0,1100,0;PU;",
       {"IN;LT;SP1;PU900,100;PD1000,0;", "LT;SP1;PU0,0;PD100,0;"}, pagedOptions(4, 25)},
      {"ending exactly on the edge makes nothing for the next page", "IN;SP1;PU900,100;PD1000,0;PU;",
       {"IN;LT;SP1;PU900,100;PD1000,0;"}, pagedOptions(4, 25)},
      // Drawn about a centred origin: moved so that its left and lower edges lie at 0, then cut
      // like any other; page-order runs look at the whole file before writing the first page.
      {"negative coordinates", "IN;SP1;PU-100,-300;PD500,-200;PD1500,-100;PU;",
       {"IN;LT;SP1;PU0,0;PD600,100;PD1000,140;", "LT;SP1;PU0,140;PD600,200;"}, pagedOptions(4, 25)},
      {"negative coordinates, page order", "IN;SP1;PU-500,0;PD-400,0;PU1200,0;PD1300,0;PU;",
       {"IN;LT;SP1;PU0,0;PD100,0;", "LT;SP1;PU700,0;PD800,0;"}, pageOrder},
  };
  for (const auto& c : cases) {
    DisposeRun run(c.hpgl, c.options);
    ASSERT_TRUE(run.dispose()) << c.what << ": " << run.file().errorText();
    EXPECT_EQ(pageBodies(run), c.pages) << c.what;
  }
}

// Sending again from a chosen stroke writes that stroke and those after it; a page that cannot
// be written says where.
TEST(PageText, WritingFromAStroke) {
  DisposeRun run("SP1;PU0,0;PD1,1;PU;SP2;PU5,5;PD6,6;", plainOptions());
  ASSERT_TRUE(run.loadOnly());
  std::string error, to = run.home().file("from.plt"), nowhere = run.home().file("none/from.plt");
  ASSERT_TRUE(run.file().writeStrokesFrom(to, 1, &error));
  EXPECT_EQ(platform::readWholeFile(to).value_or(""), "IN;LT;SP2;PU5,5;PD6,6;");
  EXPECT_FALSE(run.file().writeStrokesFrom(nowhere, 1, &error));
  EXPECT_EQ(error, "cannot write " + nowhere);
}

TEST(PageText, CirclesAcrossPagesAreWrittenOnceAndCarriedWhole) {
  // (Circles against page edges in every mode are checked on real files by realworld/check_pages.py.)
  // In the rolling split the line wider than a page is cut; the circle across the cut is carried
  // whole to the next page with the line's far piece, so the pages add up along the roll
  // (material 850, then 1000, 1000, 150).
  DisposeRun run("IN;SP1;PU0,0;PD3000,0;PU;PU950,500;CI100;PU;", pagedOptions(6, 25));
  ASSERT_TRUE(run.dispose());
  EXPECT_EQ(run.page(0), "IN;IN;LT;SP1;PU0,0;PD1000,0;PX850;PG;");
  EXPECT_EQ(run.page(1), "IN;LT;SP1;PU150,0;PD1000,0;PU100,500;CI100;PX1000;PG;");
  EXPECT_EQ(run.page(3), "IN;LT;SP1;PU0,0;PD150,0;PX150;ZH150;PG;");
  // Where pages cut strokes an arc is drawn as points, ending on the far page.
  DisposeRun arc("IN;SP1;PU900,0;PD;AA1000,0,-180;PU;", pagedOptions(4, 25));
  ASSERT_TRUE(arc.dispose());
  const auto b = pageBodies(arc);
  ASSERT_EQ(b.size(), 2u);
  EXPECT_EQ(b[0].find("AA"), std::string::npos);
  EXPECT_NE(b[1].find("PD100,0;"), std::string::npos);
}

TEST(PageText, ArcsInUnequalUserUnitsAreDrawnAsPoints) {
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

TEST(PageText, TheWorkOfACircleIsBoundedByWhatCanBeCut) {
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

TEST(PageText, UserUnitsWithoutScalingPointsAreSaidOnce) {
  // The 100 x 100 user units of the file count as plotter units: the drawing comes out
  // 2.5 x 1.25 mm. Said once however often "SC" comes.
  DisposeRun plain("IN;SC0,100,0,100;SP1;PU0,0;PD100,0,100,50;SC0,100,0,100;PU;", plainOptions());
  ASSERT_TRUE(plain.dispose());
  ASSERT_EQ(plain.file().notices().size(), 1u);
  const ReadNotice& n = plain.file().notices()[0];
  EXPECT_EQ(std::tuple(n.kind, n.widthMm, n.heightMm), std::tuple(ReadNotice::Kind::ScaleWithoutScalingPoints, 2.5, 1.25));
  // With scaling points, or with point factors, nothing is said.
  for (const char* hpgl : {"IN;IP0,0,4000,4000;SC0,100,0,100;SP1;PU0,0;PD100,0;", "IN;SC0,2,0,2,2;SP1;PU0,0;PD100,0;"}) {
    DisposeRun scaled(hpgl, plainOptions());
    ASSERT_TRUE(scaled.dispose());
    EXPECT_TRUE(scaled.file().notices().empty()) << hpgl;
  }
}

}  // namespace
}  // namespace qel::plot::test
