#include "ccd_rig.h"

#include <gtest/gtest.h>

#include <cmath>
#include <regex>

#include "support/wait.h"

namespace qel::test {

std::string printAndCutPlot(const std::vector<cv::Point2d>& marksMm, bool crosses,
                            const std::vector<std::vector<cv::Point2d>>& shapesMm) {
  auto at = [](double x, double y) {
    return std::to_string(std::lround(x * 40.0)) + "," + std::to_string(std::lround(y * 40.0));
  };
  std::string out = "IN;";
  for (const auto& m : marksMm) {
    if (crosses) {  // two three-point strokes; the second, from the centre, carries the mark
      out += "SP8;PU" + at(m.x - 4, m.y) + ";PD" + at(m.x, m.y) + "," + at(m.x + 4, m.y) + ";PU;";
      out += "SP8;PU" + at(m.x, m.y) + ";PD" + at(m.x, m.y + 4) + "," + at(m.x, m.y - 4) + ";PU;";
    } else {
      out += "SP8;PU" + at(m.x, m.y) + ";CI160;PU;";
    }
  }
  for (const auto& shape : shapesMm) {
    out += "SP1;PU" + at(shape[0].x, shape[0].y) + ";";
    for (std::size_t i = 1; i < shape.size(); ++i) out += "PD" + at(shape[i].x, shape[i].y) + ";";
    out += "PU;";
  }
  out += "SP0;";
  return out;
}

CcdBench::CcdBench(const std::string& address, sim::SheetSpec sheet, sim::CameraSpec cam, bool mpeOnStandardPort)
    : owner(home.path()), command(&owner), handler(measurement, fakeClock, home.path()) {
  renderClock = std::make_unique<platform::FakeClock>();
  sim::CoordinatorServiceOptions o;
  if (!mpeOnStandardPort) o.mpePort = 0;
  o.controlPort = -1, o.commandPort = 0;
  std::string error;
  // The same test run from a second build folder at the same time holds the address for its
  // run (some seconds): wait for it to be free, then stop at the test's first check with the
  // reason instead of driving a coordinator that is not there.
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(90);
  while (!(coordinator = sim::startCoordinatorServices(address, o, &error)) && std::chrono::steady_clock::now() < giveUp)
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  if (!coordinator) {
    this->error = "the simulated coordinator cannot listen on " + address + " (held for 90 s): " + error;
    return;
  }
  table = std::make_unique<sim::SimTable>(*renderClock, std::move(sheet), cam);

  config::CIniConfig cfg(home.path());
  namespace k = config::keys;
  cfg.write(k::Xitong_TT, 3);
  cfg.writeText("Modbus", "Modbus_LinkType", "2");
  cfg.write(k::Xitong_IP, address);
  cfg.write(k::CUT_FT, 9);
  cfg.write(k::Page_Width, pageWidthMm);
  cfg.write(k::MoveSpeed, 3000);
  cfg.write(k::MoveAccel, 30000);
  cfg.write(k::WaitTime4Capture, 500);
  cfg.write(k::markTime, 3);
  cfg.write(k::camera_cx, cam.toolOffset.x);
  cfg.write(k::camera_cy, cam.toolOffset.y);
  cfg.write(k::cutType, 1);
  cfg.write(k::markType, table->sheet().shape == sim::MarkShape::Cross ? 1 : 0);
  cfg.writeMark(0, 4.0);
  cfg.writeMark(1, 2.0);
  camera::CameraCalibration(sim::calibrationFor(cam)).save(cfg, 0);

  command.setAddress(address);
  command.setPort(coordinator->commandPort());
  source = std::make_unique<sim::SimFrameSource>([this] { return renderHere(); }, 10);
  cameraFeed = std::make_unique<camera::HeadlessCamera>(*source, handler, measurement);
  cameraFeed->open();
}

cv::Mat CcdBench::renderHere() {
  const cv::Point2d head(coordinator->model().position(0), coordinator->model().position(1));
  const cv::Point2d seen = table->trueOf(head) + cv::Point2d(sheetShift.load() * pageWidthMm, 0.0);
  if (stack.empty()) return table->renderAt(seen);
  const std::size_t i = static_cast<std::size_t>(stackIndex.load());
  return i < stack.size() ? stack[i]->renderAt(seen) : bare->renderAt(seen);
}

CcdBench::~CcdBench() {
  if (workflow) workflow->stop();
  workflow.reset();
  cameraFeed.reset();
}

void CcdBench::stackSheets(std::vector<sim::SheetSpec> sheets) {
  ASSERT_TRUE(ready()) << error;
  // The table changes only while no frame is being rendered from it.
  cameraFeed->close();
  for (auto& sheet : sheets)
    stack.push_back(std::make_unique<sim::SimTable>(*renderClock, std::move(sheet), table->cameraSpec()));
  bare = std::make_unique<sim::SimTable>(*renderClock, sim::SheetSpec{}, table->cameraSpec());
  stackIndex = 0;
  coordinator->model().setFeeder([this] { ++stackIndex; }, 50);
  ASSERT_TRUE(cameraFeed->open());
}

ccd::RunEnd CcdBench::runSheets(int sheets, int timeoutMs) {
  if (!workflow) makeWorkflow();
  if (!workflow->startSheetRun(sheets)) return ccd::RunEnd::None;
  return waitForEnd(timeoutMs);
}

void CcdBench::loadPattern(const std::string& plot, const std::string& name) {
  ASSERT_TRUE(ready()) << error;
  home.writeFile(name, plot);
  plotPath = home.file(name);
  config::CIniConfig cfg(home.path());
  ASSERT_EQ(pattern.load(plotPath, cfg), ccd::PatternLoad::Loaded);
  pattern.toggleSelectAll();
}

bool CcdBench::start(const std::string& plot, std::optional<cv::Point2d> head) {
  if (!ready()) {
    ADD_FAILURE() << error;
    return false;
  }
  loadPattern(plot);
  headOver(head.value_or(table->sheet().tablePosition(table->sheet().marks.at(0))));
  return !::testing::Test::HasFatalFailure();
}

void CcdBench::headOver(const cv::Point2d& t) {
  ASSERT_TRUE(ready()) << error;
  ASSERT_TRUE(command.movePos(2, 3000, 30000, t.x, t.y));
  ASSERT_TRUE(waitUntil([&] { return !coordinator->model().moving(); }, 10000, 5)) << "the head is still moving after 10 s";
}

void CcdBench::makeWorkflow() {
  ccd::CcdServices s;
  s.home = home.path() + "/", s.linkOwner = &owner, s.command = &command, s.measurement = &measurement;
  s.cameraGrabbing = [this] { return cameraFeed->grabbing(); }, s.op = &op;
  s.clock = realTime ? static_cast<platform::Clock*>(&platform::SystemClock::instance()) : &fakeClock;
  workflow = std::make_unique<ccd::CcdWorkflow>(s, pattern);
}

ccd::RunEnd CcdBench::run(int timeoutMs) {
  if (!workflow) makeWorkflow();
  if (!workflow->startMarkingRun()) return ccd::RunEnd::None;
  return waitForEnd(timeoutMs);
}

ccd::RunEnd CcdBench::waitForEnd(int timeoutMs) {
  // Out of time: stop the run, so that the test ends with its failure instead of hanging.
  if (!waitUntil([&] { return workflow->lastRunEnd() != ccd::RunEnd::None && !workflow->busy(); }, timeoutMs, 10)) {
    ADD_FAILURE() << "the marking run did not end within " << timeoutMs << " ms";
    workflow->stop();
  }
  workflow->join();
  return workflow->lastRunEnd();
}

std::vector<std::vector<cv::Point2d>> CcdBench::received(std::size_t i) {
  std::vector<std::vector<cv::Point2d>> strokes;
  const auto downloads = coordinator->sim().downloads();
  if (i >= downloads.size()) return strokes;
  static const std::regex cmd(R"((PU|PD)(-?[0-9.e+]+),(-?[0-9.e+]+);)");
  const std::string& data = downloads[i].data;
  for (auto it = std::sregex_iterator(data.begin(), data.end(), cmd); it != std::sregex_iterator(); ++it) {
    if ((*it)[1] == "PU" || strokes.empty()) strokes.emplace_back();
    strokes.back().push_back({std::stod((*it)[2]) / 40.0, std::stod((*it)[3]) / 40.0});
  }
  return strokes;
}

double CcdBench::worstLanding(std::size_t download, const std::vector<cv::Point2d>& designMm, double feedMm,
                              const sim::SimTable* sheet) {
  if (!sheet) sheet = table.get();
  double worst = 0.0;
  std::size_t points = 0;
  for (const auto& stroke : received(download))
    for (const auto& p : stroke) {
      ++points;
      const cv::Point2d landed = table->toolTablePoint(p) + cv::Point2d(feedMm, 0.0);
      double best = 1e9;
      for (const auto& d : designMm) best = std::min(best, cv::norm(landed - sheet->sheet().tablePosition(d)));
      worst = std::max(worst, best);
    }
  return points == 0 ? 1e9 : worst;
}

}  // namespace qel::test
