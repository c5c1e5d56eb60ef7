// The head procedures against the simulated table: centring, camera adjust, ratio correction
// and stop requests. The whole marking run is the print-and-cut workflow's test.
#include <gtest/gtest.h>

#include <memory>

#include "camera/procedures.h"
#include "camera/sim_table.h"
#include "config/ini_config.h"
#include "support/temp_home.h"

using namespace qel;
using namespace qel::camera;

namespace {

struct Rig {
  explicit Rig(sim::SheetSpec sheet, sim::CameraSpec cam = {}, double errX = 1.0, double errY = 1.0)
      : table(clock, std::move(sheet), cam), calibration(sim::calibrationFor(cam, errX, errY)) {
    const RadiusLimits r = calibration.markRadiusLimits(4.0, 2.0);
    const MarkType type = table.sheet().shape == sim::MarkShape::Cross ? MarkType::Cross : MarkType::Circle;
    measurer = std::make_unique<sim::SimMeasurer>(table, type, r.minRadius, r.maxRadius);
    settings.markTime = 3;
    procedures = std::make_unique<CameraProcedures>(table, *measurer, calibration, clock, settings);
  }
  // Places the head so that design mark `i` appears at pixel offset `px` from the centre.
  void headSeeing(std::size_t i, const cv::Point2d& px) {
    const cv::Matx22d toTable = sim::tableToPixel(table.cameraSpec()).inv();
    const cv::Point2d d(toTable(0, 0) * px.x + toTable(0, 1) * px.y, toTable(1, 0) * px.x + toTable(1, 1) * px.y);
    table.placeHead(table.sheet().tablePosition(table.sheet().marks[i]) - d);
  }

  test::TempHome home;
  config::CIniConfig cfg{home.path()};
  platform::FakeClock clock;
  sim::SimTable table;
  CameraCalibration calibration;
  std::unique_ptr<sim::SimMeasurer> measurer;
  MotionSettings settings;
  std::unique_ptr<CameraProcedures> procedures;
};

sim::SheetSpec oneMark(cv::Point2d at = {150, 120}) {
  sim::SheetSpec s;
  s.marks = {{0, 0}}, s.origin = at;
  return s;
}

// A procedure's outcome with its message, for one comparison.
std::pair<Outcome, std::string> said(const ProcedureResult& r) { return {r.outcome, r.message}; }

// Always reports the same pixel.
struct FixedMeasurer : MarkMeasurer {
  cv::Point2d at;
  cv::Point2d measureMark(bool) override { return at; }
};

// Adds a changing error to every second measurement.
struct JitteryMeasurer : MarkMeasurer {
  MarkMeasurer& inner;
  int n = 0;
  explicit JitteryMeasurer(MarkMeasurer& m) : inner(m) {}
  cv::Point2d measureMark(bool silent) override {
    const cv::Point2d p = inner.measureMark(silent);
    ++n;
    return n % 2 ? p : p + cv::Point2d(3.0 * (n % 4), 0.0);
  }
};

}  // namespace

TEST(LocateMark, CentresTheCameraOnTheMark) {
  Rig rig(oneMark());
  rig.headSeeing(0, {-90, 70});
  const LocateResult r = rig.procedures->locateMark(false, false);
  ASSERT_EQ(r.status, LocateResult::Status::Found);
  EXPECT_LT(cv::norm(r.position - cv::Point2d(150, 120)), 0.02) << r.position;
  EXPECT_LT(cv::norm(rig.table.headPosition() - cv::Point2d(150, 120)), 0.02);
  EXPECT_GE(rig.measurer->count(), 2);

  // Without rounds the position comes from a single look.
  rig.settings.markTime = 0;
  CameraProcedures once(rig.table, *rig.measurer, rig.calibration, rig.clock, rig.settings);
  rig.headSeeing(0, {60, -100});
  const cv::Point2d before = rig.table.headPosition();
  const LocateResult single = once.locateMark(false, false);
  EXPECT_LT(cv::norm(single.position - cv::Point2d(150, 120)), 0.03);
  EXPECT_EQ(rig.table.headPosition(), before);
}

TEST(LocateMark, NotFoundAndStoppedGiveTheirValues) {
  Rig rig(oneMark());
  rig.table.placeHead({400, 400});  // nothing in view
  const LocateResult r = rig.procedures->locateMark(true, false);
  EXPECT_EQ(r.status, LocateResult::Status::NotFound);
  EXPECT_EQ(r.value(), cv::Point2d(10000, 10000));

  rig.headSeeing(0, {50, 50});
  rig.table.requestStop();
  const LocateResult s = rig.procedures->locateMark(false, true);
  EXPECT_EQ(s.status, LocateResult::Status::Stopped);
  EXPECT_EQ(s.value(), cv::Point2d(0, 0));
  EXPECT_EQ(rig.table.movesAccepted(), 0);
}

