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

  QPointF toPixel(double x, double y) const { return {originX + x * scale, originY - y * scale}; }
  QPointF toPlot(const QPointF& px) const { return {(px.x() - originX) / scale, (originY - px.y()) / scale}; }

  // The whole of `bounds` (plot units) centred in `size` with `margin` pixels on each side.
  static ViewTransform fit(const QRectF& bounds, const QSize& size, double margin = 12.0);
  // Multiplies the scale by `factor`, keeping the plot point under `pixel` where it is.
  void zoomAt(const QPointF& pixel, double factor);
  // Moves the drawing by (dx, dy) pixels.
  void pan(double dx, double dy) {
    originX += dx;
    originY += dy;
  }
  friend bool operator==(const ViewTransform&, const ViewTransform&) = default;
};

}  // namespace qel::ui
