#include "intake/dispose_translator.h"

#include <gtest/gtest.h>

#include "config/ini_config.h"
#include "support/temp_home.h"

namespace qel::intake {
namespace {

// Page files are written and reported, the source is left for the queue to back up, and what
// reading noticed comes with the pages: user units without scaling points count as plotter
// units, and the result says the size of the drawing.
TEST(DisposeTranslator, WritesAndReportsPageFilesWithWhatReadingNoticed) {
  test::TempHome home;
  home.writeFile("ListenDir/job.plt", "IN;SC0,100,0,100;SP1;PU0,0;PD100,0,100,50;PU;");
  DisposeTranslator t;
  TranslateResult r = t.translate(home.path(), home.file("ListenDir/job.plt"), home.file("DisposeDir"), "20260105_093000");
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_FALSE(r.outputs.empty());
  EXPECT_EQ(r.outputs[0], home.file("DisposeDir/job_20260105_093000_001.PLT"));
  EXPECT_TRUE(platform::fileExists(r.outputs[0]));
  EXPECT_TRUE(platform::fileExists(home.file("ListenDir/job.plt")));
  ASSERT_EQ(r.notices.size(), 1u);
  EXPECT_DOUBLE_EQ(r.notices[0].widthMm, 2.5);
  EXPECT_DOUBLE_EQ(r.notices[0].heightMm, 1.25);
  EXPECT_FALSE(t.translate(home.path(), home.file("ListenDir/none.plt"), home.file("DisposeDir"), "x").ok);
}

// Each rejected file says what it was: the reason comes from the pipeline's result and, for a
// file without a plot command, from its own bytes.
TEST(DisposeTranslator, RejectedFilesSayWhatTheyWere) {
  test::TempHome home;
  config::CIniConfig cfg(home.path());
  cfg.write(config::keys::CUT_FT, 6);
  cfg.write(config::keys::Page_Width, 10.0);
  cfg.writeText("Split_Page", "Max_Page_Count", "2");
  struct Case {
    const char* name;
    std::string content;
    FailureKind want;
  } cases[] = {
      {"empty.plt", "", FailureKind::EmptyFile},
      {"picture.plt", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\x02\x80", 20), FailureKind::NotPlotFile},
      {"notes.plt", "just some words\nand more words\n", FailureKind::NoPlotCommand},
      {"long.plt", "IN;SP1;PU0,0;PD4000,0;PU;", FailureKind::TooManyPages},
      {"print.svg", R"(<svg xmlns="http://www.w3.org/2000/svg" width="9" height="9"><path d="M0 0 L9 9" stroke="black"/></svg>)",
       FailureKind::NoCutLine},
      {"page.svg", "<html><body>no drawing</body></html>", FailureKind::DrawingDamaged},
      {"broken.pdf", "%PDF-1.4\n1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n" + std::string(99, '\xff'),
       FailureKind::DrawingDamaged},
  };
  DisposeTranslator t;
  for (const Case& c : cases) {
    home.writeFile(std::string("ListenDir/") + c.name, c.content);
    const TranslateResult r = t.translate(home.path(), home.file(std::string("ListenDir/") + c.name), home.file("DisposeDir"), "x");
    EXPECT_FALSE(r.ok) << c.name;
    EXPECT_EQ(r.failure, c.want) << c.name << ": " << r.error;
  }
}

}  // namespace
}  // namespace qel::intake
