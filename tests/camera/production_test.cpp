// The pieces of production print-and-cut below the workflow: the search spiral, job codes read
// from rendered sheets and the names they stand for, the confidence of a measurement, and the
// corrections fitted to the marks themselves (affine, and segment by segment along a roll).
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "camera/job_code.h"
#include "camera/mark_fit.h"
#include "camera/mark_search.h"
#include "camera/measurement.h"
#include "camera/sim_table.h"
#include "support/temp_home.h"

using namespace qel;
using namespace qel::camera;

TEST(MarkSearch, SpiralGoesOutwardRingByRingWithinTheRadius) {
  struct Case {
    double step, radius;
    std::vector<cv::Point2d> expected;
  };
  const std::vector<Case> cases{
      {48.0, 10.0, {}},  // a view wider than the radius: the prediction's own picture is all
      {10.0, 10.0, {{10, 0}, {0, 10}, {-10, 0}, {0, -10}}},  // the ring's corners lie beyond 10 mm
      {5.0, 10.0, {{5, 0}, {5, 5}, {0, 5}, {-5, 5}, {-5, 0}, {-5, -5}, {0, -5}, {5, -5},  // ring 1 whole
                   {10, 0}, {0, 10}, {-10, 0}, {0, -10}}},  // of ring 2 only what lies within 10 mm
      {0.0, 10.0, {}},
      {5.0, -1.0, {}},
  };
  for (const auto& c : cases) EXPECT_EQ(spiralOffsets(c.step, c.radius), c.expected) << c.step << " / " << c.radius;
}

TEST(JobCode, NamesStandForFilesOfTheJobFolderOnly) {
  const std::vector<std::pair<std::string, std::optional<std::string>>> cases{
      {"alpha", "alpha"}, {"  job 12\r\n", "job 12"}, {"标签", "标签"}, {std::string(120, 'x'), std::string(120, 'x')}};
  for (const auto& [text, name] : cases) EXPECT_EQ(jobNameFromCode(text), name) << text;
  for (const std::string& text : std::vector<std::string>{"", " \t ", "../secret", "a/b", "a\\b", "..", ".", "tab\there", std::string(121, 'x')})
    EXPECT_EQ(jobNameFromCode(text), std::nullopt) << text;

  test::TempHome home;
  home.writeFile("Jobs/alpha.plt", "IN;");
  home.writeFile("Jobs/beta", "IN;");
  home.writeFile("Jobs/epsilon.pdf", "%PDF-1.4");
  std::filesystem::create_directories(home.file("Jobs/gamma.plt"));  // a folder is no cut file
  EXPECT_EQ(jobFileFor(home.file("Jobs"), "alpha"), home.file("Jobs/alpha.plt"));
  EXPECT_EQ(jobFileFor(home.file("Jobs") + "/", "beta"), home.file("Jobs/beta"));
  EXPECT_EQ(jobFileFor(home.file("Jobs"), "gamma"), std::nullopt);
  EXPECT_EQ(jobFileFor(home.file("Jobs"), "delta"), std::nullopt);
  EXPECT_EQ(jobFileFor(home.file("Jobs"), "epsilon"), home.file("Jobs/epsilon.pdf")) << "a drawing is a job's file";
}

TEST(JobCode, CodesPrintedOnTheSimulatedSheetAreReadThroughTheCameraWithFaults) {
  for (const CodeFormat format : {CodeFormat::QrCode, CodeFormat::DataMatrix}) {
    platform::FakeClock clock;
    sim::SheetSpec sheet;
    sheet.marks = {{0, 0}};
    sheet.code = "job-17", sheet.codeFormat = format, sheet.codeAt = {22, 2}, sheet.printRotationDeg = 1.5;
    sim::CameraSpec cam;
    cam.rotationRad = -0.02, cam.blurSigma = 0.8, cam.noiseSigma = 4.0, cam.lightFalloff = 0.2;
    sim::SimTable table(clock, sheet, cam);
    const auto code = readJobCode(table.renderAt({0, 0}));
    ASSERT_TRUE(code) << (format == CodeFormat::QrCode ? "QR" : "Data Matrix");
    EXPECT_EQ(std::pair(code->text, code->format), std::pair(std::string("job-17"), format));
    EXPECT_NEAR(code->centre.x, 320 + 22 * 8, 8);  // 8 pixels per mm
    // The mark itself is still the one measured, not a square of the code beside it.
    const Detection d = detectMarks(table.renderAt({0, 0}), MarkType::Circle, 16, 48);
    EXPECT_LT(cv::norm(d.defaultPoint - cv::Point2d(320, 240)), 1.0) << d.defaultPoint;
    EXPECT_FALSE(readJobCode(table.renderAt({0, -45})));  // the code out of view
  }
  EXPECT_TRUE(codeModules(std::string(5000, 'x'), CodeFormat::QrCode).empty());
}

