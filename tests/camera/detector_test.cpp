// Mark detection on drawn and rendered frames.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include "camera/mark_detector.h"
#include "camera/measurement.h"
#include "camera/sim_table.h"
#include "platform/clock.h"

using namespace qel;
using camera::MarkDetector;
using ::testing::HasSubstr;

namespace {

cv::Mat blank(int grey = 210) { return cv::Mat(480, 640, CV_8UC1, cv::Scalar(grey)); }

// A frame with one disc mark whose centre falls on pixel `at` (sub-pixel positions allowed).
cv::Mat renderedDisc(const cv::Point2d& at, const sim::CameraSpec& cam, sim::MarkShape shape = sim::MarkShape::Disc) {
  platform::FakeClock clock;
  sim::SheetSpec sheet;
  sheet.shape = shape, sheet.marks = {{0.0, 0.0}};
  sim::SimTable table(clock, sheet, cam);
  // The camera centre over the table point that puts the mark at `at`.
  const cv::Point2d offsetPx = at - cv::Point2d(320, 240);
  const cv::Matx22d toTable = sim::tableToPixel(cam).inv();
  const cv::Point2d d(toTable(0, 0) * offsetPx.x + toTable(0, 1) * offsetPx.y,
                      toTable(1, 0) * offsetPx.x + toTable(1, 1) * offsetPx.y);
  return table.renderAt(-d);
}

double nearestDistance(const std::vector<cv::Point2d>& found, const cv::Point2d& truth) {
  double best = 1e9;
  for (const auto& p : found) best = std::min(best, cv::norm(p - truth));
  return best;
}

}  // namespace

TEST(MarkDetector, RefusesFramesOfTheWrongSizeOrType) {
  for (const cv::Mat& wrong : {cv::Mat(480, 641, CV_8UC1), cv::Mat(480, 640, CV_8UC3), cv::Mat()})
    EXPECT_THROW(MarkDetector{wrong}, camera::FrameError) << wrong.cols << " x " << wrong.rows << ", type " << wrong.type();
  EXPECT_THAT([] { MarkDetector{cv::Mat(600, 800, CV_8UC1)}; },
              ::testing::ThrowsMessage<camera::FrameError>(::testing::AllOf(HasSubstr("800 x 600"), HasSubstr("640 x 480"))));
}

TEST(MarkDetector, BorderBandsArePaintedOnlyAtTheEdges) {
  MarkDetector d(blank());
  d.left = d.right = d.top = d.bottom = 5;
  cv::Mat img = blank(0);
  d.paintBorder(img);
  // (x, y) just inside and just outside each band
  const std::pair<cv::Point, int> px[] = {{{320, 4}, 255},   {{320, 5}, 0},   {{320, 475}, 255}, {{320, 474}, 0},
                                          {{4, 240}, 255},   {{5, 240}, 0},   {{635, 240}, 255}, {{634, 240}, 0}};
  for (const auto& [at, grey] : px) EXPECT_EQ(img.at<uchar>(at), grey) << at;
}

TEST(MarkDetector, SizeTestsAreStrictAndRoundnessPointEightPasses) {
  auto box = [](float w, float h) { return cv::RotatedRect(cv::Point2f(100, 100), cv::Size2f(w, h), 0); };
  // Width at 2 * minRadius and just above, at 2 * maxRadius and just below, roundness exactly 0.8
  // either way and just below, not a number.
  const std::tuple<float, float, bool> rows[] = {{50, 60, false},   {50.01f, 60, true}, {200, 190, false}, {199.9f, 190, true},
                                                 {80, 100, true},   {100, 80, true},    {79.9f, 100, false}, {NAN, 100, false}};
  for (const auto& [w, h, ok] : rows) EXPECT_EQ(MarkDetector::acceptEllipse(box(w, h), 25, 100), ok) << w << " x " << h;
}

