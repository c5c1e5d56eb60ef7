#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files.h"
#include "platform/home.h"
#include "platform/open_writers.h"
#include "support/temp_home.h"

namespace qel::platform {
namespace {

TEST(Files, AtomicWriteReplacesContentAndKeepsMode) {
  test::TempHome home;
  const std::string p = home.file("a.ini");
  home.writeFile("a.ini", "old content that is longer");
  ::chmod(p.c_str(), 0600);
  ASSERT_TRUE(writeFileAtomically(p, "new"));
  EXPECT_EQ(*readWholeFile(p), "new");
  struct stat st {};
  ::stat(p.c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  // No temporary file is left beside it.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home.path()), {}), 1);
}

// A file some process still writes is seen as such, under any name, by the kernel's lease and by
// the look through /proc; read-only holders do not count.
TEST(Files, AWriterStillHoldingTheFileIsSeen) {
  test::TempHome home;
  auto ask = [](const std::string& path, bool byDescriptors) {
    OpenWriters w;
    return byDescriptors ? w.holdsByDescriptors(path) : w.holds(path);
  };
  for (const bool byDescriptors : {false, true}) {
    SCOPED_TRACE(byDescriptors ? "through /proc" : "through a lease");
    home.writeFile("job.plt", "IN;");
    const std::string job = home.file("job.plt"), moved = home.file("moved.plt");
    EXPECT_FALSE(ask(job, byDescriptors));
    const int reader = ::open(job.c_str(), O_RDONLY | O_CLOEXEC);
    EXPECT_FALSE(ask(job, byDescriptors));
    const int writer = ::open(job.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    EXPECT_TRUE(ask(job, byDescriptors));
    ASSERT_EQ(::rename(job.c_str(), moved.c_str()), 0);
    EXPECT_TRUE(ask(moved, byDescriptors));
    ::close(writer);
    EXPECT_FALSE(ask(moved, byDescriptors));
    ::close(reader);
    EXPECT_FALSE(ask(home.file("none.plt"), byDescriptors));
    ::unlink(moved.c_str());
  }
}

TEST(Files, MoveCreatesTargetFolderAndReplaces) {
  test::TempHome home;
  home.writeFile("src.plt", "one");
  home.writeFile("out/dst.plt", "two");
  ASSERT_TRUE(moveFileReplacing(home.file("src.plt"), home.file("deep/er/dst.plt")));
  EXPECT_EQ(home.readFile("deep/er/dst.plt"), "one");
  EXPECT_FALSE(fileExists(home.file("src.plt")));
  home.writeFile("src2.plt", "three");
  ASSERT_TRUE(moveFileReplacing(home.file("src2.plt"), home.file("out/dst.plt")));
  EXPECT_EQ(home.readFile("out/dst.plt"), "three");
}

TEST(Files, MissingFoldersAndFoldersGiveNothing) {
  test::TempHome home;
  EXPECT_FALSE(writeFileAtomically(home.file("no/such/dir/x"), "data"));
  EXPECT_FALSE(readWholeFile(home.path()).has_value());
  EXPECT_FALSE(readWholeFile(home.file("missing")).has_value());
  EXPECT_EQ(resolveHome(std::string("/tmp/x//")), "/tmp/x");
  EXPECT_EQ(withTrailingSlash("/tmp/x"), "/tmp/x/");
  EXPECT_EQ(withTrailingSlash("/tmp/x/"), "/tmp/x/");
}

}  // namespace
}  // namespace qel::platform
