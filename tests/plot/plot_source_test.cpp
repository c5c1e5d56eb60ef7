// The source seam: a plot model from somewhere other than the HPGL reader gets the same page
// window, page-edge split and page indexes, and its failure reaches the caller with nothing
// left behind. And large files written page by page while they are read give the same pages.
#include <gtest/gtest.h>

#include <memory>

#include "plot/plot_builder.h"
#include "plot/plot_source.h"
#include "plot_fixture.h"

namespace qel::plot::test {
namespace {

// A source of pen-down polylines, as a vector format would hand them over.
struct Polyline {
  int pen;
  std::vector<PlotPoint> points;
};

class PolylineSource : public PlotSource {
 public:
  explicit PolylineSource(std::vector<Polyline> lines, std::string failure = {})
      : lines_(std::move(lines)), failure_(std::move(failure)) {}
  SourceResult read(PlotBuilder& b) override {
    b.startPass();
    for (const auto& l : lines_) {
      if (!b.addPolyline(l.pen, l.points)) return {false, tooManyPagesText("lines", b.options().maxPageCount)};
      b.stepDone();
    }
    if (!failure_.empty()) return {false, failure_};
    b.endOfInput();
    return {true, {}};
  }

 private:
  std::vector<Polyline> lines_;
  std::string failure_;
};

TEST(PlotSource, PolylinesGetThePagesOfTheSameDrawingInHpgl) {
  // Each mode's pages of two polylines (one across two page edges) are those of the HPGL file
  // that draws them.
  const std::vector<Polyline> lines{{2, {{900, 50}, {2100, 50}}}, {3, {{100, 300}, {400, 300}, {400, 600}}}};
  const std::string hpgl = "PU;SP2;PU900,50;PD2100,50;PU;SP3;PU100,300;PD400,300;PD400,600;PU;";
  for (int mode : {0, 3, 4, 5, 6, 7, 8}) {
    DisposeRun fromSource(std::make_unique<PolylineSource>(lines), pagedOptions(mode, 25));
    DisposeRun fromHpgl(hpgl, pagedOptions(mode, 25));
    ASSERT_TRUE(fromSource.file().dispose()) << mode << fromSource.file().errorText();
    ASSERT_TRUE(fromHpgl.dispose()) << mode;
    ASSERT_EQ(fromSource.reports().size(), fromHpgl.reports().size()) << mode;
    for (size_t p = 0; p < fromHpgl.reports().size(); ++p)
      EXPECT_EQ(fromSource.page(static_cast<int>(p)), fromHpgl.page(static_cast<int>(p))) << "mode " << mode << " page " << p;
  }
  // The hard partition cuts the first polyline at both edges it crosses.
  DisposeRun run(std::make_unique<PolylineSource>(lines), pagedOptions(4, 25));
  ASSERT_TRUE(run.file().loadOnly());
  EXPECT_EQ(run.file().strokePages(), (std::vector<int>{0, 1, 2, 0}));
}

TEST(PlotSource, AFailingSourceFailsTheRunAndLeavesNoPage) {
  DisposeOptions o = pagedOptions(4, 25);
  o.strokeAppearOrderOfPage = true;  // pages are written while the source reads
  DisposeRun run(std::make_unique<PolylineSource>(std::vector<Polyline>{{1, {{100, 0}, {2500, 0}}}, {1, {{100, 5}, {200, 5}}}},
                                                 "lines.pdf: the page tree is damaged"),
                o);
  EXPECT_FALSE(run.file().dispose());
  EXPECT_EQ(run.file().errorText(), "lines.pdf: the page tree is damaged");
  for (int p = 0; p < 3; ++p) EXPECT_EQ(run.page(p), "<missing>") << p;
  // A polyline beyond the page limit stops the source with the limit's reason.
  o.maxPageCount = 2;
  DisposeRun far(std::make_unique<PolylineSource>(std::vector<Polyline>{{1, {{100, 0}, {5500, 0}}}}), o);
  EXPECT_FALSE(far.file().dispose());
  EXPECT_NE(far.file().errorText().find("more than 2 pages"), std::string::npos) << far.file().errorText();
}

TEST(PlotSource, LargeFilesWrittenWhileReadGiveTheSamePages) {
  // A drawing with pen changes, line types, a circle, an arc, a label, strokes across page
  // edges and text the reader does not know: written through the model and spooled page by
  // page while it is read, in every mode that spools, with the options that change strokes.
  const std::string drawings[] = {
      "IN;XX1;SP1;LT2,4;PU100,100;PD1900,150,2600,900;PU3100,40;PD3200,40;SP2;PU500,500;CI80;LT;PU700,700;"
      "PD;AA700,800,90;PU;SP3;PU1200,300;PD1250,300,1250,350,1200,300;PU2050,10;LBAB\x03SP1;PU4100,10;"
      "PD4200,10;PU3000,600;PD900,600;ZZ;",
      // Left of the origin only: the trailer's largest x is negative without the window.
      "SP1;PU-900,10;PD-500,10;PU-700,40;PD-400,80;"};
  // Plain, in page order, with the cutter's options, without the page window.
  for (const std::string& hpgl : drawings)
    for (int mode : {0, 1, 2, 3, 4, 5, 6, 8, 9})
      for (int v = 0; v < 4; ++v) {
        DisposeOptions o = pagedOptions(mode, 25);
        o.addPg = true;
        o.strokeAppearOrderOfPage = v == 1;
        o.cutterHandle = o.leaveCut = v == 2;
        o.splitPageEnabled = v != 3;
        DisposeRun kept(hpgl, o);
        o.spoolFromBytes = 0;
        DisposeRun spooled(hpgl, o);
        const bool ok = kept.dispose();
        SCOPED_TRACE("mode " + std::to_string(mode) + " variant " + std::to_string(v));
        ASSERT_EQ(spooled.dispose(), ok);
        ASSERT_EQ(spooled.reports().size(), kept.reports().size());
        for (size_t p = 0; p < kept.reports().size(); ++p) {
          EXPECT_EQ(spooled.reports()[p].sizeText, kept.reports()[p].sizeText) << p;
          EXPECT_EQ(spooled.page(static_cast<int>(p)), kept.page(static_cast<int>(p))) << p;
        }
      }
}

}  // namespace
}  // namespace qel::plot::test
