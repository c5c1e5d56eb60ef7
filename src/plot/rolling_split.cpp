#include "plot/rolling_split.h"

#include <algorithm>
#include <cmath>

#include "plot/contours.h"
#include "plot/number_text.h"

namespace qel::plot {

namespace {

struct Extent {
  double minX, maxX;
};

// The x-extent of a stroke's points, without a circle's radius (NaN for a stroke without
// points). Kept for every stroke through all the cuts: a move by b adds b to every point, and
// as adding is monotonic the extent of the moved points is the old extent plus b, exactly.
Extent pointExtent(const CStroke& s) {
  Extent e;
  xExtent(s, e.minX, e.maxX);
  return e;
}

constexpr unsigned char kCircle = 1, kJoined = 2;
unsigned char kindOf(const CStroke& s) {
  return static_cast<unsigned char>((s.circleFlag ? kCircle : 0) | (s.joinedFlag ? kJoined : 0));
}

// A circle reaches its radius either side of its centre.
Extent reach(const CStroke& s, const Extent& points) {
  if (!s.circleFlag) return points;
  const double r = std::abs(s.circleRadius);
  return {points.minX - r, points.maxX + r};
}

// Distance from p to the outline along y (to segments spanning p.x) or along x (to segments
// spanning p.y), whichever is found within the limit.
bool nearOutline(std::span<const PlotPoint> outline, const PlotPoint& p, double limit) {
  for (size_t i = 1; i < outline.size(); ++i) {
    const PlotPoint& a = outline[i - 1];
    const PlotPoint& b = outline[i];
    if (std::min(a.x, b.x) <= p.x && p.x <= std::max(a.x, b.x)) {
      if (a.x == b.x) {
        if (std::min(a.y, b.y) - limit <= p.y && p.y <= std::max(a.y, b.y) + limit) return true;
      } else if (std::fabs(a.y + (p.x - a.x) * (b.y - a.y) / (b.x - a.x) - p.y) <= limit) {
        return true;
      }
    }
    if (std::min(a.y, b.y) <= p.y && p.y <= std::max(a.y, b.y)) {
      if (a.y == b.y) {
        if (std::min(a.x, b.x) - limit <= p.x && p.x <= std::max(a.x, b.x) + limit) return true;
      } else if (std::fabs(a.x + (p.y - a.y) * (b.x - a.x) / (b.y - a.y) - p.x) <= limit) {
        return true;
      }
    }
  }
  return false;
}

}  // namespace

bool rollingSplit(PlotModel& model, const DisposeOptions& o, int maxPages, bool loadOnly, PageSplit& result) {
  auto& strokes = model.strokes;
  auto& pages = model.strokePages;
  const double w = o.pageWidth * kUnitsPerMm;
  const double nearDistance = o.minDistanceClose;
  const int maxIndex = maxPageIndexOf(maxPages);
  result = {};
  auto& list = rollingSplitList();
  list.clear();

  // 1. Joined neighbours and outer contours.
  for (size_t i = 0; i + 1 < strokes.size(); ++i) {
    CStroke& a = strokes[i];
    CStroke& b = strokes[i + 1];
    // A pen-up move (a single point) or a circle closes no shape with its neighbour.
    if (pages[i] != pages[i + 1] || a.pen != b.pen || a.closedFlag || b.closedFlag || a.points.size() < 2 ||
        b.points.size() < 2 || a.circleFlag || b.circleFlag)
      continue;
    const auto& ap = a.points;
    const auto& bp = b.points;
    if (isNear(ap.back(), bp.front(), nearDistance) || isNear(ap.back(), bp.back(), nearDistance) ||
        isNear(ap.front(), bp.front(), nearDistance) || isNear(ap.front(), bp.back(), nearDistance))
      a.joinedFlag = b.joinedFlag = true;
  }
  const std::vector<bool> outer = findOuter(strokes, nearDistance);
  for (size_t i = 0; i < strokes.size(); ++i)
    if (outer[i]) strokes[i].outerFlag = true;

  // 2. The cuts. One pass over the points measures how far the drawing reaches, each stroke's
  // x-extent (moved with the stroke from then on) and whether its x are whole numbers.
  list.push_back(truncToInt(w));
  double m = 0.0;
  bool any = false;
  std::vector<Extent> pointExtents(strokes.size());
  // A stroke beyond a cut moves with every later cut. The moves of a stroke whose x are whole
  // numbers are added up and made once, when its points are next read (the back-offs are whole
  // numbers too, so the sum is exact); other strokes move at once.
  std::vector<double> pendingMove(strokes.size(), 0.0);
  std::vector<char> wholeX(strokes.size());
  // The flags the cuts read of every stroke, beside the extents: the loops over all strokes at
  // every cut then read two small arrays instead of the strokes themselves.
  std::vector<unsigned char> kind(strokes.size());
  for (size_t i = 0; i < strokes.size(); ++i) {
    const CStroke& s = strokes[i];
    const double r = s.circleFlag ? std::abs(s.circleRadius) : 0;
    bool whole = true;
    for (const auto& p : s.points) {
      const double reach = p.x + r;
      if (!any || reach > m) {
        m = reach;
        any = true;
      }
      whole = whole && p.x == std::trunc(p.x) && std::fabs(p.x) < 0x1p52;
    }
    pointExtents[i] = pointExtent(s);
    wholeX[i] = whole;
    kind[i] = kindOf(s);
  }
  // Labels lie on the roll too: the pages that hold them are measured like any other.
  for (const auto& l : model.labels)
    if (!any || l.x > m) {
      m = l.x;
      any = true;
    }
  auto e = [&](size_t i) { return (kind[i] & kCircle) ? reach(strokes[i], pointExtents[i]) : pointExtents[i]; };
  auto joined = [&](size_t i) { return (kind[i] & kJoined) != 0; };
  auto settle = [&](size_t i) {
    if (pendingMove[i] == 0.0) return;
    for (auto& p : strokes[i].points) p.x += pendingMove[i];
    pendingMove[i] = 0.0;
  };
  if (loadOnly) {
    for (size_t i = 0; i < strokes.size(); ++i)
      if (e(i).maxX - e(i).minX > w) return false;
  }
  // A drawing longer than the page limit is refused before any cut is made.
  if (m / w > maxPages) {
    result.overflow = true;
    return true;
  }
  int cuts = 0;
  for (int k = 1; k * w < m; ++k) {
    if (k > maxIndex) {
      result.overflow = true;
      return true;
    }
    const double x = std::trunc(k * w);
    const size_t n0 = strokes.size();

    // a. A stroke wider than a page cannot be moved whole: it is cut at the cut, and its piece
    //    beyond goes with what follows the cut. Everything else across the cut is still taken
    //    whole by the back-off, so a circle or a shape beside a long line is never left astride.
    std::vector<bool> leftPiece(n0, false);
    bool anyWide = false;
    for (size_t i = 0; i < n0; ++i)
      if (e(i).maxX - e(i).minX > w && e(i).minX < x && x < e(i).maxX && !(kind[i] & kCircle)) anyWide = true;
    if (anyWide) {
      std::vector<CStroke> out;
      std::vector<int> outPages;
      std::vector<bool> outLeft;
      std::vector<Extent> outExtents;
      std::vector<double> outPending;
      std::vector<char> outWholeX;
      std::vector<unsigned char> outKind;
      out.reserve(n0 + 16);
      for (size_t i = 0; i < n0; ++i) {
        if (e(i).maxX - e(i).minX > w && e(i).minX < x && x < e(i).maxX && !(kind[i] & kCircle)) {
          settle(i);
          for (auto& piece : cutAtEdges(strokes[i], {x})) {
            const Extent pieceExtent = pointExtent(piece);
            outPending.push_back(0.0);
            outWholeX.push_back(0);
            piece.joinedFlag = false;
            outLeft.push_back(pieceExtent.maxX <= x);
            outExtents.push_back(pieceExtent);
            outKind.push_back(kindOf(piece));
            out.push_back(std::move(piece));
            outPages.push_back(pages[i]);
          }
        } else {
          out.push_back(std::move(strokes[i]));
          outPages.push_back(pages[i]);
          outLeft.push_back(false);
          outExtents.push_back(pointExtents[i]);
          outPending.push_back(pendingMove[i]);
          outWholeX.push_back(wholeX[i]);
          outKind.push_back(kind[i]);
        }
      }
      strokes = std::move(out);
      pages = std::move(outPages);
      leftPiece = std::move(outLeft);
      pointExtents = std::move(outExtents);
      pendingMove = std::move(outPending);
      wholeX = std::move(outWholeX);
      kind = std::move(outKind);
    }
    const size_t n = strokes.size();

    // Two joined strokes are measured together, unless together they are wider than a page:
    // then no back-off could ever take them whole, and each goes on its own.
    auto combine = [&](Extent& ex, const Extent& other) {
      const Extent both{std::min(ex.minX, other.minX), std::max(ex.maxX, other.maxX)};
      if (both.maxX - both.minX <= w) ex = both;
    };
    // b. Back-off: how far the cut must retreat so that no stroke lies across it.
    double b = 0.0;
    for (size_t i = 0; i < n; ++i) {
      if (leftPiece[i]) continue;  // ends at the cut: it fits the page before it
      Extent ex = e(i);
      if (joined(i) && i + 1 < n && joined(i + 1)) combine(ex, e(i + 1));
      if (ex.minX < x && x <= ex.maxX) b = std::max(b, x - ex.minX);
    }
    // Whole units: the page's material length ("PX") is then exact and the pages add up.
    b = std::ceil(b);
    list.push_back(truncToInt(w - b));
    m += b;
    ++cuts;
    if (b == 0.0) continue;

    // c. Strokes reaching past the cut move right by b; those across it are carried contours.
    auto partner = [&](size_t i) -> long {
      if (!joined(i) || n < 2) return -1;
      long p;
      if (i == n - 1)
        p = static_cast<long>(i) - 1;
      else if (i == 0)
        p = 1;
      else if (joined(i - 1))
        p = static_cast<long>(i) - 1;
      else
        p = static_cast<long>(i) + 1;
      return joined(p) ? p : -1;
    };
    std::vector<bool> move(n, false);
    std::vector<size_t> candidates;
    std::vector<const CStroke*> carried;
    for (size_t i = 0; i < n; ++i) {
      if (!(e(i).minX >= x - b) || leftPiece[i]) continue;
      Extent ex = e(i);
      const long p = partner(i);
      if (p >= 0) combine(ex, e(p));
      if (ex.maxX > x) {
        move[i] = true;
        if (ex.minX <= x) {
          settle(i);
          carried.push_back(&strokes[i]);
        }
      } else {
        candidates.push_back(i);
      }
    }
    // d. Followers: what lies inside a carried contour goes with it. The carried contours are
    //    found through grids of their boxes: the outer ones for the inside test, all of them
    //    (widened by the nearness limit) for short strokes.
    std::vector<Box> carriedBoxes, nearBoxes;
    std::vector<int> allCarried, outerCarried;
    carriedBoxes.reserve(carried.size());
    nearBoxes.reserve(carried.size());
    for (size_t c = 0; c < carried.size(); ++c) {
      const Box box = boundingBox(*carried[c]);
      carriedBoxes.push_back(box);
      // A point near an outline lies within its box widened by the limit (one unit more for
      // the rounding of the interpolation).
      nearBoxes.push_back({box.minX - 121, box.minY - 121, box.maxX + 121, box.maxY + 121});
      allCarried.push_back(static_cast<int>(c));
      if (carried[c]->outerFlag) outerCarried.push_back(static_cast<int>(c));
    }
    const BoxGrid outerGrid(carriedBoxes, outerCarried);
    const BoxGrid nearGrid(nearBoxes, allCarried);
    for (size_t i : candidates) {
      settle(i);
      const CStroke& s = strokes[i];
      if (s.points.empty()) continue;
      const PlotPoint first = s.points[0];
      const bool inBand = x - b <= first.x && first.x <= x;
      auto insideCarriedOuter = [&]() {
        bool inside = false;
        outerGrid.candidates(first.x, first.y, [&](int c) {
          const Box& box = carriedBoxes[c];
          inside = box.minX <= first.x && first.x <= box.maxX && box.minY <= first.y && first.y <= box.maxY &&
                   insideOutline(carried[c]->points, first.x, first.y);
          return inside;
        });
        return inside;
      };
      const bool isShort = s.points.size() >= 2 && s.points.size() <= 3 &&
                           std::hypot(s.points[1].x - first.x, s.points[1].y - first.y) < 800;
      bool follows = false;
      if (s.circleFlag) {
        follows = inBand && insideCarriedOuter();
      } else if (isShort) {
        const PlotPoint p0{std::trunc(first.x), std::trunc(first.y)};
        const PlotPoint p1{std::trunc(s.points[1].x), std::trunc(s.points[1].y)};
        auto near = [&](const PlotPoint& p) {
          bool found = false;
          nearGrid.candidates(p.x, p.y, [&](int c) {
            const Box& box = nearBoxes[c];
            found = box.minX <= p.x && p.x <= box.maxX && box.minY <= p.y && p.y <= box.maxY &&
                    nearOutline(carried[c]->points, p, 120);
            return found;
          });
          return found;
        };
        follows = near(p0) || near(p1);
      } else {
        follows = inBand && insideCarriedOuter();
      }
      if (follows) move[i] = true;
    }
    for (size_t i = 0; i < n; ++i)
      if (move[i]) {
        if (wholeX[i] && pendingMove[i] + b < 0x1p52) {
          pendingMove[i] += b;
        } else {
          settle(i);
          for (auto& p : strokes[i].points) p.x += b;
        }
        pointExtents[i].minX += b;
        pointExtents[i].maxX += b;
      }
    // Labels beyond the cut go with the drawing around them.
    for (auto& l : model.labels)
      if (l.x > x) l.x += b;
  }
  list.push_back(truncToInt(m - cuts * w));

  for (size_t i = 0; i < strokes.size(); ++i) settle(i);

  // 3. Pages along x, with the seam correction on every page after the first.
  const double seamX = -o.detalX * kUnitsPerMm, seamY = -o.detalY * kUnitsPerMm;
  int lastPage = 0;
  for (size_t i = 0; i < strokes.size(); ++i) {
    const double minX = reach(strokes[i], pointExtents[i]).minX;
    int page = 0;
    if (!std::isnan(minX) && !pageOfX(minX, w, page, maxIndex)) {
      result.overflow = true;
      return true;
    }
    pages[i] = page;
    lastPage = std::max(lastPage, page);
    const double offset = page * w;
    for (auto& p : strokes[i].points) {
      p.x -= offset;
      if (page > 0 && p.x == 0.0) {
        p.x += seamX;
        p.y += seamY;
      }
    }
  }
  // 4. Labels go by their own x.
  for (auto& l : model.labels) {
    int page = 0;
    if (!pageOfX(l.x, w, page, maxIndex)) {
      result.overflow = true;
      return true;
    }
    l.pageIndex = page;
    l.x -= page * w;
    lastPage = std::max(lastPage, page);
  }
  result.lastPage = lastPage;
  return true;
}

}  // namespace qel::plot
