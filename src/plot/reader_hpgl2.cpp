// The reader's commands beyond the fifteen of the table: relative moves, scaling points and
// user units, rectangles, encoded polylines, polygons edged by "EP", arcs drawn as points where
// pages are cut, machine state kept in place, and attribute commands read and left out.
#include <algorithm>
#include <cmath>

#include "config/modes.h"
#include "plot/dispose_run.h"
#include "plot/number_text.h"
#include "plot/plot_input.h"

namespace qel::plot {

using config::PageMode;

namespace {

bool isLetter(int c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The fields of a parameter list separated by "," or " " (empty fields skipped).
std::vector<std::string_view> fields(std::string_view text) {
  std::vector<std::string_view> out;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ',' || text[i] == ' ')) ++i;
    size_t j = i;
    while (j < text.size() && text[j] != ',' && text[j] != ' ') ++j;
    if (j > i) out.push_back(text.substr(i, j - i));
    i = j;
  }
  return out;
}

constexpr double kMaxArcSegments = 4096;
constexpr double kArcTolerance = 0.25;  // plotter units

}  // namespace

void DisposeRun::moveTo(const PlotPoint& raw) {
  if (polygonMode_)
    recordPolygon(raw);
  else
    addRawPoint(raw.x, raw.y);
}

void DisposeRun::cmdPR() {
  relative_ = true;
  readAndAddPoints();
}

void DisposeRun::cmdScaling(bool scalingPoints) {
  Params p;
  if (!scanParams(p, false)) return;
  if (scalingPoints)
    units_.setScalingPoints(p.text);
  else
    units_.setScale(p.text);
}

void DisposeRun::cmdIN() {
  Params p;
  if (!scanParams(p, false)) return;
  if (!polygonMode_) finishStroke();
  units_.reset();
  relative_ = false;
  polygonMode_ = false;
  penDown_ = false;
}

void DisposeRun::cmdDF() {
  Params p;
  if (!scanParams(p, false)) return;
  units_.setScale({});
  relative_ = false;
  polygonMode_ = false;
}

