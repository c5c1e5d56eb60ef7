#pragma once
// The quality record of a print-and-cut job: a small JSON file beside the job's history entry
// (the history name with ".json" added) holding its marks with their confidence, the residuals,
// the correction, the segments of long media and the time the job took; and its summary as
// `qelcut ccd --record` prints it.
#include <optional>
#include <string>

namespace qel::ccd {

// The record's path for a history name in the printed folder `printedDir`.
std::string qualityRecordPath(const std::string& printedDir, const std::string& historyName);

// The record as lines of text; nullopt with the reason when the file cannot be read or is not
// a quality record.
std::optional<std::string> qualityRecordSummary(const std::string& path, std::string* error);

}  // namespace qel::ccd
