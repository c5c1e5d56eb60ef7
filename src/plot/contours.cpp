#include "plot/contours.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace qel::plot {

namespace {

bool finite(const Box& b) {
  return std::isfinite(b.minX) && std::isfinite(b.minY) && std::isfinite(b.maxX) && std::isfinite(b.maxY);
}

// A box with a NaN bound contains nothing.
bool canContain(const Box& b) {
  return !std::isnan(b.minX) && !std::isnan(b.minY) && !std::isnan(b.maxX) && !std::isnan(b.maxY);
}

}  // namespace

std::vector<Box> boxesOf(const std::vector<CStroke>& strokes) {
  std::vector<Box> boxes;
  boxes.reserve(strokes.size());
  for (const auto& s : strokes) boxes.push_back(boundingBox(s));
  return boxes;
}

BoxGrid::BoxGrid(const std::vector<Box>& boxes, const std::vector<int>& members) {
  Box all{std::numeric_limits<double>::max(), std::numeric_limits<double>::max(),
          std::numeric_limits<double>::lowest(), std::numeric_limits<double>::lowest()};
  for (int i : members) {
    const Box& b = boxes[i];
    if (!finite(b)) continue;
    all.minX = std::min(all.minX, b.minX);
    all.minY = std::min(all.minY, b.minY);
    all.maxX = std::max(all.maxX, b.maxX);
    all.maxY = std::max(all.maxY, b.maxY);
  }
  const double count = std::max(1.0, static_cast<double>(members.size()));
  x0_ = all.minX;
  y0_ = all.minY;
  const double w = all.maxX - all.minX, h = all.maxY - all.minY;
  const bool wide = w > 0 && std::isfinite(w), tall = h > 0 && std::isfinite(h);
  // At most this many cells: a long roll gets many columns and few rows (a cap on each side
  // would put ever more boxes into each cell as the roll grows).
  constexpr double kMaxCells = 1 << 22;
  constexpr double kMaxSide = kMaxCells;
  // Cells about square, about one per box, but not smaller than the typical box: where boxes
  // lie over boxes (a denser roll of the same length) smaller cells would only file every
  // large box in more of them, the entries growing faster than the boxes.
  std::vector<double> sides;
  sides.reserve(members.size());
  for (int i : members)
    if (finite(boxes[i])) sides.push_back(std::max(boxes[i].maxX - boxes[i].minX, boxes[i].maxY - boxes[i].minY));
  double typical = 0.0;
  if (!sides.empty()) {
    std::nth_element(sides.begin(), sides.begin() + sides.size() / 2, sides.end());
    typical = sides[sides.size() / 2];
  }
  if (wide && tall) {
    double cell = std::max(std::sqrt(w * h / count), typical);
    if (std::ceil(w / cell) * std::ceil(h / cell) > kMaxCells) cell = std::max(cell, std::sqrt(w * h / kMaxCells) * 1.01);
    cols_ = static_cast<int>(std::clamp(std::ceil(w / cell), 1.0, kMaxSide));
    rows_ = static_cast<int>(std::clamp(std::ceil(h / cell), 1.0, kMaxCells / cols_));
  } else if (wide) {
    cols_ = static_cast<int>(std::clamp(count, 1.0, kMaxSide));
  } else if (tall) {
    rows_ = static_cast<int>(std::clamp(count, 1.0, kMaxSide));
  }
  sx_ = wide ? cols_ / w : 0.0;
  sy_ = tall ? rows_ / h : 0.0;
  const size_t cells = static_cast<size_t>(cols_) * rows_;
  const long bigCells = std::max<long>(16, static_cast<long>(cells / 16));
  // Two passes: count the entries of every cell, then file them.
  offsets_.assign(cells + 1, 0);
  auto filed = [&](const Box& b, int& cx0, int& cx1, int& cy0, int& cy1) {
    if (!finite(b)) return false;  // reaches to infinity: checked by every query
    cx0 = cellX(b.minX), cx1 = cellX(b.maxX), cy0 = cellY(b.minY), cy1 = cellY(b.maxY);
    return static_cast<long>(cx1 - cx0 + 1) * (cy1 - cy0 + 1) <= bigCells;
  };
  int cx0, cx1, cy0, cy1;
  for (int i : members) {
    if (!filed(boxes[i], cx0, cx1, cy0, cy1)) {
      big_.push_back(i);
      continue;
    }
    for (int y = cy0; y <= cy1; ++y)
      for (int x = cx0; x <= cx1; ++x) ++offsets_[static_cast<size_t>(y) * cols_ + x + 1];
  }
  for (size_t c = 0; c < cells; ++c) offsets_[c + 1] += offsets_[c];
  entries_.resize(offsets_[cells]);
  std::vector<size_t> fill(offsets_.begin(), offsets_.end() - 1);
  for (int i : members) {
    if (!filed(boxes[i], cx0, cx1, cy0, cy1)) continue;
    for (int y = cy0; y <= cy1; ++y)
      for (int x = cx0; x <= cx1; ++x) entries_[fill[static_cast<size_t>(y) * cols_ + x]++] = i;
  }
}

