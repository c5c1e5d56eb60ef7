// Print-and-cut in production against the simulated coordinator and table: a shuffled stack of
// sheets of three jobs recognised by their codes and fed by the coordinator, a sheet lying off
// its place found by searching, faint marks, and jobs one after another starting at their first
// mark. (A long roll cut in segments is the segment fit's own test.)
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "ccd_rig.h"
#include "platform/files.h"
#include "support/wait.h"

using namespace qel;
using namespace qel::ccd;
using test::CcdBench;

namespace {

const std::vector<cv::Point2d> kMarks{{20, 20}, {320, 20}, {320, 220}, {20, 220}};

// Three jobs on the same sheet layout, each cutting its own shape.
const std::vector<std::pair<std::string, std::vector<cv::Point2d>>> kJobs{
    {"alpha", {{60, 60}, {280, 60}, {280, 180}}},
    {"beta", {{70, 150}, {200, 70}}},
    {"gamma", {{100, 100}, {250, 100}, {250, 200}, {100, 100}}}};

sim::SheetSpec codedSheet(const std::string& code, cv::Point2d origin, double scale, double turnDeg) {
  sim::SheetSpec s;
  s.marks = kMarks, s.origin = origin, s.printScaleX = s.printScaleY = scale, s.printRotationDeg = turnDeg;
  s.code = code;
  s.codeAt = {42, 22};  // beside the first mark, in the same picture
  return s;
}

sim::CameraSpec faultyCamera() {
  sim::CameraSpec c;
  c.rotationRad = -0.02, c.toolOffset = {6.5, -4.25}, c.blurSigma = 0.8, c.noiseSigma = 4.0, c.lightFalloff = 0.2;
  return c;
}

const std::vector<cv::Point2d> kShape{{60, 60}, {280, 180}};

// A bench with the one-line pattern loaded and the head over the first mark (or `head`).
bool prepare(CcdBench& b, std::optional<cv::Point2d> head = std::nullopt) {
  return b.start(test::printAndCutPlot(kMarks, false, {kShape}), head);
}

std::string text(const std::string& path) { return platform::readWholeFile(path).value_or(""); }

}  // namespace

TEST(CcdProduction, ShuffledStackOfThreeJobsIsCutSheetBySheetWithEachOwnFileAndAnUnknownCodeSkipped) {
  CcdBench b("127.0.0.221", codedSheet("alpha", {30, 25}, 1.0, 0.0), faultyCamera());
  ASSERT_TRUE(b.ready()) << b.error;
  config::CIniConfig cfg(b.home.path());
  cfg.write(config::keys::UnknownJob, 1);
  for (const auto& [name, shape] : kJobs) b.home.writeFile("Jobs/" + name + ".plt", test::printAndCutPlot(kMarks, false, {shape}));
  // Shuffled, each sheet laid a little differently; the fourth names a job nobody has.
  const std::vector<std::string> order{"gamma", "alpha", "delta", "beta", "alpha", "gamma"};
  std::vector<sim::SheetSpec> sheets;
  for (std::size_t i = 0; i < order.size(); ++i)
    sheets.push_back(codedSheet(order[i], cv::Point2d(30 + 1.5 * (i % 3), 25 - 1.0 * (i % 2)), 1.0 + 0.001 * (i % 4),
                                0.3 * (static_cast<double>(i % 3) - 1.0)));
  b.stackSheets(sheets);
  b.headOver(b.stack[0]->sheet().tablePosition(kMarks[0]));
  ASSERT_EQ(b.runSheets(0), RunEnd::Completed) << test::firstTold(b.op);
  // Sheets cut and skipped, and feeds: the sixth leaves the table bare.
  EXPECT_EQ(std::tuple(b.workflow->sheetsCut(), b.workflow->sheetsSkipped(), b.coordinator->model().feeds()), std::tuple(5, 1, 6));
  EXPECT_EQ(b.op.copy(b.op.jobs), (std::vector<std::string>{"gamma", "alpha", "beta", "alpha", "gamma"}));
  ASSERT_EQ(b.coordinator->sim().downloads().size(), 5u);
  std::size_t download = 0;
  for (std::size_t i = 0; i < order.size(); ++i) {
    if (order[i] == "delta") continue;
    const auto& shape = std::find_if(kJobs.begin(), kJobs.end(), [&](const auto& j) { return j.first == order[i]; })->second;
    EXPECT_EQ(b.received(download).size(), 5u) << "sheet " << i + 1;
    EXPECT_LT(b.worstLanding(download, test::designOf(kMarks, {shape}), 0.0, b.stack[i].get()), 0.05) << "sheet " << i + 1;
    ++download;
  }
  // Every cut sheet has its quality record beside its history entry; the skipped one a record
  // that says why.
  const auto records = b.op.copy(b.op.records);
  ASSERT_EQ(records.size(), 5u);
  std::string skipped;
  for (const auto& e : std::filesystem::directory_iterator(b.home.file("PrintedDir")))
    if (e.path().filename().string().find("_3_skipped.json") != std::string::npos) skipped += text(e.path());
  EXPECT_NE(skipped.find("\"skipped\": \"The sheet's code \\\"delta\\\" names no job"), std::string::npos) << skipped;
  const std::string first = text(records[0]);
  EXPECT_NE(first.find("\"code\": \"gamma\""), std::string::npos) << first;
  EXPECT_NE(first.find("\"confidence\""), std::string::npos) << first;
}

