// When a file of the watch folder counts as complete: the settle rule alone, without a queue.
#include "intake/file_settle.h"

#include <gtest/gtest.h>

#include <vector>

namespace qel::intake {
namespace {

// One step at a time (ms): a scan's look (size; the modification time follows the size), a
// write or a close seen by the watcher, and whether the file is settled after the step.
struct Step {
  enum Kind { Look, Write, Close } kind;
  std::int64_t atMs;
  std::int64_t size;
  bool settled;
};

TEST(FileSettleTest, TakenOnlyOnceClosedAndUnchangedForTheSettleTime) {
  struct Case {
    const char* name;
    std::vector<Step> steps;
    std::int64_t settleMs = 2000;
  } cases[] = {
      {"a file copied in at once settles after the settle time",
       {{Step::Look, 0, 100, false}, {Step::Look, 600, 100, false}, {Step::Look, 2000, 100, true}}},
      {"one look is never enough",
       {{Step::Look, 5000, 100, false}, {Step::Look, 7000, 100, true}}},
      {"one look is never enough, even without a settle time",
       {{Step::Look, 0, 100, false}, {Step::Look, 0, 100, true}}, 0},
      {"growing between looks starts the time again",
       {{Step::Look, 0, 100, false}, {Step::Look, 1500, 200, false}, {Step::Look, 3000, 200, false},
        {Step::Look, 3500, 200, true}}},
      {"a writer that keeps the file open and pauses longer than the settle time",
       {{Step::Write, 0, 0, false}, {Step::Look, 100, 100, false}, {Step::Look, 2600, 100, false},
        {Step::Look, 5000, 100, false}, {Step::Write, 5100, 0, false}, {Step::Look, 5200, 200, false},
        {Step::Close, 6000, 0, false}, {Step::Look, 6100, 200, false}, {Step::Look, 8000, 200, true}}},
      {"a writer that opens, appends and closes for every piece",
       {{Step::Write, 0, 0, false}, {Step::Close, 10, 0, false}, {Step::Look, 100, 100, false},
        {Step::Write, 1200, 0, false}, {Step::Close, 1210, 0, false}, {Step::Look, 1300, 200, false},
        {Step::Look, 2600, 200, false}, {Step::Look, 3300, 200, true}}},
      {"a close long after the last look still waits the settle time",
       {{Step::Look, 0, 100, false}, {Step::Look, 3000, 100, true}, {Step::Close, 3100, 0, false},
        {Step::Look, 3200, 100, false}, {Step::Look, 5100, 100, true}}},
      {"a close the watcher missed does not keep the file back for ever",
       {{Step::Write, 0, 0, false}, {Step::Look, 100, 100, false}, {Step::Look, 30000, 100, false},
        {Step::Look, 60100, 100, true}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FileSettle settle(c.settleMs);
    const std::string path = "/w/job.plt";
    for (const Step& s : c.steps) {
      if (s.kind == Step::Look) settle.look(path, {s.size, s.size * 1000}, s.atMs);
      else settle.written(path, s.kind == Step::Close, s.atMs);
      EXPECT_EQ(settle.settled(path, s.atMs), s.settled) << "at " << s.atMs << " ms";
    }
  }
}

TEST(FileSettleTest, AFileTakenOrGoneStartsAfresh) {
  FileSettle settle(0);
  settle.look("/w/a.plt", {1, 1}, 0);
  settle.look("/w/b.plt", {1, 1}, 0);
  EXPECT_TRUE(settle.look("/w/a.plt", {1, 1}, 10));
  EXPECT_EQ(settle.settledLook("/w/a.plt"), (FileLook{1, 1}));
  settle.forget("/w/a.plt");
  EXPECT_FALSE(settle.look("/w/a.plt", {1, 1}, 20));
  settle.keepOnly({"/w/a.plt"});
  EXPECT_FALSE(settle.look("/w/b.plt", {1, 1}, 30));
}

}  // namespace
}  // namespace qel::intake
