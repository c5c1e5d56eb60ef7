// Broken plot files: never a crash or a hang, always a clear result.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <random>

#include "fuzz_entry.h"
#include "plot_fixture.h"

namespace qel::plot::test {
namespace {

TEST(BadInput, RandomBytesInEveryMode) {
  std::mt19937 rng(11);
  for (int round = 0; round < 40; ++round) {
    std::string bytes;
    const int len = 1 + static_cast<int>(rng() % 20000);
    const std::string alphabet = "PUDASGNRILBCTW,; -.0123456789\x03\n";
    for (int i = 0; i < len; ++i)
      bytes.push_back(round % 2 ? static_cast<char>(rng()) : alphabet[rng() % alphabet.size()]);
    fuzz::disposeBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  }
}

TEST(BadInput, TruncatedFilesKeepTheirLastCommand) {
  // A pen-up move at the end draws nothing; a label the file ends in gets its terminator.
  EXPECT_EQ(disposeToText("PU0,0;PD10,10;PU20,2"), "IN;LT;SP1;PU0,0;PD10,10;PX10;ZH10;");
  EXPECT_EQ(disposeToText("PU0,0;PD10,10;LBunfinished"), "IN;SP1PU10,10;LBunfinished\x03LT;SP1;PU0,0;PD10,10;PX10;ZH10;");
}

TEST(BadInput, OddNumbers) {
  // "1e999": the letter ends the number; "--5" reads as 0.
  // Text met between the first two commands still counts as the file header.
  EXPECT_EQ(disposeToText("PU1e999,5;PD--5,7;"), "IN;e999,5;LT;SP1;PU1,0;PD0,7;PX1;ZH1;");
  // Too large for a page index: refused with a reason.
  DisposeOptions o = plainOptions();
  DisposeRun run("PU0,0;PD1,1;PU" + std::string(400, '9') + ",0;PD1,1;", o);
  EXPECT_FALSE(run.dispose());
  EXPECT_NE(run.file().errorText().find("would need more than 1000 pages"), std::string::npos);
  // Left of the first page: the drawing is moved onto the material.
  EXPECT_EQ(disposeToText("PU-90000,5;PD-80000,5;"), "IN;LT;SP1;PU0,5;PD10000,5;PX10000;ZH10000;");
}

TEST(BadInput, TinyPagesOverflowingThePageIndex) {
  DisposeOptions o = plainOptions();
  o.pageWidth = 0.001;
  DisposeRun run("PU0,0;PD1,1;PU2000000000,0;PD1,1;", o);
  EXPECT_FALSE(run.dispose());
  EXPECT_FALSE(run.file().errorText().empty());
}

TEST(BadInput, LongLineWithoutSeparators) {
  std::string big = "PU0,0;PD" + std::string(10 * 1024 * 1024, '7') + ";PD1,1;";
  DisposeOptions o = plainOptions();
  o.cutFt = 6;  // one page whatever the coordinates
  DisposeRun run(big, o);
  EXPECT_TRUE(run.dispose());
  EXPECT_NE(run.page(0).find("PD1,1"), std::string::npos);
}

TEST(BadInput, InputThatIsNoPlotFile) {
  qel::test::TempHome home;
  test::Collector owner;
  ASSERT_EQ(::mkfifo(home.file("pipe.plt").c_str(), 0600), 0);
  DisposeOptions copy = plainOptions();
  copy.optimizeFunction = copy.splitPageEnabled = false;
  // A pipe is refused at once, not waited on for a writer, also where a file is copied through.
  const struct {
    std::string path, reason;
    DisposeOptions options;
  } cases[] = {{home.path(), "Is a directory", plainOptions()},
               {home.file("missing.plt"), "No such file", plainOptions()},
               {home.file("pipe.plt"), "", plainOptions()},
               {home.file("pipe.plt"), "", copy}};
  for (const auto& c : cases) {
    CDisposeFile f(&owner, c.path, home.file("out"), "T", c.options);
    EXPECT_FALSE(f.dispose()) << c.path;
    EXPECT_NE(f.errorText().find(c.reason), std::string::npos) << f.errorText();
  }
  EXPECT_TRUE(owner.reports.empty());
}

TEST(BadInput, RegressionCorpus) {
  const char* src = QEL_SOURCE_DIR;
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(std::string(src) + "/tests/plot/corpus")) {
    auto bytes = platform::readWholeFile(e.path().string());
    ASSERT_TRUE(bytes.has_value());
    fuzz::disposeBytes(reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size());
    ++files;
  }
  EXPECT_GT(files, 0);
}

}  // namespace
}  // namespace qel::plot::test
