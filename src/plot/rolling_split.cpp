#include "plot/rolling_split.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

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


constexpr std::uint32_t kNoStroke = UINT32_MAX;

// The cuts are made one after another along the roll. Only the strokes near the cut can be cut,
// moved one by one, carried across it or follow what is carried: those whose extent reaches
// from a page and some before the cut to two pages after it, the active window. Every stroke
// beyond it moves by every back-off; those moves are counted and made when the stroke enters
// the window, in the order the cuts made them, so each point ends where moving it at every
// cut would have put it.
class RollingSplit {
 public:
  RollingSplit(PlotModel& model, const DisposeOptions& o, int maxPages)
      : model_(model),
        strokes_(model.strokes),
        pages_(model.strokePages),
        w_(o.pageWidth * kUnitsPerMm),
        nearDistance_(o.minDistanceClose),
        maxPages_(maxPages),
        maxIndex_(maxPageIndexOf(maxPages)),
        seamX_(-o.detalX * kUnitsPerMm),
        seamY_(-o.detalY * kUnitsPerMm) {}

  bool run(bool loadOnly, PageSplit& result);

 private:
  void markJoinedAndOuter();
  void measure();
  Extent e(std::uint32_t i) const {
    return (kind_[i] & kCircle) ? reach(strokes_[i], ext_[i]) : ext_[i];
  }
  bool joined(std::uint32_t i) const { return (kind_[i] & kJoined) != 0; }
  std::uint32_t next(std::uint32_t i) const {
    if (linked_) return next_[i];
    return i + 1 < strokes_.size() ? i + 1 : kNoStroke;
  }
  std::uint32_t prev(std::uint32_t i) const {
    if (linked_) return prev_[i];
    return i > 0 ? i - 1 : kNoStroke;
  }
  std::uint32_t partner(std::uint32_t i) const;
  // Two joined strokes are measured together, unless together they are wider than a page:
  // then no back-off could ever take them whole, and each goes on its own.
  void combine(Extent& ex, std::uint32_t other) const {
    if (other == kNoStroke || !entered_[other]) return;  // beyond the window: never within a page
    const Extent o = e(other);
    const Extent both{std::min(ex.minX, o.minX), std::max(ex.maxX, o.maxX)};
    if (both.maxX - both.minX <= w_) ex = both;
  }
  void fileInBands();
  void settle(std::uint32_t i);
  void move(std::uint32_t i, double b);
  void enter(std::uint32_t i);
  void updateWindow(double x);
  void cutWideStrokes(double x);
  double backOff(double x) const;
  void moveAcross(double x, double b);
  bool follows(std::uint32_t i, double x, double b, const std::vector<std::uint32_t>& carried,
               const std::vector<Box>& carriedBoxes, const std::vector<Box>& nearBoxes, const BoxGrid& outerGrid,
               const BoxGrid& nearGrid);
  void placeLabels(double x, double b);
  bool assignPages(PageSplit& result);
  void restoreListOrder();

  PlotModel& model_;
  std::vector<CStroke>& strokes_;
  std::vector<int>& pages_;
  const double w_, nearDistance_;
  const int maxPages_, maxIndex_;
  const double seamX_, seamY_;

  double m_ = 0.0;  // how far the drawing reaches, with what the cuts added
  // Per stroke (pieces cut from a wide stroke are added at the end).
  std::vector<Extent> ext_;       // the points' x-extent, moved with them
  std::vector<double> pending_;   // moves of a stroke with whole x, not yet made on its points
  std::vector<char> wholeX_;      // its x are whole numbers: its moves can be added up exactly
  std::vector<unsigned char> kind_;
  std::vector<char> entered_;     // in the window, or left behind it
  std::vector<char> leftPiece_;   // a piece ending at this cut: it fits the page before it
  // The list order once pieces were put in: links instead of places.
  bool linked_ = false;
  std::vector<std::uint32_t> next_, prev_;
  // The window. Strokes wait in bands one page wide by their smallest x before any cut (a
  // stroke beyond the last band waits in it); a band enters when its lower edge comes near.
  double firstX_ = 0.0;
  std::vector<size_t> bandFrom_;         // band k holds waiting_[bandFrom_[k], bandFrom_[k + 1])
  std::vector<std::uint32_t> waiting_;
  size_t nextBand_ = 0;
  std::vector<std::uint32_t> active_;    // in list order
  std::vector<double> moves_;  // the back-offs so far, in order
  double movedSum_ = 0.0;
};