TEST(CcdProduction, CodeNamingNoJobStopsTheRunWhenSoConfigured) {
  CcdBench b("127.0.0.222", codedSheet("nobody", {30, 25}, 1.0, 0.0), faultyCamera());
  ASSERT_TRUE(b.ready()) << b.error;
  b.stackSheets({codedSheet("nobody", {30, 25}, 1.0, 0.0)});
  b.headOver(b.stack[0]->sheet().tablePosition(kMarks[0]));
  EXPECT_EQ(b.runSheets(0), RunEnd::Failed);
  const auto told = b.op.copy(b.op.told);
  ASSERT_EQ(told.size(), 1u);
  EXPECT_EQ(told[0].first, CcdMessage::UnknownJob);
  EXPECT_NE(told[0].second.find("\"nobody\" names no job"), std::string::npos) << told[0].second;
  EXPECT_TRUE(b.coordinator->sim().downloads().empty());
}

TEST(CcdProduction, SheetSixMillimetresOffItsPlaceIsFoundBySearchingWithFaultsOn) {
  // A camera that sees 12.8 x 9.6 mm: a mark 6 mm off lies outside the first picture.
  sim::CameraSpec cam = faultyCamera();
  cam.pxPerMmX = cam.pxPerMmY = 50.0;
  sim::SheetSpec sheet = codedSheet("", {30, 25}, 1.003, 0.7);
  sheet.markRadius = 1.0, sheet.lineWidth = 0.3;
  CcdBench b("127.0.0.223", sheet, cam);
  config::CIniConfig cfg(b.home.path());
  cfg.writeMark(0, 1.0);
  cfg.writeMark(1, 0.5);
  ASSERT_TRUE(prepare(b, cv::Point2d(200, 120)));
  // Where the operator put the last sheet's first mark; this sheet lies 6 mm further up.
  const cv::Point2d mark = b.table->sheet().tablePosition(kMarks[0]);
  cfg.writeText("CCD", "FirstMark", std::to_string(mark.x) + "," + std::to_string(mark.y - 6.0));
  ASSERT_EQ(b.run(), RunEnd::Completed) << test::firstTold(b.op);
  const auto marks = b.op.copy(b.op.marks);
  ASSERT_EQ(marks.size(), 4u);
  EXPECT_GE(marks[0].searchSteps, 1);
  for (const auto& m : marks) EXPECT_GT(m.quality.confidence(), 0.5) << m.index;
  EXPECT_TRUE(b.op.questions.empty());
  EXPECT_LT(b.worstLanding(0, test::designOf(kMarks, {kShape})), 0.05);
}

TEST(CcdProduction, FaintMarksAreMeasuredAgainFromASecondFrame) {
  sim::SheetSpec faint = codedSheet("", {30, 25}, 1.003, 0.7);
  faint.ink = 180;  // printed 35 grey levels under the paper
  CcdBench b("127.0.0.226", faint, faultyCamera());
  config::CIniConfig(b.home.path()).write(config::keys::SegmentLength, 300.0);  // fitted as one segment
  ASSERT_TRUE(prepare(b));
  ASSERT_EQ(b.run(), RunEnd::Completed) << test::firstTold(b.op);
  const auto marks = b.op.copy(b.op.marks);
  ASSERT_EQ(marks.size(), 4u);
  for (const auto& m : marks) EXPECT_TRUE(m.remeasured && m.quality.confidence() < 0.5) << m.index;
  EXPECT_LT(b.worstLanding(0, test::designOf(kMarks, {kShape})), 0.05);
  const auto records = b.op.copy(b.op.records);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_NE(text(records[0]).find("\"fit\": \"segments\""), std::string::npos) << text(records[0]);
}

TEST(CcdProduction, NextJobStartsAtTheFirstMarkAndAFarFirstMarkIsRefused) {
  CcdBench b("127.0.0.225", codedSheet("", {30, 25}, 1.003, 0.7), faultyCamera());
  ASSERT_TRUE(prepare(b, b.table->sheet().tablePosition(kMarks[0]) + cv::Point2d(2, -1)));
  // (Jobs one after another through the window land each within 0.05 mm: the window's test.)
  ASSERT_EQ(b.run(), RunEnd::Completed) << test::firstTold(b.op);
  // The head waits over the first mark, not the last.
  ASSERT_TRUE(test::waitUntil([&] { return !b.coordinator->model().moving(); }, 10000));
  const cv::Point2d head(b.coordinator->model().position(0), b.coordinator->model().position(1));
  EXPECT_LT(cv::norm(head - b.table->sheet().tablePosition(kMarks[0])), 1.0);
  EXPECT_LT(b.worstLanding(0, test::designOf(kMarks, {kShape})), 0.05);

  // The next sheet was laid 30 mm further along: a mark seen from the first mark's place is too
  // far from it to be taken for the first.
  b.cameraFeed->close();
  b.table = std::make_unique<sim::SimTable>(*b.renderClock, codedSheet("", {60, 25}, 1.003, 0.7), faultyCamera());
  ASSERT_TRUE(b.cameraFeed->open());
  EXPECT_EQ(b.run(), RunEnd::Failed);
  const auto told = b.op.copy(b.op.told);
  ASSERT_FALSE(told.empty());
  EXPECT_EQ(told.back().first, CcdMessage::FirstMarkFar);
  EXPECT_EQ(b.coordinator->sim().downloads().size(), 1u);
  // The operator jogs to the sheet's first mark: the run starts where the head stands.
  b.headOver(b.table->sheet().tablePosition(kMarks[0]));
  b.workflow->headPlacedByOperator();
  EXPECT_EQ(b.run(), RunEnd::Completed) << test::firstTold(b.op);
}
