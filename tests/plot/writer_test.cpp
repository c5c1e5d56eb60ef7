// The page files: the exact bytes of bodies and trailers.
#include <gtest/gtest.h>

#include <functional>

#include "plot_fixture.h"
#include "plot/contour_stages.h"
#include "plot/pagination.h"
#include "plot/rolling_split.h"
#include "plot/whole_stroke_split.h"

namespace qel::plot::test {
namespace {

// The body of page 0 between "IN;" and the trailer.
std::string body(const std::string& hpgl, DisposeOptions o = plainOptions()) {
  std::string page = disposeToText(hpgl, o);
  if (page.rfind("IN;", 0) != 0) return page;
  page.erase(0, 3);
  const size_t px = page.rfind("PX");
  if (px != std::string::npos) page.erase(px);
  return page;
}

// Page bodies byte for byte: each row a drawing under the options it changes from the plain ones.
TEST(Writer, PageBodies) {
  const auto plain = [](DisposeOptions&) {};
  const auto noWindow = [](DisposeOptions& o) { o.splitPageEnabled = false; };
  const auto leaveCut = [](DisposeOptions& o) {
    o.leaveCut = true;
    o.distLeaveCut = 1;  // 40 units
  };
  const auto cutter = [](DisposeOptions& o) { o.cutterHandle = true; };
  struct Row {
    const char* name;
    std::function<void(DisposeOptions&)> set;
    const char* hpgl;
    const char* body;
  } rows[] = {
      // Line type and pen are written only when they change.
      {"one pen", plain, "PU0,0;PD100,0;PU0,10;PD100,10;", "LT;SP1;PU0,0;PD100,0;PU0,10;PD100,10;"},
      {"pens and line types", plain, "SP2;PU0,0;PD1,0;PU;SP3;PU0,5;PD1,5;PU;LT4,2.5;PU0,9;PD1,9;",
       "LT;SP2;PU0,0;PD1,0;SP3;PU0,5;PD1,5;LT4,2.5;PU0,9;PD1,9;"},
      // Without a page window the negative y stays as written; six significant digits.
      {"numbers", [](DisposeOptions& o) { o.pageWidth = 100000, o.splitPageEnabled = false; },
       "PU123456.7,0.5;PD2000000,-3;", "LT;SP1;PU123457,0.5;PD2e+06,-3;"},
      // The first arc dips below y = 0: without a page window nothing moves the drawing.
      {"inserted commands before their point", noWindow, "PU0,0;AA5,5,90;PD10,0;PD20,0;AA1,1,45;",
       "LT;SP1;PU0,0;AA5.000000,5,90;PD10,0;PD20,0;AA1.000000,1,45;"},
      // Leave-cut stops short of the last point, for pen 2 only.
      {"leave cut", leaveCut, "SP2;PU0,0;PD50,0,50,100;", "LT;SP2;PU0,0;PD50,0;PD50,60;"},
      {"leave cut backwards", leaveCut, "SP2;PU0,0;PD200,0,100,0;", "LT;SP2;PU0,0;PD200,0;PD140,0;"},
      {"leave cut shorter than its distance", leaveCut, "SP2;PU0,0;PD0,0,30,0;", "LT;SP2;PU0,0;PD0,0;"},
      {"leave cut other pens", leaveCut, "SP1;PU0,0;PD0,0,30,0;", "LT;SP1;PU0,0;PD0,0;PD30,0;"},
      // The cutter variant draws out-and-back spurs with pen 1 and never changes pen 1 strokes.
      {"cutter, nothing doubled", cutter, "SP2;PU0,0;PD10,0,10,10,0,10;", "LT;SP2;SP2;PU0,0;PD10,0;PD10,10;PD0,10;"},
      {"cutter, a spur", cutter, "SP2;PU0,0;PD10,0,20,0,10,0,10,10,0,10;",
       "LT;SP2;SP2;PU0,0;PD10,0;SP1;PU10,0;PD20,0;PD10,0;SP2;PU10,0;PD10,0;PD10,10;PD0,10;"},
      {"cutter, pen 1", cutter, "SP1;PU0,0;PD10,0,0,0;", "LT;SP1;PU0,0;PD10,0;PD0,0;"},
      {"labels first with their attributes", plain, "DI0,1;SI0.2,0.3;PU40,50;LBAbc;PU0,0;PD1,1;",
       "SP1DI0,1SI0.2,0.3PU40,50;LBAbc;LT;SP1;PU0,0;PD1,1;"},
      {"WD opens every page", plain, "WD12;PU0,0;PD1,1;", "WD12;LT;SP1;PU0,0;PD1,1;"},
      // Mode 7 cuts pen by pen in the order given; a pen named twice is written once.
      {"pen groups",
       [](DisposeOptions& o) { o.cutFt = 7, o.spOut[0] = 2, o.spOut[1] = 1, o.spOut[2] = 2; },
       "SP1;PU0,0;PD1,0;PU;SP2;PU0,5;PD1,5;PU;SP1;PU0,9;PD1,9;PU;SP5;PU3,3;PD4,4;",
       "LT;SP2;PU0,5;PD1,5;SP1;PU0,0;PD1,0;PU0,9;PD1,9;SP5;PU3,3;PD4,4;"},
  };
  for (const Row& r : rows) {
    DisposeOptions o = plainOptions();
    r.set(o);
    EXPECT_EQ(body(r.hpgl, o), r.body) << r.name;
  }
}

TEST(Writer, TrailersNamesAndSizes) {
  DisposeOptions o = plainOptions();
  o.addPg = true;
  o.pageWidth = 100;  // 4000 units
  DisposeRun run("PU100,200;PD3000,1000;PU8100,0;PD8600,40;", o, "my.job.plt");
  ASSERT_TRUE(run.dispose());
  EXPECT_EQ(run.page(0), "IN;LT;SP1;PU100,200;PD3000,1000;PX3000;PG;");
  EXPECT_EQ(run.page(2), "IN;LT;SP1;PU100,0;PD600,40;PX600;ZH600;PG;");
  ASSERT_EQ(run.reports().size(), 2u);  // page 1 has no file and is not reported
  EXPECT_EQ(run.reports()[0].fileName, run.home().file("out") + "/my.job_TAG_001.PLT");
  EXPECT_EQ(run.reports()[0].sizeText, "75.00 * 25.00");
  EXPECT_EQ(run.reports()[1].fileName, run.home().file("out") + "/my.job_TAG_003.PLT");
  EXPECT_EQ(run.reports()[1].sizeText, "15.00 * 1.00");
  EXPECT_EQ(rollingSplitList(), (std::vector<int>{4000, 3000, 0, 600}));
}

}  // namespace
}  // namespace qel::plot::test
