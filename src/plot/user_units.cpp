#include "plot/user_units.h"

#include <cmath>
#include <vector>

#include "plot/number_text.h"

namespace qel::plot {

namespace {

// The numbers of a parameter list separated by "," or white space; empty fields are skipped.
bool separates(char c) { return c == ',' || c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

std::vector<double> numbers(std::string_view text) {
  std::vector<double> out;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && separates(text[i])) ++i;
    size_t j = i;
    while (j < text.size() && !separates(text[j])) ++j;
    if (j > i) out.push_back(parseReal(text.substr(i, j - i)));
    i = j;
  }
  return out;
}

bool usable(double v) { return std::isfinite(v) && v != 0.0; }

}  // namespace

void UserUnits::setScalingPoints(std::string_view params) {
  const auto v = numbers(params);
  if (v.size() < 2) {
    ipSet_ = false;
    return;
  }
  const double w = p2x_ - p1x_, h = p2y_ - p1y_;
  p1x_ = v[0];
  p1y_ = v[1];
  if (v.size() >= 4) {
    p2x_ = v[2];
    p2y_ = v[3];
  } else {
    // P2 keeps its distance from P1.
    p2x_ = p1x_ + w;
    p2y_ = p1y_ + h;
  }
  ipSet_ = true;
}

void UserUnits::setScale(std::string_view params) {
  const auto v = numbers(params);
  if (v.size() < 4) {
    scaled_ = false;
    return;
  }
  const int type = v.size() >= 5 ? static_cast<int>(v[4]) : 0;
  const double px = ipSet_ ? p1x_ : 0.0, py = ipSet_ ? p1y_ : 0.0;
  double sx = 1, sy = 1, xmin = v[0], ymin = v[2];
  if (type == 2) {
    sx = v[1];
    sy = v[3];
  } else {
    const double du = v[1] - v[0], dv = v[3] - v[2];
    if (ipSet_) {
      if (!usable(du) || !usable(dv)) return;
      sx = (p2x_ - p1x_) / du;
      sy = (p2y_ - p1y_) / dv;
    }
    if (type == 1 && ipSet_) {
      // Isotropic: the smaller factor for both axes, the drawing placed in the scaling area
      // by the left and bottom percentages (centred by default).
      const double s = std::min(std::fabs(sx), std::fabs(sy));
      const double left = v.size() >= 6 ? v[5] : 50.0, bottom = v.size() >= 7 ? v[6] : 50.0;
      const double spareX = std::fabs(p2x_ - p1x_) - std::fabs(du) * s;
      const double spareY = std::fabs(p2y_ - p1y_) - std::fabs(dv) * s;
      sx = std::copysign(s, sx);
      sy = std::copysign(s, sy);
      ox_ = px + std::copysign(spareX * left / 100.0, p2x_ - p1x_) - xmin * sx;
      oy_ = py + std::copysign(spareY * bottom / 100.0, p2y_ - p1y_) - ymin * sy;
      sx_ = sx;
      sy_ = sy;
      scaled_ = true;
      plotterUnits_ = false;
      return;
    }
  }
  if (!usable(sx) || !usable(sy)) return;
  sx_ = sx;
  sy_ = sy;
  ox_ = px - xmin * sx;
  oy_ = py - ymin * sy;
  scaled_ = true;
  plotterUnits_ = type != 2 && !ipSet_;
}

}  // namespace qel::plot
