// Print and cut end to end without a display: a sheet printed at 100.3 % and turned 0.7 degrees
// lies on the simulated table; the marking run moves the simulated coordinator's head from mark
// to mark over its command line, measures each mark in the frames the table's camera renders
// where the head stands, writes temp.PLT and sends it over the default link; every stroke the
// coordinator received must land within 0.05 mm of where the print put it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "camera/registration.h"
#include "machine_sim.h"
#include "ccd_rig.h"
#include "support/wait.h"

using namespace qel;
using namespace qel::camera;
using namespace qel::ccd;
using test::CcdBench;

namespace {

const std::vector<cv::Point2d> kFourMarks{{20, 20}, {320, 20}, {320, 220}, {20, 220}};
const std::vector<std::vector<cv::Point2d>> kShapes{{{60, 60}, {280, 60}, {280, 180}, {60, 180}, {60, 60}},
                                                     {{100, 100}, {240, 140}}};

sim::SheetSpec printedSheet(sim::MarkShape shape, const std::vector<cv::Point2d>& marks) {
  sim::SheetSpec s;
  s.shape = shape, s.marks = marks, s.printScaleX = s.printScaleY = 1.003, s.printRotationDeg = 0.7;
  s.origin = {30, 25};
  return s;
}

sim::CameraSpec tableCamera(double noise = 1.0) {
  sim::CameraSpec c;
  c.rotationRad = -0.04, c.toolOffset = {6.5, -4.25}, c.noiseSigma = noise, c.blurSigma = 0.5;
  return c;
}

// The usual start of a run: the pattern of `marks` with the two shapes.
bool prepare(CcdBench& b, const std::vector<cv::Point2d>& marks, bool crosses = false,
             std::optional<cv::Point2d> head = std::nullopt) {
  return b.start(test::printAndCutPlot(marks, crosses, kShapes), head);
}

template <class K, class V>
void set(CcdBench& b, const K& key, V value) {
  config::CIniConfig(b.home.path()).write(key, value);
}

// Deflects the table's Y axis by `deg` (only while no frame is being rendered from it).
void deflectY(CcdBench& b, double deg) {
  b.cameraFeed->close();
  b.table->setAxisYRotate(deg);
  ASSERT_TRUE(b.cameraFeed->open());
}

}  // namespace

// Circle and cross marks (the mark type the window's settings name) on a turned, enlarged print;
// the circles on a table whose Y axis is deflected, with the residual limit on.
TEST(CcdCut, MarksOnATurnedAndEnlargedPrintLandWithinAHundredthOfAMillimetreOrSo) {
  for (const auto& [shape, address] :
       {std::pair{sim::MarkShape::Disc, "127.0.0.151"}, std::pair{sim::MarkShape::Cross, "127.0.0.152"}}) {
    SCOPED_TRACE(address);
    const bool disc = shape == sim::MarkShape::Disc;
    CcdBench b(address, printedSheet(shape, kFourMarks), tableCamera());
    if (disc && b.ready()) {
      deflectY(b, 0.1);
      set(b, config::keys::AxisYRotate, 0.1);
      set(b, config::keys::MaxMarkResidual, 0.2);
    }
    ASSERT_TRUE(prepare(b, kFourMarks, !disc, b.table->sheet().tablePosition(kFourMarks[0]) + cv::Point2d(3.0, -2.0)));
    ASSERT_EQ(b.pattern.markCount(), 4u);
    ASSERT_EQ(b.run(), RunEnd::Completed) << test::firstTold(b.op);
    EXPECT_EQ(b.workflow->state(), CcdState::MarkFinished);
    EXPECT_TRUE(b.op.questions.empty());
    EXPECT_EQ(b.received(0).size(), 6u);  // four marks and the two shapes
    EXPECT_LT(b.worstLanding(0, test::designOf(kFourMarks, kShapes)), 0.05);
    EXPECT_TRUE(std::filesystem::exists(b.home.file("temp.PLT")));
    EXPECT_FALSE(std::filesystem::is_empty(b.home.file("PrintedDir")));  // its history entry
    EXPECT_EQ(b.op.copy(b.op.files), (std::vector<CcdFileStatus>{CcdFileStatus::Saving, CcdFileStatus::SaveFinished,
                                                                 CcdFileStatus::Sending, CcdFileStatus::SendFinished}));
    const auto runs = b.op.copy(b.op.residualRuns);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].size(), 4u);
    EXPECT_LT(*std::max_element(runs[0].begin(), runs[0].end()), 0.05);
  }
}

