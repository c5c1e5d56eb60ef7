#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "ccd/ccd_workflow_impl.h"
#include "ccd/quality_record.h"
#include "config/ini_config.h"
#include "platform/files.h"
#include "platform/run_stamp.h"

namespace qel::ccd {

using json = nlohmann::json;

namespace {
constexpr int kRecordVersion = 1;

double rounded(double v, double unit = 1e-4) { return std::isfinite(v) ? std::round(v / unit) * unit : 0.0; }
json point(const cv::Point2d& p) { return json::array({rounded(p.x), rounded(p.y)}); }
}  // namespace

std::string qualityRecordPath(const std::string& printedDir, const std::string& historyName) {
  return printedDir + (printedDir.empty() || printedDir.back() == '/' ? "" : "/") + historyName + ".json";
}

std::string CcdWorkflow::Impl::writeRecord(const detail::RunRecord& r, const std::string& historyName) const {
  json j;
  j["record"] = kRecordVersion;
  j["history"] = historyName;
  j["job"] = r.job;
  if (!r.code.empty()) j["code"] = r.code;
  if (r.sheet > 0) j["sheet"] = r.sheet;
  j["cutType"] = r.cutType;
  if (!r.skipped.empty()) j["skipped"] = r.skipped;
  j["time"] = platform::runStamp(platform::localTimeOf(std::time(nullptr)));
  j["seconds"] = rounded((clock.nowMs() - r.startMs) / 1000.0, 0.001);
  json marks = json::array();
  std::size_t fitted = 0;
  for (const auto& m : r.marks) {
    json e;
    e["mark"] = m.index + 1;
    e["design"] = point(m.design);
    if (m.skipped) {
      e["skipped"] = true;
    } else {
      e["measured"] = point(m.machine);
      e["confidence"] = rounded(m.quality.confidence(), 0.001);
      e["contrast"] = rounded(m.quality.contrast, 0.001);
      e["roundness"] = rounded(m.quality.roundness, 0.001);
      e["fit"] = rounded(m.quality.fit, 0.001);
      e["remeasured"] = m.remeasured;
      e["searchSteps"] = m.searchSteps;
      if (fitted < r.residuals.size()) e["residual"] = rounded(r.residuals[fitted++]);
    }
    marks.push_back(e);
  }
  j["marks"] = marks;
  j["correction"] = {{"fit", r.fit},
                     {"ratioX", rounded(r.ratioX, 1e-7)},
                     {"ratioY", rounded(r.ratioY, 1e-7)},
                     {"angleDeg", rounded(r.angleRad * 180.0 / CV_PI, 1e-6)}};
  json segments = json::array();
  for (const auto& s : r.segments) segments.push_back({{"fromX", rounded(s.fromX)}, {"toX", rounded(s.toX)}});
  j["segments"] = segments;
  const std::string printed = config::CIniConfig(services.home).read(config::keys::SPD);
  platform::makeDirectories(printed);
  const std::string path = qualityRecordPath(printed, historyName);
  if (!platform::writeFileAtomically(path, j.dump(2) + "\n")) {
    log("the quality record " + path + " could not be written");
    return {};
  }
  log("quality record: " + path);
  return path;
}

std::optional<std::string> qualityRecordSummary(const std::string& path, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error) *error = path + ": cannot be read";
    return std::nullopt;
  }
  json j;
  try {
    j = json::parse(in);
    if (!j.is_object() || !j.contains("record") || !j["marks"].is_array()) throw std::runtime_error("no record");
    std::ostringstream out;
    char line[256];
    out << "job " << j.value("job", std::string()) << ", history " << j.value("history", std::string());
    if (j.contains("sheet")) out << ", sheet " << j["sheet"].get<int>() << " (code \"" << j.value("code", std::string()) << "\")";
    out << ", " << j.value("time", std::string()) << ", " << j.value("seconds", 0.0) << " s\n";
    if (j.contains("skipped")) out << "skipped: " << j["skipped"].get<std::string>() << "\n";
    for (const auto& m : j["marks"]) {
      const auto d = m["design"];
      if (m.value("skipped", false)) {
        std::snprintf(line, sizeof line, "mark %d: design (%.3f, %.3f) mm, not found: left out\n", m["mark"].get<int>(),
                      d[0].get<double>(), d[1].get<double>());
      } else {
        const auto p = m["measured"];
        std::snprintf(line, sizeof line,
                      "mark %d: design (%.3f, %.3f) mm, measured (%.3f, %.3f) mm, confidence %.2f%s%s, residual %.3f mm\n",
                      m["mark"].get<int>(), d[0].get<double>(), d[1].get<double>(), p[0].get<double>(), p[1].get<double>(),
                      m.value("confidence", 0.0), m.value("remeasured", false) ? ", measured again" : "",
                      m.value("searchSteps", 0) > 0 ? ", found by searching" : "", m.value("residual", 0.0));
      }
      out << line;
    }
    const auto& c = j["correction"];
    std::snprintf(line, sizeof line, "correction (%s): ratio_x %.6f, ratio_y %.6f, angle %.4f deg\n",
                  c.value("fit", std::string()).c_str(), c.value("ratioX", 1.0), c.value("ratioY", 1.0),
                  c.value("angleDeg", 0.0));
    out << line;
    for (const auto& s : j["segments"]) {
      std::snprintf(line, sizeof line, "segment %.1f to %.1f mm\n", s.value("fromX", 0.0), s.value("toX", 0.0));
      out << line;
    }
    return out.str();
  } catch (const std::exception& e) {
    if (error) *error = path + ": not a quality record (" + e.what() + ")";
    return std::nullopt;
  }
}

}  // namespace qel::ccd
