// The HPGL reader's commands of the plotter's table: pen moves ("PU", "PD", "PA"), pens
// ("SP"), page breaks ("PG", "NR"), label attributes ("DI", "SI", "LO", "DT"), arcs ("AA"),
// circles ("CI"), line types ("LT") and "WD". Labels ("LB") are in hpgl_labels.cpp.
#include <algorithm>
#include <cmath>

#include "config/modes.h"
#include "plot/circle_chords.h"
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
  scanParams(p, false);
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
  scanParams(p, false);
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
  scanParams(p, false);
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
    scanParams(p, false);
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
  scanParams(p, false);
  if (allWhiteSpace(p.text)) return;
  b_->selectPen(parseInt(p.text));
}

void HpglReader::cmdPG() {
  Params p;
  const std::int64_t start = in_->tell();
  scanParams(p, false);
  const bool complete = !p.ended();
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
  scanParams(p, false);
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
    scanParams(p, false);
    text.append(p.text);
  }
  // Line breaks and tabs around the parameters are no part of them (a space may be the "DT"
  // character itself).
  auto layout = [](char c) { return isWhiteSpace(c) && c != ' '; };
  std::string_view kept(text);
  while (!kept.empty() && layout(kept.back())) kept.remove_suffix(1);
  while (!kept.empty() && layout(kept.front())) kept.remove_prefix(1);
  slot.assign(letters).append(kept);
}

void HpglReader::cmdCI() {
  Params p;
  scanParams(p, false);
  b_->noteDrawing();
  int r = parseInt(p.text);
  if (units_.scaled()) r = truncToInt(std::round(r * std::fabs(units_.scaleX())));
  const PlotPoint at = b_->position();
  b_->noteExtent(at.x - std::abs(r), at.y - std::abs(r));
  if (polygonMode_) {
    addPolygonCircle(at, std::abs(r));
    return;
  }
  if (opt_.cutFt == PageMode::CcdCut && opt_.tranCi && b_->stroke().pen == opt_.markPointSp)
    return;  // a registration mark stays a point
  if (circleCrossesPages(at, std::abs(r))) {
    if (circleFitsPageHeight(at, std::abs(r))) drawCircleChords(at, std::abs(r));
    return;
  }
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
  if (!circleFitsPageHeight(at, std::abs(r))) return;
  if (atCentre)
    stroke.points.pop_back();
  else
    b_->finishStroke();
  // Segments of about ArcLen, never finer than the machine can follow.
  const auto outline = circleOutline(centre, r, circleChordCount(r, opt_.arcLen));
  auto& points = b_->stroke().points;
  points.insert(points.end(), outline.begin(), outline.end());
  b_->setStrokeLeftPen();  // the pen goes back to the centre
}

void HpglReader::cmdLT() {
  Params p;
  scanParams(p, false);
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
  scanParams(p, true);
  b_->model().wdSeen = true;
  b_->model().wdValue = parseInt(p.text);
}

template <class ToPlotter>
void HpglReader::drawArcPoints(const PlotPoint& c, double r, double a0, double sweep, ToPlotter toPlotter) {
  constexpr double kMaxArcSegments = 4096;
  constexpr double kArcTolerance = 0.25;  // plotter units
  if (!(r > 0) || !std::isfinite(r) || !std::isfinite(sweep)) return;
  // Chords that stay within a quarter unit of the arc, at most kMaxArcSegments of them.
  const double rp = r * std::max(std::fabs(units_.scaleX()), std::fabs(units_.scaleY()));
  const double step = rp > kArcTolerance ? 2.0 * std::acos(1.0 - kArcTolerance / rp) : M_PI / 2;
  double n = std::ceil(std::fabs(sweep) / step);
  if (!(n >= 2)) n = 2;
  if (n > kMaxArcSegments) n = kMaxArcSegments;
  const int segments = static_cast<int>(n);
  for (int k = 1; k <= segments; ++k) {
    const double a = a0 + sweep * k / segments;
    moveTo(toPlotter(PlotPoint{c.x + r * std::cos(a), c.y + r * std::sin(a)}));
  }
}

