#pragma once
// Thinning and densifying of a gathered pen-down run. Thinning drops points of finely divided,
// nearly straight stretches; densifying inserts points on the circle through three
// consecutive points so that coarse curves are cut rounder. Lengths are judged in millimetres
// and angles in radians.
#include <vector>

#include "plot/dispose_options.h"
#include "plot/model.h"

namespace qel::plot {

struct ThinningOptions {
  bool deletePointEnabled = false;
  int dpIntervalPoints = 3;
  double dpMinLength = 2.0, dpMinAngle = 5.0;  // mm, degrees
  bool addPointEnabled = false;
  int apTimes = 2;
  double apMinLength = 5.0, apMaxLength = 20.0, apMinAngle = 1.0, apMaxAngle = 5.0;
};

// Densifying passes stop adding once a run holds this many points: a large pass count must
// not make a run grow without bound.
inline constexpr std::size_t kMaxDensifiedPoints = 4'000'000;

std::vector<PlotPoint> thin(const std::vector<PlotPoint>& points, const ThinningOptions& o);
std::vector<PlotPoint> densify(const std::vector<PlotPoint>& points, const ThinningOptions& o);
// Applies the filter the options choose (only one acts on a run).
std::vector<PlotPoint> chooseFilter(std::vector<PlotPoint> run, const ThinningOptions& o);

// The stage of a dispose run: one gathered pen-down run (raw coordinates) thinned or densified
// as the run's options ask.
std::vector<PlotPoint> thinAndDensify(const DisposeOptions& o, std::vector<PlotPoint> run);

// The centre of the circle through a, b and c; false when there is no finite one.
bool circleCentre(const PlotPoint& a, const PlotPoint& b, const PlotPoint& c, PlotPoint& centre);

}  // namespace qel::plot
