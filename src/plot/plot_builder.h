#pragma once
// PlotBuilder: the geometry sink every plot source feeds. A source hands it pen changes, line
// types, pen-up and pen-down moves in raw plotter units (40 to the millimetre); the builder
// keeps the page window of the page mode (the page of each stroke, the page offset that makes
// x page-relative, the page-edge split of the hard-partition modes, strokes dropped outside the
// single-page window) and finishes each stroke into the plot model with its page.
//
// A source drives it like this (what "PU;SP n;PU x0,y0;PD x1,y1,...;" does in HPGL):
//   builder.liftPen();                 // finishes the stroke under construction
//   builder.selectPen(n);              // (with the pen down it would go on from where it is)
//   builder.startStrokeAt({x0, y0});   // the pen-up move that starts the next stroke
//   builder.lowerPen();
//   for (each further point p) builder.moveTo(p);
//   builder.noteOutside();             // after each command: remembers a point off the page
//   builder.stepDone();                // after each command: the run may write pages now
// and, at the end of the input, builder.endOfInput(). addPolyline() does the first six steps
// for one pen-down polyline. After each step the source checks overflow() and crossedEdge()
// and stops with their texts. Everything is single-threaded: one run, one source, one builder.
#include <cstdint>
#include <span>
#include <string_view>

#include "plot/dispose_options.h"
#include "plot/model.h"
#include "plot/page_spool.h"
#include "plot/plot_model.h"

namespace qel::plot {

// What the run does while a source reads: the pages that get output, the text that precedes
// everything, and the point after each command where page-order mode writes finished pages.
class ReadListener {
 public:
  virtual ~ReadListener() = default;
  // A reading pass starts (again, after a restart): what earlier passes noted is forgotten.
  virtual void passStarted() = 0;
  // The page has output even when no stroke lands on it (the page-edge split reached it, or
  // a label was drawn there).
  virtual void pageNoted(int page) = 0;
  // Text of the input before its first command, written after "IN;" of the first page.
  virtual void headerText(std::string_view text) = 0;
  // One command is read; `currentPage` is the page the source is on.
  virtual void stepDone(int currentPage) = 0;
  // Pages are written while the source reads (page-order mode): a source must not start over
  // once it has begun.
  virtual bool writesWhileReading() const = 0;
};

class PlotBuilder {
 public:
  // Fills `model`; `listener` may be null (load-only runs and measuring passes write nothing).
  PlotBuilder(PlotModel& model, const DisposeOptions& options, ReadListener* listener);

  // Starts a run: window, pages, pen and stroke back to their start, the model emptied. The
  // current line type is kept (it carries over from run to run of one file object).
  void reset();
  // The pen and page state of a new reading pass over the same input.
  void startPass();
  // The source tells the length of its input before the first point: room for the strokes of
  // that much input is reserved, or, with a spool offered and an input of at least
  // spoolFromBytes, the strokes go into the spool instead of the model.
  void reserveForInput(std::int64_t bytes);
  void offerSpool(PageSpool* spool) { offered_ = spool; }

  // Pen and line type.
  void selectPen(int n);
  void setLineType(const LineType& type);
  int pen() const { return pen_; }
  std::int32_t lineTypeIndex() const { return lineTypeIndex_; }
  const LineType& lineType() const { return lineType_; }
  void carryLineType(const LineType& type) { lineType_ = type; }

  // Moves. Raw plotter units: the page offset has not been taken off yet.
  void liftPen(bool finish = true);  // finishes the stroke (unless told not to); pen up
  void lowerPen() { penDown_ = true; }
  void setPenDown(bool down) { penDown_ = down; }
  bool penDown() const { return penDown_; }
  // The pen-up move that starts a stroke: its first point, page and window test.
  void startStrokeAt(const PlotPoint& raw);
  // A move to the point with the pen as it is: pen-down moves draw, pen-up moves replace the
  // stroke's waiting point. Cut at page edges in the hard-partition modes.
  void moveTo(const PlotPoint& raw);
  // After a command's points: a point outside the window marks the stroke as leaving it.
  void noteOutside() {
    if (!inside_) outside_ = true;
  }
  // One pen-down polyline with its own pen: the pen goes up to its first point and draws the
  // rest. Returns false when the page limit is reached (overflow()).
  bool addPolyline(int pen, std::span<const PlotPoint> points);

