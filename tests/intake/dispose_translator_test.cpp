#include "intake/dispose_translator.h"

#include <gtest/gtest.h>

#include "config/ini_config.h"
#include "support/temp_home.h"

namespace qel::intake {
namespace {

TEST(DisposeTranslator, WritesAndReportsPageFiles) {
  test::TempHome home;
  config::CIniConfig cfg(home.path());
  home.writeFile("ListenDir/job.plt", "IN;SP1;PU0,0;PD400,0,400,400,0,400,0,0;PU;");
  DisposeTranslator t;
  TranslateResult r = t.translate(home.path(), home.file("ListenDir/job.plt"), home.file("DisposeDir"), "20260105_093000");
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_FALSE(r.outputs.empty());
  EXPECT_EQ(r.outputs[0], home.file("DisposeDir/job_20260105_093000_001.PLT"));
  EXPECT_TRUE(platform::fileExists(r.outputs[0]));
  EXPECT_EQ(r.splitMode, cfg.read(config::keys::CUT_FT));
  // The source is left for the queue to back up.
  EXPECT_TRUE(platform::fileExists(home.file("ListenDir/job.plt")));

  TranslateResult missing = t.translate(home.path(), home.file("ListenDir/none.plt"), home.file("DisposeDir"), "x");
  EXPECT_FALSE(missing.ok);
}

}  // namespace
}  // namespace qel::intake
