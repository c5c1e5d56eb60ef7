#pragma once
// The document formats a cutter takes as a network printer: one line per plot source. A job
// names its format, or sends "application/octet-stream" and is recognised by its first bytes.
// A new plot source (PDF, SVG) adds its line to the table in job_formats.cpp.
#include <span>
#include <string_view>

namespace qel::app::printer {

struct JobFormat {
  const char* mime;       // IPP document-format
  const char* extension;  // of the job's file in the queue's job folder (the sources go by it)
  bool (*recognise)(std::string_view head);  // from the file's first bytes
};

std::span<const JobFormat> jobFormats();

// The format of `mime`, or nullptr when no source reads it.
const JobFormat* formatForMime(std::string_view mime);
// The format whose source recognises `head`, or nullptr.
const JobFormat* formatForContent(std::string_view head);

// The driver's own format: every accepted format is handed to the same job handler as it.
inline constexpr const char* kCutterFormat = "application/vnd.hp-HPGL";

}  // namespace qel::app::printer
