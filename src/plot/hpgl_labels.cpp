// Labels ("LB"): where a label ends, the label kept as text with its attributes, or drawn as
// strokes from the stroke font (FontDispose_Enabled) with the label pen.
#include <algorithm>
#include <cmath>
#include <utility>

#include "plot/hpgl_reader.h"
#include "plot/hpgl_syntax.h"
#include "plot/number_text.h"
#include "plot/plot_builder.h"
#include "plot/plot_input.h"
#include "plot/stroke_font.h"

namespace qel::plot {

using namespace hpgl;

namespace {

// The numbers of an attribute text ("SI0.25,0.4", "DI-1,0"): only digits, sign, "." and ","
// count; the first number runs up to the first ",".
void attributeNumbers(const std::string& text, double& first, double& second, bool& hasFirst) {
  std::string a, b;
  bool comma = false;
  for (size_t i = 2; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ',') {
      if (comma) break;
      comma = true;
    } else if ((c >= '0' && c <= '9') || c == '.' || c == '-') {
      (comma ? b : a).push_back(c);
    }
  }
  hasFirst = !a.empty();
  first = parseReal(a);
  second = parseReal(b);
}

// The two numbers of an attribute text, or the defaults when it gives no first number.
std::pair<double, double> attributeOr(const std::string& text, double first, double second) {
  double a = 0, b = 0;
  bool has = false;
  attributeNumbers(text, a, b, has);
  return has ? std::pair{a, b} : std::pair{first, second};
}

}  // namespace

std::string HpglReader::missingFontText() const {
  // Why a file with labels cannot be disposed of: the font was not found, or holds no glyph.
  const std::string found = StrokeFont::locate(opt_.homeDir);
  std::string text = "the labels of " + inputPath_ + " cannot be drawn: ";
  if (!found.empty()) return text + "the label font " + found + " holds no glyph";
  text += "the label font QEL.dat was found in none of";
  for (const auto& c : StrokeFont::searchPath(opt_.homeDir)) text += " " + c;
  return text;
}

std::int64_t HpglReader::labelEnd() {
  // A label ends at its terminator: ETX, or the character set by "DT" where it stands before
  // ";", a line break, a command or the end of the input. ";" inside a label is text. Files
  // of programs that end labels with ";" never write a terminator before the next label; their
  // labels end at the first ";" as before. The search stops at the next "LB" and its result is
  // remembered, so a file is searched about once however many labels it holds.
  const int dtChar = dtText_.size() > 2 ? static_cast<unsigned char>(dtText_[2]) : 3;
  const std::int64_t here = in_->tell();
  if (labelEndChar_ == dtChar && labelEndSearchedFrom_ >= 0 && labelEndSearchedFrom_ <= here && here <= labelEndStop_)
    return labelEndAt_;
  labelEndChar_ = dtChar;
  labelEndSearchedFrom_ = here;
  labelEndAt_ = -1;
  labelEndStop_ = here;
  for (int c = in_->get(); c != PlotInput::kEnd; c = in_->get()) {
    const std::int64_t at = in_->tell() - 1;
    labelEndStop_ = at;
    if (c == 'L' && in_->peek() == 'B') break;
    bool ends = c == 3;
    if (!ends && c == dtChar) {
      const int next = in_->peek();
      if (next == PlotInput::kEnd || next == ';' || next == '\r' || next == '\n') {
        ends = true;
      } else {
        in_->get();
        const int after = in_->peek();
        ends = after != PlotInput::kEnd && lookup(next, after) != kNone;
        in_->seek(at + 1);
      }
    }
    if (ends) {
      labelEndAt_ = at;
      break;
    }
  }
  if (labelEndAt_ < 0 && in_->peek() == PlotInput::kEnd) labelEndStop_ = in_->tell();
  in_->seek(here);
  return labelEndAt_;
}

void HpglReader::cmdLB() {
  Params p;
  const std::int64_t end = labelEnd();
  if (end < 0) {
    scanParams(p, true);
    // A label the input ends without its terminator is kept, ended by the terminator in force.
    if (p.ended()) p.terminator = dtText_.size() > 2 ? static_cast<unsigned char>(dtText_[2]) : 3;
  } else {
    p.storage.clear();
    p.terminator = in_->readUntil(p.storage, [&](int) { return in_->tell() == end; });
    if (p.terminator == PlotInput::kEnd) return;
    p.text = p.storage;
    if (p.terminator == 3) in_->unget();  // ETX is read again, as before; a "DT" character is the label's own
  }
  b_->noteDrawing();
  const PlotPoint at = b_->position();
  b_->noteExtent(at.x, at.y);
  if (b_->pen() == 0) {
    // No pen: nothing is drawn.
  } else if (opt_.fontDisposeEnabled) {
    // The label terminator characters set by "DT" are not drawn.
    const std::string_view dtChars = std::string_view(dtText_).substr(std::min<size_t>(2, dtText_.size()));
    std::string chars;
    chars.reserve(p.text.size());
    for (char c : p.text)
      if (dtChars.find(c) == std::string_view::npos) chars.push_back(c);
    labelToStrokes(chars);
    b_->notePage(b_->pageIndex());
  } else {
    LabelRecord r;
    r.pageIndex = b_->pageIndex();
    r.pen = b_->pen();
    r.diText = diText_;
    r.siText = siText_;
    r.loText = loText_;
    r.dtText = dtText_;
    for (const std::string* t : {&srText_, &slText_, &esText_})
      if (!t->empty()) r.attributes.append(*t).push_back(';');
    r.labelText = std::string("LB").append(p.text);
    r.labelText.push_back(static_cast<char>(p.terminator));
    r.x = at.x - b_->pageOffset();
    r.y = at.y;
    b_->addLabel(std::move(r));
  }
  // What the pen drew before the label is kept; a pen-up point waiting there is dropped.
  const CStroke& stroke = b_->stroke();
  if (stroke.points.size() > 1 || stroke.circleFlag || b_->strokeLeftPen())
    b_->finishStroke();
  else
    b_->restartStroke();
}

