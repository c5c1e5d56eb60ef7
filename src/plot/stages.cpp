// Processing stages. Until a stage is filled in, the modes that need it run without it.
#include "plot/stages.h"

#include <climits>

#include "plot/dispose_file.h"

namespace qel::plot {

std::vector<int>& rollingSplitList() {
  static std::vector<int> list;
  return list;
}

std::mutex& disposeRunLock() {
  static std::mutex m;
  return m;
}

void Stages::splitAtEdges(CDisposeFile& d, const PlotPoint& /*from*/, PlotPoint& to) { to.x -= d.pageOffset_; }

std::vector<PlotPoint> Stages::thinAndDensify(const CDisposeFile& /*d*/, std::vector<PlotPoint> run) { return run; }

void Stages::labelToStrokes(CDisposeFile& /*d*/, std::string_view /*characters*/) {}

bool Stages::rollingSplit(CDisposeFile& d, bool /*loadOnly*/) {
  // Without cuts: one page, whose material length is the largest x.
  auto& list = rollingSplitList();
  list.clear();
  const double w = d.opt_.pageWidth * kUnitsPerMm;
  double m = 0.0;
  for (const auto& s : d.strokes_)
    for (const auto& p : s.points)
      if (p.x > m) m = p.x;
  auto toInt = [](double v) { return v >= INT_MAX ? INT_MAX : v <= INT_MIN ? INT_MIN : static_cast<int>(v); };
  list.push_back(toInt(w));
  list.push_back(toInt(m));
  d.opt_.addPg = true;
  return true;
}

void Stages::contourStages(CDisposeFile& /*d*/, bool /*loadOnly*/) {}

void Stages::wholeStrokeSplit(CDisposeFile& /*d*/, bool /*viewForm*/) {}

}  // namespace qel::plot
