// Drawings read: PDF written by Ghostscript from PostScript with shapes of known geometry in spot
// colours, SVG by hand; the strokes read must be exactly the cut lines, where the paper has them,
// within the tolerance. Through the whole dispose run: a drawing is known by its content, and
// every kind of bad input fails with its reason and leaves no page file.
#include <gtest/gtest.h>

#include <filesystem>

#include "drawing_fixture.h"
#include "plot/drawing_source.h"
#include "plot/plot_builder.h"
#include "plot_fixture.h"

namespace qel::plot::test {
namespace {

std::vector<CutStroke> readDrawing(const std::string& path, PlotFormat format, const DisposeOptions& o) {
  DrawingSource source(path, format, o);
  PlotModel model;
  PlotBuilder builder(model, o, nullptr);
  builder.reset();
  const SourceResult r = source.read(builder);
  EXPECT_TRUE(r.ok) << path << ": " << r.text;
  std::vector<CutStroke> out;
  for (const auto& s : model.strokes) out.push_back({s.pen, {s.points.begin(), s.points.end()}});
  return out;
}

bool noPageFiles(const std::string& dir) {
  std::error_code ec;
  return !std::filesystem::exists(dir, ec) || std::filesystem::is_empty(dir, ec);
}

const double kTolerance = DrawingOptions{}.toleranceMm * kUnitsPerMm;

TEST(DrawingSource, SpotColourShapesAreCutWithinTheToleranceAndNothingElse) {
  qel::test::TempHome home;
  const Shape rect = Shape({20, 20}).line({120, 20}).line({120, 80}).line({20, 80}).close();
  const Shape ring = circleShape({300, 100}, 40);
  const Shape wave = Shape({50, 300}).curve({150, 400}, {250, 200}, {350, 300});
  const Shape tri = Shape({400, 400}).line({500, 400}).line({450, 480}).close();
  const Shape hook = Shape({60, 450}).curve({90, 520}, {130, 380}, {230, 500});
  const std::vector<Shape> pen1{rect, ring, wave}, pen2{tri, hook};
  std::string body = spotColour("CutContour");
  for (const Shape& s : pen1) body += s.postScript() + "stroke\n";
  body += spotColour("Thru-cut");
  for (const Shape& s : pen2) body += s.postScript() + "stroke\n";
  // Print: a process colour (magenta ink, the cut RGB colour were there no spot colour), a
  // registration mark, text.
  body += "0 1 0 0 setcmykcolor\n" + Shape({20, 530}).line({300, 530}).postScript() + "stroke\n";
  body += "[/Separation /All /DeviceCMYK {dup dup dup}] setcolorspace 1 setcolor\n" +
          circleShape({15, 15}, 5).postScript() + "fill\n";
  body += "0 0 0 1 setcmykcolor /Helvetica findfont 20 scalefont setfont 300 250 moveto (Print) show\n";
  home.writeFile("job.ps", postScriptPage(200, 200, body));
  ASSERT_TRUE(toPdf(home.file("job.ps"), home.file("job.pdf"))) << "ps2pdf (ghostscript) is needed";

  DisposeOptions o = plainOptions();
  o.drawing.cutPens = "Thru-cut:2";
  const auto strokes = readDrawing(home.file("job.pdf"), PlotFormat::Pdf, o);
  ASSERT_EQ(strokes.size(), 5u);
  // Every cut stroke lies on a shape of its pen, and every shape of a pen is cut whole.
  for (int pen : {1, 2}) {
    std::vector<CutStroke> cut, drawn;
    for (const CutStroke& s : strokes)
      if (s.pen == pen) cut.push_back(s);
    for (const Shape& shape : pen == 1 ? pen1 : pen2) drawn.push_back({pen, shape.samples()});
    EXPECT_EQ(cut.size(), drawn.size()) << "pen " << pen;
    EXPECT_LE(farthestFrom(cut, drawn), kTolerance) << "pen " << pen;
    EXPECT_LE(farthestFrom(drawn, cut), kTolerance) << "pen " << pen;
  }
}

TEST(DrawingSource, PagesLieAlongTheRollOrOnlyTheOneAskedFor) {
  qel::test::TempHome home;
  // Two pages, 127 and 63.5 mm wide (whole points), each with a square 10 mm from its lower left
  // corner.
  const double mm = 72 / 25.4;
  const Shape square = Shape({10 * mm, 10 * mm}).line({20 * mm, 10 * mm}).line({20 * mm, 20 * mm}).close();
  const std::string body = spotColour("CutContour") + square.postScript() + "stroke\n";
  home.writeFile("two.ps", postScriptPage(127, 50, body) + postScriptPage(63.5, 40, body));
  ASSERT_TRUE(toPdf(home.file("two.ps"), home.file("two.pdf")));
  struct Case {
    int onlyPage;
    double gapMm;
    std::vector<double> firstX;  // mm
  } cases[] = {{0, 20, {10, 157}}, {0, 0, {10, 137}}, {2, 20, {10}}, {1, 20, {10}}};
  for (const Case& c : cases) {
    DisposeOptions o = plainOptions();
    o.drawing.onlyPage = c.onlyPage;
    o.drawing.pageGapMm = c.gapMm;
    const auto strokes = readDrawing(home.file("two.pdf"), PlotFormat::Pdf, o);
    ASSERT_EQ(strokes.size(), c.firstX.size()) << c.onlyPage;
    for (std::size_t i = 0; i < c.firstX.size(); ++i) {
      EXPECT_NEAR(strokes[i].points[0].x, c.firstX[i] * kUnitsPerMm, 0.05) << c.onlyPage << " gap " << c.gapMm;
      EXPECT_NEAR(strokes[i].points[0].y, 10 * kUnitsPerMm, 0.05) << "y up from the page's lower edge";
    }
  }
}

// SVGs drawn by hand and one of Inkscape's own examples (in px, whose scale once came out 4/3
// too large), and the PDFs Inkscape exports of them (tests/plot/drawings/generate.sh): the SVG
// read directly and its PDF give the same cut.
TEST(DrawingSource, AnInkscapePdfCutsAsItsSvg) {
  const std::string dir = std::string(QEL_SOURCE_DIR) + "/tests/plot/drawings/";
  struct Case {
    const char* name;
    bool cutAll;  // the example has no magenta: every stroke is cut
    std::size_t strokes;
  } cases[] = {{"magenta-sign", false, 4}, {"magenta-px", false, 2}, {"live-path-effects-gears", true, 16}};
  for (const Case& c : cases) {
    DisposeOptions o = plainOptions();
    o.drawing.cutAll = c.cutAll;
    const auto svg = readDrawing(dir + c.name + ".svg", PlotFormat::Svg, o);
    const auto pdf = readDrawing(dir + c.name + ".pdf", PlotFormat::Pdf, o);
    EXPECT_EQ(svg.size(), c.strokes) << c.name;
    EXPECT_EQ(pdf.size(), c.strokes) << c.name;
    // Both within the tolerance of the same curves (Inkscape writes its numbers to 1/1000 pt).
    const double allowed = 2 * kTolerance + 0.02 * kUnitsPerPoint;
    EXPECT_LT(farthestFrom(svg, pdf), allowed) << c.name;
    EXPECT_LT(farthestFrom(pdf, svg), allowed) << c.name;
  }
}

TEST(DrawingSource, DrawingsAreKnownByWhatTheyHoldNotByTheirName) {
  const std::string pdf = *platform::readWholeFile(std::string(QEL_SOURCE_DIR) + "/tests/plot/drawings/magenta-px.pdf");
  DisposeRun named(pdf, plainOptions(), "job_20260105_093000_001.PLT"), asPdf(pdf, plainOptions(), "job.pdf");
  ASSERT_TRUE(named.dispose() && asPdf.dispose()) << named.file().errorText();
  EXPECT_NE(named.page(0).find("PD"), std::string::npos) << "the drawing's cut lines reach the page";
  EXPECT_EQ(pageBodies(named), pageBodies(asPdf)) << "cut as the same file named .pdf";
  // Copied through unread where a plot file would be: a drawing is read all the same.
  DisposeOptions copy = plainOptions();
  copy.optimizeFunction = copy.splitPageEnabled = false;
  DisposeRun copied(pdf, copy, "job.pdf");
  ASSERT_TRUE(copied.dispose()) << copied.file().errorText();
  ASSERT_EQ(copied.reports().size(), 1u);
  EXPECT_EQ(copied.page(0).rfind("IN;", 0), 0u) << "a page file, not the PDF's bytes";
}

TEST(DrawingSource, BadDrawingsFailWithTheirReasonAndLeaveNoPage) {
  qel::test::TempHome home;
  const std::string cut = spotColour("CutContour") + Shape({10, 10}).line({100, 10}).postScript() + "stroke\n";
  home.writeFile("ok.ps", postScriptPage(50, 50, cut));
  ASSERT_TRUE(toPdf(home.file("ok.ps"), home.file("locked.pdf"), "-sOwnerPassword=o -sUserPassword=u"));
  ASSERT_TRUE(toPdf(home.file("ok.ps"), home.file("owner_only.pdf"), "-sOwnerPassword=o"));
  const auto made = [&](const char* f) { return *platform::readWholeFile(home.file(f)); };
  const std::string catalog = "%PDF-1.4\n1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n";
  const std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" ";
  struct Case {
    const char* file;
    std::string bytes;
    int onlyPage;
    const char* reason;
  } cases[] = {
      {"locked.pdf", made("locked.pdf"), 0, "protected by a password"},
      {"damaged.pdf", catalog + std::string(300, '\xff'), 0, "damaged"},
      {"empty.pdf", catalog + "2 0 obj << /Type /Pages /Kids [] /Count 0 >> endobj\ntrailer << /Root 1 0 R >>\n%%EOF\n", 0,
       "has no page"},
      {"zero.pdf", "", 0, "damaged"},
      {"page.svg", "<?xml version=\"1.0\"?>\n<html><body>not a drawing</body></html>\n", 0, "not an SVG drawing"},
      {"broken.svg", svg + "width=\"10\" height=\"10\"><path d=\"M 0 0 L", 0, "not an SVG drawing"},
      {"letters.svg", svg + "width=\"50\" height=\"50\"><polyline points=\"1,1 40,5 GGG20,30\" stroke=\"magenta\" "
                            "fill=\"none\"/></svg>", 0, "not an SVG drawing (a point list holds \"G\""},
      {"print.svg", svg + "width=\"100\" height=\"100\"><path d=\"M 0 0 L 50 50\" stroke=\"black\"/>"
                          "<path d=\"M 0 50 L 50 0\" stroke=\"blue\"/></svg>", 0, "no cut line: 2 paths, none in CutContour"},
      {"tall.svg", svg + "width=\"100mm\" height=\"6e31mm\" viewBox=\"0 0 100 60\"><circle cx=\"70\" cy=\"20\" r=\"8\" "
                         "stroke=\"#ff00ff\"/></svg>", 0, "page 1 is 100 x 6e+31 mm, larger than any roll"},
      {"owner_only.pdf", made("owner_only.pdf"), 3, "has 1 page: there is no page 3"},
  };
  for (const Case& c : cases) {
    DisposeOptions o = plainOptions();
    o.drawing.onlyPage = c.onlyPage;
    DisposeRun run(c.bytes, o, c.file);
    EXPECT_FALSE(run.dispose()) << c.file;
    const std::string& error = run.file().errorText();
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.file << ": " << error;
    EXPECT_EQ(error.rfind(run.home().file(c.file), 0), 0u) << "the reason names the file: " << error;
    EXPECT_TRUE(noPageFiles(run.home().file("out"))) << c.file;
  }
  // A PDF with only an owner password (printing and copying restricted) opens.
  EXPECT_TRUE(DisposeRun(made("owner_only.pdf"), plainOptions(), "owner.pdf").dispose());
  // Signed numbers in path data and point lists are numbers all the same.
  home.writeFile("signed.svg", svg + "width=\"50mm\" height=\"50mm\"><path d=\"M+10 40 C+20 55,40 25,+60 +40\" stroke=\"#ff00ff\" fill=\"none\"/>"
                               "<polygon points=\"+1,+1 40,5 20,30\" stroke=\"#ff00ff\" fill=\"none\"/></svg>");
  EXPECT_EQ(readDrawing(home.file("signed.svg"), PlotFormat::Svg, plainOptions()).size(), 2u);
}

}  // namespace
}  // namespace qel::plot::test
