#pragma once
// Job codes: a QR or Data Matrix code printed beside a sheet's first registration mark names the
// job whose cut file belongs to the sheet. Read from a camera frame, and drawn (module by module)
// for the simulated sheets that carry one.
#include <optional>
#include <string>

#include <opencv2/core.hpp>

namespace qel::camera {

enum class CodeFormat { QrCode, DataMatrix };

struct JobCode {
  std::string text;      // as printed
  CodeFormat format = CodeFormat::QrCode;
  cv::Point2d centre;    // pixels of the frame it was read in
};

// The first QR or Data Matrix code in an 8-bit grey picture of any size; nullopt when there is
// none (or the picture is empty or not 8-bit grey).
std::optional<JobCode> readJobCode(const cv::Mat& grey);

// The code's modules without a quiet zone: an 8-bit picture of one pixel per module, 0 for a dark
// module and 255 for a light one. Empty when the text cannot be encoded in that format.
cv::Mat codeModules(const std::string& text, CodeFormat format);

// The job name a code's text stands for: the text without surrounding blanks. Nullopt when what
// is left is empty, longer than 120 bytes, holds a control character or a path separator, or is
// "." or "..": such a code names no file of the job folder.
std::optional<std::string> jobNameFromCode(const std::string& text);

// The cut file of a job in the job folder: the name itself, else the name with ".plt", ".PLT",
// ".hpgl", ".HPGL", then a drawing's ".pdf", ".PDF", ".svg" or ".SVG" added; nullopt when none
// of them is a regular file.
std::optional<std::string> jobFileFor(const std::string& jobDir, const std::string& name);

}  // namespace qel::camera
