#pragma once
// A calendar time for tests that check time-stamped names (month 1..12, not yet normalised).
#include <ctime>

namespace qel::test {

inline std::tm at(int year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900, t.tm_mon = month - 1, t.tm_mday = day, t.tm_hour = hour, t.tm_min = minute, t.tm_sec = second;
  t.tm_isdst = -1;  // for mktime: whatever the zone says on that day
  return t;
}

}  // namespace qel::test
