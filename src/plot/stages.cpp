// The processing stages called by the reader and the pipeline.
#include "plot/stages.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "plot/contours.h"
#include "plot/dispose_run.h"
#include "plot/number_text.h"
#include "plot/pagination.h"
#include "plot/stroke_font.h"
#include "plot/thinning.h"

namespace qel::plot {

std::vector<int>& rollingSplitList() {
  static std::vector<int> list;
  return list;
}

std::mutex& disposeRunLock() {
  static std::mutex m;
  return m;
}

// ---------------------------------------------------------------------------------------------
// Modes 4 and 7: a pen-down segment leaving its page is cut at every page edge it crosses.

void DisposeRun::splitAtEdges(const PlotPoint& from, PlotPoint& to) {
  const double w = winXMax_ - winXMin_;
  // The stroke lies on the current page, also when `from` is exactly on its edge.
  const int k1 = pageIndex_;
  int k2 = 0;
  if (!pageOfX(to.x, w, k2, maxPageIndex())) {
    pageOverflow_ = true;
    return;
  }
  // A point exactly on an edge, reached going right, ends the page to its left.
  if (k2 > k1 && to.x == k2 * w) --k2;
  auto crossing = [&](double edge) {
    return from.y + (edge - from.x) * (to.y - from.y) / (to.x - from.x);
  };
  auto finishPiece = [&](int page, const PlotPoint& end, const PlotPoint& nextStart) {
    CStroke& s = stroke_;
    if (s.points.empty() || !(s.points.back() == end)) s.points.push_back(end);
    const auto& pts = s.points;
    if (pts.size() > 2 && isNear(pts.back(), pts.front(), opt_.minDistanceClose)) s.closedFlag = true;
    // A piece that only touches the edge draws nothing on its page.
    if ((pts.size() >= 2 || !s.inserted.empty()) && s.pen != 0) {
      model_.add(s, page);
    }
    s.reset();
    s.pen = pen_;
    s.points.push_back(nextStart);
  };
  if (k1 < k2) {
    for (int k = k1; k < k2; ++k) {
      const double yb = crossing((k + 1) * w);
      finishPiece(k, {w, yb}, {0.0, yb});
    }
  } else if (k1 > k2) {
    for (int k = k1; k > k2; --k) {
      const double yb = crossing(k * w);
      finishPiece(k, {0.0, yb}, {w, yb});
    }
  }
  pageIndex_ = k2;
  if (!loadOnlyRun_) openPage(k2);
  pageOffset_ = k2 * w;
  to.x -= pageOffset_;
}

// ---------------------------------------------------------------------------------------------

std::vector<PlotPoint> thinAndDensify(const DisposeOptions& o, std::vector<PlotPoint> run) {
  ThinningOptions t;
  t.deletePointEnabled = o.deletePointEnabled;
  t.dpIntervalPoints = o.dpIntervalPoints;
  t.dpMinLength = o.dpMinLength;
  t.dpMinAngle = o.dpMinAngle;
  t.addPointEnabled = o.addPointEnabled;
  t.apTimes = o.apTimes;
  t.apMinLength = o.apMinLength;
  t.apMaxLength = o.apMaxLength;
  t.apMinAngle = o.apMinAngle;
  t.apMaxAngle = o.apMaxAngle;
  return chooseFilter(std::move(run), t);
}

// ---------------------------------------------------------------------------------------------
// Modes 8 and 9: joining and contours, then the whole-stroke page split.

int maxPageIndexOf(int maxPages) { return std::min(kMaxPageIndex, (maxPages > 0 ? maxPages : 1) - 1); }

std::vector<Box> contourStages(PlotModel& m, const DisposeOptions& o, bool keepDrawingOrder) {
  const double nearDistance = o.minDistanceClose;
  joinTouching(m.strokes, m.strokePages, nearDistance);
  // The boxes are measured once, for the outer contours, the order and the page split.
  std::vector<Box> boxes = boxesOf(m.strokes);
  markOuter(m.strokes, boxes, nearDistance, o.occ, o.spn);
  // The CCD view keeps the drawing order; cutting orders inside first.
  if (!keepDrawingOrder) orderInsideFirst(m.strokes, m.strokePages, boxes);
  return boxes;
}

bool wholeStrokeSplit(PlotModel& m, const DisposeOptions& o, int maxPages, bool viewForm,
                      const std::vector<Box>* boxes) {
  const double w = o.pageWidth * kUnitsPerMm;
  const int maxIndex = maxPageIndexOf(maxPages);
  auto& strokes = m.strokes;
  // Strokes across a page edge are cut into pieces; the others stay where they are. The pieces
  // are made first and put in place afterwards, from the back, so that the list is not copied.
  // The smallest x of every stroke of the result is kept, in its order, for the page of each.
  std::vector<std::pair<size_t, std::vector<CStroke>>> cut;
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

// ---------------------------------------------------------------------------------------------
// Mode 6: the rolling split. The plot is cut into pages along the roll; strokes that lie
// across a cut are moved whole onto the next page where they fit, with what lies inside them.

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

// ---------------------------------------------------------------------------------------------

// Labels drawn as strokes from the stroke font.

namespace {

// The numbers of an attribute text ("SI0.25,0.4", "DI-1,0"): only digits, sign, "." and ","
// count; the first number runs up to the first ",".
void attributeNumbers(const std::string& text, double& first, double& second, bool& hasFirst) {
  std::string a, b;
  bool comma = false;
  for (size_t i = 2; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ',') {
      if (comma) break;
      comma = true;
    } else if ((c >= '0' && c <= '9') || c == '.' || c == '-') {
      (comma ? b : a).push_back(c);
    }
  }
  hasFirst = !a.empty();
  first = parseReal(a);
  second = parseReal(b);
}

}  // namespace

void DisposeRun::labelToStrokes(std::string_view characters) {
  const DisposeOptions& o = opt_;
  // Size: SI width and height in centimetres. Without an SI the plotter's default character
  // size is used, rather than drawing every glyph as a point.
  double w = 0, h = 0;
  bool hasSize = false;
  attributeNumbers(siText_, w, h, hasSize);
  if (!hasSize) {
    w = 0.187;
    h = 0.269;
  }
  const double kx = w * 2.5 * o.fontScale;
  const double ky = h * 1.5 * o.fontScale;
  // Direction from DI (run, rise), with the rounded constants the cutters were set up with.
  double run = 1, rise = 0;
  bool hasDirection = false;
  attributeNumbers(diText_, run, rise, hasDirection);
  if (!hasDirection) {
    run = 1;
    rise = 0;
  }
  double angle;
  if (run == 0)
    angle = rise > 0 ? 1.57 : 4.71;
  else if (run > 0)
    angle = rise == 0 ? 0.0 : std::atan(rise / run);
  else
    angle = rise == 0 ? 3.14 : std::atan(rise / run) + 3.14;
  angle += o.fontRotate / 180.0 * 3.14159;
  const double ca = std::cos(angle), sa = std::sin(angle);

  // Positions are page-relative like every stroke of the page.
  const double sx = curX_ - pageOffset_, sy = curY_;
  const double offX = o.fontOffsetX * kUnitsPerMm, offY = o.fontOffsetY * kUnitsPerMm;
  auto place = [&](double x, double y) {
    const double dx = x - sx, dy = y - sy;
    return PlotPoint{sx + dx * ca - dy * sa + offX, sy + dx * sa + dy * ca + offY};
  };
  const double advance = std::trunc(o.fontDistanceScale * kUnitsPerMm + kx * 500);
  const auto font = StrokeFont::forHome(o.homeDir);
  if (font->empty()) {
    // Without glyphs the label would vanish from the cut: the run fails and says why.
    labelFontMissing_ = true;
    return;
  }

  double penX = sx;
  const double penY = sy;
  bool haveEnd = false;
  PlotPoint lastEnd;
  auto draw = [&](const std::vector<GlyphSegment>* glyph) {
    if (!glyph) return;
    for (const auto& g : *glyph) {
      const PlotPoint a = place(g.x1 * kx + penX, (700 - g.y1) * ky + penY);
      const PlotPoint b = place(g.x2 * kx + penX, (700 - g.y2) * ky + penY);
      if (!haveEnd || !(a == lastEnd)) {
        finishStroke();
        stroke_.pen = o.fontSp;
        stroke_.labelStrokeFlag = true;
        stroke_.points.push_back(a);
      }
      stroke_.points.push_back(b);
      lastEnd = b;
      haveEnd = true;
    }
  };
  const auto* bytes = reinterpret_cast<const unsigned char*>(characters.data());
  const size_t n = characters.size();
  for (size_t i = 0; i < n; ++i) {
    const unsigned char c = bytes[i];
    if (c == ' ') {
      penX += advance;
    } else if (c >= 33 && c <= 126) {
      draw(font->glyph(StrokeFont::asciiKey(c)));
      penX += advance;
    } else if (i + 1 < n && c == 0xA1 && bytes[i + 1] == 0xA1) {
      penX += advance;  // the double-byte space
      ++i;
    } else if (i + 1 < n && c >= 0xB0 && c <= 0xF7 && bytes[i + 1] >= 0xA1 && bytes[i + 1] <= 0xFE) {
      draw(font->glyph(StrokeFont::gbKey(c, bytes[i + 1])));
      penX += advance;
      ++i;
    }
    // Every other byte is skipped without advancing.
  }
  finishStroke();
  curX_ += penX - sx;
}

}  // namespace qel::plot