void RollingSplit::markJoinedAndOuter() {
  // Neighbouring open strokes on the same page with the same pen whose ends meet are joined.
  for (size_t i = 0; i + 1 < strokes_.size(); ++i) {
    CStroke& a = strokes_[i];
    CStroke& b = strokes_[i + 1];
    // A pen-up move (a single point) or a circle closes no shape with its neighbour.
    if (pages_[i] != pages_[i + 1] || a.pen != b.pen || a.closedFlag || b.closedFlag || a.points.size() < 2 ||
        b.points.size() < 2 || a.circleFlag || b.circleFlag)
      continue;
    const auto& ap = a.points;
    const auto& bp = b.points;
    if (isNear(ap.back(), bp.front(), nearDistance_) || isNear(ap.back(), bp.back(), nearDistance_) ||
        isNear(ap.front(), bp.front(), nearDistance_) || isNear(ap.front(), bp.back(), nearDistance_))
      a.joinedFlag = b.joinedFlag = true;
  }
  const std::vector<bool> outer = findOuter(strokes_, nearDistance_);
  for (size_t i = 0; i < strokes_.size(); ++i)
    if (outer[i]) strokes_[i].outerFlag = true;
}

void RollingSplit::measure() {
  // One pass over the points measures how far the drawing reaches, each stroke's x-extent and
  // whether its x are whole numbers.
  const size_t n = strokes_.size();
  ext_.resize(n);
  pending_.assign(n, 0.0);
  wholeX_.resize(n);
  kind_.resize(n);
  entered_.assign(n, 0);
  leftPiece_.assign(n, 0);
  bool any = false;
  for (size_t i = 0; i < n; ++i) {
    const CStroke& s = strokes_[i];
    const double r = s.circleFlag ? std::abs(s.circleRadius) : 0;
    bool whole = true;
    for (const auto& p : s.points) {
      const double reachX = p.x + r;
      if (!any || reachX > m_) {
        m_ = reachX;
        any = true;
      }
      whole = whole && p.x == std::trunc(p.x) && std::fabs(p.x) < 0x1p52;
    }
    ext_[i] = pointExtent(s);
    wholeX_[i] = whole;
    kind_[i] = kindOf(s);
  }
  fileInBands();
  // Labels lie on the roll too: the pages that hold them are measured like any other.
  for (const auto& l : model_.labels)
    if (!any || l.x > m_) {
      m_ = l.x;
      any = true;
    }
}

void RollingSplit::fileInBands() {
  // A stroke without points takes part in no cut.
  const size_t n = strokes_.size();
  bool any = false;
  for (std::uint32_t i = 0; i < n; ++i) {
    const double x = e(i).minX;
    if (!std::isnan(x) && (!any || x < firstX_)) {
      firstX_ = x;
      any = true;
    }
  }
  const size_t bands = static_cast<size_t>(maxPages_) + 4;
  auto band = [&](std::uint32_t i) -> size_t {
    const double k = std::floor((e(i).minX - firstX_) / w_);
    return k < static_cast<double>(bands - 1) ? static_cast<size_t>(k) : bands - 1;
  };
  bandFrom_.assign(bands + 1, 0);
  for (std::uint32_t i = 0; i < n; ++i)
    if (!std::isnan(e(i).minX)) ++bandFrom_[band(i) + 1];
  for (size_t k = 0; k < bands; ++k) bandFrom_[k + 1] += bandFrom_[k];
  waiting_.resize(bandFrom_[bands]);
  std::vector<size_t> fill(bandFrom_.begin(), bandFrom_.end() - 1);
  for (std::uint32_t i = 0; i < n; ++i)
    if (!std::isnan(e(i).minX)) waiting_[fill[band(i)]++] = i;
}

void RollingSplit::settle(std::uint32_t i) {
  if (pending_[i] == 0.0) return;
  for (auto& p : strokes_[i].points) p.x += pending_[i];
  pending_[i] = 0.0;
}

void RollingSplit::move(std::uint32_t i, double b) {
  if (wholeX_[i] && pending_[i] + b < 0x1p52) {
    pending_[i] += b;
  } else {
    settle(i);
    for (auto& p : strokes_[i].points) p.x += b;
  }
  ext_[i].minX += b;
  ext_[i].maxX += b;
}