TEST(MarkDetector, PrintedRingGivesTwoNearlyConcentricCentres) {
  cv::Mat frame = blank();
  cv::circle(frame, cv::Point(300, 200), 40, cv::Scalar(30), 6, cv::LINE_AA);
  cv::Point2d def(0, 0);
  auto found = MarkDetector(frame).findCircleMarks(25, 100, def);
  ASSERT_EQ(found.size(), 2u);
  EXPECT_LT(cv::norm(found[0] - found[1]), 1.0);
  EXPECT_EQ(def, found.back());
  EXPECT_LT(cv::norm(def - cv::Point2d(300, 200)), 0.5);

  // The same ring outside the radius window is not a mark; the default point stays.
  cv::Point2d untouched(0, 0);
  EXPECT_TRUE(MarkDetector(frame).findCircleMarks(50, 100, untouched).empty());
  EXPECT_EQ(untouched, cv::Point2d(0, 0));
  // Limits that make no sense find nothing.
  for (auto [lo, hi] : {std::pair{10, 30}, {100, 25}, {0, 0}, {-5, -1}})
    EXPECT_TRUE(MarkDetector(frame).findCircleMarks(lo, hi, untouched).empty()) << lo << " " << hi;
}

TEST(MarkDetector, ElongatedBlobAndEdgeRemnantsAreIgnored) {
  cv::Mat frame = blank();
  cv::ellipse(frame, cv::Point(200, 240), cv::Size(60, 35), 0, 0, 360, cv::Scalar(30), cv::FILLED);  // ratio 0.58
  cv::circle(frame, cv::Point(-22, 240), 30, cv::Scalar(30), cv::FILLED);   // 8 columns in view
  cv::circle(frame, cv::Point(320, 500), 35, cv::Scalar(30), cv::FILLED);   // 15 rows in view
  cv::Point2d def(0, 0);
  EXPECT_TRUE(MarkDetector(frame).findCircleMarks(25, 100, def).empty());
  EXPECT_EQ(def, cv::Point2d(0, 0));

  // A mark that is half in view at the edge still gives enough points for its arc.
  cv::circle(frame, cv::Point(600, 240), 30, cv::Scalar(30), cv::FILLED);
  cv::circle(frame, cv::Point(450, 240), 30, cv::Scalar(30), cv::FILLED);
  auto found = MarkDetector(frame).findCircleMarks(25, 100, def);
  EXPECT_LT(nearestDistance(found, {450, 240}), 0.5);
}

TEST(MarkDetector, DetectorServesOneDetectionOnly) {
  cv::Mat frame = blank();
  cv::circle(frame, cv::Point(320, 240), 40, cv::Scalar(30), cv::FILLED);
  MarkDetector d(frame);
  cv::Point2d def;
  EXPECT_FALSE(d.findCircleMarks(25, 100, def).empty());
  EXPECT_TRUE(d.findCircleMarks(25, 100, def).empty());
  EXPECT_TRUE(d.findCornerMarks(def).empty());
}

// Discs and rings rendered at sub-pixel positions, clean and with print and lens faults.
TEST(MarkDetector, RenderedMarkCentreWithinAFractionOfAPixel) {
  struct Case {
    cv::Point2d truth;
    sim::MarkShape shape;
    double blur, noise, falloff;
    bool smudge;
    double tolerance;
  };
  using S = sim::MarkShape;
  const Case cases[] = {{{320.0, 240.0}, S::Disc, 0, 0, 0, false, 0.3},  {{201.37, 333.81}, S::Ring, 0, 0, 0, false, 0.3},
                        {{455.5, 120.25}, S::Disc, 0, 0, 0, false, 0.3}, {{100.9, 400.1}, S::Ring, 0, 0, 0, false, 0.3},
                        {{330.4, 228.7}, S::Disc, 0, 3, 0, false, 0.3},  {{330.4, 228.7}, S::Disc, 1, 0, 0, false, 0.3},
                        {{330.4, 228.7}, S::Disc, 1.5, 6, 0, false, 0.5}, {{330.4, 228.7}, S::Disc, 0.8, 4, 0.4, false, 0.5},
                        {{330.4, 228.7}, S::Disc, 0.8, 4, 0, true, 0.5}, {{330.4, 228.7}, S::Disc, 2, 10, 0.3, true, 0.8}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.truth << " blur " << c.blur << " noise " << c.noise);
    sim::CameraSpec cam;
    cam.rotationRad = 0.3, cam.blurSigma = c.blur, cam.noiseSigma = c.noise, cam.lightFalloff = c.falloff;
    if (c.smudge) cam.smudgeAt = cv::Point2d(250, 260);
    cv::Point2d def(0, 0);
    auto found = MarkDetector(renderedDisc(c.truth, cam, c.shape)).findCircleMarks(16, 48, def);
    ASSERT_FALSE(found.empty());
    EXPECT_LT(cv::norm(def - c.truth), c.tolerance) << def;
    for (const auto& p : found) EXPECT_LT(cv::norm(p - c.truth), c.blur + c.noise > 0 ? 2.0 : 0.3) << "a false mark at " << p;
  }
}

