#include "ccd/pattern_model.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <limits>

#include "config/ini_config.h"
#include "plot/dispose_file.h"
#include "plot/dispose_options.h"
#include "platform/run_stamp.h"
#include "plot/number_text.h"

namespace qel::ccd {

namespace {

constexpr double kPlateMarginUnits = 2000.0;  // 50 mm either side of a plate

// An exchange sort over positions [from, to) that swaps only the first points of two
// positions; the other fields of each position stay where they are.
template <class Less>
void exchangeSortFirstPoints(std::vector<plot::CStroke>& marks, std::size_t from, std::size_t to, Less less) {
  for (std::size_t i = from; i < to; ++i)
    for (std::size_t j = i + 1; j < to; ++j)
      if (less(marks[j].points[0], marks[i].points[0])) std::swap(marks[i].points[0], marks[j].points[0]);
}

}  // namespace

PatternLoad PatternModel::load(const std::string& path, const config::CIniConfig& cfg) {
  *this = PatternModel{};
  path_ = path;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return PatternLoad::NotExist;
  // The pattern works in the file's own coordinates, where a stroke's plate follows from its x:
  // the load runs without the page window, which would make points relative to their page.
  plot::DisposeOptions options = plot::DisposeOptions::read(cfg);
  options.splitPageEnabled = false;
  // A drawing's printed registration marks are the pattern's marks, whatever the page mode.
  options.drawing.findMarks = true;
  plot::CDisposeFile file(nullptr, path, cfg.programDir() + "TempDir", platform::runStamp(platform::localTimeOf(std::time(nullptr))), options);
  if (!file.loadOnly()) return PatternLoad::FormatError;
  setStrokes(file.strokes(), cfg.read(config::keys::MarkPoint_SP), cfg.read(config::keys::Page_Width));
  path_ = path;
  return PatternLoad::Loaded;
}

void PatternModel::setStrokes(std::vector<plot::CStroke> strokes, int markPen, double pageWidthMm) {
  const std::string path = path_;
  *this = PatternModel{};
  path_ = path;
  strokes_ = std::move(strokes);
  markPen_ = markPen;
  pageWidthMm_ = pageWidthMm;
  takeMarks();
  minX_ = minY_ = std::numeric_limits<double>::infinity();
  maxX_ = maxY_ = -std::numeric_limits<double>::infinity();
  for (const auto& s : strokes_)
    for (const auto& p : s.points) {
      minX_ = std::min(minX_, p.x), maxX_ = std::max(maxX_, p.x);
      minY_ = std::min(minY_, p.y), maxY_ = std::max(maxY_, p.y);
    }
  loaded_ = true;
}

void PatternModel::takeMarks() {
  std::vector<plot::CStroke> rest, marks;
  std::vector<Mark> info;
  int threePointCount = 0;
  for (auto& s : strokes_) {
    if (s.pen == markPen_ && s.points.size() == 1) {
      marks.push_back(std::move(s));
      info.push_back({});
    } else if (s.pen == markPen_ && s.points.size() == 3) {
      // Only every second three-point mark stroke is a cross; the others are dropped.
      if (++threePointCount % 2 == 0) {
        Mark m{true, s.points[1]};
        s.points.resize(1);
        marks.push_back(std::move(s));
        info.push_back(m);
      }
    } else {
      rest.push_back(std::move(s));
    }
  }
  // A path along the lower row from left to right and back along the upper row.
  const std::size_t n = marks.size();
  exchangeSortFirstPoints(marks, 0, n, [](const plot::PlotPoint& a, const plot::PlotPoint& b) { return a.y < b.y; });
  exchangeSortFirstPoints(marks, 0, n / 2, [](const plot::PlotPoint& a, const plot::PlotPoint& b) { return a.x < b.x; });
  exchangeSortFirstPoints(marks, n / 2, n, [](const plot::PlotPoint& a, const plot::PlotPoint& b) { return a.x > b.x; });
  for (std::size_t i = n; i-- > 0;) markList_.push_back(marks[i].points[0]);
  marks_ = std::move(info);
  strokes_ = std::move(marks);
  strokes_.insert(strokes_.end(), std::make_move_iterator(rest.begin()), std::make_move_iterator(rest.end()));
}

int PatternModel::plateOf(const plot::CStroke& s) const {
  if (s.points.empty() || pageWidthMm_ <= 0.0) return 0;
  return plot::truncToInt(s.points[0].x / (pageWidthMm_ * plot::kUnitsPerMm));
}

int PatternModel::plateCount() const {
  if (!loaded_ || strokes_.empty() || pageWidthMm_ <= 0.0 || !std::isfinite(maxX_)) return 1;
  return std::max(1, plot::truncToInt(maxX_ / (pageWidthMm_ * plot::kUnitsPerMm)) + 1);
}

bool PatternModel::hitTest(const plot::PlotPoint& p) const {
  return loaded_ && !strokes_.empty() && p.x >= minX_ && p.x <= maxX_ && p.y >= minY_ && p.y <= maxY_;
}

std::optional<PatternModel::Box> PatternModel::outline() const {
  if (!loaded_ || strokes_.empty() || !std::isfinite(minX_)) return std::nullopt;
  return Box{minX_, minY_, maxX_, maxY_};
}

bool PatternModel::pressAt(const plot::PlotPoint& p) {
  if (selected_ || !hitTest(p)) return false;
  selected_ = true;
  return true;
}

bool PatternModel::unselect() {
  if (!selected_) return false;
  selected_ = false;
  return true;
}

void PatternModel::toggleSelectAll() {
  selectAll_ = !selectAll_;
  if (selectAll_ && loaded_) selected_ = true;
}

std::optional<std::pair<std::size_t, std::size_t>> PatternModel::selectionRange() const {
  if (!selected_ || strokes_.empty()) return std::nullopt;
  return std::make_pair(std::size_t{0}, strokes_.size() - 1);
}

std::vector<plot::PlotPoint> PatternModel::designMarks(int cutType, bool shareMark) const {
  std::vector<plot::PlotPoint> out;
  if ((cutType == 2 || cutType == 3) && shareMark) {
    const double w = pageWidthMm_ * plot::kUnitsPerMm;
    for (const auto& p : markList_) {
      const double x = std::trunc(p.x);
      if (x > plate_ * w - kPlateMarginUnits && x < (plate_ + 1) * w + kPlateMarginUnits) out.push_back(p);
    }
    return out;
  }
  const auto range = selectionRange();
  if (!range) return out;
  for (std::size_t i = range->first; i <= range->second; ++i)
    if (strokes_[i].pen == markPen_ && !strokes_[i].points.empty()) out.push_back(strokes_[i].points[0]);
  return out;
}

std::vector<const plot::CStroke*> PatternModel::plateSelection() const {
  std::vector<const plot::CStroke*> out;
  const auto range = selectionRange();
  if (!range) return out;
  for (std::size_t i = range->first; i <= range->second; ++i)
    if (!strokes_[i].points.empty() && plateOf(strokes_[i]) == plate_) out.push_back(&strokes_[i]);
  return out;
}

}  // namespace qel::ccd