void DisposeRun::cmdSkip(char kind) {
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

void DisposeRun::cmdMachineState(const char* letters) {
  // Speed and force go with the stroke they reach, so they take effect where the file set them.
  Params p;
  if (!scanParams(p, false)) return;
  std::string text(letters);
  text.append(p.text);
  stroke_.inserted.push_back({static_cast<std::int32_t>(stroke_.points.size()), std::move(text)});
}

// ---------------------------------------------------------------------------------------------
// Outlines: rectangles and edged polygons are drawn as strokes; the pen then stands where it
// stood before, in the state it had.

void DisposeRun::drawPath(const std::vector<PathVertex>& path) {
  if (path.size() < 2) return;
  plotCommandSeen_ = true;
  const bool wasDown = penDown_;
  const PlotPoint stand{curX_, curY_};
  for (size_t i = 0; i < path.size(); ++i) {
    penDown_ = i > 0 && path[i].penDown;
    addRawPoint(path[i].raw.x, path[i].raw.y);
  }
  if (!inside_) outside_ = true;
  finishStroke();
  penDown_ = wasDown;
  curX_ = stand.x;
  curY_ = stand.y;
  newOrigin_ = true;
}

void DisposeRun::cmdRectangle(bool relative) {
  Params p;
  if (!scanParams(p, false)) return;
  const auto f = fields(p.text);
  if (f.size() < 2 || polygonMode_) return;
  const double u = parseReal(f[0]), v = parseReal(f[1]);
  const PlotPoint a{curX_, curY_};
  const PlotPoint b = relative ? PlotPoint{a.x + u * units_.scaleX(), a.y + v * units_.scaleY()} : toRaw(u, v);
  drawPath({{a, false}, {{b.x, a.y}, true}, {b, true}, {{a.x, b.y}, true}, {a, true}});
}

void DisposeRun::recordPolygon(const PlotPoint& raw) {
  plotCommandSeen_ = true;
  noteExtent(raw.x, raw.y);
  if (polygon_.empty()) {
    polygon_.emplace_back();
    polygonClosed_.push_back(false);
  }
  auto& sub = polygon_.back();
  if (sub.empty() && penDown_) sub.push_back({{curX_, curY_}, false});
  const bool onlyMoves = std::none_of(sub.begin(), sub.end(), [](const PathVertex& v) { return v.penDown; });
  if (!penDown_ && !sub.empty() && onlyMoves)
    sub.back().raw = raw;  // moves before the first edge only place the start
  else
    sub.push_back({raw, penDown_});
  curX_ = raw.x;
  curY_ = raw.y;
}

void DisposeRun::cmdPM() {
  Params p;
  if (!scanParams(p, false)) return;
  const int n = parseInt(p.text);
  if (n == 0) {
    // The pen's place starts the polygon: a lone pen-up point standing there is not kept.
    if (stroke_.points.size() == 1 && !stroke_.circleFlag && !strokeLeftPen_ && stroke_.inserted.empty())
      stroke_.points.clear();
    else if (!polygonMode_)
      finishStroke();
    polygonMode_ = true;
    polygon_.assign(1, {{{curX_, curY_}, false}});
    polygonClosed_.assign(1, false);
    return;
  }
  if (!polygonMode_ || polygon_.empty()) return;
  // A subpolygon closed with the pen down is edged back to its start.
  polygonClosed_.back() = penDown_;
  if (n == 1) {
    polygon_.emplace_back();
    polygonClosed_.push_back(false);
  } else {
    polygonMode_ = false;
  }
}

void DisposeRun::cmdEP() {
  Params p;
  if (!scanParams(p, false)) return;
  if (polygonMode_) return;
  for (size_t k = 0; k < polygon_.size(); ++k) {
    std::vector<PathVertex> path = polygon_[k];
    if (std::none_of(path.begin(), path.end(), [](const PathVertex& v) { return v.penDown; })) continue;
    if (polygonClosed_[k] && !(path.back().raw == path.front().raw)) path.push_back({path.front().raw, true});
    drawPath(path);
  }
}

// ---------------------------------------------------------------------------------------------
// Arcs.

void DisposeRun::drawArcPoints(double cx, double cy, double sweepDeg) {
  const double sx = curX_, sy = curY_;
  const double r = std::hypot(sx - cx, sy - cy);
  if (!(r > 0) || !std::isfinite(r) || !std::isfinite(sweepDeg)) return;
  const double a0 = std::atan2(sy - cy, sx - cx);
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

void DisposeRun::cmdAA() {
  Params p;
  if (!scanParams(p, false)) return;
  const auto f = fields(p.text);
  if (f.empty()) return;
  plotCommandSeen_ = true;
  const double ux = parseReal(f[0]);
  const double uy = f.size() > 1 ? parseReal(f[1]) : 0.0;
  const double sweep = f.size() > 2 ? parseReal(f[2]) : 0.0;
  const PlotPoint c = toRaw(ux, uy);
  const int mode = opt_.cutFt;
  // Where pages cut strokes, the arc is cut with them: it is drawn as points.
  if (polygonMode_ || (opt_.splitPageEnabled && (mode == PageMode::HardPartition || mode == PageMode::Rolling ||
                                                  mode == PageMode::PenGrouped || mode == PageMode::Contour))) {
    drawArcPoints(c.x, c.y, sweep);
    return;
  }
  // Elsewhere the machine draws it from the stroke's point before it.
  if (stroke_.circleFlag || strokeLeftPen_) finishStroke();
  if (penDown_ && stroke_.points.empty()) stroke_.points.push_back({curX_ - pageOffset_, curY_});
  char buf[512];
  std::string text;
  // The machine's pen is up after the stroke's first point: it goes down for the arc.
  if (penDown_ && stroke_.points.size() == 1) text = "PD;";
  std::snprintf(buf, sizeof buf, "AA%f,", c.x - pageOffset_);
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
  stroke_.inserted.push_back({static_cast<std::int32_t>(stroke_.points.size()), std::move(text)});
  // The pen ends at the far end of the arc; the whole arc counts for the drawing's extent.
  const double r = std::hypot(curX_ - c.x, curY_ - c.y);
  if (r > 0 && std::isfinite(sweep)) {
    const double a0 = std::atan2(curY_ - c.y, curX_ - c.x), span = sweep * M_PI / 180.0;
    constexpr int kExtentSteps = 64;
    for (int k = 1; k <= kExtentSteps; ++k)
      noteExtent(c.x + r * std::cos(a0 + span * k / kExtentSteps), c.y + r * std::sin(a0 + span * k / kExtentSteps));
    curX_ = c.x + r * std::cos(a0 + span);
    curY_ = c.y + r * std::sin(a0 + span);
  }
}

// ---------------------------------------------------------------------------------------------
// "PE": polylines in encoded numbers. Flags: ":" pen, "<" the next point is a pen-up move,
// ">" fractional bits, "=" the next point is absolute, "7" seven-bit digits. Points are moves
// from the pen's place with the pen down unless a flag says otherwise.

void DisposeRun::cmdPE() {
  std::string data;
  if (in_->readUntil(data, [](int c) { return c == ';'; }) == PlotInput::kEnd) return;
  plotCommandSeen_ = true;
  bool sevenBit = false, nextUp = false, nextAbsolute = false;
  double fraction = 1.0;
  const bool wasDown = penDown_;
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
      selectPen(static_cast<int>(pen));
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
      const PlotPoint raw = nextAbsolute ? toRaw(x, y)
                                         : PlotPoint{curX_ + x * units_.scaleX(), curY_ + y * units_.scaleY()};
      penDown_ = !nextUp;
      moveTo(raw);
      nextUp = nextAbsolute = false;
    } else {
      ++i;
    }
  }
  if (!polygonMode_ && !inside_) outside_ = true;
  penDown_ = wasDown;
}

}  // namespace qel::plot