void RollingSplit::updateWindow(double x) {
  // Strokes that now reach within two pages of the cut enter the window, with the moves made
  // while they lay beyond it; strokes that end more than a page before the cut leave it.
  const double enterBefore = x + 2 * w_ + 64;
  const size_t before = active_.size();
  for (; nextBand_ + 1 < bandFrom_.size() && firstX_ + nextBand_ * w_ + movedSum_ <= enterBefore; ++nextBand_)
    for (size_t k = bandFrom_[nextBand_]; k < bandFrom_[nextBand_ + 1]; ++k) enter(waiting_[k]);
  // The window is kept in list order: the strokes' arrays are then read front to back.
  std::sort(active_.begin() + static_cast<std::ptrdiff_t>(before), active_.end());
  std::inplace_merge(active_.begin(), active_.begin() + static_cast<std::ptrdiff_t>(before), active_.end());
  const double leaveBefore = x - w_ - 2000;
  std::erase_if(active_, [&](std::uint32_t i) { return e(i).maxX < leaveBefore; });
}

void RollingSplit::enter(std::uint32_t i) {
  // The stroke takes the moves made while it lay beyond the window.
  if (wholeX_[i] && movedSum_ + pending_[i] < 0x1p52) {
    // Whole numbers: the sum of the moves is exact, and so is the extent moved by it.
    pending_[i] += movedSum_;
    ext_[i].minX += movedSum_;
    ext_[i].maxX += movedSum_;
  } else {
    for (double b : moves_) move(i, b);
  }
  entered_[i] = 1;
  active_.push_back(i);
}

std::uint32_t RollingSplit::partner(std::uint32_t i) const {
  if (!joined(i) || strokes_.size() < 2) return kNoStroke;
  std::uint32_t p;
  if (next(i) == kNoStroke)
    p = prev(i);
  else if (prev(i) == kNoStroke)
    p = next(i);
  else if (joined(prev(i)))
    p = prev(i);
  else
    p = next(i);
  return joined(p) ? p : kNoStroke;
}

void RollingSplit::cutWideStrokes(double x) {
  // a. A stroke wider than a page cannot be moved whole: it is cut at the cut, and its piece
  //    beyond goes with what follows the cut. Everything else across the cut is still taken
  //    whole by the back-off, so a circle or a shape beside a long line is never left astride.
  for (std::uint32_t i : active_) leftPiece_[i] = 0;
  const size_t activeCount = active_.size();
  for (size_t a = 0; a < activeCount; ++a) {
    const std::uint32_t i = active_[a];
    const Extent ex = e(i);
    if (!(ex.maxX - ex.minX > w_ && ex.minX < x && x < ex.maxX && !(kind_[i] & kCircle))) continue;
    if (!linked_) {
      const std::uint32_t n = static_cast<std::uint32_t>(strokes_.size());
      next_.resize(n);
      prev_.resize(n);
      for (std::uint32_t k = 0; k < n; ++k) {
        next_[k] = next(k);
        prev_[k] = prev(k);
      }
      linked_ = true;
    }
    settle(i);
    std::vector<CStroke> pieces = cutAtEdges(strokes_[i], {x});
    // The first piece takes the stroke's place; the others follow it in the list.
    std::uint32_t after = i;
    for (size_t k = 0; k < pieces.size(); ++k) {
      CStroke& piece = pieces[k];
      piece.joinedFlag = false;
      std::uint32_t at = i;
      if (k > 0) {
        at = static_cast<std::uint32_t>(strokes_.size());
        strokes_.push_back(CStroke());
        pages_.push_back(pages_[i]);
        ext_.push_back({});
        pending_.push_back(0.0);
        wholeX_.push_back(0);
        kind_.push_back(0);
        entered_.push_back(1);
        leftPiece_.push_back(0);
        next_.push_back(next_[after]);
        prev_.push_back(after);
        if (next_[after] != kNoStroke) prev_[next_[after]] = at;
        next_[after] = at;
        active_.push_back(at);
      }
      ext_[at] = pointExtent(piece);
      pending_[at] = 0.0;
      wholeX_[at] = 0;
      kind_[at] = kindOf(piece);
      leftPiece_[at] = ext_[at].maxX <= x;
      strokes_[at] = std::move(piece);
      after = at;
    }
  }
}

