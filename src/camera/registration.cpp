#include "camera/registration.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>


namespace qel::camera {

std::optional<std::string> checkDesignMarkCount(std::size_t count) {
  if (count < 2) return std::string(kTooFewMarksText);
  if (count == 3) return std::string(kThreeMarksText);
  return std::nullopt;
}

void Registration::reset(const std::vector<cv::Point2d>& designPlotUnits, double vr18, double vr19,
                         double axisYRotateDeg) {
  design_.clear();
  for (const auto& d : designPlotUnits) design_.push_back(d / kPlotUnitsPerMm);
  measured_.clear();
  sx_ = 1.0 + vr18 / 10000.0;
  sy_ = 1.0 + vr19 / 10000.0;
  deflection_ = AxisDeflection(axisYRotateDeg);
  ratio_x = ratio_y = 1.0;
  angle = 0.0;
}

cv::Point2d Registration::scaledDesignDelta(std::size_t a, std::size_t b) const {
  return {(design_[a].x - design_[b].x) * sx_, (design_[a].y - design_[b].y) * sy_};
}

void Registration::addMeasured(const cv::Point2d& m) {
  measured_.push_back(m);
  const std::size_t j = measured_.size() - 1;
  if (j == 0 || j >= design_.size()) return;
  const std::size_t k = j + 1, n = design_.size();
  const cv::Point2d c = deflection_.trueDelta(measured_[j], measured_[j - 1]);
  const double d = length(scaledDesignDelta(j, j - 1));
  if (d > 0.0) {
    if (k <= n / 2) {
      ratio_x = length(c) / d;
    } else if (k == n / 2 + 1) {
      ratio_y = length(c) / d;
    }
  }
  double sum = 0.0;
  for (std::size_t i = 1; i < k; ++i) {
    sum += signedAngle(scaledDesignDelta(i, 0), deflection_.trueDelta(measured_[i], measured_[0]));
  }
  angle = sum / static_cast<double>(k - 1);
}

cv::Point2d Registration::expectedPosition(std::size_t k) const {
  if (measured_.empty() || k >= design_.size()) throw std::out_of_range("expected position needs mark 0 and a design mark k");
  const cv::Point2d q((design_[k].x - design_[0].x) * ratio_x, (design_[k].y - design_[0].y) * ratio_y);
  return measured_[0] + deflection_.machineDelta(rotate(q, angle), {0.0, 0.0});
}

void Registration::computeFinalRatios() {
  const std::size_t count = std::min(design_.size(), measured_.size());
  const std::size_t n = count / 2;
  double sum = 0.0;
  int used = 0;
  for (std::size_t i = 0; i + 1 < n; ++i) {
    const double d = length(scaledDesignDelta(i + 1, i));
    if (d <= 0.0) continue;
    sum += length(deflection_.trueDelta(measured_[i + 1], measured_[i])) / d;
    ++used;
  }
  if (used > 0) ratio_x = sum / used;
  sum = 0.0;
  used = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t o = count - 1 - i;
    const double d = length(scaledDesignDelta(o, i));
    if (d <= 0.0) continue;
    sum += length(deflection_.trueDelta(measured_[o], measured_[i])) / d;
    ++used;
  }
  if (used > 0) ratio_y = sum / used;
}

PatternCorrection::PatternCorrection(const Registration& reg, int cutType, double cameraCx, double cameraCy,
                                     double angle, double ratioX, double ratioY)
    : deflection_(reg.deflection()) {
  if (cutType < 1 || cutType > 3) {
    shift_ = {cameraCx * kPlotUnitsPerMm, cameraCy * kPlotUnitsPerMm};
    return;
  }
  const auto& m = reg.measured();
  const auto& d = reg.design();
  const std::size_t k = std::min(m.size(), d.size());
  if (k == 0) throw std::logic_error("the pattern correction needs at least one measured mark");
  cv::Point2d mBar(0, 0), dBar(0, 0);
  for (std::size_t i = 0; i < k; ++i) mBar += m[i], dBar += d[i];
  mBar /= static_cast<double>(k);
  dBar /= static_cast<double>(k);
  // The design centroid goes onto the measured centroid as the machine reaches it. (Re-expressing
  // the centroid through the deflection about the first mark, M0 + trueDelta(M, M0), would mix
  // true and machine coordinates and shift the whole pattern by sin(t) times the centroid's
  // distance from the first mark along Y whenever the Y axis is deflected.)
  const cv::Point2d mTrue = mBar;
  correct_ = true;
  origin_ = dBar * kPlotUnitsPerMm;
  angle_ = angle == -1.0 ? reg.angle : angle;
  ratioX_ = ratioX == -1.0 ? reg.ratio_x : ratioX;
  ratioY_ = ratioY == -1.0 ? reg.ratio_y : ratioY;
  shift_ = {(cameraCx + mTrue.x - dBar.x) * kPlotUnitsPerMm, (cameraCy + mTrue.y - dBar.y) * kPlotUnitsPerMm};
}

cv::Point2d PatternCorrection::apply(const cv::Point2d& p) const {
  if (!correct_) return p + shift_;
  const cv::Point2d q((p.x - origin_.x) * ratioX_, (p.y - origin_.y) * ratioY_);
  const cv::Point2d s = deflection_.machineDelta(rotate(q, angle_), {0.0, 0.0});
  return origin_ + s + shift_;
}

std::vector<double> markResiduals(const Registration& reg, const PatternCorrection& correction, double cameraCx,
                                  double cameraCy) {
  std::vector<double> out;
  if (!correction.fitted()) return out;
  const auto& d = reg.design();
  const auto& m = reg.measured();
  const cv::Point2d tool(cameraCx, cameraCy);
  for (std::size_t k = 0; k < std::min(d.size(), m.size()); ++k) {
    const cv::Point2d corrected = correction.apply(d[k] * kPlotUnitsPerMm) / kPlotUnitsPerMm - tool;
    out.push_back(length(corrected - m[k]));
  }
  return out;
}

std::optional<std::string> checkMarkResiduals(const std::vector<double>& residualsMm, double limitMm) {
  if (!(limitMm > 0.0) || residualsMm.empty()) return std::nullopt;
  const auto worst = std::max_element(residualsMm.begin(), residualsMm.end());
  // A residual that is not a number (a degenerate fit) counts as over the limit.
  std::size_t k = static_cast<std::size_t>(worst - residualsMm.begin());
  for (std::size_t i = 0; i < residualsMm.size(); ++i)
    if (std::isnan(residualsMm[i])) k = i;
  if (!std::isnan(residualsMm[k]) && residualsMm[k] <= limitMm) return std::nullopt;
  char text[256];
  std::snprintf(text, sizeof text, kMarkResidualFormat, k + 1, residualsMm[k], limitMm);
  return std::string(text);
}

std::string residualsLine(const std::vector<double>& residualsMm) {
  std::string line = "mark residuals (mm):";
  char item[64];
  for (std::size_t k = 0; k < residualsMm.size(); ++k) {
    std::snprintf(item, sizeof item, "%s %zu %.3f", k == 0 ? "" : ",", k + 1, residualsMm[k]);
    line += item;
  }
  return line;
}

double computeAxisYRotate(const cv::Point2d& m0, const cv::Point2d& m1) {
  return -signedAngle({0.0, 1.0}, m1 - m0) * 180.0 / CV_PI;
}

}  // namespace qel::camera
