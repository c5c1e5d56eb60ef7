// The hand-over of a measurement between a waiting job thread and the frame handler.
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include <opencv2/imgproc.hpp>

#include "camera/measurement.h"

using namespace qel::camera;

namespace {

cv::Mat frameWith(std::initializer_list<cv::Point> rings) {
  cv::Mat f(480, 640, CV_8UC1, cv::Scalar(210));
  for (const auto& c : rings) cv::circle(f, c, 40, cv::Scalar(30), 6, cv::LINE_AA);
  return f;
}

struct RecordingChooser : MarkChooser {
  std::optional<cv::Point2d> answer;
  std::tuple<int, int, int, std::size_t> seen{};  // calls, channels of the picture, radius, candidates
  std::optional<cv::Point2d> choose(const cv::Mat& colour, const std::vector<cv::Point2d>& c, int r) override {
    seen = {std::get<0>(seen) + 1, colour.channels(), r, c.size()};
    return answer;
  }
};

// Feeds frames until the pending request is served; returns what the finishing frame gave.
std::optional<FrameFind> serve(MarkMeasurement& m, const std::vector<cv::Mat>& frames) {
  while (!m.pending()) std::this_thread::yield();
  std::optional<FrameFind> last;
  for (std::int64_t t = 0; t < static_cast<std::int64_t>(frames.size()); ++t) {
    last = m.onFrame(frames[t], 1000 + t);
    if (last) break;
  }
  return last;
}

}  // namespace

TEST(MarkMeasurement, SeveralCandidatesGoToTheChooser) {
  MarkMeasurement m;
  RecordingChooser chooser;
  m.setChooser(&chooser);
  chooser.answer = cv::Point2d(123.0, 45.0);
  auto result = std::async(std::launch::async, [&] { return m.measure(1); });
  auto served = serve(m, {frameWith({{200, 200}, {450, 300}})});
  ASSERT_TRUE(served && served->found);
  EXPECT_EQ(result.get(), cv::Point2d(123.0, 45.0));
  EXPECT_EQ(chooser.seen, std::tuple(1, 3, 30, std::size_t(4)));  // both rings' inner and outer edges
  EXPECT_EQ(m.lastFindMs(), 1000);

  // Leaving the dialog without a choice keeps the detector's last candidate.
  chooser.answer.reset();
  auto second = std::async(std::launch::async, [&] { return m.measure(1); });
  serve(m, {frameWith({{200, 200}, {450, 300}})});
  const cv::Point2d p = second.get();
  EXPECT_TRUE(cv::norm(p - cv::Point2d(200, 200)) < 1.0 || cv::norm(p - cv::Point2d(450, 300)) < 1.0) << p;
}

TEST(MarkMeasurement, NothingFoundGivesZeroAndWakesTheRequester) {
  MarkMeasurement m;
  EXPECT_FALSE(m.onFrame(frameWith({{320, 240}}), 5).has_value());  // no request: only shown
  auto result = std::async(std::launch::async, [&] { return m.measure(1); });
  auto served = serve(m, {cv::Mat(480, 640, CV_8UC1, cv::Scalar(200))});
  ASSERT_TRUE(served && !served->found);
  EXPECT_EQ(result.get(), cv::Point2d(0, 0));
  // A frame of the wrong size counts as not found instead of failing the frame handler.
  auto again = std::async(std::launch::async, [&] { return m.measure(1); });
  serve(m, {cv::Mat(100, 100, CV_8UC1, cv::Scalar(200))});
  EXPECT_EQ(again.get(), cv::Point2d(0, 0));
  EXPECT_FALSE(m.pending());
}

TEST(MarkMeasurement, SeveralFramesGiveTheMeanAndWakeOnlyAtTheEnd) {
  MarkMeasurement m;
  m.setParameters(MarkType::Circle, 25, 100);
  auto result = std::async(std::launch::async, [&] { return m.measure(3); });
  while (!m.pending()) std::this_thread::yield();
  EXPECT_FALSE(m.onFrame(frameWith({{300, 200}}), 1).has_value());
  EXPECT_EQ(result.wait_for(std::chrono::milliseconds(20)), std::future_status::timeout);
  EXPECT_FALSE(m.onFrame(frameWith({{302, 200}}), 2).has_value());
  auto last = m.onFrame(frameWith({{304, 203}}), 3);
  ASSERT_TRUE(last.has_value());
  EXPECT_LT(cv::norm(result.get() - cv::Point2d(302, 201)), 0.3);
}

TEST(MarkMeasurement, CancelWakesAWaitingRequester) {
  MarkMeasurement m;
  auto result = std::async(std::launch::async, [&] { return m.measure(1); });
  while (!m.pending()) std::this_thread::yield();
  m.cancel();
  EXPECT_EQ(result.get(), cv::Point2d(0, 0));
  EXPECT_FALSE(m.pending());
}
