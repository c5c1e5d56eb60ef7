#pragma once
// Plot units to pixels for the drawing views: a scale, a y flip (plot y grows upwards, pixel y
// downwards) and the pixel position of the plot origin. Zooming about a point and dragging
// change only this mapping; the strokes stay as they are.
#include <QPointF>
#include <QRectF>
#include <QSize>

namespace qel::ui {

struct ViewTransform {
  double scale = 1.0;  // pixels per plot unit
  double originX = 0.0;  // pixel position of plot (0, 0)
  double originY = 0.0;
  // The back of the sheet: x runs from right to left.
  bool mirrored = false;

  QPointF toPixel(double x, double y) const { return {originX + (mirrored ? -x : x) * scale, originY - y * scale}; }
  QPointF toPlot(const QPointF& px) const {
    const double x = (px.x() - originX) / scale;
    return {mirrored ? -x : x, (originY - px.y()) / scale};
  }

  // The whole of `bounds` (plot units) centred in `size` with `margin` pixels on each side.
  static ViewTransform fit(const QRectF& bounds, const QSize& size, double margin = 12.0);
  // Multiplies the scale by `factor`, keeping the plot point under `pixel` where it is.
  void zoomAt(const QPointF& pixel, double factor);
  // Moves the drawing by (dx, dy) pixels.
  void pan(double dx, double dy) {
    originX += dx;
    originY += dy;
  }
  // Turns the drawing over about the vertical line through plot x, which stays where it is.
  void mirrorAbout(double plotX) {
    const double at = toPixel(plotX, 0).x();
    mirrored = !mirrored;
    originX = at - (mirrored ? -plotX : plotX) * scale;
  }
  friend bool operator==(const ViewTransform&, const ViewTransform&) = default;
};

}  // namespace qel::ui