// A mark the camera cannot find: the operator marks it by hand after the question (jogs the head
// until the smear's centre is under the crosshair, then ">>"), or declines the question, or stops
// while the job waits; the last two end the job quietly with nothing sent.
TEST(CcdCut, SmudgedMarkIsMarkedByHandOrTheJobEndsQuietly) {
  enum Answer { ByHand, Decline, Stop };
  for (const auto& [answer, address] : {std::pair{ByHand, "127.0.0.153"}, {Decline, "127.0.0.155"}, {Stop, "127.0.0.154"}}) {
    SCOPED_TRACE(address);
    sim::SheetSpec sheet = printedSheet(sim::MarkShape::Disc, kFourMarks);
    sheet.smudged = {2};
    CcdBench b(address, sheet, tableCamera());
    ASSERT_TRUE(prepare(b, kFourMarks));
    std::thread helper;
    b.op.answer = [&, answer = answer](CcdQuestion q) {
      EXPECT_EQ(q, CcdQuestion::ManualMarking);
      if (answer == Decline) return false;
      helper = std::thread([&, answer] {
        if (answer == Stop) {
          test::waitUntil([&] { return b.workflow->state() == CcdState::ManualMarking; }, 30000);
          return b.workflow->stop();
        }
        b.headOver(b.table->sheet().tablePosition(kFourMarks[2]));
        b.workflow->confirmManualMark();
      });
      return true;
    };
    const RunEnd end = b.run();
    if (helper.joinable()) helper.join();
    EXPECT_EQ(b.op.questions.size(), 1u);
    if (answer == ByHand) {
      ASSERT_EQ(end, RunEnd::Completed);
      const auto states = b.op.copy(b.op.states);
      EXPECT_NE(std::find(states.begin(), states.end(), CcdState::AutoMarkingAfterManual), states.end());
      EXPECT_LT(b.worstLanding(0, test::designOf(kFourMarks, kShapes)), 0.05);
      continue;
    }
    EXPECT_EQ(std::pair(end, b.workflow->state()), std::pair(RunEnd::Stopped, CcdState::Ready));
    EXPECT_TRUE(b.op.copy(b.op.told).empty() && b.coordinator->sim().downloads().empty());
    EXPECT_FALSE(b.command.stopFlag());  // cleared by the job that saw it
  }
}

TEST(CcdCut, ExpectedMarkOutsideTheBlockLimitsStopsTheRunAndSendsNothing) {
  CcdBench b("127.0.0.156", printedSheet(sim::MarkShape::Disc, kFourMarks), tableCamera());
  set(b, config::keys::MoveBlockXHigh, 200.0);
  ASSERT_TRUE(prepare(b, kFourMarks));
  EXPECT_EQ(b.run(), RunEnd::Failed);
  EXPECT_EQ(b.op.copy(b.op.told), (std::vector{std::pair{CcdMessage::OutOfBlock, std::string("Machine going to out of  block, Forced stop it.")}}));
  EXPECT_TRUE(b.coordinator->sim().downloads().empty());
  EXPECT_LT(b.coordinator->model().position(0), 200.0);  // the head never went there
  EXPECT_EQ(b.workflow->state(), CcdState::Ready);
}

// A sheet with its third mark printed 0.5 mm off is refused by the residual limit, naming that
// mark, and nothing is written or sent.
TEST(CcdCut, MarkPrintedHalfAMillimetreOffIsRefusedByTheResidualLimit) {
  std::vector<cv::Point2d> misprinted = kFourMarks;
  misprinted[2] += cv::Point2d(0.5, 0.0);
  CcdBench b("127.0.0.164", printedSheet(sim::MarkShape::Disc, misprinted), tableCamera());
  set(b, config::keys::MaxMarkResidual, 0.2);
  ASSERT_TRUE(prepare(b, kFourMarks));
  ASSERT_EQ(b.run(), RunEnd::Failed);
  EXPECT_EQ(b.workflow->state(), CcdState::Ready);
  // The fit spreads the error; the misprinted mark keeps most of it.
  const auto told = b.op.copy(b.op.told);
  ASSERT_EQ(told.size(), 1u);
  EXPECT_EQ(told[0].first, CcdMessage::MarkResidual);
  EXPECT_THAT(told[0].second, ::testing::ContainsRegex(R"(^Mark 3 is 0\.[34][0-9][0-9] mm off .*limit 0\.200 mm)"));
  EXPECT_TRUE(b.coordinator->sim().downloads().empty() && b.op.copy(b.op.files).empty());
  EXPECT_FALSE(std::filesystem::exists(b.home.file("temp.PLT")));
}

