#include "ui/logic/pattern_view_rules.h"

namespace qel::ui {

void PatternViewRules::setOutline(std::optional<QRectF> outline) {
  outline_ = outline;
  selected_ = false;
  hover_ = false;
  dragging_ = false;
  last_.reset();
}

void PatternViewRules::setSelected(bool on) {
  selected_ = on;
  if (on) hover_ = false;
}

bool PatternViewRules::inside(const QPointF& p) const {
  if (!outline_) return false;
  const QRectF r = outline_->normalized();
  return p.x() >= r.left() && p.x() <= r.right() && p.y() >= r.top() && p.y() <= r.bottom();
}

PatternViewRules::Step PatternViewRules::press(Qt::MouseButton button, const QPointF& pixel, const QPointF& plot) {
  Step s;
  if (button == Qt::LeftButton) {
    dragging_ = true;
    moved_ = false;
    last_ = pixel;
    // The press counts where it happens, even when no move reached the view before it.
    if (!selected_) hover_ = inside(plot);
    if (loaded() && hover_ && !selected_) {
      selected_ = true;
      hover_ = false;
      s.selection = true;
      if (ccd_ && !closing_) s.status = ViewStatus::PatternSelected;
      s.redraw = true;
      s.cursor = ViewCursor::Arrow;
    }
  } else if (button == Qt::RightButton && selected_) {
    selected_ = false;
    s.selection = false;
    if (ccd_ && !closing_) s.status = ViewStatus::PatternUnselected;
    s.redraw = true;
    hover_ = inside(plot);
    s.cursor = hover_ ? ViewCursor::Hand : ViewCursor::Arrow;
  }
  return s;
}

PatternViewRules::Step PatternViewRules::move(const QPointF& pixel, const QPointF& plot, bool leftHeld) {
  Step s;
  if (!leftHeld || !dragging_ || !last_) {
    dragging_ = false;
    if (selected_) return s;
    const bool over = inside(plot);
    s.cursor = over ? ViewCursor::Hand : ViewCursor::Arrow;
    s.redraw = over != hover_;
    hover_ = over;
    return s;
  }
  s.pan = pixel - *last_;
  last_ = pixel;
  if (s.pan.isNull()) return s;
  moved_ = true;
  s.cursor = ViewCursor::Cross;
  if (ccd_) s.status = ViewStatus::Moving;
  s.redraw = true;
  return s;
}

PatternViewRules::Step PatternViewRules::release(Qt::MouseButton button) {
  Step s;
  if (button != Qt::LeftButton || !dragging_) return s;
  dragging_ = false;
  last_.reset();
  if (moved_) {
    if (ccd_) s.status = ViewStatus::MoveFinished;
    s.cursor = ViewCursor::Arrow;
  }
  moved_ = false;
  return s;
}

PatternViewRules::Wheel PatternViewRules::wheel(int steps, bool horizontal) const {
  Wheel w;
  if (steps == 0) return w;
  if (!ccd_ || zoomEnabled_) {
    if (horizontal) return w;  // a sideways tilt does not zoom
    w.zoom = true;
    for (int i = 0; i < (steps < 0 ? -steps : steps); ++i) w.factor *= steps > 0 ? 1.2 : 0.8;
    return w;
  }
  // Without zoom the wheel scrolls: forward shows what lies above (or to the left).
  const double d = steps * kScrollPixels;
  w.scroll = horizontal ? QPointF(d, 0) : QPointF(0, d);
  return w;
}

}  // namespace qel::ui
