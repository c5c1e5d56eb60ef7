#include "plot/drawing_collector.h"

#include <algorithm>
#include <cmath>

#include "plot/flatten.h"
#include "plot/plot_builder.h"

namespace qel::plot {

namespace {

// 1204 -> "1,204".
std::string grouped(std::int64_t n) {
  std::string digits = std::to_string(n), out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out.push_back(',');
    out.push_back(digits[i]);
  }
  return out;
}

// "a, b, c or d".
std::string listed(const std::vector<std::string>& names, const char* last) {
  std::string out;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) out += i + 1 == names.size() ? last : ", ";
    out += names[i];
  }
  return out;
}

void grow(std::optional<Box>& box, const Box& b) {
  if (!box) {
    box = b;
    return;
  }
  box->minX = std::min(box->minX, b.minX), box->minY = std::min(box->minY, b.minY);
  box->maxX = std::max(box->maxX, b.maxX), box->maxY = std::max(box->maxY, b.maxY);
}

}  // namespace

DrawingCollector::DrawingCollector(const DrawingOptions& options, int markPen)
    : opt_(options), colours_(options), markPen_(markPen) {
  // Finer than a thousandth of a millimetre buys nothing and costs chords without end.
  const double mm = std::isfinite(opt_.toleranceMm) ? std::clamp(opt_.toleranceMm, 0.001, 10.0) : 0.01;
  tolerance_ = mm * kUnitsPerMm;
  extents_.emplace_back();
}

void DrawingCollector::beginPage(int page) {
  page_ = page;
  if (extents_.size() <= static_cast<std::size_t>(page)) extents_.resize(static_cast<std::size_t>(page) + 1);
}

void DrawingCollector::countPath() {
  if (++paths_ > kMaxPaths && limitText_.empty()) limitText_ = "it paints more than " + grouped(kMaxPaths) + " paths";
}

DrawingCollector::Use DrawingCollector::classify(PaintKind kind, const PaintColour& colour, int* pen) {
  const bool text = kind == PaintKind::Text || kind == PaintKind::StrokedText;
  const bool fill = kind == PaintKind::Fill;
  for (std::string_view spot : colour.spots) {
    if (auto p = colours_.spotPen(spot); p && (!fill || opt_.cutFills)) {
      if (!spotSeen_) {
        spotSeen_ = true;
        rgb_ = Lines{};  // process colours are not cut where spot colours say what is
      }
      *pen = *p;
      return Use::Cut;
    }
    if (opt_.findMarks && !text && colours_.isMarkColour(spot)) return Use::Mark;
  }
  if (!spotSeen_ && colour.rgb) {
    if (auto p = colours_.rgbPen(*colour.rgb); p && (!fill || opt_.cutFills)) {
      *pen = *p;
      return Use::Cut;
    }
    const bool stroked = kind == PaintKind::Stroke || kind == PaintKind::StrokedText;
    if (opt_.cutAll && (stroked || (fill && opt_.cutFills))) {
      *pen = 1;
      return Use::Cut;
    }
  }
  if (opt_.findMarks && fill) return Use::Circle;
  return Use::Ignore;
}

void DrawingCollector::noteBox(const Box& box) {
  if (opt_.findMarks) grow(extents_[static_cast<std::size_t>(page_)], box);
}

void DrawingCollector::noteSpotName(std::string_view name) {
  if (spotNames_.size() >= 12 || name.empty()) return;
  if (std::find(spotNames_.begin(), spotNames_.end(), name) == spotNames_.end()) spotNames_.emplace_back(name);
}

void DrawingCollector::beginPath(Use use, int pen) {
  use_ = use;
  pen_ = pen;
  box_.reset();
  shape_.clear();
  target_ = nullptr;
  if (use == Use::Cut) target_ = spotSeen_ ? &spot_ : &rgb_;
  subpathStart_ = target_ ? static_cast<std::uint32_t>(target_->points.size()) : 0;
}

void DrawingCollector::keepBox(const PlotPoint& p) { grow(box_, Box{p.x, p.y, p.x, p.y}); }

void DrawingCollector::add(const PlotPoint& p) {
  if (!std::isfinite(p.x) || !std::isfinite(p.y)) return;
  at_ = p;
  if (opt_.findMarks) keepBox(p);
  if (target_) {
    if (target_->points.size() >= static_cast<std::size_t>(kMaxPoints)) {
      if (limitText_.empty()) limitText_ = "its cut lines need more than " + grouped(kMaxPoints) + " points";
      return;
    }
    target_->points.push_back(p);
  } else if (use_ != Use::Ignore) {
    shape_.push_back(p);
  }
}