void HpglReader::labelToStrokes(std::string_view characters) {
  const DisposeOptions& o = opt_;
  // Size: SI width and height in centimetres. Without an SI the plotter's default character
  // size is used, rather than drawing every glyph as a point.
  const auto [w, h] = attributeOr(siText_, 0.187, 0.269);
  const double kx = w * 2.5 * o.fontScale;
  const double ky = h * 1.5 * o.fontScale;
  // Direction from DI (run, rise), with the rounded constants the cutters were set up with.
  const auto [run, rise] = attributeOr(diText_, 1, 0);
  double angle;
  if (run == 0)
    angle = rise > 0 ? 1.57 : 4.71;
  else if (run > 0)
    angle = rise == 0 ? 0.0 : std::atan(rise / run);
  else
    angle = rise == 0 ? 3.14 : std::atan(rise / run) + 3.14;
  angle += o.fontRotate / 180.0 * 3.14159;
  const double ca = std::cos(angle), sa = std::sin(angle);
  // Slant ("SL", the tangent of the angle from the upright): each point leans by its height.
  const double slant = attributeOr(slText_, 0, 0).first;

  // Positions are page-relative like every stroke of the page.
  const PlotPoint at = b_->position();
  const double sx = at.x - b_->pageOffset(), sy = at.y;
  const double offX = o.fontOffsetX * kUnitsPerMm, offY = o.fontOffsetY * kUnitsPerMm;
  auto place = [&](double x, double y) {
    const double dx = x - sx, dy = y - sy;
    return PlotPoint{sx + dx * ca - dy * sa + offX, sy + dx * sa + dy * ca + offY};
  };
  const double advance = std::trunc(o.fontDistanceScale * kUnitsPerMm + kx * 500);
  const auto font = StrokeFont::forHome(o.homeDir);
  if (font->empty()) {
    // Without glyphs the label would vanish from the cut: the run fails and says why.
    labelFontMissing_ = true;
    return;
  }

  double penX = sx;
  const double penY = sy;
  bool haveEnd = false;
  PlotPoint lastEnd;
  auto draw = [&](const std::vector<GlyphSegment>* glyph) {
    if (!glyph) return;
    for (const auto& g : *glyph) {
      const double h1 = (700 - g.y1) * ky, h2 = (700 - g.y2) * ky;
      const PlotPoint a = place(g.x1 * kx + penX + h1 * slant, h1 + penY);
      const PlotPoint b = place(g.x2 * kx + penX + h2 * slant, h2 + penY);
      if (!haveEnd || !(a == lastEnd)) {
        b_->finishStroke();
        CStroke& s = b_->stroke();
        s.pen = o.fontSp;
        s.labelStrokeFlag = true;
        s.points.push_back(a);
      }
      b_->stroke().points.push_back(b);
      lastEnd = b;
      haveEnd = true;
    }
  };
  const auto* bytes = reinterpret_cast<const unsigned char*>(characters.data());
  const size_t n = characters.size();
  for (size_t i = 0; i < n; ++i) {
    const unsigned char c = bytes[i];
    if (c == ' ') {
      penX += advance;
    } else if (c >= 33 && c <= 126) {
      draw(font->glyph(StrokeFont::asciiKey(c)));
      penX += advance;
    } else if (i + 1 < n && c == 0xA1 && bytes[i + 1] == 0xA1) {
      penX += advance;  // the double-byte space
      ++i;
    } else if (i + 1 < n && c >= 0xB0 && c <= 0xF7 && bytes[i + 1] >= 0xA1 && bytes[i + 1] <= 0xFE) {
      draw(font->glyph(StrokeFont::gbKey(c, bytes[i + 1])));
      penX += advance;
      ++i;
    }
    // Every other byte is skipped without advancing.
  }
  b_->finishStroke();
  b_->setPosition({at.x + (penX - sx), at.y});
}

}  // namespace qel::plot
