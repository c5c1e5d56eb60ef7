// The HPGL reader's commands beyond the plotter's table: relative moves, scaling points and
// user units, rectangles, encoded polylines, polygons edged by "EP", machine state kept in
// place, and attribute commands read and left out.
#include <algorithm>
#include <cmath>

#include "config/modes.h"
#include "plot/circle_chords.h"
#include "plot/hpgl_reader.h"
#include "plot/hpgl_syntax.h"
#include "plot/number_text.h"
#include "plot/plot_builder.h"
#include "plot/plot_input.h"

namespace qel::plot {

using namespace hpgl;
using config::PageMode;

void HpglReader::moveTo(const PlotPoint& raw) {
  if (polygonMode_)
    recordPolygon(raw);
  else
    b_->moveTo(raw);
}

void HpglReader::cmdPR() {
  relative_ = true;
  readAndAddPoints();
}

void HpglReader::cmdScaling(bool scalingPoints) {
  Params p;
  scanParams(p, false);
  if (scalingPoints) {
    units_.setScalingPoints(p.text);
  } else {
    units_.setScale(p.text);
    if (units_.countsPlotterUnits()) plotterUnitScale_ = true;
  }
}

void HpglReader::cmdIN() {
  Params p;
  scanParams(p, false);
  if (!polygonMode_) b_->finishStroke();
  units_.reset();
  relative_ = false;
  polygonMode_ = false;
  b_->setPenDown(false);
}

void HpglReader::cmdDF() {
  Params p;
  scanParams(p, false);
  units_.setScale({});
  relative_ = false;
  polygonMode_ = false;
}

void HpglReader::cmdSkip(char kind) {
  if (kind == 'C') {
    // A comment runs to ";": its words are no commands, quoted or not (";" inside quotes is
    // text). It is dropped.
    for (int c = in_->get(); c != PlotInput::kEnd && c != ';'; c = in_->get()) {
      if (c != '"') continue;
      for (c = in_->get(); c != PlotInput::kEnd && c != '"'; c = in_->get()) {
      }
      if (c == PlotInput::kEnd) return;
    }
    return;
  }
  if (kind == '"') {
    // Parameters that may hold quoted text ("CO", "BP").
    for (int c = in_->get(); c != PlotInput::kEnd; c = in_->get()) {
      if (c == '"') {
        for (c = in_->get(); c != PlotInput::kEnd && c != '"'; c = in_->get()) {
        }
        if (c == PlotInput::kEnd) return;
      } else if (c == ';') {
        return;
      } else if (isLetter(c)) {
        in_->unget();
        return;
      }
    }
    return;
  }
  if (kind == 'M') {
    // "SM" takes one character, any character, as its parameter.
    const int c = in_->get();
    if (c == PlotInput::kEnd || c == ';') return;
    if (in_->peek() == ';') in_->get();
    return;
  }
  Params p;
  scanParams(p, false);
}

void HpglReader::cmdMachineState(const char* letters) {
  // Speed and force go with the stroke they reach, so they take effect where the file set them.
  Params p;
  scanParams(p, false);
  std::string text(letters);
  text.append(p.text);
  CStroke& stroke = b_->stroke();
  stroke.inserted.push_back({static_cast<std::int32_t>(stroke.points.size()), std::move(text)});
}

// Outlines: rectangles and edged polygons are drawn as strokes; the pen then stands where it
// stood before, in the state it had.
void HpglReader::drawPath(const std::vector<PathVertex>& path) {
  if (path.size() < 2) return;
  b_->noteDrawing();
  const bool wasDown = b_->penDown();
  const PlotPoint stand = b_->position();
  for (size_t i = 0; i < path.size(); ++i) {
    b_->setPenDown(i > 0 && path[i].penDown);
    b_->moveTo(path[i].raw);
  }
  b_->noteOutside();
  b_->finishStroke();
  b_->setPenDown(wasDown);
  b_->setPosition(stand);
  b_->markNewOrigin();
}

void HpglReader::cmdRectangle(bool relative) {
  Params p;
  scanParams(p, false);
  const auto f = fields(p.text);
  if (f.size() < 2 || polygonMode_) return;
  const double u = parseReal(f[0]), v = parseReal(f[1]);
  const PlotPoint a = b_->position();
  const PlotPoint b = relative ? PlotPoint{a.x + u * units_.scaleX(), a.y + v * units_.scaleY()} : toRaw(u, v);
  drawPath({{a, false}, {{b.x, a.y}, true}, {b, true}, {{a.x, b.y}, true}, {a, true}});
}

void HpglReader::recordPolygon(const PlotPoint& raw) {
  b_->noteDrawing();
  b_->noteExtent(raw.x, raw.y);
  if (polygon_.empty()) {
    polygon_.emplace_back();
    polygonClosed_.push_back(false);
  }
  auto& sub = polygon_.back();
  const bool penDown = b_->penDown();
  if (sub.empty() && penDown) sub.push_back({b_->position(), false});
  const bool onlyMoves = std::none_of(sub.begin(), sub.end(), [](const PathVertex& v) { return v.penDown; });
  if (!penDown && !sub.empty() && onlyMoves)
    sub.back().raw = raw;  // moves before the first edge only place the start
  else
    sub.push_back({raw, penDown});
  b_->setPosition(raw);
}

// Circles as chords.

bool HpglReader::circleCrossesPages(const PlotPoint& c, double r) const {
  if (!b_->splitEnabled() || !(r > 0)) return false;
  const double w = opt_.pageWidth * kUnitsPerMm;
  switch (static_cast<PageMode>(opt_.cutFt)) {
    case PageMode::HardPartition:
    case PageMode::PenGrouped: {
      // Cut at the edges of the page the pen is on, like every pen-down segment.
      const double x = c.x - b_->pageOffset();
      return x - r < 0 || x + r > w;
    }
    case PageMode::Contour: {
      // The whole-stroke split cuts at every page edge the circle crosses.
      const double kmin = std::trunc((c.x - r) / w), kmax = std::trunc((c.x + r) / w);
      return kmin < kmax && !(kmax == kmin + 1 && c.x + r == kmax * w);
    }
    case PageMode::Rolling:
      // The rolling split moves a circle whole across a cut, unless it is wider than a page.
      return 2 * r > w;
    default:
      return false;
  }
}

bool HpglReader::circleFitsPageHeight(const PlotPoint& c, double r) {
  // A circle cut as chords is bounded by what can be cut: one taller than the page is refused
  // (its chords would be cut off the material, over any number of pages).
  const double h = opt_.pageHeight * kUnitsPerMm;
  if (!b_->splitEnabled() || measuring_ || 2 * r <= h) return true;
  char buf[512];
  std::snprintf(buf, sizeof buf,
                "the circle of radius %.2f mm at (%.2f, %.2f) mm in %s is %.2f mm across, more than the page "
                "height of %.2f mm: it cannot be cut",
                r / kUnitsPerMm, (c.x - shiftX_) / kUnitsPerMm, (c.y - shiftY_) / kUnitsPerMm, inputPath_.c_str(),
                2 * r / kUnitsPerMm, opt_.pageHeight);
  if (circleRefusal_.empty()) circleRefusal_ = buf;
  return false;
}

void HpglReader::drawCircleChords(const PlotPoint& c, double r) {
  // Drawn like an outline from its first point; the pen then stands at the centre again.
  const auto outline = circleOutline(c, r, circleChordCount(r, opt_.arcLen));
  std::vector<PathVertex> path;
  path.reserve(outline.size());
  for (size_t i = 0; i < outline.size(); ++i) path.push_back({outline[i], i > 0});
  drawPath(path);
}

void HpglReader::addPolygonCircle(const PlotPoint& c, double r) {
  // In a polygon a circle is a closed subpolygon of its own; the pen stays at the centre and
  // what follows starts a new subpolygon there.
  if (!(r > 0)) return;
  if (!polygon_.empty()) {
    const auto& sub = polygon_.back();
    if (std::none_of(sub.begin(), sub.end(), [](const PathVertex& v) { return v.penDown; })) {
      polygon_.pop_back();
      polygonClosed_.pop_back();
    } else {
      polygonClosed_.back() = b_->penDown();
    }
  }
  const auto outline = circleOutline(c, r, circleChordCount(r, opt_.arcLen));
  std::vector<PathVertex> circle;
  circle.reserve(outline.size());
  for (size_t i = 0; i < outline.size(); ++i) circle.push_back({outline[i], i > 0});
  polygon_.push_back(std::move(circle));
  polygonClosed_.push_back(true);
  polygon_.push_back({{c, false}});
  polygonClosed_.push_back(false);
  b_->setPosition(c);
}

void HpglReader::cmdPM() {
  Params p;
  scanParams(p, false);
  const int n = parseInt(p.text);
  if (n == 0) {
    // The pen's place starts the polygon: a lone pen-up point standing there is not kept.
    CStroke& stroke = b_->stroke();
    if (stroke.points.size() == 1 && !stroke.circleFlag && !b_->strokeLeftPen() && stroke.inserted.empty())
      stroke.points.clear();
    else if (!polygonMode_)
      b_->finishStroke();
    polygonMode_ = true;
    polygon_.assign(1, {{b_->position(), false}});
    polygonClosed_.assign(1, false);
    return;
  }
  if (!polygonMode_ || polygon_.empty()) return;
  // A subpolygon closed with the pen down is edged back to its start.
  polygonClosed_.back() = b_->penDown();
  if (n == 1) {
    polygon_.emplace_back();
    polygonClosed_.push_back(false);
  } else {
    polygonMode_ = false;
  }
}

void HpglReader::cmdEP() {
  Params p;
  scanParams(p, false);
  if (polygonMode_) return;
  for (size_t k = 0; k < polygon_.size(); ++k) {
    std::vector<PathVertex> path = polygon_[k];
    if (std::none_of(path.begin(), path.end(), [](const PathVertex& v) { return v.penDown; })) continue;
    if (polygonClosed_[k] && !(path.back().raw == path.front().raw)) path.push_back({path.front().raw, true});
    drawPath(path);
  }
}

// "PE": polylines in encoded numbers. Flags: ":" pen, "<" the next point is a pen-up move,
// ">" fractional bits, "=" the next point is absolute, "7" seven-bit digits. Points are moves
// from the pen's place with the pen down unless a flag says otherwise.
void HpglReader::cmdPE() {
  // The encoded bytes run to ";" (they include letters), or to the end of the input.
  std::string data;
  in_->readUntil(data, [](int c) { return c == ';'; });
  b_->noteDrawing();
  bool sevenBit = false, nextUp = false, nextAbsolute = false;
  double fraction = 1.0;
  const bool wasDown = b_->penDown();
  size_t i = 0;
  const size_t n = data.size();
  // One number: digits least significant first; the last digit is marked by its range. The
  // lowest bit of the value is the sign.
  auto number = [&](double& out) {
    // Eight-bit digits: 63..126 go on, 191..254 end the number (base 64). Seven-bit digits:
    // 63..94 go on, 95..126 end it (base 32). Other bytes are skipped.
    double value = 0, scale = 1;
    const int base = sevenBit ? 32 : 64;
    const int lastFrom = sevenBit ? 95 : 191;
    while (i < n) {
      const int c = static_cast<unsigned char>(data[i++]);
      const bool goesOn = c >= 63 && c < 63 + base;
      const bool last = c >= lastFrom && c < lastFrom + base;
      if (!goesOn && !last) continue;
      value += (c - (last ? lastFrom : 63)) * scale;
      if (last) {
        const double magnitude = std::floor(value / 2);
        out = std::fmod(value, 2) != 0 ? -magnitude : magnitude;
        return true;
      }
      scale *= base;
      if (scale > 1e18) return false;
    }
    return false;
  };
  while (i < n) {
    const char c = data[i];
    if (c == ':') {
      ++i;
      double pen;
      if (!number(pen)) break;
      b_->selectPen(static_cast<int>(pen));
    } else if (c == '<') {
      nextUp = true;
      ++i;
    } else if (c == '>') {
      ++i;
      double bits;
      if (!number(bits)) break;
      fraction = std::ldexp(1.0, -static_cast<int>(std::clamp(bits, 0.0, 26.0)));
    } else if (c == '=') {
      nextAbsolute = true;
      ++i;
    } else if (c == '7') {
      sevenBit = true;
      ++i;
    } else if (static_cast<unsigned char>(c) >= 63) {
      double x, y;
      if (!number(x) || !number(y)) break;
      x *= fraction;
      y *= fraction;
      const PlotPoint at = b_->position();
      const PlotPoint raw =
          nextAbsolute ? toRaw(x, y) : PlotPoint{at.x + x * units_.scaleX(), at.y + y * units_.scaleY()};
      b_->setPenDown(!nextUp);
      moveTo(raw);
      nextUp = nextAbsolute = false;
    } else {
      ++i;
    }
  }
  if (!polygonMode_) b_->noteOutside();
  b_->setPenDown(wasDown);
}

}  // namespace qel::plot