TEST(CcdCut, AutoMultiPrintCutsTwoPlatesWaitingForTheMachineBetween) {
  // Two plates of 400 mm, each with four marks; plate 1's lie more than 50 mm from plate 0, so
  // no mark is shared.
  std::vector<cv::Point2d> marks = kFourMarks;
  std::vector<std::vector<cv::Point2d>> shapes = kShapes;
  for (const auto& m : kFourMarks) marks.push_back(m + cv::Point2d(450, 0));
  for (auto s : kShapes) {
    for (auto& p : s) p.x += 450;
    shapes.push_back(s);
  }
  sim::SheetSpec sheet = printedSheet(sim::MarkShape::Disc, marks);
  sheet.origin = {1.0, 0.5};  // where the automatic move to the first mark finds it
  CcdBench b("127.0.0.159", sheet, tableCamera(0.5));
  ASSERT_TRUE(b.ready()) << b.error;
  set(b, config::keys::cutType, 2);
  set(b, config::keys::shareMark, 1);
  set(b, config::keys::autoMove2FirstMarkPoint, 1);
  b.loadPattern(test::printAndCutPlot(marks, false, shapes));
  ASSERT_EQ(b.pattern.plateCount(), 2);
  // The machine reports its job busy for three polls after the first plate. The run starts with
  // the automatic move, from a place where no mark is in view; between the plates the machine
  // cuts (its head ends at the origin) and feeds the sheet by one page width.
  b.coordinator->model().setBusyPolls(3);
  b.headOver({200, 120});
  b.makeWorkflow();
  b.op.onBetweenPieces = [&](int) {
    b.headOver({200, 120});
    b.sheetShift = 1;
  };
  const std::int64_t before = b.fakeClock.nowMs();
  ASSERT_EQ(b.run(120000), RunEnd::Completed) << test::firstTold(b.op);
  ASSERT_EQ(b.coordinator->sim().downloads().size(), 2u);
  EXPECT_EQ(b.workflow->piecesSent(), 2);
  EXPECT_EQ(b.pattern.plate(), 1);
  // Five seconds, then VR(950)/VR(951) read every 7 s until the job is over.
  EXPECT_GE(b.fakeClock.nowMs() - before, 5000 + 3 * 7000);
  EXPECT_LT(b.worstLanding(0, test::designOf(kFourMarks, kShapes)), 0.05);
  EXPECT_LT(b.worstLanding(1, test::designOf(marks, shapes), 400.0), 0.05);
  EXPECT_EQ(b.received(1).size(), 6u);
}

// Cut type 3 repeats the plate until the machine's program answers VR(951) = 2: no more pieces.
TEST(CcdCut, AutoRepeatPrintEndsWhenTheMachineSaysEnough) {
  CcdBench b("127.0.0.160", printedSheet(sim::MarkShape::Disc, kFourMarks), tableCamera(0.5));
  set(b, config::keys::cutType, 3);
  ASSERT_TRUE(prepare(b, kFourMarks));
  b.coordinator->model().setVr(951, 2);
  ASSERT_EQ(b.run(), RunEnd::Completed) << test::firstTold(b.op);
  EXPECT_EQ(b.coordinator->sim().downloads().size(), 1u);
  EXPECT_EQ(b.op.waits.load(), 1);
}