TEST(MarkQuality, CleanMarksAreSureAndSmearsOrFaintPrintsAreNot) {
  platform::FakeClock clock;
  auto confidenceOf = [&](sim::SheetSpec sheet, sim::CameraSpec cam) {
    sheet.marks = {{0, 0}};
    sim::SimTable table(clock, sheet, cam);
    const Detection d = detectMarks(table.renderAt({0, 0}), MarkType::Circle, 16, 48);
    return d.candidates.empty() ? -1.0 : d.qualityAt(d.defaultPoint).confidence();
  };
  sim::SheetSpec clean;
  sim::CameraSpec sharp;
  EXPECT_GT(confidenceOf(clean, sharp), 0.8);
  sim::CameraSpec faulty;
  faulty.blurSigma = 0.8, faulty.noiseSigma = 4.0, faulty.lightFalloff = 0.2;
  EXPECT_GT(confidenceOf(clean, faulty), 0.5);
  sim::SheetSpec faint;
  faint.ink = 160;  // 55 grey levels under the paper
  EXPECT_LT(confidenceOf(faint, sharp), 0.5);
  EXPECT_GT(confidenceOf(faint, sharp), 0.0);
  sim::CameraSpec smeared;
  smeared.smudgeAt = cv::Point2d(320 + 20, 240);  // a smear across the mark's edge
  smeared.smudgeDepth = 120;
  const double smear = confidenceOf(clean, smeared);
  EXPECT_LT(smear, confidenceOf(clean, sharp));
}

namespace {
// A print scaled and turned about a point: the true table position of design point d.
cv::Point2d printed(const cv::Point2d& d, double sx, double sy, double deg, cv::Point2d origin) {
  return origin + rotate({d.x * sx, d.y * sy}, deg * CV_PI / 180.0);
}
}  // namespace

TEST(MarkFit, AffineFitOfThreeMarksReproducesAScaledTurnedPrintAndRefusesMarksOnALine) {
  const AxisDeflection none;
  const cv::Point2d tool(6.5, -4.25);
  std::vector<MarkPair> marks;
  for (const cv::Point2d d : {cv::Point2d(20, 20), cv::Point2d(320, 220), cv::Point2d(20, 220)})
    marks.push_back({d, printed(d, 1.003, 0.998, 0.7, {30, 25})});
  const auto fit = AffineCorrection::fit(marks, none, tool);
  ASSERT_TRUE(fit);
  for (const cv::Point2d d : {cv::Point2d(0, 0), cv::Point2d(320, 20), cv::Point2d(150, 110), cv::Point2d(900, -40)}) {
    const cv::Point2d cut = fit->apply(d * 40.0) / 40.0 - tool;
    EXPECT_LT(cv::norm(cut - printed(d, 1.003, 0.998, 0.7, {30, 25})), 1e-9) << d;
  }
  for (double r : residualsOf(*fit, marks, tool)) EXPECT_LT(r, 1e-9);
  EXPECT_FALSE(AffineCorrection::fit({marks[0], marks[1]}, none, tool));
  EXPECT_FALSE(AffineCorrection::fit({{{0, 0}, {0, 0}}, {{100, 0}, {100, 0}}, {{200, 0}, {200, 0}}}, none, tool));
}

TEST(MarkFit, SegmentsOfADriftingRollMeetWithoutAStepAndFollowItWithinATenth) {
  // A roll turning 0.2 degrees over 3 m and stretched 0.3 %: marks in columns every 500 mm.
  auto roll = [](const cv::Point2d& d) { return printed(d, 1.003, 1.0, 0.2 * d.x / 3000.0, {30, 25}); };
  std::vector<MarkPair> marks;
  for (int i = 0; i <= 6; ++i)
    for (double y : {20.0, 220.0}) {
      const cv::Point2d d(20.0 + 500.0 * i, y);
      marks.push_back({d, roll(d)});
    }
  const auto fit = SegmentedCorrection::fit(marks, AxisDeflection(), {0, 0});
  ASSERT_TRUE(fit);
  EXPECT_EQ(fit->segments().size(), 6u);
  for (double r : residualsOf(*fit, marks, {0, 0})) EXPECT_LT(r, 1e-9);
  double worst = 0.0, step = 0.0;
  for (double x = 0; x <= 3040; x += 10)
    for (double y = 20; y <= 220; y += 50) {
      worst = std::max(worst, cv::norm(fit->apply(cv::Point2d(x, y) * 40.0) / 40.0 - roll({x, y})));
      // Across each seam: the two sides a micrometre apart land a micrometre apart.
      const double seam = 20.0 + 500.0 * std::round((x - 20.0) / 500.0);
      const cv::Point2d before = fit->apply(cv::Point2d(seam - 1e-6, y) * 40.0), after = fit->apply(cv::Point2d(seam + 1e-6, y) * 40.0);
      step = std::max(step, cv::norm(after - before) / 40.0);
    }
  EXPECT_LT(worst, 0.1);
  EXPECT_LT(step, 1e-5);

  std::string why;
  EXPECT_FALSE(SegmentedCorrection::fit({marks[0], marks[1]}, AxisDeflection(), {0, 0}, &why));
  EXPECT_NE(why.find("fewer than two columns"), std::string::npos) << why;
  EXPECT_FALSE(SegmentedCorrection::fit({marks[0], marks[1], marks[2]}, AxisDeflection(), {0, 0}, &why));
  EXPECT_NE(why.find("only one mark"), std::string::npos) << why;
}