void HpglReader::cmdAA() {
  Params p;
  scanParams(p, false);
  const auto f = fields(p.text);
  if (f.empty()) return;
  b_->noteDrawing();
  const double ux = parseReal(f[0]);
  const double uy = f.size() > 1 ? parseReal(f[1]) : 0.0;
  const double sweep = f.size() > 2 ? parseReal(f[2]) : 0.0;
  const PlotPoint c = toRaw(ux, uy);
  const PlotPoint at = b_->position();
  // The arc is drawn in the file's units: in user units its centre, radius and angles are
  // those of the file, and every point is scaled as any other (an axis flipped by the scaling
  // turns the arc the other way, unequal scales make it elliptic). Unscaled, plotter units.
  const bool scaled = units_.scaled();
  const double sx = units_.scaleX(), sy = units_.scaleY();
  const PlotPoint centre = scaled ? PlotPoint{ux, uy} : c;
  const PlotPoint start = scaled ? units_.toUser({at.x - shiftX_, at.y - shiftY_}) : at;
  auto toPlotter = [&](const PlotPoint& q) { return scaled ? toRaw(q.x, q.y) : q; };
  const double r = std::hypot(start.x - centre.x, start.y - centre.y);
  const double a0 = std::atan2(start.y - centre.y, start.x - centre.x), span = sweep * M_PI / 180.0;
  const bool drawn = r > 0 && std::isfinite(r) && std::isfinite(sweep);
  if (drawn) {
    const ArcExtent e = arcExtent(c.x, c.y, scaled ? r * sx : r, scaled ? r * sy : r, a0, span);
    b_->noteExtent(e.minX, e.minY);
  }
  const int mode = opt_.cutFt;
  // The machine draws an arc only as a circle's arc in its own units: with unequal scales the
  // arc is drawn as points. Where pages cut strokes, the arc is cut with them: points too.
  const bool circular = std::fabs(std::fabs(sx) - std::fabs(sy)) <= 1e-9 * std::max(std::fabs(sx), std::fabs(sy));
  if (polygonMode_ || !circular ||
      (b_->splitEnabled() && (mode == PageMode::HardPartition || mode == PageMode::Rolling ||
                              mode == PageMode::PenGrouped || mode == PageMode::Contour))) {
    drawArcPoints(centre, r, a0, span, toPlotter);
    return;
  }
  // Elsewhere the machine draws it from the stroke's point before it.
  if (b_->stroke().circleFlag || b_->strokeLeftPen()) b_->finishStroke();
  CStroke& stroke = b_->stroke();
  if (b_->penDown() && stroke.points.empty()) stroke.points.push_back({at.x - b_->pageOffset(), at.y});
  char buf[512];
  std::string text;
  // The machine's pen is up after the stroke's first point: it goes down for the arc.
  if (b_->penDown() && stroke.points.size() == 1) text = "PD;";
  std::snprintf(buf, sizeof buf, "AA%f,", c.x - b_->pageOffset());
  text.append(buf);
  // The rest of the parameters as written (y, sweep, chord), unless y was moved or scaled; an
  // axis flipped by the scaling turns the sweep.
  std::string_view rest;
  {
    size_t i = 0;
    const std::string_view t = p.text;
    while (i < t.size() && isWhiteSpace(t[i])) ++i;
    while (i < t.size() && !isSeparator(t[i])) ++i;
    rest = i < t.size() ? t.substr(i + 1) : std::string_view();
  }
  if (scaled && sx * sy < 0) {
    text.append(formatNumber(c.y)).append(",").append(formatNumber(-sweep));
    if (f.size() > 3) text.append(",").append(f[3]);
  } else if (scaled || shiftY_ != 0.0) {
    size_t i = 0;
    while (i < rest.size() && isWhiteSpace(rest[i])) ++i;
    while (i < rest.size() && !isSeparator(rest[i])) ++i;
    text.append(formatNumber(c.y));
    text.append(rest.substr(i));
  } else {
    text.append(rest);
  }
  stroke.inserted.push_back({static_cast<std::int32_t>(stroke.points.size()), std::move(text)});
  // The pen ends at the far end of the arc.
  if (drawn) b_->setPosition(toPlotter({centre.x + r * std::cos(a0 + span), centre.y + r * std::sin(a0 + span)}));
}

}  // namespace qel::plot
