#pragma once
// The progress line of the console commands: the share, bytes and rate of a file being sent,
// as a bar redrawn in place on a terminal or as plain lines in a log.
#include <cstdint>
#include <string>

namespace qel::app {

struct Progress {
  std::int64_t sent = -1;  // bytes gone out; -1 when the link reports only a share
  std::int64_t size = 0;   // bytes of the whole file
  int percent = 0;         // used when sent is -1
  double seconds = 0;      // since the send began
};

// "[#####.....]  42%  12345/29000 bytes  500 B/s", cut to fit `columns` terminal columns with
// the last column left free, so that redrawing it after '\r' never wraps onto a new line. The
// bar shrinks first, then goes, then the text is cut. columns <= 0: no limit.
std::string progressBarLine(const Progress& p, int columns);

// "12345 of 29000 bytes (42%), 500 B/s, about 1 min left" for one line of a log.
std::string progressLogText(const Progress& p);

// The width of the terminal on descriptor fd; 0 when fd is no terminal or does not say.
int terminalColumns(int fd);

}  // namespace qel::app
