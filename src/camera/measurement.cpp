#include "camera/measurement.h"

#include <opencv2/imgproc.hpp>

#include "camera/mark_detector.h"

namespace qel::camera {

namespace {
constexpr double kCrossReachPx = 20.0;

MarkQuality meanQuality(const std::vector<MarkQuality>& qs) {
  MarkQuality m;
  if (qs.empty()) return m;
  for (const auto& q : qs) m.contrast += q.contrast, m.roundness += q.roundness, m.fit += q.fit;
  const double n = static_cast<double>(qs.size());
  m.contrast /= n, m.roundness /= n, m.fit /= n;
  return m;
}
}  // namespace

Detection detectMarks(const cv::Mat& frame, MarkType type, int minRadius, int maxRadius) {
  Detection d;
  MarkDetector detector(frame);
  if (type == MarkType::Circle) {
    d.candidates = detector.findCircleMarks(minRadius, maxRadius, d.defaultPoint);
    for (const auto& f : detector.circleFits()) {
      const double w = f.ellipse.size.width, h = f.ellipse.size.height;
      d.qualities.push_back(circleQuality(frame, f.ellipse.center, 0.75 * std::max(w, h), std::min(w, h) / std::max(w, h),
                                          f.rmsPx));
    }
  } else {
    d.candidates = detector.findCornerMarks(d.defaultPoint);
    for (const auto& c : d.candidates) d.qualities.push_back(crossQuality(frame, c, kCrossReachPx));
  }
  return d;
}

MarkQuality Detection::qualityAt(const cv::Point2d& p) const {
  std::size_t best = qualities.size();
  double bestDistance = 0.0;
  for (std::size_t i = 0; i < candidates.size() && i < qualities.size(); ++i) {
    const double distance = cv::norm(candidates[i] - p);
    if (best == qualities.size() || distance < bestDistance) best = i, bestDistance = distance;
  }
  return best < qualities.size() ? qualities[best] : MarkQuality{};
}

void MarkMeasurement::setParameters(MarkType type, int minRadius, int maxRadius) {
  std::lock_guard lock(mutex_);
  type_ = type;
  minRadius_ = minRadius;
  maxRadius_ = maxRadius;
}

void MarkMeasurement::setChooser(MarkChooser* chooser) {
  std::lock_guard lock(mutex_);
  chooser_ = chooser;
}

cv::Point2d MarkMeasurement::measure(int frames) { return measureMark(frames).position; }

MeasuredMark MarkMeasurement::measureMark(int frames) {
  std::unique_lock lock(mutex_);
  requestCount_ = frames > 0 ? frames : 1;
  signalled_ = false;
  done_.wait(lock, [&] { return signalled_; });
  signalled_ = false;
  return {measured_, quality_};
}

std::optional<JobCode> MarkMeasurement::readCode() {
  std::unique_lock lock(mutex_);
  codeRequested_ = true;
  codeDone_ = false;
  code_.reset();
  done_.wait(lock, [&] { return codeDone_; });
  codeDone_ = false;
  return code_;
}

std::optional<FrameFind> MarkMeasurement::onFrame(const cv::Mat& frame, std::int64_t nowMs) {
  MarkType type;
  int minRadius, maxRadius;
  MarkChooser* chooser;
  bool code = false;
  {
    std::lock_guard lock(mutex_);
    code = codeRequested_;
    codeRequested_ = false;
  }
  if (code) {
    std::optional<JobCode> found = readJobCode(frame);
    std::lock_guard lock(mutex_);
    code_ = std::move(found);
    codeDone_ = true;
    done_.notify_all();
  }
  {
    std::lock_guard lock(mutex_);
    if (underWay_ || requestCount_ <= 0) return std::nullopt;
    --requestCount_;
    underWay_ = true;
    type = type_, minRadius = minRadius_, maxRadius = maxRadius_, chooser = chooser_;
  }
  // Detection and the choice dialog run without the lock: the requester only waits.
  Detection d;
  try {
    d = detectMarks(frame, type, minRadius, maxRadius);
  } catch (const FrameError&) {
    d = Detection{};
  }
  if (d.candidates.size() > 1 && chooser) {
    cv::Mat colour;
    cv::cvtColor(frame, colour, cv::COLOR_GRAY2BGR);
    if (auto picked = chooser->choose(colour, d.candidates, kMarkPickRadius)) d.defaultPoint = *picked;
  } else if (d.candidates.size() > 1 && d.qualities.size() == d.candidates.size()) {
    // Nobody to ask: the surest candidate (the last of equals), so that a job code's squares
    // beside the mark are never taken for it.
    std::size_t best = 0;
    for (std::size_t i = 1; i < d.candidates.size(); ++i)
      if (d.qualities[i].confidence() >= d.qualities[best].confidence()) best = i;
    d.defaultPoint = d.candidates[best];
  }

  std::lock_guard lock(mutex_);
  underWay_ = false;
  FrameFind result;
  if (d.defaultPoint == cv::Point2d(0.0, 0.0)) {
    measured_ = {0.0, 0.0};
    quality_ = {};
    samples_.clear();
    qualities_.clear();
  } else {
    samples_.push_back(d.defaultPoint);
    qualities_.push_back(d.qualityAt(d.defaultPoint));
    if (requestCount_ > 0) return std::nullopt;  // more frames to sample
    cv::Point2d sum(0.0, 0.0);
    for (const auto& s : samples_) sum += s;
    measured_ = sum / static_cast<double>(samples_.size());
    quality_ = meanQuality(qualities_);
    samples_.clear();
    qualities_.clear();
    lastFindMs_ = nowMs;
    result.found = true;
  }
  result.position = measured_;
  result.timeMs = nowMs;
  requestCount_ = 0;
  signalled_ = true;
  done_.notify_all();
  return result;
}

void MarkMeasurement::cancel() {
  std::lock_guard lock(mutex_);
  requestCount_ = 0;
  samples_.clear();
  qualities_.clear();
  measured_ = {0.0, 0.0};
  quality_ = {};
  codeRequested_ = false;
  code_.reset();
  codeDone_ = true;
  signalled_ = true;
  done_.notify_all();
}

bool MarkMeasurement::pending() const {
  std::lock_guard lock(mutex_);
  return requestCount_ > 0 || underWay_;
}

cv::Point2d MarkMeasurement::lastPosition() const {
  std::lock_guard lock(mutex_);
  return measured_;
}

std::int64_t MarkMeasurement::lastFindMs() const {
  std::lock_guard lock(mutex_);
  return lastFindMs_;
}

}  // namespace qel::camera
