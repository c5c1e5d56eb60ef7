// Median time of one detection on a rendered 640 x 480 frame: circle mode with the uncalibrated
// radius limits (threshold block 201 x 201) and cross mode. Target: under 5 ms each.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "camera/mark_detector.h"
#include "camera/measurement.h"
#include "camera/sim_table.h"

using namespace qel;

namespace {

template <class F>
double medianMs(int runs, F&& f) {
  std::vector<double> t;
  for (int i = 0; i < runs; ++i) {
    const auto a = std::chrono::steady_clock::now();
    f();
    const auto b = std::chrono::steady_clock::now();
    t.push_back(std::chrono::duration<double, std::milli>(b - a).count());
  }
  std::sort(t.begin(), t.end());
  return t[t.size() / 2];
}

cv::Mat frame(sim::MarkShape shape) {
  sim::SheetSpec sheet;
  sheet.shape = shape;
  sheet.markRadius = shape == sim::MarkShape::Cross ? 6.0 : 5.0;
  sheet.marks = {{0, 0}, {25, -12}};
  sim::CameraSpec cam;
  cam.noiseSigma = 3.0;
  cam.blurSigma = 0.7;
  cam.lightFalloff = 0.2;
  platform::FakeClock clock;
  sim::SimTable table(clock, sheet, cam);
  table.placeHead({3.0, 2.0});
  return table.renderFrame();
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(5, std::atoi(argv[1])) : 60;
  const cv::Mat discs = frame(sim::MarkShape::Disc);
  const cv::Mat crosses = frame(sim::MarkShape::Cross);
  std::size_t found = 0;
  const double circle = medianMs(runs, [&] {
    found = camera::detectMarks(discs, camera::MarkType::Circle, camera::kUncalibratedMinRadius,
                                camera::kUncalibratedMaxRadius).candidates.size();
  });
  std::printf("circle mode, radius 25..100 (block 201 x 201): median %.3f ms over %d runs, %zu candidates\n", circle,
              runs, found);
  const double cross = medianMs(runs, [&] {
    found = camera::detectMarks(crosses, camera::MarkType::Cross, 0, 0).candidates.size();
  });
  std::printf("cross mode: median %.3f ms over %d runs, %zu candidates\n", cross, runs, found);
  const bool ok = circle < 5.0 && cross < 5.0;
  std::printf("target under 5 ms per detection: %s\n", ok ? "met" : "NOT met");
  return 0;
}