double RollingSplit::backOff(double x) const {
  // b. How far the cut must retreat so that no stroke lies across it.
  double b = 0.0;
  for (std::uint32_t i : active_) {
    if (leftPiece_[i]) continue;  // ends at the cut: it fits the page before it
    Extent ex = e(i);
    const std::uint32_t n = next(i);
    if (joined(i) && n != kNoStroke && joined(n)) combine(ex, n);
    if (ex.minX < x && x <= ex.maxX) b = std::max(b, x - ex.minX);
  }
  // Whole units: the page's material length ("PX") is then exact and the pages add up.
  return std::ceil(b);
}

bool RollingSplit::follows(std::uint32_t i, double x, double b, const std::vector<std::uint32_t>& carried,
                           const std::vector<Box>& carriedBoxes, const std::vector<Box>& nearBoxes,
                           const BoxGrid& outerGrid, const BoxGrid& nearGrid) {
  // d. What lies inside a carried contour goes with it: a circle or a plain stroke whose first
  //    point lies in the band and inside a carried outer contour, a short stroke whose first or
  //    second point lies near a carried outline.
  settle(i);
  const CStroke& s = strokes_[i];
  if (s.points.empty()) return false;
  const PlotPoint first = s.points[0];
  const bool inBand = x - b <= first.x && first.x <= x;
  auto insideCarriedOuter = [&]() {
    bool inside = false;
    outerGrid.candidates(first.x, first.y, [&](int c) {
      const Box& box = carriedBoxes[c];
      inside = box.minX <= first.x && first.x <= box.maxX && box.minY <= first.y && first.y <= box.maxY &&
               insideOutline(strokes_[carried[c]].points, first.x, first.y);
      return inside;
    });
    return inside;
  };
  const bool isShort = s.points.size() >= 2 && s.points.size() <= 3 &&
                       std::hypot(s.points[1].x - first.x, s.points[1].y - first.y) < 800;
  if (s.circleFlag || !isShort) return inBand && insideCarriedOuter();
  const PlotPoint p0{std::trunc(first.x), std::trunc(first.y)};
  const PlotPoint p1{std::trunc(s.points[1].x), std::trunc(s.points[1].y)};
  auto near = [&](const PlotPoint& p) {
    bool found = false;
    nearGrid.candidates(p.x, p.y, [&](int c) {
      const Box& box = nearBoxes[c];
      found = box.minX <= p.x && p.x <= box.maxX && box.minY <= p.y && p.y <= box.maxY &&
              nearOutline(strokes_[carried[c]].points, p, 120);
      return found;
    });
    return found;
  };
  return near(p0) || near(p1);
}

void RollingSplit::moveAcross(double x, double b) {
  // c. Strokes reaching past the cut move right by b; those across it are carried contours,
  //    the others lying wholly between x - b and x are candidates to follow one.
  std::vector<std::uint32_t> moving, candidates, carried;
  for (std::uint32_t i : active_) {
    if (!(e(i).minX >= x - b) || leftPiece_[i]) continue;
    Extent ex = e(i);
    combine(ex, partner(i));
    if (ex.maxX > x) {
      moving.push_back(i);
      if (ex.minX <= x) {
        settle(i);
        carried.push_back(i);
      }
    } else {
      candidates.push_back(i);
    }
  }
  // The carried contours are found through grids of their boxes: the outer ones for the
  // inside test, all of them (widened by the nearness limit) for short strokes.
  std::vector<Box> carriedBoxes, nearBoxes;
  std::vector<int> allCarried, outerCarried;
  carriedBoxes.reserve(carried.size());
  nearBoxes.reserve(carried.size());
  for (size_t c = 0; c < carried.size(); ++c) {
    const Box box = boundingBox(strokes_[carried[c]]);
    carriedBoxes.push_back(box);
    // A point near an outline lies within its box widened by the limit (one unit more for
    // the rounding of the interpolation).
    nearBoxes.push_back({box.minX - 121, box.minY - 121, box.maxX + 121, box.maxY + 121});
    allCarried.push_back(static_cast<int>(c));
    if (strokes_[carried[c]].outerFlag) outerCarried.push_back(static_cast<int>(c));
  }
  const BoxGrid outerGrid(carriedBoxes, outerCarried);
  const BoxGrid nearGrid(nearBoxes, allCarried);
  for (std::uint32_t i : candidates)
    if (follows(i, x, b, carried, carriedBoxes, nearBoxes, outerGrid, nearGrid)) moving.push_back(i);
  for (std::uint32_t i : moving) move(i, b);
  // Everything beyond the window moves too, when it enters it.
  moves_.push_back(b);
  movedSum_ += b;
}

