// qelcut marks: finds the registration marks in a camera picture, so that an operator can check
// a print (contrast, mark size, smudges) before a print-and-cut job.
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "app/command.h"
#include "camera/calibration.h"
#include "camera/mark_detector.h"
#include "camera/measurement.h"
#include "config/ini_config.h"
#include "platform/home.h"
#include "platform/trace.h"

namespace qel::app {
namespace {

constexpr const char* kName = "qelcut marks";

int usageError(const std::string& text) {
  std::fprintf(stderr, "%s: %s\n", kName, text.c_str());
  return 2;
}

std::optional<int> parseRadius(const std::string& text) {
  try {
    std::size_t used = 0;
    const int v = std::stoi(text, &used);
    if (used != text.size() || v < 0 || v > 10000) return std::nullopt;
    return v;
  } catch (const std::logic_error&) {  // not a number, or beyond int: the caller says what --min/--max take
    return std::nullopt;
  }
}

// Mark type and radius limits as the camera window would use them, from the home folder's
// settings and its current calibration set; the defaults when there is no Config.ini.
struct Settings {
  camera::MarkType type = camera::MarkType::Circle;
  int minRadius = camera::kUncalibratedMinRadius;
  int maxRadius = camera::kUncalibratedMaxRadius;
  std::string source = "defaults";
};

bool readSettings(const std::string& homeDir, bool needRadii, Settings& s, std::string& error) {
  const std::string ini = platform::withTrailingSlash(homeDir) + "Config.ini";
  if (!std::filesystem::exists(ini)) return true;
  config::CIniConfig cfg(homeDir);
  platform::setTraceEnabled(cfg.read(config::keys::DebugStatus) != 0);
  s.type = camera::markTypeFromKey(cfg.read(config::keys::markType));
  s.source = ini;
  if (!needRadii || s.type != camera::MarkType::Circle) return true;
  camera::CameraCalibration cal;
  const int set = cfg.read(config::keys::cur);
  cal.load(cfg, set);
  try {
    const camera::RadiusLimits r = cal.markRadiusLimits(cfg.readMark(0), cfg.readMark(1));
    s.minRadius = r.minRadius;
    s.maxRadius = r.maxRadius;
    s.source = ini + ", calibration set " + std::to_string(set);
  } catch (const camera::CalibrationError& e) {
    error = std::string(e.what()) + " (calibration set " + std::to_string(set) + " of " + ini +
            "); give the limits with --min and --max";
    return false;
  }
  return true;
}

void annotate(cv::Mat& colour, const camera::Detection& d, const Settings& s) {
  const cv::Scalar green(0, 200, 0), red(0, 0, 255), blue(255, 80, 0);
  cv::drawMarker(colour, {320, 240}, blue, cv::MARKER_CROSS, 24, 1);  // the crosshair
  int index = 1;
  for (const auto& p : d.candidates) {
    const cv::Point c(cvRound(p.x), cvRound(p.y));
    if (s.type == camera::MarkType::Circle) {
      cv::circle(colour, c, s.minRadius, green, 1, cv::LINE_AA);
      cv::circle(colour, c, s.maxRadius, green, 1, cv::LINE_AA);
    }
    cv::putText(colour, std::to_string(index++), c + cv::Point(8, -8), cv::FONT_HERSHEY_SIMPLEX, 0.5, green, 1,
                cv::LINE_AA);
  }
  if (!d.candidates.empty()) {
    const cv::Point c(cvRound(d.defaultPoint.x), cvRound(d.defaultPoint.y));
    cv::line(colour, c - cv::Point(20, 0), c + cv::Point(20, 0), red, 2);
    cv::line(colour, c - cv::Point(0, 20), c + cv::Point(0, 20), red, 2);
  }
}

int runMarks(const std::vector<std::string>& argv) {
  std::vector<std::string> args = argv;
  bool missing = false;
  const auto home = takeOption(args, "--home", &missing);
  if (missing) return usageError("--home needs a folder");
  const auto type = takeOption(args, "--type", &missing);
  if (missing) return usageError("--type needs circle or cross");
  const auto minText = takeOption(args, "--min", &missing);
  if (missing) return usageError("--min needs a radius in pixels");
  const auto maxText = takeOption(args, "--max", &missing);
  if (missing) return usageError("--max needs a radius in pixels");
  const auto annotateOut = takeOption(args, "--annotate", &missing);
  if (missing) return usageError("--annotate needs an output picture name");
  if (args.size() != 1 || args[0].rfind("--", 0) == 0) {
    return usageError("usage: qelcut marks IMAGE [--type circle|cross] [--min R] [--max R] [--annotate OUT.png] "
                      "[--home DIR] (see --help)");
  }
  const std::string& image = args[0];

  Settings s;
  if (type && *type != "circle" && *type != "cross") return usageError("--type must be circle or cross, not '" + *type + "'");
  std::optional<int> minR, maxR;
  if (minText && !(minR = parseRadius(*minText))) return usageError("--min must be a whole number of pixels");
  if (maxText && !(maxR = parseRadius(*maxText))) return usageError("--max must be a whole number of pixels");
  std::string error;
  if (!readSettings(platform::resolveHome(home), !(minR && maxR), s, error)) {
    std::fprintf(stderr, "%s: %s\n", kName, error.c_str());
    return 1;
  }
  if (type) s.type = *type == "circle" ? camera::MarkType::Circle : camera::MarkType::Cross;
  if (minR) s.minRadius = *minR;
  if (maxR) s.maxRadius = *maxR;
  if (s.type == camera::MarkType::Circle && (s.maxRadius < 1 || s.minRadius >= s.maxRadius)) {
    return usageError("the radius limits " + std::to_string(s.minRadius) + " .. " + std::to_string(s.maxRadius) +
                      " leave no room: --min must be below --max");
  }

  std::error_code ec;
  if (!std::filesystem::is_regular_file(image, ec)) {
    std::fprintf(stderr, "%s: %s is not a readable picture file\n", kName, image.c_str());
    return 1;
  }
  cv::Mat colour;
  try {
    colour = cv::imread(image, cv::IMREAD_COLOR);
  } catch (const cv::Exception&) {
    colour.release();
  }
  if (colour.empty()) {
    std::fprintf(stderr, "%s: %s is not a picture that can be read (PNG, BMP, JPEG, TIFF, PGM...)\n", kName,
                 image.c_str());
    return 1;
  }
  if (colour.cols != camera::kFrameWidth || colour.rows != camera::kFrameHeight) {
    std::fprintf(stderr, "%s: %s is %d x %d pixels; marks are found in camera frames of 640 x 480 pixels\n", kName,
                 image.c_str(), colour.cols, colour.rows);
    return 1;
  }
  cv::Mat grey;
  cv::cvtColor(colour, grey, cv::COLOR_BGR2GRAY);

  const camera::Detection d = camera::detectMarks(grey, s.type, s.minRadius, s.maxRadius);
  std::printf("picture: %s (640 x 480)\n", image.c_str());
  if (s.type == camera::MarkType::Circle) {
    std::printf("mode: circle, radius %d .. %d pixels (%s)\n", s.minRadius, s.maxRadius, s.source.c_str());
  } else {
    std::printf("mode: cross (%s)\n", s.source.c_str());
  }
  std::printf("candidates: %zu\n", d.candidates.size());
  int index = 1;
  for (const auto& p : d.candidates) {
    std::printf("  %d: %.3f %.3f  (%+.3f %+.3f from the centre)\n", index++, p.x, p.y, p.x - 320.0, p.y - 240.0);
  }
  std::printf("default point: %.3f %.3f\n", d.defaultPoint.x, d.defaultPoint.y);

  if (annotateOut) {
    annotate(colour, d, s);
    bool written = false;
    try {
      written = cv::imwrite(*annotateOut, colour);
    } catch (const cv::Exception& e) {
      std::fprintf(stderr, "%s: %s\n", kName, e.what());
    }
    if (!written) {
      std::fprintf(stderr, "%s: can't write %s (check the folder and the extension, e.g. .png)\n", kName,
                   annotateOut->c_str());
      return 1;
    }
    std::printf("annotated: %s\n", annotateOut->c_str());
  }
  if (d.candidates.empty()) {
    std::fprintf(stderr, "%s: no mark found in %s\n", kName, image.c_str());
    return 1;
  }
  return 0;
}

const CommandRegistration reg{{
    "marks",
    "find the registration marks in a 640 x 480 camera picture",
    "usage: qelcut marks IMAGE [--type circle|cross] [--min R] [--max R] [--annotate OUT.png] [--home DIR]\n\n"
    "Runs the mark detector of the print-and-cut mode on the picture IMAGE, a camera frame of\n"
    "640 x 480 pixels (colour pictures are turned grey), and prints every candidate mark centre\n"
    "in pixels (origin top left, the crosshair at 320 240) and the default point, the candidate\n"
    "a measurement takes when nobody chooses. Use it to check a print before a job.\n\n"
    "  --type circle|cross  mark type (default: markType of DIR/Config.ini, else circle)\n"
    "  --min R, --max R     circle radius limits in pixels; a circle counts when both axes of its\n"
    "                       fitted ellipse lie strictly between 2R(min) and 2R(max) (default: from\n"
    "                       the mark radius and the current calibration set of DIR/Config.ini,\n"
    "                       25 and 100 when the camera is not calibrated)\n"
    "  --annotate OUT.png   write the picture with the candidates numbered, the radius limits\n"
    "                       drawn round each, the default point as a red cross and the crosshair\n"
    "  --home DIR           home folder whose Config.ini gives the defaults (read only)\n\n"
    "Exit status: 0 when at least one mark was found, 1 when none was found or the picture\n"
    "can't be used (the reason is printed), 2 for a usage error.\n",
    runMarks,
}};

}  // namespace
}  // namespace qel::app
