#include "app/progress_line.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace qel::app {

namespace {

constexpr int kFullBar = 30;

int clampedPercent(const Progress& p) {
  int v = p.percent;
  if (p.sent >= 0) v = p.size > 0 ? static_cast<int>(p.sent * 100 / p.size) : 100;
  return std::clamp(v, 0, 100);
}

double rate(const Progress& p) { return p.seconds > 0 && p.sent > 0 ? double(p.sent) / p.seconds : 0.0; }

std::string figures(const Progress& p) {
  char text[128];
  const int pc = clampedPercent(p);
  if (p.sent >= 0)
    std::snprintf(text, sizeof text, "%3d%%  %lld/%lld bytes  %.0f B/s", pc, static_cast<long long>(p.sent),
                  static_cast<long long>(p.size), rate(p));
  else
    std::snprintf(text, sizeof text, "%3d%%  of %lld bytes", pc, static_cast<long long>(p.size));
  return text;
}

}  // namespace

std::string progressBarLine(const Progress& p, int columns) {
  const std::string text = figures(p);
  const int room = columns > 0 ? columns - 1 : kFullBar + 3 + static_cast<int>(text.size());
  // "[" bar "] " text
  const int barWidth = std::min(kFullBar, room - 3 - static_cast<int>(text.size()));
  if (barWidth < 5) return text.substr(0, static_cast<std::size_t>(std::max(0, room)));
  const int filled = clampedPercent(p) * barWidth / 100;
  std::string line = "[";
  line.append(static_cast<std::size_t>(filled), '#');
  line.append(static_cast<std::size_t>(barWidth - filled), '.');
  line += "] " + text;
  return line;
}

std::string progressLogText(const Progress& p) {
  char text[160];
  const int pc = clampedPercent(p);
  if (p.sent < 0) {
    std::snprintf(text, sizeof text, "%d%% of %lld bytes", pc, static_cast<long long>(p.size));
    return text;
  }
  const double r = rate(p);
  std::snprintf(text, sizeof text, "%lld of %lld bytes (%d%%), %.0f B/s", static_cast<long long>(p.sent),
                static_cast<long long>(p.size), pc, r);
  std::string out = text;
  if (r > 0 && p.sent < p.size) {
    const auto left = static_cast<long long>(double(p.size - p.sent) / r + 0.5);
    if (left >= 3600) std::snprintf(text, sizeof text, ", about %lld h %lld min left", left / 3600, left % 3600 / 60);
    else if (left >= 60) std::snprintf(text, sizeof text, ", about %lld min left", (left + 30) / 60);
    else std::snprintf(text, sizeof text, ", about %lld s left", left);
    out += text;
  }
  return out;
}

int terminalColumns(int fd) {
  if (::isatty(fd) == 0) return 0;
  winsize ws{};
  if (::ioctl(fd, TIOCGWINSZ, &ws) != 0) return 0;
  return ws.ws_col;
}

}  // namespace qel::app