void RollingSplit::placeLabels(double x, double b) {
  // Labels beyond the cut go with the drawing around them.
  for (auto& l : model_.labels)
    if (l.x > x) l.x += b;
}

bool RollingSplit::assignPages(PageSplit& result) {
  // 3. Pages along x, with the seam correction on every page after the first.
  int lastPage = 0;
  for (size_t i = 0; i < strokes_.size(); ++i) {
    const double minX = e(static_cast<std::uint32_t>(i)).minX;
    int page = 0;
    if (!std::isnan(minX) && !pageOfX(minX, w_, page, maxIndex_)) {
      result.overflow = true;
      return false;
    }
    pages_[i] = page;
    lastPage = std::max(lastPage, page);
    const double offset = page * w_;
    for (auto& p : strokes_[i].points) {
      p.x -= offset;
      if (page > 0 && p.x == 0.0) {
        p.x += seamX_;
        p.y += seamY_;
      }
    }
  }
  // 4. Labels go by their own x.
  for (auto& l : model_.labels) {
    int page = 0;
    if (!pageOfX(l.x, w_, page, maxIndex_)) {
      result.overflow = true;
      return false;
    }
    l.pageIndex = page;
    l.x -= page * w_;
    lastPage = std::max(lastPage, page);
  }
  result.lastPage = lastPage;
  return true;
}

void RollingSplit::restoreListOrder() {
  // Pieces of cut strokes stand where the stroke stood, in their order along it.
  if (!linked_) return;
  std::vector<CStroke> strokes;
  std::vector<int> pages;
  strokes.reserve(strokes_.size());
  pages.reserve(pages_.size());
  for (std::uint32_t i = 0; i != kNoStroke; i = next_[i]) {
    strokes.push_back(std::move(strokes_[i]));
    pages.push_back(pages_[i]);
  }
  strokes_ = std::move(strokes);
  pages_ = std::move(pages);
}

bool RollingSplit::run(bool loadOnly, PageSplit& result) {
  auto& list = rollingSplitList();
  list.clear();
  markJoinedAndOuter();
  // 2. The cuts.
  list.push_back(truncToInt(w_));
  measure();
  if (loadOnly) {
    for (size_t i = 0; i < strokes_.size(); ++i) {
      const Extent ex = e(static_cast<std::uint32_t>(i));
      if (ex.maxX - ex.minX > w_) return false;
    }
  }
  // A drawing longer than the page limit is refused before any cut is made.
  if (m_ / w_ > maxPages_) {
    result.overflow = true;
    return true;
  }
  int cuts = 0;
  for (int k = 1; k * w_ < m_; ++k) {
    if (k > maxIndex_) {
      result.overflow = true;
      return true;
    }
    const double x = std::trunc(k * w_);
    updateWindow(x);
    cutWideStrokes(x);
    const double b = backOff(x);
    list.push_back(truncToInt(w_ - b));
    m_ += b;
    ++cuts;
    if (b == 0.0) continue;
    moveAcross(x, b);
    placeLabels(x, b);
  }
  list.push_back(truncToInt(m_ - cuts * w_));
  // Every stroke takes the moves still owed to it.
  for (; nextBand_ + 1 < bandFrom_.size(); ++nextBand_)
    for (size_t k = bandFrom_[nextBand_]; k < bandFrom_[nextBand_ + 1]; ++k)
      for (double b : moves_) move(waiting_[k], b);
  for (std::uint32_t i = 0; i < strokes_.size(); ++i) settle(i);
  assignPages(result);
  restoreListOrder();
  return true;
}

}  // namespace

bool rollingSplit(PlotModel& model, const DisposeOptions& o, int maxPages, bool loadOnly, PageSplit& result) {
  result = {};
  return RollingSplit(model, o, maxPages).run(loadOnly, result);
}

}  // namespace qel::plot
