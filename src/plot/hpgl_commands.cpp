// The HPGL reader's commands of the plotter's table: pen moves ("PU", "PD", "PA"), pens
// ("SP"), page breaks ("PG", "NR"), label attributes ("DI", "SI", "LO", "DT"), arcs ("AA"),
// circles ("CI"), line types ("LT") and "WD". Labels ("LB") are in hpgl_labels.cpp.
#include <algorithm>
#include <cmath>

#include "config/modes.h"
#include "plot/hpgl_reader.h"
#include "plot/hpgl_syntax.h"
#include "plot/number_text.h"
#include "plot/plot_builder.h"
#include "plot/plot_input.h"
#include "plot/thinning.h"

namespace qel::plot {

using namespace hpgl;
using config::PageMode;

void HpglReader::cmdPU() {
  b_->liftPen(!polygonMode_);
  Params p;
  if (!scanParams(p, false)) return;
  if (relative_ || polygonMode_) {
    readPairs(p.text, pairs_);
    if (pairs_.empty()) return;
    addPoints(pairs_);
    if (polygonMode_) {
      for (const auto& pt : pairs_) recordPolygon(pt);
      return;
    }
    // Every move of a relative "PU" counts; the stroke starts where the last one ends.
    pairs_.erase(pairs_.begin(), pairs_.end() - 1);
  } else {
    // The first field is x; all the rest is read as y (further pairs are not used).
    std::string_view rest;
    std::string_view xText = firstField(p.text, rest);
    if (xText.empty() && rest.empty()) return;  // no coordinates: no point
    while (!rest.empty() && isSeparator(rest.front())) rest.remove_prefix(1);
    pairs_.assign(1, toRaw(parseReal(xText), parseReal(rest)));
  }
  b_->startStrokeAt(pairs_.front());
}

void HpglReader::readAndAddPoints() {
  Params p;
  if (!scanParams(p, false)) return;
  readPairs(p.text, pairs_);
  addPoints(pairs_);
  if (polygonMode_) {
    for (const auto& pt : pairs_) recordPolygon(pt);
    return;
  }
  for (const auto& pt : pairs_) b_->moveTo(pt);
  b_->noteOutside();
}

void HpglReader::cmdPA() {
  relative_ = false;
  readAndAddPoints();
}

void HpglReader::cmdPD() {
  b_->lowerPen();
  if ((!opt_.deletePointEnabled && !opt_.addPointEnabled) || polygonMode_) {
    readAndAddPoints();
    return;
  }
  // Gather this run of "PD" commands (with nothing but unrecognised characters between them),
  // clean the run up, then add its points.
  Params p;
  if (!scanParams(p, false)) return;
  std::vector<PlotPoint> run;
  readPairs(p.text, run);
  std::int64_t resumeAt = in_->tell();
  for (;;) {
    const int c1 = in_->get();
    if (c1 == PlotInput::kEnd) break;
    const int c2 = in_->peek();
    if (c2 == PlotInput::kEnd) break;
    const Command cmd = lookup(c1, c2);
    if (cmd == kNone) continue;
    if (cmd != kPD) break;
    in_->get();
    if (!scanParams(p, false)) break;
    readPairs(p.text, pairs_);
    run.insert(run.end(), pairs_.begin(), pairs_.end());
    resumeAt = in_->tell();
  }
  in_->seek(resumeAt);
  addPoints(run);
  run = thinAndDensify(opt_, std::move(run));
  for (const auto& pt : run) b_->moveTo(pt);
  b_->noteOutside();
}

void HpglReader::cmdSP() {
  Params p;
  if (!scanParams(p, false)) return;
  if (p.text.empty()) return;
  b_->selectPen(parseInt(p.text));
}

void HpglReader::cmdPG() {
  Params p;
  const std::int64_t start = in_->tell();
  const bool complete = scanParams(p, false);
  if (opt_.cutFt != PageMode::MultiByPause || !b_->splitEnabled()) return;
  // Look for the page-break text in the parameters, the terminator and enough characters
  // after them to hold the text.
  const std::int64_t afterParams = start + static_cast<std::int64_t>(p.text.size());
  std::string collected(p.text);
  std::int64_t resumeAt = afterParams;
  if (complete) {
    collected.push_back(static_cast<char>(p.terminator));
    if (p.terminator == ';') resumeAt = afterParams + 1;
  }
  in_->seek(afterParams + (complete ? 1 : 0));
  while (collected.size() < opt_.splitLabel.size()) {
    const int c = in_->get();
    if (c == PlotInput::kEnd) break;
    collected.push_back(static_cast<char>(c));
  }
  if (!opt_.splitLabel.empty() && collected.find(opt_.splitLabel) != std::string::npos) b_->nextPage();
  in_->seek(resumeAt);
}

void HpglReader::cmdStoreText(std::string& slot, const char* letters) {
  Params p;
  if (!scanParams(p, false)) return;
  std::string text(p.text);
  // A number written with an exponent ("DI4.5e-09,100") stays whole: the stored text is written
  // back as it is, and cut at the "e" it would no longer be a command.
  while ((p.terminator == 'e' || p.terminator == 'E') && !text.empty() &&
         ((text.back() >= '0' && text.back() <= '9') || text.back() == '.')) {
    in_->get();
    const int next = in_->peek();
    if (!(next == '-' || next == '+' || (next >= '0' && next <= '9'))) {
      in_->unget();
      break;
    }
    text.push_back(static_cast<char>(p.terminator));
    if (!scanParams(p, false)) return;
    text.append(p.text);
  }
  slot.assign(letters).append(text);
}

void HpglReader::cmdCI() {
  Params p;
  if (!scanParams(p, true)) return;
  if (polygonMode_) return;  // a circle inside a polygon is not edged
  b_->noteDrawing();
  int r = parseInt(p.text);
  if (units_.scaled()) r = truncToInt(std::round(r * std::fabs(units_.scaleX())));
  const PlotPoint at = b_->position();
  b_->noteExtent(at.x - std::abs(r), at.y - std::abs(r));
  const PlotPoint centre{at.x - b_->pageOffset(), at.y};
  CStroke& stroke = b_->stroke();
  // The circle is drawn about the pen's place. A stroke that is just the pen-up move there
  // becomes the circle; anything else is finished first, so each circle is a stroke of its own.
  const bool atCentre = stroke.points.size() == 1 && !stroke.circleFlag && !b_->strokeLeftPen() &&
                        stroke.points[0] == centre;
  if (!opt_.tranCi) {
    if (!atCentre) {
      b_->finishStroke();
      b_->stroke().points.push_back(centre);
    }
    b_->stroke().circleFlag = true;
    b_->stroke().circleRadius = r;
    return;
  }
  if (opt_.cutFt == PageMode::CcdCut && stroke.pen == opt_.markPointSp) return;  // a registration mark stays a point
  if (atCentre)
    stroke.points.pop_back();
  else
    b_->finishStroke();
  // Segments of about ArcLen; at most a bounded number however large the circle.
  constexpr double kMaxSegments = 100000;
  const double twoPi = 2.0 * M_PI;
  double n = 3;
  if (r >= opt_.arcLen) n = opt_.arcLen > 0 ? std::trunc(twoPi * r / opt_.arcLen) : kMaxSegments;
  if (!(n >= 3)) n = 3;
  if (n > kMaxSegments) n = kMaxSegments;
  const int segments = static_cast<int>(n);
  const PlotPoint c = centre;
  auto& points = b_->stroke().points;
  points.push_back({c.x + r, c.y});
  const double step = twoPi / segments;
  const double limit = twoPi * (1.0 + 0.5 / segments);
  for (int k = 1; k * step <= limit; ++k) {
    const double a = k * step;
    points.push_back({c.x + r * std::cos(a), c.y + r * std::sin(a)});
  }
  b_->setStrokeLeftPen();  // the pen goes back to the centre
}

void HpglReader::cmdLT() {
  Params p;
  if (!scanParams(p, false)) return;
  LineType lt;
  std::string_view rest;
  std::string_view t = firstField(p.text, rest);
  lt.type = parseInt(t);
  std::string_view extra;
  std::string_view len = firstField(rest, extra);
  lt.patternLength = static_cast<float>(parseReal(len));
  lt.extra.assign(extra);
  b_->setLineType(lt);
}

void HpglReader::cmdWD() {
  Params p;
  if (!scanParams(p, true)) return;
  b_->model().wdSeen = true;
  b_->model().wdValue = parseInt(p.text);
}

void HpglReader::drawArcPoints(double cx, double cy, double sweepDeg) {
  constexpr double kMaxArcSegments = 4096;
  constexpr double kArcTolerance = 0.25;  // plotter units
  const PlotPoint s = b_->position();
  const double r = std::hypot(s.x - cx, s.y - cy);
  if (!(r > 0) || !std::isfinite(r) || !std::isfinite(sweepDeg)) return;
  const double a0 = std::atan2(s.y - cy, s.x - cx);
  const double sweep = sweepDeg * M_PI / 180.0;
  // Chords that stay within a quarter unit of the arc, at most kMaxArcSegments of them.
  const double step = r > kArcTolerance ? 2.0 * std::acos(1.0 - kArcTolerance / r) : M_PI / 2;
  double n = std::ceil(std::fabs(sweep) / step);
  if (!(n >= 2)) n = 2;
  if (n > kMaxArcSegments) n = kMaxArcSegments;
  const int segments = static_cast<int>(n);
  for (int k = 1; k <= segments; ++k) {
    const double a = a0 + sweep * k / segments;
    moveTo({cx + r * std::cos(a), cy + r * std::sin(a)});
  }
}

void HpglReader::cmdAA() {
  Params p;
  if (!scanParams(p, false)) return;
  const auto f = fields(p.text);
  if (f.empty()) return;
  b_->noteDrawing();
  const double ux = parseReal(f[0]);
  const double uy = f.size() > 1 ? parseReal(f[1]) : 0.0;
  const double sweep = f.size() > 2 ? parseReal(f[2]) : 0.0;
  const PlotPoint c = toRaw(ux, uy);
  const int mode = opt_.cutFt;
  // Where pages cut strokes, the arc is cut with them: it is drawn as points.
  if (polygonMode_ || (b_->splitEnabled() && (mode == PageMode::HardPartition || mode == PageMode::Rolling ||
                                              mode == PageMode::PenGrouped || mode == PageMode::Contour))) {
    drawArcPoints(c.x, c.y, sweep);
    return;
  }
  // Elsewhere the machine draws it from the stroke's point before it.
  if (b_->stroke().circleFlag || b_->strokeLeftPen()) b_->finishStroke();
  CStroke& stroke = b_->stroke();
  const PlotPoint at = b_->position();
  if (b_->penDown() && stroke.points.empty()) stroke.points.push_back({at.x - b_->pageOffset(), at.y});
  char buf[512];
  std::string text;
  // The machine's pen is up after the stroke's first point: it goes down for the arc.
  if (b_->penDown() && stroke.points.size() == 1) text = "PD;";
  std::snprintf(buf, sizeof buf, "AA%f,", c.x - b_->pageOffset());
  text.append(buf);
  // The rest of the parameters as written (y, sweep, chord), unless y was moved or scaled.
  std::string_view rest;
  {
    size_t i = 0;
    const std::string_view t = p.text;
    while (i < t.size() && t[i] == ' ') ++i;
    while (i < t.size() && t[i] != ',' && t[i] != ' ') ++i;
    rest = i < t.size() ? t.substr(i + 1) : std::string_view();
  }
  if (units_.scaled() || shiftY_ != 0.0) {
    size_t i = 0;
    while (i < rest.size() && rest[i] == ' ') ++i;
    while (i < rest.size() && rest[i] != ',' && rest[i] != ' ') ++i;
    text.append(formatNumber(c.y));
    text.append(rest.substr(i));
  } else {
    text.append(rest);
  }
  stroke.inserted.push_back({static_cast<std::int32_t>(stroke.points.size()), std::move(text)});
  // The pen ends at the far end of the arc; the whole arc counts for the drawing's extent.
  const double r = std::hypot(at.x - c.x, at.y - c.y);
  if (r > 0 && std::isfinite(sweep)) {
    const double a0 = std::atan2(at.y - c.y, at.x - c.x), span = sweep * M_PI / 180.0;
    constexpr int kExtentSteps = 64;
    for (int k = 1; k <= kExtentSteps; ++k)
      b_->noteExtent(c.x + r * std::cos(a0 + span * k / kExtentSteps), c.y + r * std::sin(a0 + span * k / kExtentSteps));
    b_->setPosition({c.x + r * std::cos(a0 + span), c.y + r * std::sin(a0 + span)});
  }
}

}  // namespace qel::plot