TEST(LocateMark, SingularCalibrationIsAClearFailureNotAGarbageMove) {
  Rig rig(oneMark());
  rig.calibration.setValues(CalibrationValues{});
  rig.headSeeing(0, {50, 50});
  EXPECT_THROW(rig.procedures->locateMark(false, false), CalibrationError);
  EXPECT_EQ(rig.table.movesAccepted(), 0);
}

class AdjustCamera : public ::testing::TestWithParam<std::tuple<double, bool>> {};

TEST_P(AdjustCamera, RecoversPixelScaleRotationAndMirror) {
  const auto [rotation, mirror] = GetParam();
  sim::CameraSpec cam;
  cam.pxPerMmX = 8.2, cam.pxPerMmY = 7.9, cam.rotationRad = rotation, cam.mirror = mirror, cam.noiseSigma = 2.0;
  Rig rig(oneMark(), cam);
  rig.headSeeing(0, {0, 0});
  rig.table.refuseNextMoves(2);  // the command client is busy at first
  AdjustResult result;
  const ProcedureResult r = rig.procedures->adjustCamera(rig.cfg, result);
  ASSERT_EQ(said(r), std::pair(Outcome::Done, std::string("Adjust OK!")));
  EXPECT_NEAR(result.rotate, rotation, 0.003);
  EXPECT_EQ(result.isMirror, mirror ? 1 : 0);
  EXPECT_NEAR(result.ratio_px, 8.2, 0.01);
  EXPECT_NEAR(result.ratio_py, 7.9, 0.01);
  EXPECT_NEAR(rig.cfg.read(config::keys::ratio_px), 8.2, 0.01);
  EXPECT_NEAR(rig.cfg.read(config::keys::rotate), rotation, 0.003);
  EXPECT_EQ(rig.cfg.read(config::keys::isMirror), mirror ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Cameras, AdjustCamera,
                         ::testing::Values(std::make_tuple(0.0, false), std::make_tuple(0.05, true),
                                           std::make_tuple(-0.3, false), std::make_tuple(2.0, false),
                                           std::make_tuple(-2.5, true), std::make_tuple(1.57, true)));

// Values out of the limits, or a stop while the samples do not settle: the previous values stay.
TEST(AdjustCameraRefusals, OutOfLimitsOrStoppedKeepsThePreviousValues) {
  Rig rig(oneMark());
  rig.headSeeing(0, {0, 0});
  rig.cfg.writeText("Camera", "ratio_px_high", "5");
  rig.cfg.write(config::keys::ratio_px, 4.5);
  AdjustResult result;
  ProcedureResult r = rig.procedures->adjustCamera(rig.cfg, result);
  EXPECT_EQ(said(r), std::pair(Outcome::Failed, std::string("Params is out of Limits, Adjust Failed!")));
  EXPECT_DOUBLE_EQ(result.ratio_px, 4.5);
  EXPECT_DOUBLE_EQ(rig.cfg.read(config::keys::ratio_px), 4.5);

  Rig fresh(oneMark());
  fresh.headSeeing(0, {0, 0});
  JitteryMeasurer jittery(*fresh.measurer);
  CameraProcedures procedures(fresh.table, jittery, fresh.calibration, fresh.clock, fresh.settings);
  fresh.table.stopAfterMoves(16);
  r = procedures.adjustCamera(fresh.cfg, result);
  EXPECT_EQ(said(r), std::pair(Outcome::Stopped, std::string()));
  EXPECT_GE(jittery.n, 12);  // at least four rounds of three measurements
  EXPECT_EQ(fresh.cfg.readText("Camera", "ratio_px", "absent"), "absent");
}

TEST(CorrectCalibrationRatio, RecoversTheRatiosOfTheCalibration) {
  sim::CameraSpec cam;
  cam.rotationRad = 0.02, cam.noiseSigma = 1.5;
  Rig rig(oneMark(), cam, 1.02, 0.97);
  rig.headSeeing(0, {230, 150});
  const ProcedureResult r = rig.procedures->correctCalibrationRatio(rig.cfg, 1);
  ASSERT_EQ(said(r), std::pair(Outcome::Done, std::string("Correction Successfully!")));
  const CalibrationValues v = rig.calibration.values();
  EXPECT_NEAR(v.ratio1, 1.02, 0.002);  // plane X
  EXPECT_NEAR(v.ratio0, 0.97, 0.002);  // plane Y
  EXPECT_NEAR(rig.cfg.readCameraPara(1, 5, 1), v.ratio1, 1e-6);
  EXPECT_NEAR(rig.cfg.readCameraPara(1, 5, 0), v.ratio0, 1e-6);
}

TEST(CorrectCalibrationRatio, MarkNearTheCentreOrStopChangesNothing) {
  Rig rig(oneMark(), {}, 1.02, 0.97);
  rig.headSeeing(0, {199, 150});
  ProcedureResult r = rig.procedures->correctCalibrationRatio(rig.cfg, 0);
  EXPECT_EQ(said(r), std::pair(Outcome::Failed, std::string("Please move the mark point to more corner place!")));

  rig.headSeeing(0, {230, 150});
  rig.table.stopAfterMoves(1);
  r = rig.procedures->correctCalibrationRatio(rig.cfg, 0);
  EXPECT_EQ(said(r), std::pair(Outcome::Stopped, std::string()));
  EXPECT_EQ(rig.calibration.values().ratio0, 1.0);
  EXPECT_EQ(rig.cfg.readText("Camera_Para0", "RATIO0", "absent"), "absent");
}

TEST(CorrectCalibrationRatio, BoundaryCornerIsAcceptedAndADegenerateRatioFails) {
  // A mark that never moves in the picture, exactly at the corner limits: accepted as a corner,
  // then the head moves without the mark moving, which can give no ratio.
  Rig rig(oneMark());
  FixedMeasurer fixed;
  fixed.at = {520, 360};
  CameraProcedures procedures(rig.table, fixed, rig.calibration, rig.clock, rig.settings);
  rig.calibration.setRatios(1.1, 0.9);
  const ProcedureResult r = procedures.correctCalibrationRatio(rig.cfg, 0);
  EXPECT_EQ(said(r), std::pair(Outcome::Failed, std::string("Correction Failed!")));
  EXPECT_EQ(std::pair(rig.calibration.values().ratio0, rig.calibration.values().ratio1), std::pair(1.1, 0.9));  // restored
}

namespace {
struct DeadHead : MachineHead {
  bool reads = false;
  std::optional<double> readAxis(int) override { return reads ? std::optional<double>(5.0) : std::nullopt; }
  bool moveAbsolute(const std::vector<int>&, const std::vector<double>&, double, double) override { return false; }
  bool stopRequested() const override { return false; }
};
}  // namespace

TEST(DeadHead, LostPositionOrRefusedMovesEndWithAMessageInsteadOfHanging) {
  platform::FakeClock clock;
  DeadHead head;
  FixedMeasurer at;
  at.at = {400, 300};
  CameraCalibration cal(sim::calibrationFor(sim::CameraSpec{}));
  CameraProcedures p(head, at, cal, clock, MotionSettings{});
  const LocateResult r = p.locateMark(false, false);
  EXPECT_EQ(std::pair(r.status, r.message), std::pair(LocateResult::Status::NotFound, std::string("Can't read the machine position!")));
  EXPECT_FALSE(p.standingPosition().has_value());

  head.reads = true;
  test::TempHome home;
  config::CIniConfig cfg(home.path());
  AdjustResult result;
  const ProcedureResult adjust = p.adjustCamera(cfg, result);
  EXPECT_EQ(said(adjust), std::pair(Outcome::Failed, std::string("The machine doesn't accept the move command!")));
  EXPECT_LT(clock.nowMs(), 60'000);
}

TEST(AxisYRotate, SavedWithItsMessage) {
  test::TempHome home;
  config::CIniConfig cfg(home.path());
  EXPECT_EQ(saveAxisYRotate(cfg, {{10, 10}}).outcome, Outcome::Failed);
  EXPECT_EQ(saveAxisYRotate(cfg, {{10, 10}, {10, 10}}).outcome, Outcome::Failed);
  EXPECT_EQ(cfg.readText("Machine", "AxisYRotate", "absent"), "absent");
  const double t = -0.25 * CV_PI / 180.0;
  const ProcedureResult r = saveAxisYRotate(cfg, {{10, 10}, {10 - std::tan(t) * 400, 410}});
  ASSERT_EQ(said(r), std::pair(Outcome::Done, std::string("计算完成，Y轴偏转角为：0.250000°(逆时针为正)")));
  EXPECT_NEAR(cfg.read(config::keys::AxisYRotate), 0.25, 1e-6);

  EXPECT_FALSE(adjustResultStored(cfg));
  cfg.write(config::keys::ratio_px, 8.0);
  EXPECT_TRUE(adjustResultStored(cfg));
}
