// Broken plot files: never a crash or a hang, always a clear result.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "fuzz_entry.h"
#include "plot_fixture.h"

namespace qel::plot::test {
namespace {

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