void DrawingCollector::endSubpath() {
  if (!target_) return;
  const auto end = static_cast<std::uint32_t>(target_->points.size());
  if (end - subpathStart_ >= 2)
    target_->lines.push_back({subpathStart_, end - subpathStart_, pen_});
  else
    target_->points.resize(subpathStart_);  // a lone point cuts nothing
  subpathStart_ = static_cast<std::uint32_t>(target_->points.size());
}

void DrawingCollector::moveTo(const PlotPoint& p) {
  endSubpath();
  add(p);
}

void DrawingCollector::lineTo(const PlotPoint& p) { add(p); }

void DrawingCollector::cubicTo(const PlotPoint& c1, const PlotPoint& c2, const PlotPoint& p) {
  thread_local std::vector<PlotPoint> chords;
  chords.clear();
  flattenCubic(at_, c1, c2, p, tolerance_, chords);
  if (use_ == Use::Cut) {
    ++counts_.curves;
    counts_.chords += static_cast<std::int64_t>(chords.size());
    counts_.uniformChords += uniformChordCount(at_, c1, c2, p, tolerance_);
  }
  for (const PlotPoint& q : chords) add(q);
}

void DrawingCollector::quadTo(const PlotPoint& c, const PlotPoint& p) {
  const PlotPoint c1{at_.x + 2.0 / 3.0 * (c.x - at_.x), at_.y + 2.0 / 3.0 * (c.y - at_.y)};
  const PlotPoint c2{p.x + 2.0 / 3.0 * (c.x - p.x), p.y + 2.0 / 3.0 * (c.y - p.y)};
  cubicTo(c1, c2, p);
}

void DrawingCollector::closePath() {
  if (target_) {
    const auto& pts = target_->points;
    if (pts.size() <= subpathStart_) return;
    const PlotPoint first = pts[subpathStart_];
    if (!(pts.back() == first)) add(first);
    at_ = first;
  } else if (!shape_.empty() && !(shape_.back() == shape_.front())) {
    add(shape_.front());
  }
}

void DrawingCollector::endPath() {
  endSubpath();
  if (box_) noteBox(*box_);
  if (use_ == Use::Mark && box_) markShapes_.push_back({*box_, page_});
  if (use_ == Use::Circle)
    if (auto c = circleOf(shape_)) {
      c->page = page_;
      circles_.push_back(*c);
    }
  use_ = Use::Ignore;
  target_ = nullptr;
}

std::string DrawingCollector::noCutLineText(const std::string& inputPath) const {
  std::vector<std::string> wanted = colours_.spotNames();
  for (const auto& c : colours_.rgbNames()) wanted.push_back(c);
  std::string text = inputPath + ": no cut line: " + grouped(paths_) + (paths_ == 1 ? " path" : " paths");
  text += wanted.empty() ? ", no cut colour set" : ", none in " + listed(wanted, " or ");
  if (opt_.cutAll) text += " and none stroked";
  text += "; set CutColours or CutAll";
  if (!spotNames_.empty()) text += " (spot colours in the file: " + listed(spotNames_, ", ") + ")";
  return text;
}

SourceResult DrawingCollector::emit(PlotBuilder& b, const std::string& inputPath) {
  const Lines& cut = spotSeen_ ? spot_ : rgb_;
  if (cut.lines.empty()) return {false, noCutLineText(inputPath)};
  if (opt_.findMarks) marks_ = markShapes_.empty() ? cornerCircles(circles_, extents_) : marksFromShapes(markShapes_);
  // About the length of the same drawing in HPGL: a large one is written page by page.
  b.reserveForInput(static_cast<std::int64_t>(cut.points.size()) * 14);
  b.startPass();
  auto stop = [&]() -> std::optional<SourceResult> {
    if (b.overflow()) return SourceResult{false, tooManyPagesText(inputPath, b.options().maxPageCount)};
    if (b.crossedEdge()) return SourceResult{false, crossedEdgeText(inputPath)};
    return std::nullopt;
  };
  for (const DrawingMark& m : marks_) {
    // A mark is a point with the circle about it, as a plot file's "PU x,y;CI r;".
    b.liftPen();
    b.selectPen(markPen_);
    b.startStrokeAt(m.centre);
    b.stroke().circleFlag = true;
    b.stroke().circleRadius = static_cast<std::int32_t>(std::lround(m.radius));
    b.liftPen();
    b.stepDone();
    if (auto r = stop()) return *r;
  }
  for (const LineRef& l : cut.lines) {
    b.addPolyline(l.pen, std::span<const PlotPoint>(cut.points.data() + l.first, l.count));
    b.stepDone();
    if (auto r = stop()) return *r;
  }
  b.liftPen();
  b.endOfInput();
  return {true, {}};
}

}  // namespace qel::plot
