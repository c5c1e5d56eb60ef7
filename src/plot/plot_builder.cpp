#include "plot/plot_builder.h"

#include <algorithm>

#include "config/modes.h"
#include "plot/contours.h"
#include "plot/pagination.h"

namespace qel::plot {

using config::PageMode;

PlotBuilder::PlotBuilder(PlotModel& model, const DisposeOptions& options, ReadListener* listener)
    : model_(model), opt_(options), listener_(listener) {
  if (opt_.pageWidth == 0.0 || opt_.pageHeight == 0.0) opt_.splitPageEnabled = false;
}

int PlotBuilder::maxPageIndex() const { return maxPageIndexOf(opt_.maxPageCount); }

void PlotBuilder::reset() {
  winXMin_ = 0.0;
  winYMin_ = 0.0;
  winXMax_ = opt_.pageWidth * kUnitsPerMm;
  winYMax_ = opt_.pageHeight * kUnitsPerMm;
  pageOffset_ = 0.0;
  pageIndex_ = 0;
  inside_ = true;
  outside_ = false;
  newOrigin_ = true;
  pageOverflow_ = false;
  pen_ = 1;
  penDown_ = false;
  // What a file draws before its first pen-up move is a stroke like any other.
  strokeStarted_ = true;
  minRawX_ = minRawY_ = 0.0;
  drawingSeen_ = false;
  strokeLeftPen_ = false;
  lastFinished_ = {};
  curX_ = curY_ = 0.0;
  model_.clear();
  if (offered_) offered_->clear();
  lineTypeIndex_ = model_.lineTypeIndex(lineType_);  // the line type stays from run to run
  if (opt_.cutFt == PageMode::PenGrouped)
    for (int p : opt_.spOut) model_.pensUsed.push_back(p);
  stroke_.reset();
  stroke_.pen = pen_;
  stroke_.lineType = lineTypeIndex_;
}

void PlotBuilder::startPass() {
  if (listener_) listener_->passStarted();
  inside_ = true;
}

void PlotBuilder::reserveForInput(std::int64_t bytes) {
  if (offered_) offered_->setActive(bytes >= opt_.spoolFromBytes);
  if (offered_ && offered_->active()) return;
  // Room for the strokes of a file of this length (one per 64 bytes, at most 8 million) is
  // reserved at once: memory never written is not taken from the machine, and the list is not
  // copied into a larger one (both held at once) each time it fills.
  model_.strokes.reserve(static_cast<size_t>(std::min<std::int64_t>(bytes / 64, 8 << 20)));
}

bool PlotBuilder::crossedEdge() const {
  return opt_.cutFt == PageMode::MultiByCoordinates && outside_ && opt_.splitPageEnabled;
}

void PlotBuilder::selectPen(int n) {
  pen_ = n;
  auto& pens = model_.pensUsed;
  if (std::find(pens.begin(), pens.end(), n) == pens.end()) pens.push_back(n);
  if (penDown_) {
    if (n != stroke_.pen) {
      finishStroke();
      if (stroke_.points.empty()) stroke_.points.push_back(lastFinished_);
    }
  } else {
    // A circle keeps the pen it was drawn with.
    if (stroke_.circleFlag || strokeLeftPen_) finishStroke();
    stroke_.pen = n;
  }
}

void PlotBuilder::setLineType(const LineType& type) {
  lineTypeIndex_ = model_.lineTypeIndex(type);
  lineType_ = type;
}

void PlotBuilder::liftPen(bool finish) {
  if (finish) finishStroke();
  penDown_ = false;
  newOrigin_ = true;
}

void PlotBuilder::startStrokeAt(const PlotPoint& raw) {
  drawingSeen_ = true;
  noteExtent(raw.x, raw.y);
  inside_ = inWindow(raw.x, true);
  const double shiftedX = raw.x - pageOffset_;
  curX_ = raw.x;
  inside_ = inWindow(raw.y, false) && inside_;
  stroke_.points.push_back({shiftedX, raw.y});
  curY_ = raw.y;
  noteOutside();
}

bool PlotBuilder::addPolyline(int pen, std::span<const PlotPoint> points) {
  if (points.empty()) return !pageOverflow_;
  liftPen();
  selectPen(pen);
  startStrokeAt(points.front());
  lowerPen();
  for (const PlotPoint& p : points.subspan(1)) moveTo(p);
  noteOutside();
  return !pageOverflow_;
}

void PlotBuilder::nextPage() {
  if (pageIndex_ >= maxPageIndex())
    pageOverflow_ = true;
  else
    ++pageIndex_;
}

void PlotBuilder::setPageFromX(double v) {
  const int mode = opt_.cutFt;
  if (mode == PageMode::SingleByCoordinates || mode == PageMode::SingleByPause || mode == PageMode::Rolling ||
      mode == PageMode::Contour) {
    pageIndex_ = 0;
    pageOffset_ = 0.0;
    return;
  }
  const double width = winXMax_ - winXMin_;
  if (!pageOfX(v, width, pageIndex_, maxPageIndex())) {
    pageOverflow_ = true;
    return;
  }
  pageOffset_ = pageIndex_ * width;
}

bool PlotBuilder::inWindow(double v, bool isX) {
  if (!opt_.splitPageEnabled) {
    pageIndex_ = 0;
    pageOffset_ = 0.0;
    return true;
  }
  if (opt_.cutFt == PageMode::MultiByPause) {
    pageOffset_ = 0.0;
    return true;
  }
  if (isX) {
    if (newOrigin_) setPageFromX(v);
    newOrigin_ = false;
    const double shifted = v - pageOffset_;
    return winXMin_ <= shifted && shifted <= winXMax_;
  }
  return winYMin_ <= v && v <= winYMax_;
}

void PlotBuilder::addPoint(const PlotPoint& p, bool penDown) {
  if (penDown || stroke_.points.empty())
    stroke_.points.push_back(p);
  else
    stroke_.points.back() = p;
}

void PlotBuilder::restartStroke() {
  stroke_.reset();
  stroke_.pen = pen_;
  stroke_.lineType = lineTypeIndex_;
}

void PlotBuilder::finishStroke() {
  const int mode = opt_.cutFt;
  if ((mode == PageMode::SingleByCoordinates || mode == PageMode::SingleByPause) && outside_) {
    stroke_.reset();
    outside_ = false;
    inside_ = true;
  }
  // Machine state set while no point was drawn goes with the next stroke.
  std::vector<InsertedCommand> carried;
  if (strokeStarted_ && !stroke_.points.empty()) {
    const auto& pts = stroke_.points;
    if (pts.size() > 2 && isNear(pts.back(), pts.front(), opt_.minDistanceClose)) stroke_.closedFlag = true;
    lastFinished_ = pts.back();
    // Pen 0 is no pen: what is drawn with it (white fills, hidden construction lines) is not cut.
    if (stroke_.pen != 0) keep(stroke_, pageIndex_);
  } else {
    for (auto& c : stroke_.inserted) carried.push_back({0, std::move(c.text)});
  }
  strokeStarted_ = true;
  strokeLeftPen_ = false;
  restartStroke();
  stroke_.inserted = std::move(carried);
}

void PlotBuilder::moveTo(const PlotPoint& raw) {
  const double rawX = raw.x, y = raw.y;
  drawingSeen_ = true;
  noteExtent(rawX, y);
  const int mode = opt_.cutFt;
  const bool split = opt_.splitPageEnabled;
  // Modes whose pages follow x: the page of a stroke is where its pen-down run starts, and a
  // pen-up move takes the pen (and the stroke it starts) to the page it reaches.
  const bool pageByX = split && (mode == PageMode::MultiByCoordinates || mode == PageMode::HardPartition ||
                                 mode == PageMode::NoSplit || mode == PageMode::PenGrouped);
  const bool hardPartition = split && (mode == PageMode::HardPartition || mode == PageMode::PenGrouped);
  const PlotPoint stand{curX_, curY_};
  // A circle, or a stroke that a pen-up move leaves, is finished before the pen goes on.
  if (stroke_.circleFlag || strokeLeftPen_ || (!penDown_ && stroke_.points.size() > 1)) finishStroke();
  if (penDown_ && stroke_.points.empty()) {
    // A pen-down run into a stroke without a point starts where the pen stands.
    if (pageByX) {
      newOrigin_ = true;
      inside_ = true;
    }
    if (inside_) inside_ = inWindow(stand.x, true);
    if (inside_) inside_ = inWindow(stand.y, false);
    stroke_.points.push_back({stand.x - pageOffset_, stand.y});
  } else if (!penDown_ && pageByX) {
    newOrigin_ = true;
    inside_ = true;
  }
  if (hardPartition) inside_ = true;  // every point is measured against the page it reaches
  double shiftedX = rawX - pageOffset_;
  if (inside_) {
    inside_ = inWindow(rawX, true);
    shiftedX = rawX - pageOffset_;
  }
  if (inside_) inside_ = inWindow(y, false);
  if (!inside_ && hardPartition && penDown_) {
    // A pen-down segment leaving the page along x is cut at the page edges; pen-up moves are
    // never cut into strokes.
    if (shiftedX < winXMin_ || shiftedX > winXMax_) {
      PlotPoint to{rawX, y};
      splitAtEdges({curX_, curY_}, to);
      shiftedX = to.x;
    }
    inside_ = true;
  }
  curX_ = rawX;
  curY_ = y;
  addPoint({shiftedX, y}, penDown_);
}

void PlotBuilder::splitAtEdges(const PlotPoint& from, PlotPoint& to) {
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
  auto crossing = [&](double edge) { return from.y + (edge - from.x) * (to.y - from.y) / (to.x - from.x); };
  auto finishPiece = [&](int page, const PlotPoint& end, const PlotPoint& nextStart) {
    CStroke& s = stroke_;
    if (s.points.empty() || !(s.points.back() == end)) s.points.push_back(end);
    const auto& pts = s.points;
    if (pts.size() > 2 && isNear(pts.back(), pts.front(), opt_.minDistanceClose)) s.closedFlag = true;
    // A piece that only touches the edge draws nothing on its page.
    if ((pts.size() >= 2 || !s.inserted.empty()) && s.pen != 0) keep(s, page);
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
  notePage(k2);
  pageOffset_ = k2 * w;
  to.x -= pageOffset_;
}

void PlotBuilder::endOfInput() {
  // A circle is kept however few points stand for it.
  if ((stroke_.points.size() >= 2 || stroke_.circleFlag) && stroke_.pen != 0) {
    keep(stroke_, pageIndex_);
    stroke_.reset();
  }
}

}  // namespace qel::plot
