// The time stamps in the names a run leaves behind.
#include "platform/run_stamp.h"

#include <gtest/gtest.h>

#include "support/calendar.h"

#include <cstdlib>

namespace {

using qel::test::at;

TEST(RunStamp, EveryFieldIsZeroPaddedInBothStyles) {
  using qel::platform::runStamp;
  using qel::platform::StampStyle;
  EXPECT_EQ(runStamp(at(2026, 1, 5, 9, 3, 7)), "20260105_090307");
  EXPECT_EQ(runStamp(at(2026, 12, 31, 23, 59, 59)), "20261231_235959");
  EXPECT_EQ(runStamp(at(2026, 1, 5, 9, 3, 7), StampStyle::Frame), "2026-01-05-09-03-07");
  // Stamps of one style sort as their times do (the recycle bin orders leftovers by them).
  EXPECT_LT(runStamp(at(2026, 9, 30, 23, 59, 59)), runStamp(at(2026, 10, 1, 0, 0, 0)));
  // A leap second is printed as it comes, not carried into the next minute.
  EXPECT_EQ(runStamp(at(2016, 12, 31, 23, 59, 60)), "20161231_235960");
}

TEST(RunStamp, LocalTimeFollowsTheProcessTimeZone) {
  const char* old = std::getenv("TZ");
  const std::string saved = old ? old : "";
  for (const auto& [zone, stamp] : {std::pair{"UTC", "20260105_093000"}, {"UTC-2", "20260105_113000"}}) {
    ::setenv("TZ", zone, 1);
    ::tzset();
    EXPECT_EQ(qel::platform::runStamp(qel::platform::localTimeOf(1767605400)), stamp);  // 2026-01-05 09:30:00 UTC
  }
  old ? ::setenv("TZ", saved.c_str(), 1) : ::unsetenv("TZ");
  ::tzset();
}

}  // namespace
