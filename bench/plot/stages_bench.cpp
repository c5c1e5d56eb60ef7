// Timings of the processing stages on large generated inputs:
//  - contour stages (join, outer contours, inside-first order) on 100,000 closed strokes,
//    nested rings and scattered shapes;
//  - the rolling split of a 20 m roll at 1.5 m pages, through the whole dispose run;
//  - thinning and densifying a 1,000,000-point curve.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "plot/contours.h"
#include "plot/dispose_file.h"
#include "plot/thinning.h"

using namespace qel::plot;
using Clock = std::chrono::steady_clock;

namespace {

double since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

CStroke ring(double cx, double cy, double r, int n) {
  CStroke s;
  for (int i = 0; i <= n; ++i) {
    const double a = 2 * M_PI * i / n;
    s.points.push_back({cx + r * std::cos(a), cy + r * std::sin(a)});
  }
  s.points.back() = s.points.front();
  s.closedFlag = true;
  return s;
}

struct NullOwner : DisposeOwner {
  void addOutputFileReport(const OutputFileReport&) override {}
};

}  // namespace

int main() {
  std::mt19937 rng(42);
  // Contours: 10,000 groups of 5 nested rings, and 50,000 scattered small shapes.
  {
    std::vector<CStroke> strokes;
    for (int g = 0; g < 10000; ++g) {
      const double cx = (g % 100) * 4000.0, cy = (g / 100) * 4000.0;
      for (int r = 0; r < 5; ++r) strokes.push_back(ring(cx, cy, 300.0 + r * 300, 24));
    }
    for (int i = 0; i < 50000; ++i)
      strokes.push_back(ring(std::uniform_real_distribution<double>(0, 400000)(rng),
                             std::uniform_real_distribution<double>(0, 400000)(rng), 50, 12));
    std::shuffle(strokes.begin(), strokes.end(), rng);
    std::vector<int> pages(strokes.size(), 0);
    const auto t0 = Clock::now();
    joinTouching(strokes, pages, 0);
    markOuter(strokes, 0, true, 2);
    orderInsideFirst(strokes, pages);
    std::printf("contour stages, %zu closed strokes: %.3f s (target < 2 s)\n", pages.size(), since(t0));
  }
  // Rolling split: a 20 m roll, 1.2 m wide, 1.5 m pages, shapes every few centimetres.
  {
    const std::string dir =
        (std::filesystem::temp_directory_path() / ("qelcut-stages-" + std::to_string(getpid()))).string();
    std::filesystem::create_directories(dir);
    const std::string input = dir + "/roll.plt";
    std::FILE* f = std::fopen(input.c_str(), "wb");
    int shapes = 0;
    for (double x = 0; x < 20000 * 40; x += 2000) {
      for (double y = 1000; y < 1200 * 40 - 3000; y += 3000) {
        const double w = 400 + std::fmod(x * 7 + y, 1800), h = 400 + std::fmod(x + y * 3, 2000);
        std::fprintf(f, "PU%.0f,%.0f;PD%.0f,%.0f,%.0f,%.0f,%.0f,%.0f,%.0f,%.0f;", x, y, x + w, y, x + w, y + h, x,
                     y + h, x, y);
        std::fprintf(f, "PU%.0f,%.0f;PD%.0f,%.0f;", x + 100, y + 100, x + w / 2, y + h / 2);
        shapes += 2;
      }
    }
    std::fclose(f);
    DisposeOptions o;
    o.cutFt = 6;
    o.pageWidth = 1500;
    o.fontDisposeEnabled = false;
    NullOwner owner;
    const auto t0 = Clock::now();
    CDisposeFile file(&owner, input, dir + "/out", "B", o);
    const bool ok = file.dispose();
    std::printf("rolling split, 20 m roll, %d strokes, %d pages: %.3f s %s (target < 2 s, whole dispose run)\n", shapes,
                file.outputCount(), since(t0), ok ? "" : "FAILED");
    std::filesystem::remove_all(dir);
  }
  // Thinning and densifying a 1,000,000-point curve.
  {
    std::vector<PlotPoint> curve;
    for (int i = 0; i < 1000000; ++i) {
      const double a = i * 0.0005;
      curve.push_back({i * 8.0, 20000 * std::sin(a)});
    }
    ThinningOptions o;
    o.deletePointEnabled = true;
    auto t0 = Clock::now();
    const auto thinned = chooseFilter(curve, o);
    std::printf("thinning 1,000,000 points -> %zu: %.3f s (target < 2 s)\n", thinned.size(), since(t0));
    ThinningOptions a;
    a.addPointEnabled = true;
    a.apMinLength = 0.1;
    a.apMinAngle = 0.0001;
    std::vector<PlotPoint> coarse;
    for (int i = 0; i < 1000000; ++i) coarse.push_back({i * 200.0, 2e6 * std::sin(i * 0.00005)});
    t0 = Clock::now();
    const auto dense = chooseFilter(coarse, a);
    std::printf("densifying 1,000,000 points, 2 passes -> %zu: %.3f s (target < 2 s)\n", dense.size(), since(t0));
  }
  return 0;
}