Box boundingBox(const CStroke& s) {
  if (s.points.empty()) return {NAN, NAN, NAN, NAN};
  Box b{s.points[0].x, s.points[0].y, s.points[0].x, s.points[0].y};
  for (const auto& p : s.points) {
    b.minX = std::min(b.minX, p.x);
    b.minY = std::min(b.minY, p.y);
    b.maxX = std::max(b.maxX, p.x);
    b.maxY = std::max(b.maxY, p.y);
  }
  return b;
}

void joinTouching(std::vector<CStroke>& strokes, std::vector<int>& pages, double d) {
  if (strokes.size() < 2) return;
  size_t out = 0;  // strokes[out] is the stroke that absorbs its successors
  for (size_t next = 1; next < strokes.size(); ++next) {
    CStroke& a = strokes[out];
    CStroke& b = strokes[next];
    bool joined = false;
    // A circle is no line end, and a stroke carrying commands keeps them at their points.
    if (pages[out] == pages[next] && a.pen == b.pen && !a.points.empty() && !b.points.empty() && !a.circleFlag &&
        !b.circleFlag && b.inserted.empty()) {
      auto& ap = a.points;
      auto& bp = b.points;
      // A stroke that grows leaves the run's arena first: there every larger block would be a
      // new one, the old ones kept until the run ends.
      auto growable = [&]() -> PointList& {
        if (ap.get_allocator().resource() != std::pmr::get_default_resource()) ap = PointList(ap.begin(), ap.end());
        joined = true;
        return ap;
      };
      if (isNear(ap.back(), bp.front(), d)) {
        growable().insert(ap.end(), bp.begin() + 1, bp.end());
      } else if (isNear(ap.back(), bp.back(), d)) {
        growable().insert(ap.end(), bp.rbegin(), bp.rend());
      } else if (!a.inserted.empty()) {
        // Putting points in front would move a's commands away from their points.
      } else if (isNear(ap.front(), bp.front(), d)) {
        growable().insert(ap.begin(), bp.rbegin(), bp.rend());
      } else if (isNear(ap.front(), bp.back(), d)) {
        growable().insert(ap.begin(), bp.begin(), bp.end());
      }
    }
    if (joined) continue;
    ++out;
    if (out != next) {
      strokes[out] = std::move(strokes[next]);
      pages[out] = pages[next];
    }
  }
  strokes.resize(out + 1);
  pages.resize(out + 1);
}

std::vector<bool> findOuter(const std::vector<CStroke>& strokes, double d) {
  return findOuter(strokes, boxesOf(strokes), d);
}

std::vector<bool> findOuter(const std::vector<CStroke>& strokes, const std::vector<Box>& boxes, double d) {
  const size_t n = strokes.size();
  std::vector<int> containers;
  for (size_t j = 0; j < n; ++j)
    if (strokes[j].closedFlag && canContain(boxes[j])) containers.push_back(static_cast<int>(j));
  const BoxGrid grid(boxes, containers);
  std::vector<bool> outer(n, false);
  for (size_t k = 0; k < n; ++k) {
    const CStroke& s = strokes[k];
    if (!s.closedFlag && !(s.points.size() > 2 && isNear(s.points.front(), s.points.back(), d))) continue;
    const Box& b = boxes[k];
    bool inside = false;
    grid.containing(b, [&](int j) {
      inside = static_cast<size_t>(j) != k && boxes[j].contains(b);
      return inside;
    });
    outer[k] = !inside;
  }
  return outer;
}

void markOuter(std::vector<CStroke>& strokes, double d, bool occ, int spn) {
  markOuter(strokes, boxesOf(strokes), d, occ, spn);
}

void markOuter(std::vector<CStroke>& strokes, const std::vector<Box>& boxes, double d, bool occ, int spn) {
  const std::vector<bool> outer = findOuter(strokes, boxes, d);
  for (size_t k = 0; k < strokes.size(); ++k) {
    if (!outer[k]) continue;
    strokes[k].outerFlag = true;
    if (occ) strokes[k].pen = spn;
  }
}

