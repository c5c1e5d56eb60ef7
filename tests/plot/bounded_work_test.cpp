// The work of one file is bounded by the file, not by its coordinates: a page limit refuses
// files that would need too many pages before any page is written, a run never holds more than
// a few page files open, and a failed run leaves no page file behind.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <filesystem>

#include "plot_fixture.h"

namespace qel::plot::test {
namespace {

int filesIn(const std::string& folder) {
  std::error_code ec;
  return static_cast<int>(std::distance(std::filesystem::directory_iterator(folder, ec), {}));
}

int openDescriptors() {
  return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
}

TEST(BoundedWork, FilesNeedingTooManyPagesAreRefusedBeforeAnyPageIsWritten) {
  std::string pauses = "IN;SP1;PU0,0;PD1,1;";
  for (int i = 0; i < 1200; ++i) pauses += "PU0,0;PG;";
  DisposeOptions byPauses = pagedOptions(3, 10);
  byPauses.splitLabel = ";";
  // The tiny files that once ran for a minute and left thousands of pages behind, and pages
  // counted by pause commands.
  const std::pair<std::string, DisposeOptions> cases[] = {
      {"PU0,0;PD8000000,0;PU-90000PD1,1;PG;NR;PG;", pagedOptions(8, 10)},
      {"IN;SP1;PU0,0;PD480000,0;PU0,0;", pagedOptions(6, 10)},
      {"IN;SP1;PU0,0;PD480000,0;PU0,0;", pagedOptions(4, 10)},
      {"IN;SP1;PU480000,0;PD480001,0;", pagedOptions(5, 10)},
      {pauses, byPauses}};
  for (const auto& [hpgl, options] : cases) {
    DisposeRun run(hpgl, options);
    EXPECT_FALSE(run.dispose()) << hpgl;
    EXPECT_NE(run.file().errorText().find("would need more than 1000 pages"), std::string::npos)
        << run.file().errorText();
    EXPECT_NE(run.file().errorText().find("Max_Page_Count"), std::string::npos);
    EXPECT_EQ(filesIn(run.home().file("out")), 0) << hpgl;
    EXPECT_TRUE(run.reports().empty());
  }
}

TEST(BoundedWork, AFileNeedingExactlyTheLimitPasses) {
  DisposeOptions o = pagedOptions(4, 25);
  o.maxPageCount = 3;
  DisposeRun three("PU0,0;PD2999,0;", o);
  EXPECT_TRUE(three.dispose()) << three.file().errorText();
  EXPECT_EQ(three.reports().size(), 3u);
  DisposeRun four("PU0,0;PD3001,0;", o);
  EXPECT_FALSE(four.dispose());
  EXPECT_NE(four.file().errorText().find("more than 3 pages"), std::string::npos);
}

TEST(BoundedWork, ManyPagesWithFewFilesOpen) {
  // 400 pages while the process may open only a few more files than it holds now: every page
  // is made, one file at a time.
  std::string hpgl = "IN;SP1;";
  for (int k = 0; k < 400; ++k)
    hpgl += "PU" + std::to_string(k * 1000 + 10) + ",0;PD" + std::to_string(k * 1000 + 500) + ",300;";
  for (int m : {4, 5, 6, 8}) {
    DisposeRun run(hpgl, pagedOptions(m, 25));
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old), 0);
    rlimit tight = old;
    tight.rlim_cur = static_cast<rlim_t>(openDescriptors() + 6);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
    const bool ok = run.dispose();
    setrlimit(RLIMIT_NOFILE, &old);
    EXPECT_TRUE(ok) << "mode " << m << ": " << run.file().errorText();
    EXPECT_EQ(run.reports().size(), 400u) << m;
    EXPECT_EQ(filesIn(run.home().file("out")), 400) << m;
    EXPECT_EQ(run.page(399).rfind("IN;LT;SP1;PU10,0;PD500,300;", 0), 0u) << m;
  }
}

}  // namespace
}  // namespace qel::plot::test