TEST(CcdCut, NetworkLinkWaitsForTheMachineToAnswerReadyBetweenPieces) {
  // The machine's network controller shares the address with the coordinator's command line;
  // the file goes over the network link and the wait between pieces probes it.
  sim::SheetSpec sheet = printedSheet(sim::MarkShape::Disc, kFourMarks);
  sheet.origin = {-5.5, 4.75};  // laid at the tool's origin, where the automatic move looks
  CcdBench b("127.0.0.192", sheet, tableCamera(0.5), false);
  sim::NetworkMachineSim machine;
  std::string error;
  ASSERT_TRUE(machine.start("127.0.0.192", sim::NetworkMachineSim::kDefaultPort, &error)) << error;
  set(b, config::keys::Xitong_TT, 4);
  set(b, config::keys::cutType, 3);
  set(b, config::keys::autoMove2FirstMarkPoint, 1);
  ASSERT_TRUE(prepare(b, kFourMarks));
  b.makeWorkflow();
  std::int64_t waitStart = 0;
  int requestsBeforeWait = 0;
  b.op.onBetweenPieces = [&](int piece) {
    b.headOver(b.table->sheet().tablePosition(kFourMarks[0]));
    if (piece != 1) return;
    // The machine is still cutting: the next two probes are answered busy.
    machine.setBusyRounds(2);
    requestsBeforeWait = machine.startRequests();
    waitStart = b.fakeClock.nowMs();
  };
  // Cut type 3 repeats until stopped: stop once the second piece has arrived.
  std::atomic<std::int64_t> secondAt{0};
  std::thread operatorStops([&] {
    if (!machine.waitForFiles(2, 120000)) return;
    secondAt = b.fakeClock.nowMs();
    b.workflow->stop();
  });
  const RunEnd end = b.run(120000);
  operatorStops.join();
  EXPECT_EQ(end, RunEnd::Stopped) << test::firstTold(b.op);
  const auto files = machine.files();
  ASSERT_GE(files.size(), 2u);
  // The same plate again: the same strokes (measured afresh, so the last digits may differ), and
  // the second piece's offset to the first about nothing.
  for (int i : {0, 1}) EXPECT_EQ(std::count(files[i].data.begin(), files[i].data.end(), 'U'), 6);
  EXPECT_LT(std::abs(b.coordinator->model().vr(952)) + std::abs(b.coordinator->model().vr(953)), 0.1);
  EXPECT_TRUE(b.coordinator->sim().downloads().empty());
  // Between the pieces: two busy probes, one ready probe, then the second file's own start;
  // each probe connects and closes. Five seconds, then a probe every two seconds.
  EXPECT_EQ(requestsBeforeWait, 1);
  EXPECT_GE(machine.startRequests(), requestsBeforeWait + 4);
  EXPECT_GE(machine.connections(), 5);
  EXPECT_GE(secondAt.load() - waitStart, 5000 + 2 * 2000);
}

TEST(CcdCut, CutTypeFourMeasuresTheYAxisDeflectionAndSendsNothing) {
  const std::vector<cv::Point2d> alongY{{20, 20}, {20, 320}};
  sim::SheetSpec sheet = printedSheet(sim::MarkShape::Disc, alongY);
  sheet.printScaleX = sheet.printScaleY = 1.0, sheet.printRotationDeg = 0.0;
  CcdBench b("127.0.0.161", sheet, tableCamera());
  ASSERT_TRUE(b.ready()) << b.error;
  deflectY(b, 0.15);
  set(b, config::keys::cutType, 4);
  ASSERT_TRUE(prepare(b, alongY));
  ASSERT_EQ(b.run(), RunEnd::Completed);
  EXPECT_EQ(b.workflow->state(), CcdState::MarkFinished);
  EXPECT_NEAR(config::CIniConfig(b.home.path()).read(config::keys::AxisYRotate), 0.15, 0.01);
  EXPECT_TRUE(b.coordinator->sim().downloads().empty());
}

TEST(CcdCut, CentringPutsTheMarkUnderTheCrosshairAndNoPatternStartsNoRun) {
  CcdBench b("127.0.0.162", printedSheet(sim::MarkShape::Disc, kFourMarks), tableCamera());
  ASSERT_TRUE(b.ready()) << b.error;
  const cv::Point2d mark = b.table->sheet().tablePosition(kFourMarks[1]);
  b.headOver(mark + cv::Point2d(-9.0, 6.0));
  b.makeWorkflow();
  ASSERT_TRUE(b.workflow->startCentring());
  b.workflow->join();
  EXPECT_EQ(b.workflow->state(), CcdState::CenterFinished);
  EXPECT_LT(cv::norm(cv::Point2d(b.coordinator->model().position(0), b.coordinator->model().position(1)) - mark), 0.03);

  // Nothing in view: the message, and the head stays.
  b.headOver({200, 120});
  ASSERT_TRUE(b.workflow->startCentring());
  b.workflow->join();
  EXPECT_EQ(b.coordinator->model().position(0), 200.0);
  // No pattern selected: the message and no marking run.
  EXPECT_FALSE(b.workflow->startMarkingRun());
  EXPECT_EQ(b.op.copy(b.op.told), (std::vector<std::pair<CcdMessage, std::string>>{
                                     {CcdMessage::CantCaptureMark, "Can't capture the mark point!"},
                                     {CcdMessage::TooFewMarks, camera::kTooFewMarksText}}));
}
