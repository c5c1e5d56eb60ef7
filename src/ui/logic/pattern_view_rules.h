#pragma once
// What the pattern view does with the mouse, without a widget: hover over the pattern's
// outline, selection with the left button and unselection with the right one, dragging the
// drawing, and what a wheel step does. The view feeds it the cursor (in pixels and in plot
// units under the current mapping) and carries out the answer: the cursor shape, the drawing's
// movement or zoom, the file status and the selection change it reports.
#include <QPointF>
#include <QRectF>

#include <optional>

namespace qel::ui {

enum class ViewCursor { Arrow, Hand, Cross };

// The file texts of the view in CCD mode.
enum class ViewStatus { PatternSelected, PatternUnselected, Moving, MoveFinished };

class PatternViewRules {
 public:
  // The pattern's outline (plot units); nullopt while no file is loaded.
  void setOutline(std::optional<QRectF> outline);
  bool loaded() const { return outline_.has_value(); }
  // Selection is kept by the pattern; the rules follow it (select-all, a new file).
  void setSelected(bool on);
  bool selected() const { return selected_; }
  void setCcdMode(bool on) { ccd_ = on; }
  bool ccdMode() const { return ccd_; }
  void setZoomEnabled(bool on) { zoomEnabled_ = on; }
  bool zoomEnabled() const { return zoomEnabled_; }
  bool hover() const { return hover_; }
  bool dragging() const { return dragging_; }
  // While the window closes, selection says nothing.
  void setClosing(bool on) { closing_ = on; }

  struct Step {
    bool redraw = false;
    std::optional<ViewCursor> cursor;
    std::optional<ViewStatus> status;
    // The pattern became selected (true) or unselected (false).
    std::optional<bool> selection;
    QPointF pan;  // pixels the drawing moves by
  };
  Step press(Qt::MouseButton button, const QPointF& pixel, const QPointF& plot);
  Step move(const QPointF& pixel, const QPointF& plot, bool leftHeld);
  Step release(Qt::MouseButton button);

  // A wheel turn of `steps` notches (positive forward). Zoom with the factor of the last step
  // (1.2 forward, 0.8 back, once per notch), or scroll the drawing by `scroll` pixels.
  struct Wheel {
    bool zoom = false;
    double factor = 1.0;
    QPointF scroll;
  };
  Wheel wheel(int steps, bool horizontal) const;
  static constexpr double kScrollPixels = 40.0;  // one notch of scrolling

 private:
  // On the outline counts as inside; a flat pattern (one line) has an outline without area.
  bool inside(const QPointF& plot) const;

  std::optional<QRectF> outline_;
  bool selected_ = false;
  bool hover_ = false;
  bool ccd_ = false;
  bool zoomEnabled_ = false;
  bool closing_ = false;
  bool dragging_ = false;
  bool moved_ = false;
  std::optional<QPointF> last_;
};

}  // namespace qel::ui