  // The stroke under construction is finished: appended to the model on its page when it has
  // points and a pen, then a new one is begun with the current pen and line type.
  void finishStroke();
  // Begins the stroke under construction again without keeping it.
  void restartStroke();
  // The last stroke of the input, kept when it has two points or is a circle.
  void endOfInput();

  // Where the pen stands (raw units) and the page it is on.
  PlotPoint position() const { return {curX_, curY_}; }
  void setPosition(const PlotPoint& raw) {
    curX_ = raw.x;
    curY_ = raw.y;
  }
  int pageIndex() const { return pageIndex_; }
  double pageOffset() const { return pageOffset_; }
  // The next page (page mode 3 counts pages at page-break commands).
  void nextPage();
  // The next pen-up move measures its page afresh (a source that put the pen back).
  void markNewOrigin() { newOrigin_ = true; }

  // The stroke under construction, for what a source attaches to it (raw commands, a circle).
  CStroke& stroke() { return stroke_; }
  // The stroke ends away from where the pen stands (a circle drawn about it): it is finished
  // before the pen draws on.
  bool strokeLeftPen() const { return strokeLeftPen_; }
  void setStrokeLeftPen() { strokeLeftPen_ = true; }

  void addLabel(LabelRecord label) { model_.labels.push_back(std::move(label)); }
  void notePage(int page) {
    if (listener_) listener_->pageNoted(page);
  }
  void headerText(std::string_view text) {
    if (listener_) listener_->headerText(text);
  }
  void stepDone() {
    if (listener_) listener_->stepDone(pageIndex_);
  }
  bool writesWhileReading() const { return listener_ && listener_->writesWhileReading(); }

  // The drawing's extent below zero (raw units), for sources that move it onto the material.
  void noteExtent(double rawX, double y) {
    if (rawX < minRawX_) minRawX_ = rawX;
    if (y < minRawY_) minRawY_ = y;
  }
  PlotPoint lowestExtent() const { return {minRawX_, minRawY_}; }
  // The input drew or moved something.
  void noteDrawing() { drawingSeen_ = true; }
  bool drawingSeen() const { return drawingSeen_; }

  // Why reading must stop: a page beyond Max_Page_Count, or (mode 2) a stroke off its page.
  bool overflow() const { return pageOverflow_; }
  bool crossedEdge() const;
  bool splitEnabled() const { return opt_.splitPageEnabled; }
  const DisposeOptions& options() const { return opt_; }
  int maxPageIndex() const;

  PlotModel& model() { return model_; }

 private:
  void addPoint(const PlotPoint& p, bool penDown);
  bool inWindow(double v, bool isX);
  void setPageFromX(double v);
  // Modes 4 and 7: a segment from `from` to `to` (raw coordinates) whose end leaves the
  // current page along x is cut at every page edge it crosses. On return `to` has been
  // shifted into its page and the current page and offset are that page's.
  void splitAtEdges(const PlotPoint& from, PlotPoint& to);
  // A finished stroke goes to the model, or to the spool.
  void keep(const CStroke& s, int page) {
    if (offered_ && offered_->active())
      offered_->add(s, page);
    else
      model_.add(s, page);
  }

  PlotModel& model_;
  DisposeOptions opt_;
  ReadListener* listener_;  // not owned
  PageSpool* offered_ = nullptr;  // not owned

  int pen_ = 1;
  bool penDown_ = false;
  LineType lineType_;
  std::int32_t lineTypeIndex_ = 0;  // of lineType_ in the model's line types
  double curX_ = 0.0, curY_ = 0.0;
  PlotPoint lastFinished_;
  CStroke stroke_;
  bool strokeStarted_ = false;
  bool strokeLeftPen_ = false;
  double winXMin_ = 0.0, winYMin_ = 0.0, winXMax_ = 0.0, winYMax_ = 0.0;
  double pageOffset_ = 0.0;
  int pageIndex_ = 0;
  bool newOrigin_ = true;
  bool inside_ = true;
  bool outside_ = false;
  bool pageOverflow_ = false;
  double minRawX_ = 0.0, minRawY_ = 0.0;
  bool drawingSeen_ = false;
};

}  // namespace qel::plot
