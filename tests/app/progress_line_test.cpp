// The progress line of the console commands.
#include <gtest/gtest.h>

#include "app/progress_line.h"

namespace qel::app {
namespace {

Progress halfway() { return Progress{12345, 24690, 0, 24.69}; }

TEST(ProgressLine, FullBarWithoutALimit) {
  EXPECT_EQ(progressBarLine(halfway(), 0),
            "[###############...............]  50%  12345/24690 bytes  500 B/s");
  EXPECT_EQ(progressBarLine(Progress{-1, 2000, 10, 0}, 0), "[###...........................]  10%  of 2000 bytes");
}

TEST(ProgressLine, NeverReachesTheLastColumnOfANarrowTerminal) {
  // A line as wide as the terminal wraps, and '\r' then starts a new row for every update.
  for (Progress p : {halfway(), Progress{5'000'000'000, 5'000'000'000, 0, 1e7}, Progress{-1, 999, 7, 0}}) {
    for (int columns = 1; columns <= 120; ++columns) {
      const std::string line = progressBarLine(p, columns);
      EXPECT_LT(static_cast<int>(line.size()), columns) << "columns " << columns << ": " << line;
    }
  }
}

TEST(ProgressLine, TheBarShrinksBeforeTheFiguresAreCut) {
  const std::string wide = progressBarLine(halfway(), 80);
  EXPECT_EQ(wide, progressBarLine(halfway(), 0));
  const std::string narrow = progressBarLine(halfway(), 50);
  EXPECT_EQ(narrow.front(), '[');
  EXPECT_NE(narrow.find(" 50%  12345/24690 bytes  500 B/s"), std::string::npos) << narrow;
  const std::string tiny = progressBarLine(halfway(), 20);
  EXPECT_EQ(tiny, std::string(" 50%  12345/24690 bytes  500 B/s").substr(0, 19));
}

TEST(ProgressLine, LogTextGivesTheTimeLeft) {
  EXPECT_EQ(progressLogText(halfway()), "12345 of 24690 bytes (50%), 500 B/s, about 25 s left");
  Progress slow{5000, 5'000'000, 0, 10};  // 500 B/s: 9990 s to go
  EXPECT_EQ(progressLogText(slow), "5000 of 5000000 bytes (0%), 500 B/s, about 2 h 46 min left");
  slow.sent = slow.size;
  EXPECT_EQ(progressLogText(slow), "5000000 of 5000000 bytes (100%), 500000 B/s");
  EXPECT_EQ(progressLogText(Progress{0, 0, 0, 0}), "0 of 0 bytes (100%), 0 B/s");
}

TEST(ProgressLine, NoTerminalNoWidth) { EXPECT_EQ(terminalColumns(-1), 0); }

}  // namespace
}  // namespace qel::app
