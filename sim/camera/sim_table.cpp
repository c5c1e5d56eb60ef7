#include "camera/sim_table.h"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

#include "camera/geometry.h"
#include "camera/mark_detector.h"

namespace qel::sim {

namespace {
const cv::Point2d kCentre(320.0, 240.0);

cv::Point2d mul(const cv::Matx22d& m, const cv::Point2d& p) {
  return {m(0, 0) * p.x + m(0, 1) * p.y, m(1, 0) * p.x + m(1, 1) * p.y};
}

double boxDistance(const cv::Point2d& p, double hx, double hy) {
  const double qx = std::abs(p.x) - hx, qy = std::abs(p.y) - hy;
  const double outside = std::hypot(std::max(qx, 0.0), std::max(qy, 0.0));
  const double inside = std::min(std::max(qx, qy), 0.0);
  return outside + inside;
}
}  // namespace

cv::Point2d SheetSpec::tablePosition(const cv::Point2d& design) const {
  const cv::Point2d scaled(design.x * printScaleX, design.y * printScaleY);
  return origin + camera::rotate(scaled, rotationAtDeg(design.x) * CV_PI / 180.0);
}

cv::Matx22d tableToPixel(const CameraSpec& cam) {
  const double c = std::cos(cam.rotationRad), s = std::sin(cam.rotationRad);
  const double py = cam.mirror ? -cam.pxPerMmY : cam.pxPerMmY;
  // Rot(phi) * diag(px, +-py)
  return cv::Matx22d(c * cam.pxPerMmX, -s * py, s * cam.pxPerMmX, c * py);
}

camera::CalibrationValues calibrationFor(const CameraSpec& cam, double errX, double errY) {
  // The plane offset of a pixel is minus the table displacement it shows: a mark seen at pixel p
  // while the camera stands at P lies at P - (plane(p) - plane(centre)).
  // With K = [f 0 320; 0 f 240; 0 0 1], plane = Hinv * a, Hinv = [-f A / err, 0; 0 0 1].
  const double f = 1000.0;
  const cv::Matx22d ainv = tableToPixel(cam);
  const cv::Matx22d a = ainv.inv();
  cv::Matx33d hinv(-f * a(0, 0) / errX, -f * a(0, 1) / errX, 0.0,  //
                   -f * a(1, 0) / errY, -f * a(1, 1) / errY, 0.0,  //
                   0.0, 0.0, 1.0);
  const cv::Matx33d h = hinv.inv();
  camera::CalibrationValues v;
  v.fx = v.fy = f;
  v.cx = 320.0;
  v.cy = 240.0;
  v.rotation = {h(0, 0), h(0, 1), 0.0, h(1, 0), h(1, 1), 0.0, h(2, 0), h(2, 1), 1.0};
  v.translation = {h(0, 2), h(1, 2), h(2, 2)};
  return v;
}

SimTable::SimTable(platform::Clock& clock, SheetSpec sheet, CameraSpec cam)
    : clock_(clock), sheet_(std::move(sheet)), cam_(cam) {
  if (!sheet_.code.empty()) codeModules_ = camera::codeModules(sheet_.code, sheet_.codeFormat);
}

void SimTable::placeHead(const cv::Point2d& machine) {
  std::lock_guard lock(mutex_);
  from_ = to_ = machine;
  moveStartMs_ = clock_.nowMs();
}

cv::Point2d SimTable::positionAt(std::int64_t nowMs) const {
  const double travel = speed_ * static_cast<double>(nowMs - moveStartMs_) / 1000.0;
  auto axis = [&](double from, double to) {
    const double d = to - from;
    if (std::abs(d) <= travel) return to;
    return from + (d > 0 ? travel : -travel);
  };
  return {axis(from_.x, to_.x), axis(from_.y, to_.y)};
}

cv::Point2d SimTable::headPosition() const {
  std::lock_guard lock(mutex_);
  return positionAt(clock_.nowMs());
}

std::optional<double> SimTable::readAxis(int axis) {
  if (axis != 0 && axis != 1) return std::nullopt;
  const cv::Point2d p = headPosition();
  return axis == 0 ? p.x : p.y;
}

bool SimTable::moveAbsolute(const std::vector<int>& axes, const std::vector<double>& positions, double, double) {
  if (axes.empty() || axes.size() != positions.size()) return false;
  for (std::size_t i = 0; i < axes.size(); ++i) {
    if ((axes[i] != 0 && axes[i] != 1) || !std::isfinite(positions[i])) return false;
  }
  std::lock_guard lock(mutex_);
  if (refuseMoves_ > 0) {
    --refuseMoves_;
    return false;
  }
  const std::int64_t now = clock_.nowMs();
  from_ = positionAt(now);
  moveStartMs_ = now;
  for (std::size_t i = 0; i < axes.size(); ++i) (axes[i] == 0 ? to_.x : to_.y) = positions[i];
  ++movesAccepted_;
  if (stopAfterMoves_ >= 0 && movesAccepted_ >= stopAfterMoves_) stop_ = true;
  return true;
}

cv::Point2d SimTable::trueOf(const cv::Point2d& q) const {
  const double t = -axisYRotateDeg_ * CV_PI / 180.0;
  return {q.x + std::sin(t) * q.y, std::cos(t) * q.y};
}

cv::Point2d SimTable::toolTablePoint(const cv::Point2d& commanded) const {
  return trueOf(commanded - cam_.toolOffset);
}

cv::Point2d SimTable::pixelOf(const cv::Point2d& design) const {
  return kCentre + mul(tableToPixel(cam_), sheet_.tablePosition(design) - trueOf(headPosition()));
}

cv::Mat SimTable::renderFrame() const { return renderAt(trueOf(headPosition())); }

cv::Mat SimTable::renderAt(const cv::Point2d& tableCentre) const {
  const int w = camera::kFrameWidth, h = camera::kFrameHeight;
  const cv::Matx22d toPixel = tableToPixel(cam_);
  const cv::Matx22d toTable = toPixel.inv();
  const double density = std::sqrt(std::abs(cv::determinant(toPixel)));  // pixels per mm
  const double meanScale = (sheet_.printScaleX + sheet_.printScaleY) / 2.0;

  cv::Mat cover(h, w, CV_32F, cv::Scalar(0));
  // Ink cover of each pixel within `reach` pixels of a print item at table point `at`, turned by
  // `rot`: `ink` takes the pixel's place on the sheet in design millimetres about the item.
  auto paint = [&](const cv::Point2d& at, double rot, double reach, auto ink) {
    const cv::Point2d pc = kCentre + mul(toPixel, at - tableCentre);
    const int u0 = std::max(0, int(std::floor(pc.x - reach))), u1 = std::min(w - 1, int(std::ceil(pc.x + reach)));
    const int v0 = std::max(0, int(std::floor(pc.y - reach))), v1 = std::min(h - 1, int(std::ceil(pc.y + reach)));
    for (int v = v0; v <= v1; ++v) {
      float* row = cover.ptr<float>(v);
      for (int u = u0; u <= u1; ++u) {
        const cv::Point2d t = tableCentre + mul(toTable, cv::Point2d(u, v) - kCentre);
        cv::Point2d local = camera::rotate(t - at, -rot);
        local.x /= sheet_.printScaleX;
        local.y /= sheet_.printScaleY;
        row[u] = std::max(row[u], static_cast<float>(ink(local)));
      }
    }
  };
  for (std::size_t index = 0; index < sheet_.marks.size(); ++index) {
    const cv::Point2d& design = sheet_.marks[index];
    const bool smudged =
        std::find(sheet_.smudged.begin(), sheet_.smudged.end(), index) != sheet_.smudged.end();
    const double reach = (sheet_.markRadius * (smudged ? 3.0 : 1.0) * meanScale + sheet_.lineWidth) *
                             std::max(cam_.pxPerMmX, cam_.pxPerMmY) + 3.0;
    paint(sheet_.tablePosition(design), sheet_.rotationAtDeg(design.x) * CV_PI / 180.0, reach,
          [&](const cv::Point2d& local) {
            double sd = 0.0;  // signed distance to the ink edge, design millimetres
            const double r = std::hypot(local.x, local.y);
            if (smudged) {
              sd = std::hypot(local.x / 3.0, local.y) - sheet_.markRadius;
            } else switch (sheet_.shape) {
              case MarkShape::Disc: sd = r - sheet_.markRadius; break;
              case MarkShape::Ring:
                sd = std::abs(r - (sheet_.markRadius - sheet_.lineWidth / 2)) - sheet_.lineWidth / 2;
                break;
              case MarkShape::Cross:
                sd = std::min(boxDistance(local, sheet_.markRadius, sheet_.lineWidth / 2),
                              boxDistance(local, sheet_.lineWidth / 2, sheet_.markRadius));
                break;
            }
            return std::clamp(0.5 - sd * meanScale * density, 0.0, 1.0);
          });
  }
  if (!codeModules_.empty()) {
    // The code's modules, sampled at each pixel's place on the sheet.
    const double half = sheet_.codeSizeMm / 2.0, module = sheet_.codeSizeMm / codeModules_.cols;
    const double reach = half * 1.5 * meanScale * std::max(cam_.pxPerMmX, cam_.pxPerMmY) + 2.0;
    paint(sheet_.tablePosition(sheet_.codeAt), sheet_.rotationAtDeg(sheet_.codeAt.x) * CV_PI / 180.0, reach,
          [&](const cv::Point2d& local) {
            const int col = static_cast<int>(std::floor((local.x + half) / module));
            const int line = static_cast<int>(std::floor((local.y + half) / module));
            const bool dark = col >= 0 && line >= 0 && col < codeModules_.cols && line < codeModules_.rows &&
                              codeModules_.at<std::uint8_t>(line, col) == 0;
            return dark ? 1.0 : 0.0;
          });
  }

  cv::Mat grey(h, w, CV_32F);
  const double paper = sheet_.paper, ink = sheet_.ink;
  for (int v = 0; v < h; ++v) {
    const float* c = cover.ptr<float>(v);
    float* g = grey.ptr<float>(v);
    for (int u = 0; u < w; ++u) {
      double value = paper - (paper - ink) * c[u];
      value *= 1.0 - cam_.lightFalloff * u / double(w);
      if (cam_.smudgeAt) {
        // A soft smear, three times longer than wide, at 30 degrees.
        const double s = cam_.smudgeRadius / 2.0;
        const double dx = u - cam_.smudgeAt->x, dy = v - cam_.smudgeAt->y;
        const double along = dx * 0.866 + dy * 0.5, across = -dx * 0.5 + dy * 0.866;
        value -= cam_.smudgeDepth * std::exp(-(along * along + 9.0 * across * across) / (2 * s * s));
      }
      g[u] = static_cast<float>(value);
    }
  }
  if (cam_.blurSigma > 0.0) cv::GaussianBlur(grey, grey, cv::Size(0, 0), cam_.blurSigma);
  if (cam_.noiseSigma > 0.0) {
    cv::RNG rng(cam_.seed * 7919u + frameCount_++);
    cv::Mat noise(h, w, CV_32F);
    rng.fill(noise, cv::RNG::NORMAL, 0.0, cam_.noiseSigma);
    grey += noise;
  }
  cv::Mat frame;
  grey.convertTo(frame, CV_8U);  // rounds and saturates
  return frame;
}

cv::Point2d SimMeasurer::measureMark(bool) {
  ++count_;
  const cv::Mat frame = table_.renderFrame();
  return camera::detectMarks(frame, type_, minRadius_, maxRadius_).defaultPoint;
}

}  // namespace qel::sim