void orderInsideFirst(std::vector<CStroke>& strokes, std::vector<int>& pages) {
  std::vector<Box> boxes = boxesOf(strokes);
  orderInsideFirst(strokes, pages, boxes);
}

void orderInsideFirst(std::vector<CStroke>& strokes, std::vector<int>& pages, std::vector<Box>& boxes) {
  const size_t n = strokes.size();
  // The two flags the order reads, taken from the strokes in one pass: the order is then
  // built without reading the strokes again out of their order.
  constexpr unsigned char kOuter = 1, kLabel = 2;
  std::vector<unsigned char> flags(n);
  for (size_t u = 0; u < n; ++u)
    flags[u] = static_cast<unsigned char>((strokes[u].outerFlag ? kOuter : 0) | (strokes[u].labelStrokeFlag ? kLabel : 0));
  std::vector<int> contours;
  for (size_t u = 0; u < n; ++u)
    if (flags[u] & kOuter) contours.push_back(static_cast<int>(u));
  std::vector<int> finiteContours;
  for (int u : contours)
    if (canContain(boxes[u])) finiteContours.push_back(u);
  const BoxGrid grid(boxes, finiteContours);

  // Each stroke belongs to the first contour (in list order) whose box holds its box.
  std::vector<int> owner(n, -1);
  for (size_t v = 0; v < n; ++v) {
    if (flags[v] & kOuter) continue;
    const Box& b = boxes[v];
    owner[v] = grid.firstContaining(b, [&](int u) { return boxes[u].contains(b); });
  }
  // The strokes each contour owns, in list order, filed in one array (offsets per contour).
  std::vector<int> ownedFrom(n + 1, 0);
  std::vector<int> loose;
  for (size_t v = 0; v < n; ++v) {
    if (flags[v] & kOuter) continue;
    if (owner[v] >= 0)
      ++ownedFrom[owner[v] + 1];
    else
      loose.push_back(static_cast<int>(v));
  }
  for (size_t u = 0; u < n; ++u) ownedFrom[u + 1] += ownedFrom[u];
  std::vector<int> owned(ownedFrom[n]);
  {
    std::vector<int> fill(ownedFrom.begin(), ownedFrom.end() - 1);
    for (size_t v = 0; v < n; ++v)
      if (!(flags[v] & kOuter) && owner[v] >= 0) owned[fill[owner[v]]++] = static_cast<int>(v);
  }
  std::vector<int> order;
  order.reserve(n);
  for (int u : contours) {
    for (int k = ownedFrom[u]; k < ownedFrom[u + 1]; ++k)
      if (flags[owned[k]] & kLabel) order.push_back(owned[k]);
    for (int k = ownedFrom[u]; k < ownedFrom[u + 1]; ++k)
      if (!(flags[owned[k]] & kLabel)) order.push_back(owned[k]);
    order.push_back(u);
  }
  order.insert(order.end(), loose.begin(), loose.end());

  // The order is a permutation: it is applied in place, cycle by cycle, so that the strokes
  // are never held twice. A cycle jumps across the whole list: a second walk some steps ahead
  // on the same cycle fetches the strokes before they are moved.
  constexpr int kAhead = 8;
  auto fetch = [&](size_t i) {
    const char* at = reinterpret_cast<const char*>(&strokes[i]);
    __builtin_prefetch(at);
    __builtin_prefetch(at + sizeof(CStroke) - 1);
    __builtin_prefetch(&boxes[i]);
    __builtin_prefetch(&pages[i]);
  };
  std::vector<bool> placed(n, false);
  for (size_t start = 0; start < n; ++start) {
    if (placed[start]) continue;
    CStroke held = std::move(strokes[start]);
    const int heldPage = pages[start];
    const Box heldBox = boxes[start];
    size_t k = start;
    size_t ahead = start;
    for (int d = 0; d < kAhead && (d == 0 || ahead != start); ++d) {
      ahead = static_cast<size_t>(order[ahead]);
      if (ahead != start) fetch(ahead);
    }
    for (;;) {
      placed[k] = true;
      if (ahead != start) {
        ahead = static_cast<size_t>(order[ahead]);
        if (ahead != start) fetch(ahead);
      }
      const size_t from = static_cast<size_t>(order[k]);
      if (from == start) {
        strokes[k] = std::move(held);
        pages[k] = heldPage;
        boxes[k] = heldBox;
        break;
      }
      strokes[k] = std::move(strokes[from]);
      pages[k] = pages[from];
      boxes[k] = boxes[from];
      k = from;
    }
  }
}

}  // namespace qel::plot