TEST(ClusterCorners, ClustersAreSeededFromTheFirstCandidateAndMeasuredToTheSeed) {
  cv::Point2f last(-1, -1);
  EXPECT_TRUE(MarkDetector::clusterCorners({{1, 1}, {2, 2}, {3, 3}}, last).empty());  // fewer than four
  EXPECT_EQ(last, cv::Point2f(-1, -1));
  // (126, 100) has two neighbours only and the lone corner none: neither is a candidate.
  // The first cluster takes what lies within 15 of (100, 100); (120, 100) forms its own.
  auto centres = MarkDetector::clusterCorners({{100, 100}, {104, 100}, {108, 100}, {112, 100}, {120, 100}, {126, 100}, {400, 300}}, last);
  ASSERT_EQ(centres.size(), 2u);
  EXPECT_DOUBLE_EQ(centres[0].x, 106.0);
  EXPECT_DOUBLE_EQ(centres[1].x, 120.0);
  EXPECT_EQ(last, cv::Point2f(120, 100));
  // Three lines crossing near one point: all within 15 pixels of each other.
  centres = MarkDetector::clusterCorners({{200, 200}, {205, 203}, {198, 207}, {203, 196}, {210, 200}, {196, 199}}, last);
  ASSERT_EQ(centres.size(), 1u);
  EXPECT_NEAR(centres[0].x, (200 + 205 + 198 + 203 + 210 + 196) / 6.0, 1e-9);
}

TEST(MarkDetector, CrossMarksAreFoundByTheirInnerCorners) {
  sim::CameraSpec cam;
  cam.noiseSigma = 2.0;
  sim::SheetSpec sheet;
  sheet.shape = sim::MarkShape::Cross, sheet.markRadius = 5.0, sheet.lineWidth = 1.0;
  sheet.marks = {{0.0, 0.0}, {30.0, 12.0}};
  platform::FakeClock clock;
  sim::SimTable table(clock, sheet, cam);
  table.placeHead({3.3, 1.7});
  cv::Point2d def(0, 0);
  auto found = MarkDetector(table.renderFrame()).findCornerMarks(def);
  ASSERT_EQ(found.size(), 2u);
  EXPECT_LT(nearestDistance(found, table.pixelOf({0, 0})), 0.5);
  EXPECT_LT(nearestDistance(found, table.pixelOf({30, 12})), 0.5);
  EXPECT_EQ(def, found.back());

  cv::Point2d none(0, 0);
  EXPECT_TRUE(MarkDetector(blank()).findCornerMarks(none).empty());
  EXPECT_EQ(none, cv::Point2d(0, 0));
}

TEST(MarkDetector, HalfVisibleMarkAtTheFrameEdgeIsAlsoACandidate) {
  // The mark under the crosshair and a neighbour cut by the left edge: both are offered, the
  // cut one with a poorer centre, so the choice between them is the operator's.
  sim::SheetSpec sheet;
  sheet.marks = {{0.0, 0.0}, {-39.4, -5.0}};
  sim::CameraSpec cam;
  cam.noiseSigma = 2.0;
  platform::FakeClock clock;
  sim::SimTable table(clock, sheet, cam);
  cv::Point2d def(0, 0);
  auto found = MarkDetector(table.renderFrame()).findCircleMarks(16, 48, def);
  ASSERT_EQ(found.size(), 2u);
  EXPECT_LT(nearestDistance(found, {320, 240}), 0.3);
  EXPECT_LT(nearestDistance(found, table.pixelOf({-39.4, -5.0})), 3.0);
}
