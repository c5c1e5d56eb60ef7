#include "platform/run_stamp.h"

#include <cstdio>

namespace qel::platform {

std::string runStamp(const std::tm& t, StampStyle style) {
  const char* format = style == StampStyle::Frame ? "%04d-%02d-%02d-%02d-%02d-%02d" : "%04d%02d%02d_%02d%02d%02d";
  char buf[96];
  std::snprintf(buf, sizeof buf, format, t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
  return buf;
}

std::tm localTimeOf(std::time_t when) {
  std::tm tm{};
  ::localtime_r(&when, &tm);
  return tm;
}

}  // namespace qel::platform
