#pragma once
// Runs the dispose pipeline over HPGL text in a temporary folder and collects what it wrote.
#include <string>
#include <vector>

#include "plot/dispose_file.h"
#include "plot/plot_source.h"
#include "support/temp_home.h"

namespace qel::plot::test {

struct Collector : DisposeOwner {
  void addOutputFileReport(const OutputFileReport& r) override { reports.push_back(r); }
  std::vector<OutputFileReport> reports;
};

// Options that keep the pages out of the way unless a test sets them: mode 5, 1000 x 1000 mm.
inline DisposeOptions plainOptions() {
  DisposeOptions o;
  o.cutFt = 5;
  o.pageWidth = 1000;
  o.pageHeight = 1000;
  o.addPg = false;
  o.fontDisposeEnabled = false;
  return o;
}

class DisposeRun {
 public:
  DisposeRun(const std::string& hpgl, const DisposeOptions& options, const std::string& name = "job.plt")
      : input_(home_.file(name)) {
    home_.writeFile(name, hpgl);
    file_ = std::make_unique<CDisposeFile>(&owner_, input_, home_.file("out"), "TAG", options);
  }
  // A run whose model comes from `source` instead of the HPGL reader.
  DisposeRun(std::unique_ptr<PlotSource> source, const DisposeOptions& options) : input_(home_.file("lines.pdf")) {
    file_ = std::make_unique<CDisposeFile>(&owner_, std::move(source), input_, home_.file("out"), "TAG", options);
  }
  bool dispose() { return file_->dispose(); }
  bool loadOnly() { return file_->loadOnly(); }
  CDisposeFile& file() { return *file_; }
  const std::vector<OutputFileReport>& reports() const { return owner_.reports; }
  // The page file of page index p (0-based), or "<missing>".
  std::string page(int p) const {
    auto s = platform::readWholeFile(file_->outputName(p));
    return s ? *s : "<missing>";
  }
  const qel::test::TempHome& home() const { return home_; }

 private:
  qel::test::TempHome home_;
  std::string input_;
  Collector owner_;
  std::unique_ptr<CDisposeFile> file_;
};

// Options of a run in page mode `mode` on pages `widthMm` wide, without margins.
inline DisposeOptions pagedOptions(int mode, double widthMm) {
  DisposeOptions o = plainOptions();
  o.cutFt = mode;
  o.pageWidth = widthMm;
  o.detalX = o.detalY = 0;
  return o;
}

inline CStroke stroke(std::vector<PlotPoint> points, int pen = 1, bool closed = false) {
  CStroke s;
  s.points = std::move(points);
  s.pen = pen;
  s.closedFlag = closed;
  return s;
}

// A closed rectangle stroke from (x0, y0) to (x1, y1), drawn counter-clockwise from (x0, y0).
inline CStroke rectStroke(double x0, double y0, double x1, double y1, int pen = 1) {
  return stroke({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}, {x0, y0}}, pen, true);
}

// The page bodies of a run, without their first "IN;" and their trailers.
inline std::vector<std::string> pageBodies(DisposeRun& run) {
  std::vector<std::string> out;
  for (int p = 0; p < run.file().outputCount(); ++p) {
    std::string s = run.page(p);
    if (s.rfind("IN;", 0) == 0) s.erase(0, 3);
    const size_t px = s.find("PX");
    if (px != std::string::npos) s.erase(px);
    out.push_back(s);
  }
  return out;
}

}  // namespace qel::plot::test
