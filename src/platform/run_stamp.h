#pragma once
// The time stamps in the names of the files a run leaves behind: the page files and backed-up
// sources of the queue, the print-and-cut history and the saved camera frames. Every such name
// takes its stamp from here, so the names of one run always agree.
#include <ctime>
#include <string>

namespace qel::platform {

enum class StampStyle {
  Run,    // "20260105_093000": queue page files, backed-up sources, history names
  Frame,  // "2026-01-05-09-30-00": saved camera frames
};

// The stamp of a local time, in the given style; the fields are printed as they are, not
// normalised.
std::string runStamp(const std::tm& localTime, StampStyle style = StampStyle::Run);

// The local time of a moment (the local time zone of the process).
std::tm localTimeOf(std::time_t when);

}  // namespace qel::platform
