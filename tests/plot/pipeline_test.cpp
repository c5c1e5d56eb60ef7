// The dispose pipeline: switches, reports, page order, failures.
#include <gtest/gtest.h>

#include <random>
#include <tuple>

#include "config/ini_config.h"
#include "plot/rolling_split.h"
#include "plot_fixture.h"

namespace qel::plot::test {
namespace {

TEST(Pipeline, CopyThroughWhenNothingIsSwitchedOn) {
  std::string bytes;
  std::mt19937 rng(3);
  for (int i = 0; i < 5000; ++i) bytes.push_back(static_cast<char>(rng()));
  DisposeOptions o = plainOptions();
  o.optimizeFunction = false;
  o.splitPageEnabled = false;
  DisposeRun run(bytes, o);
  ASSERT_TRUE(run.dispose());
  EXPECT_EQ(run.page(0), bytes);
  ASSERT_EQ(run.reports().size(), 1u);
  EXPECT_EQ(run.reports()[0].sizeText, "");
  EXPECT_NE(run.reports()[0].fileName.find("_TAG_001.PLT"), std::string::npos);
}

// A refused run says why and leaves no page behind: the source goes aside whole, and nothing
// half-written is sent.
TEST(Pipeline, RefusedRunsSayWhyAndLeaveNoPage) {
  // Mode 2 refuses a stroke across a page edge; in page order pages before it were written.
  DisposeOptions mode2 = plainOptions();
  mode2.cutFt = 2;
  mode2.pageWidth = 25;  // 1000 units
  mode2.strokeAppearOrderOfPage = true;
  struct Row {
    const char* name;
    std::string hpgl;
    DisposeOptions options;
    bool outIsAFile;  // a file stands where the output folder should be
    const char* why;
  } rows[] = {
      // A text file (a password file, a note) dropped in the folder is not sent as an empty page.
      {"text", "hello, world\r\n\x01\xc3\xa9!", plainOptions(), false, "no plot command"},
      {"password file", "root:x:0:0:root:/root:/bin/bash\n", plainOptions(), false, "no plot command"},
      {"set-up only", "IN;SP1;", plainOptions(), false, "no plot command"},
      {"mode 2 stroke across the edge", "PU10,0;PD20,0;PU1010,0;PD1020,0;PU2010,0;PD2020,0;PU3010,0;PD4020,0;", mode2,
       false, ""},
      {"unwritable output folder", "PU0,0;PD10,10;", plainOptions(), true, "out"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    DisposeRun run(r.hpgl, r.options);
    if (r.outIsAFile) run.home().writeFile("out", "a file where the folder should be");
    EXPECT_FALSE(run.dispose());
    EXPECT_FALSE(run.file().errorText().empty());
    EXPECT_NE(run.file().errorText().find(r.why), std::string::npos) << run.file().errorText();
    EXPECT_EQ(run.page(0), "<missing>");
    EXPECT_EQ(run.page(1), "<missing>");
    // Pages written while reading were reported before the failure; their files are gone.
    if (!r.outIsAFile && !r.options.strokeAppearOrderOfPage) EXPECT_TRUE(run.reports().empty());
  }
}

TEST(Pipeline, ExtraPageIsReportedLastWhenItExists) {
  DisposeOptions o = plainOptions();
  o.needExtraPage = true;
  for (bool exists : {true, false}) {  // without the file there is nothing the queue would wait for
    DisposeRun run("PU0,0;PD40,40;", o);
    if (exists) run.home().writeFile("outExtraSp.plt", "PU0,0;");
    ASSERT_TRUE(run.dispose());
    ASSERT_EQ(run.reports().size(), exists ? 2u : 1u);
    if (exists) EXPECT_EQ(run.reports()[1].fileName, run.home().file("out") + "ExtraSp.plt");
  }
}

TEST(Pipeline, LoadOnlyRunWritesNothing) {
  DisposeRun run("PU0,0;PD10,10;PU5000,0;PD5100,0;", plainOptions());
  ASSERT_TRUE(run.loadOnly());
  EXPECT_EQ(run.file().strokes().size(), 2u);
  EXPECT_FALSE(std::filesystem::exists(run.home().file("out")));
}

// The options of a run come from Config.ini in one read (the queue constructs its runs from the
// store; its tests see that wiring).
TEST(Pipeline, OptionsComeFromConfigIni) {
  qel::test::TempHome home;
  home.writeFile("Config.ini", "[Split_Page]\nCUT_FT=2\nPage_Width=10\nAdd_PG=0\nMax_Page_Count=3\n"
                               "[CutQuality]\nKnifeOffset=0.35\nKnifeCornerAngle=25\nOvercut=1.5\nWeedBox=1\n"
                               "WeedLines=1\nWeedMargin=3\nWeedPen=4\nMaxMarkResidual=0.2\n");
  const DisposeOptions o = DisposeOptions::read(config::CIniConfig(home.path()));
  EXPECT_EQ(std::tuple(o.cutFt, o.pageWidth, o.addPg, o.maxPageCount), std::tuple(2, 10.0, false, 3));
  const CutQualityOptions& c = o.cutQuality;
  EXPECT_EQ(std::tuple(c.knifeOffsetMm, c.knifeCornerAngleDeg, c.overcutMm, c.weedBox, c.weedLines, c.weedMarginMm,
                       c.weedPen, o.maxMarkResidualMm),
            std::tuple(0.35, 25.0, 1.5, true, true, 3.0, 4, 0.2));
}

TEST(Pipeline, TrailersNamesAndSizes) {
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
