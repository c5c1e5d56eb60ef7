#include "plot/whole_stroke_split.h"

#include <algorithm>
#include <cmath>

#include "plot/pagination.h"

namespace qel::plot {

namespace {

using Cuts = std::vector<std::pair<size_t, std::vector<CStroke>>>;

// Puts the pieces of the cut strokes (each with the index of its stroke, ascending) where their
// strokes stood, in their order along the stroke.
void putPiecesInPlace(std::vector<CStroke>& strokes, Cuts& cut, size_t pieces) {
  const bool everyCutHasPieces =
      std::all_of(cut.begin(), cut.end(), [](const auto& c) { return !c.second.empty(); });
  if (!everyCutHasPieces) {
    // A stroke that leaves no piece shortens the list: built anew, front to back.
    std::vector<CStroke> out;
    out.reserve(strokes.size() - cut.size() + pieces);
    size_t c = 0;
    for (size_t i = 0; i < strokes.size(); ++i) {
      if (c < cut.size() && cut[c].first == i) {
        for (auto& piece : cut[c++].second) out.push_back(std::move(piece));
      } else {
        out.push_back(std::move(strokes[i]));
      }
    }
    strokes = std::move(out);
  } else if (!cut.empty()) {
    // Every cut stroke leaves at least one piece: moving from the back never overwrites a
    // stroke still to be placed.
    const size_t n = strokes.size();
    const size_t total = n - cut.size() + pieces;
    if (total > n) strokes.resize(total);
    size_t to = total;  // strokes[to..] are in place
    size_t next = n;    // strokes[..next) are still to place
    for (auto it = cut.rbegin(); it != cut.rend(); ++it) {
      const size_t at = it->first;
      while (next > at + 1) strokes[--to] = std::move(strokes[--next]);
      --next;  // the cut stroke itself gives way to its pieces
      for (auto p = it->second.rbegin(); p != it->second.rend(); ++p) strokes[--to] = std::move(*p);
    }
    // What lies before the first cut stroke has not moved (to == next there).
    strokes.resize(total);
  }
}

}  // namespace

bool wholeStrokeSplit(PlotModel& m, const DisposeOptions& o, int maxPages, bool viewForm,
                      const std::vector<Box>* boxes) {
  const double w = o.pageWidth * kUnitsPerMm;
  const int maxIndex = maxPageIndexOf(maxPages);
  auto& strokes = m.strokes;
  // Strokes across a page edge are cut into pieces; the others stay where they are. The pieces
  // are made first and put in place afterwards, from the back, so that the list is not copied.
  // The smallest x of every stroke of the result is kept, in its order, for the page of each.
  Cuts cut;
  std::vector<double> edges;
  std::vector<double> firstX;
  firstX.reserve(strokes.size());
  size_t pieces = 0;
  for (size_t i = 0; i < strokes.size(); ++i) {
    const CStroke& s = strokes[i];
    double minX, maxX;
    if (boxes) {
      minX = (*boxes)[i].minX;
      maxX = (*boxes)[i].maxX;
    } else {
      xExtent(s, minX, maxX);
    }
    int kmin = 0, kmax = 0;
    if (!pageOfX(minX, w, kmin, maxIndex) || !pageOfX(maxX, w, kmax, maxIndex)) {
      if (!std::isnan(minX)) {
        return false;
      }
    }
    const bool merelyReaches = kmax == kmin + 1 && maxX == kmax * w;
    if (kmin < kmax && !merelyReaches) {
      edges.clear();
      for (int k = kmin + 1; k <= kmax; ++k) edges.push_back(k * w);
      cut.emplace_back(i, cutAtEdges(s, edges));
      pieces += cut.back().second.size();
      for (const CStroke& piece : cut.back().second) {
        double pieceMin, pieceMax;
        xExtent(piece, pieceMin, pieceMax);
        firstX.push_back(pieceMin);
      }
    } else {
      firstX.push_back(minX);
    }
  }
  putPiecesInPlace(strokes, cut, pieces);
  m.strokePages.assign(strokes.size(), 0);
  if (viewForm) return true;
  // The strokes' points lie wherever the order put the strokes: those of a later stroke are
  // fetched while this one moves.
  constexpr size_t kAhead = 4;
  for (size_t i = 0; i < strokes.size(); ++i) {
    if (i + kAhead < strokes.size()) __builtin_prefetch(strokes[i + kAhead].points.data(), 1);
    auto& s = strokes[i];
    const double minX = firstX[i];
    int page = 0;
    if (!std::isnan(minX) && !pageOfX(minX, w, page, maxIndex)) {
      return false;
    }
    m.strokePages[i] = page;
    const double offset = page * w;
    if (offset != 0.0)
      for (auto& p : s.points) p.x -= offset;
  }
  // Labels go to the page of their own x, like strokes.
  for (auto& l : m.labels) {
    int page = 0;
    if (!pageOfX(l.x, w, page, maxIndex)) {
      return false;
    }
    l.pageIndex = page;
    l.x -= page * w;
  }
  return true;
}

}  // namespace qel::plot
