// The camera window's per-frame work without drawing at 640 x 480 (colour conversion, scaling,
// crosshair, and the mark measurement when one is pending), and the time per mark of a marking
// run against the simulated coordinator and table with the default WaitTime4Capture, beside the
// least it could take (the move, the wait and one frame).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <future>
#include <vector>

#include "camera/frame_handler.h"
#include "camera/sim_table.h"
#include "ccd_rig.h"
#include "config/ini_config.h"

using namespace qel;
using Clock = std::chrono::steady_clock;

namespace {

double medianMs(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void frameCost() {
  platform::FakeClock clock;
  sim::SheetSpec sheet;
  sheet.marks = {{0, 0}};
  sim::CameraSpec cam;
  cam.noiseSigma = 2.0;
  sim::SimTable table(clock, sheet, cam);
  const cv::Mat frame = table.renderFrame();
  camera::MarkMeasurement m;
  m.setParameters(camera::MarkType::Circle, 20, 50);
  camera::FrameHandler handler(m, clock, "/tmp");
  std::vector<double> display, measured;
  for (int i = 0; i < 200; ++i) {
    const auto t0 = Clock::now();
    const camera::FrameResult r = handler.handle(frame);
    const cv::Mat img = camera::makeDisplayImage(frame, r.showsFind ? std::optional(r.measured->position) : std::nullopt);
    display.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
  }
  for (int i = 0; i < 100; ++i) {
    auto request = std::async(std::launch::async, [&] { return m.measure(1); });
    while (!m.pending()) std::this_thread::yield();
    const auto t0 = Clock::now();
    const camera::FrameResult r = handler.handle(frame);
    const cv::Mat img = camera::makeDisplayImage(frame, r.showsFind ? std::optional(r.measured->position) : std::nullopt);
    measured.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    request.get();
    clock.advance(1000);
  }
  std::printf("per frame, 640 x 480: display image %.2f ms (median of 200); with a circle measurement %.2f ms "
              "(median of 100); budget 10 ms\n",
              medianMs(display), medianMs(measured));
}

// Trapezoid move time of distance d (mm) at speed v (mm/s) and acceleration a (mm/s^2).
double moveMs(double d, double v, double a) {
  if (d <= 0) return 0;
  const double ramp = v * v / a;  // distance to reach v and stop again
  if (d < ramp) return 2000.0 * std::sqrt(d / a);
  return 1000.0 * (d / v + v / a);
}

// One marking run of four marks with the default motion settings; `centreTolerancePx` and
// `standStillMs` as given (0.5 and 200: every mark centred, the head's rest read 200 ms apart, as
// the run measured before the production work).
void markingRun(const char* label, double centreTolerancePx, int standStillMs, const char* address) {
  const std::vector<cv::Point2d> marks{{20, 20}, {320, 20}, {320, 220}, {20, 220}};
  sim::SheetSpec sheet;
  sheet.marks = marks;
  sheet.printScaleX = sheet.printScaleY = 1.003;
  sheet.printRotationDeg = 0.7;
  sheet.origin = {30, 25};
  sim::CameraSpec cam;
  cam.noiseSigma = 1.0;
  test::CcdBench b(address, sheet, cam);
  config::CIniConfig cfg(b.home.path());
  // The defaults of a new Config.ini.
  cfg.write(config::keys::MoveSpeed, 500);
  cfg.write(config::keys::MoveAccel, 1000);
  cfg.write(config::keys::WaitTime4Capture, 500);
  cfg.write(config::keys::markTime, 2);
  cfg.write(config::keys::CentreTolerance, centreTolerancePx);
  cfg.write(config::keys::StandStillMs, standStillMs);
  const std::vector<std::vector<cv::Point2d>> shapes{{{60, 60}, {280, 180}}};
  b.loadPattern(test::printAndCutPlot(marks, false, shapes));
  b.headOver(sheet.tablePosition(marks[0]) + cv::Point2d(1.5, -1.0));
  b.realTime = true;
  std::vector<cv::Point2d> design = marks;
  design.insert(design.end(), shapes[0].begin(), shapes[0].end());
  const auto t0 = Clock::now();
  const ccd::RunEnd end = b.run(120000);
  // Up to the last mark's measurement, and up to the send (afterwards the run waits for the
  // machine to cut before the head goes back).
  const double marking = std::chrono::duration<double, std::milli>(b.op.lastMark - t0).count();
  const double total = std::chrono::duration<double, std::milli>(b.op.lastSent - t0).count();
  double minimum = 0;
  const double frameMs = 10;  // the simulated camera's frame period
  for (std::size_t k = 0; k < marks.size(); ++k) {
    const double d = k == 0 ? 0.0 : cv::norm(marks[k] - marks[k - 1]) * 1.003;
    minimum += moveMs(d, 500, 1000) + 500 + frameMs;
  }
  std::printf("%s: marking run, 4 marks, MoveSpeed 500, MoveAccel 1000, WaitTime4Capture 500, markTime 2, "
              "CentreTolerance %.1f px, StandStillMs %d: %s; marks measured in %.0f ms, %.0f ms per mark (least "
              "possible: move + wait + one frame, %.0f ms per mark); sent after %.0f ms; worst landing %.4f mm\n",
              label, centreTolerancePx, standStillMs, end == ccd::RunEnd::Completed ? "completed" : "FAILED", marking,
              marking / marks.size(), minimum / marks.size(), total, b.worstLanding(0, design));
}

}  // namespace

int main() {
  frameCost();
  markingRun("before (every mark centred)", 0.5, 200, "127.0.0.211");
  markingRun("now (defaults)", 40.0, 40, "127.0.0.212");
  return 0;
}
