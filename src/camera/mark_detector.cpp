#include "camera/mark_detector.h"

#include <cmath>
#include <cstdio>
#include <string>

#include <opencv2/imgproc.hpp>

#include "platform/trace.h"

namespace qel::camera {

namespace {
constexpr double kClusterDistanceSq = 225.0;  // 15 pixels, squared
constexpr int kMaxCorners = 100;

// Root mean square distance of points from an ellipse, pixels: each point's radius in the
// ellipse's own frame (1 on the ellipse) off by |r - 1| times the mean semi-axis.
double ellipseRms(const std::vector<cv::Point2f>& points, const cv::RotatedRect& box) {
  const double a = box.size.width / 2.0, b = box.size.height / 2.0;
  if (points.empty() || a <= 0.0 || b <= 0.0) return 0.0;
  const double t = box.angle * CV_PI / 180.0, c = std::cos(t), s = std::sin(t);
  double sum = 0.0;
  for (const auto& p : points) {
    const double dx = p.x - box.center.x, dy = p.y - box.center.y;
    const double x = c * dx + s * dy, y = -s * dx + c * dy;
    const double d = (std::hypot(x / a, y / b) - 1.0) * (a + b) / 2.0;
    sum += d * d;
  }
  return std::sqrt(sum / static_cast<double>(points.size()));
}
}  // namespace

void requireMarkFrame(const cv::Mat& frame) {
  if (frame.empty()) throw FrameError("the frame is empty; a 640 x 480 grey picture is needed");
  if (frame.cols != kFrameWidth || frame.rows != kFrameHeight) {
    throw FrameError("the frame is " + std::to_string(frame.cols) + " x " + std::to_string(frame.rows) +
                     " pixels; mark detection needs 640 x 480");
  }
  if (frame.type() != CV_8UC1) {
    throw FrameError("the frame has " + std::to_string(frame.channels()) + " channel(s) of depth " +
                     std::to_string(frame.depth()) + "; mark detection needs 8-bit grey");
  }
}

MarkDetector::MarkDetector(const cv::Mat& frame) {
  requireMarkFrame(frame);
  work_ = frame.clone();
  work2_ = frame.clone();
}

void MarkDetector::release() {
  work_.release();
  work2_.release();
}

void MarkDetector::paintBorder(cv::Mat& image) const {
  if (image.empty() || image.type() != CV_8UC1) return;
  const int w = image.cols, h = image.rows;
  auto band = [&](int x0, int y0, int x1, int y1) {  // half-open, clipped to the image
    x0 = std::max(x0, 0), y0 = std::max(y0, 0), x1 = std::min(x1, w), y1 = std::min(y1, h);
    for (int y = y0; y < y1; ++y) {
      std::uint8_t* row = image.ptr<std::uint8_t>(y);
      for (int x = x0; x < x1; ++x) row[x] = fillValue;
    }
  };
  band(0, 0, width, top);                        // top rows
  band(0, height - bottom, width, height);       // bottom rows
  band(0, top, left, height);                    // left columns
  band(width - right, top, width, height);       // right columns
}

bool MarkDetector::acceptEllipse(const cv::RotatedRect& box, int minRadius, int maxRadius) {
  const double w = box.size.width, h = box.size.height;
  if (!std::isfinite(w) || !std::isfinite(h) || w <= 0.0 || h <= 0.0) return false;
  double r = w / h;
  if (r > 1.0) r = h / w;
  if (r < 0.8) return false;
  const double lo = 2.0 * minRadius, hi = 2.0 * maxRadius;
  return lo < w && w < hi && lo < h && h < hi;
}

std::vector<cv::Point2d> MarkDetector::findCircleMarks(int minRadius, int maxRadius, cv::Point2d& defaultPoint) {
  std::vector<cv::Point2d> found;
  fits_.clear();
  left = right = top = bottom = 5;
  if (work_.empty() || maxRadius < 1 || minRadius < 0 || minRadius >= maxRadius) {
    release();
    return found;
  }
  cv::Mat copy = work_.clone();
  cv::GaussianBlur(copy, work_, cv::Size(3, 3), 0, 0);
  cv::adaptiveThreshold(work_, copy, 255.0, cv::ADAPTIVE_THRESH_MEAN_C, cv::THRESH_BINARY,
                        2 * maxRadius + 1, 5.0);
  paintBorder(copy);

  std::vector<std::vector<cv::Point>> contours;
  cv::findContours(copy, contours, cv::RETR_LIST, cv::CHAIN_APPROX_NONE, cv::Point(0, 0));

  std::vector<cv::Point2f> kept;
  for (const auto& contour : contours) {
    if (contour.size() < 6) continue;
    kept.clear();
    for (const cv::Point& p : contour) {
      if (p.x > left + 2 && p.x < width - right && p.y > top + 1 && p.y < height - bottom - 2) {
        kept.emplace_back(static_cast<float>(p.x), static_cast<float>(p.y));
      }
    }
    if (kept.size() < 36) continue;
    const cv::RotatedRect box = cv::fitEllipse(kept);
    const bool accepted = acceptEllipse(box, minRadius, maxRadius);
    if (platform::traceEnabled()) {
      char line[200];
      std::snprintf(line, sizeof line, "circle: %zu points, ellipse %.2f x %.2f at (%.3f, %.3f), roundness %.3f: %s",
                    kept.size(), box.size.width, box.size.height, box.center.x, box.center.y,
                    std::min(box.size.width, box.size.height) / std::max(box.size.width, box.size.height),
                    accepted ? "mark" : "rejected");
      platform::trace(line);
    }
    if (!accepted) continue;
    found.emplace_back(box.center.x, box.center.y);
    fits_.push_back({box, ellipseRms(kept, box)});
    defaultPoint = found.back();
  }
  release();
  return found;
}

std::vector<cv::Point2d> MarkDetector::findCornerMarks(cv::Point2d& defaultPoint) {
  std::vector<cv::Point2d> found;
  if (work_.empty()) return found;
  std::vector<cv::Point2f> corners;
  cv::goodFeaturesToTrack(work_, corners, kMaxCorners, 0.2, 1.0, cv::noArray(), 3, false, 0.04);
  if (!corners.empty()) {
    cv::cornerSubPix(work_, corners, cv::Size(3, 3), cv::Size(-1, -1),
                     cv::TermCriteria(cv::TermCriteria::COUNT | cv::TermCriteria::EPS, 20, 0.1));
  }
  cv::Point2f last;
  found = clusterCorners(corners, last);
  if (platform::traceEnabled()) {
    platform::trace("cross: " + std::to_string(corners.size()) + " corners, " + std::to_string(found.size()) +
                    " clusters");
  }
  if (!found.empty()) defaultPoint = found.back();
  release();
  return found;
}

std::vector<cv::Point2d> MarkDetector::clusterCorners(const std::vector<cv::Point2f>& corners,
                                                      cv::Point2f& lastCentre) {
  std::vector<cv::Point2d> centres;
  if (corners.size() < 4) return centres;
  auto distSq = [](const cv::Point2f& a, const cv::Point2f& b) {
    const double dx = double(a.x) - b.x, dy = double(a.y) - b.y;
    return dx * dx + dy * dy;
  };
  std::vector<cv::Point2f> candidates;
  for (std::size_t i = 0; i < corners.size(); ++i) {
    int near = 0;
    for (std::size_t j = 0; j < corners.size(); ++j) {
      if (i != j && distSq(corners[i], corners[j]) < kClusterDistanceSq) ++near;
    }
    if (near >= 3) candidates.push_back(corners[i]);
  }
  while (!candidates.empty()) {
    const cv::Point2f seed = candidates.front();
    double sx = 0.0, sy = 0.0;
    int n = 0;
    std::vector<cv::Point2f> rest;
    for (const auto& c : candidates) {
      if (distSq(c, seed) < kClusterDistanceSq) {
        sx += c.x, sy += c.y, ++n;
      } else {
        rest.push_back(c);
      }
    }
    candidates.swap(rest);
    centres.emplace_back(sx / n, sy / n);
  }
  if (!centres.empty()) {
    lastCentre = cv::Point2f(static_cast<float>(centres.back().x), static_cast<float>(centres.back().y));
  }
  return centres;
}

}  // namespace qel::camera
